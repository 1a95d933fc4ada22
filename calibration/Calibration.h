#pragma once
#include "platform/Clock.h"
#include "platform/Cursor.h"
#include "platform/FatalError.h"
#include "platform/Http.h"
#include "platform/SystemTime.h"
#include "platform/Text.h"

// After a failure the run is retried this often, without limit.
constexpr int RetryPeriodMs = 30000;

extern const char* const SuccessStatusPrefix;  // "校准成功。当前时间\r\n"
extern const char* const FailureStatusText;    // "校准失败，30秒后重试"

// The controls of the main window that a run reads and writes.
class CalibrationWindow {
public:
    virtual void ShowStatusLabel() = 0;
    virtual void SetStatusCaption(const Text& caption) = 0;  // and repaint it
    virtual void StartRetryTimer(int periodMs) = 0;
    virtual void StopRetryTimer() = 0;
    virtual bool IsExitOptionChecked() = 0;
    // Posts the request; the window destroys itself once the run returned.
    virtual void RequestDestruction() = 0;

protected:
    ~CalibrationWindow() = default;
};

// "2010年7月8日14时5分9秒"; trailing zero fields are left off.
Text DateTimeToText(const SYSTEMTIME& time);

// The wait cursor around a run. Only the first of two ShowWaitCursor calls
// remembers the cursor, so one RestoreCursor brings back the original.
class WaitCursor {
public:
    explicit WaitCursor(CursorApi& cursor) : cursor_(cursor) {}
    void ShowWaitCursor();
    void RestoreCursor();

private:
    CursorApi& cursor_;
    CursorHandle remembered_ = nullptr;
};

// The period of the retry timer; 0 is stopped. Writing the period it already
// has changes nothing, so a failure while armed keeps the schedule.
class RetryTimer {
public:
    explicit RetryTimer(CalibrationWindow& window) : window_(window) {}
    void SetPeriod(int periodMs);
    int Period() const { return periodMs_; }

private:
    CalibrationWindow& window_;
    int periodMs_ = 0;
};

struct CalibrationPorts {
    HttpClient& http;
    Clock& clock;
    CursorApi& cursor;
    FatalErrorSink& fatal;
};

class Calibration {
public:
    Calibration(const CalibrationPorts& ports, CalibrationWindow& window)
        : ports_(ports), window_(window), cursor_(ports.cursor), timer_(window)
    {
    }

    // One calibration from fetch to status line. Synchronous: the window
    // takes no message until it returns.
    void RunCalibration();

    int RetryPeriod() const { return timer_.Period(); }

private:
    CalibrationPorts ports_;
    CalibrationWindow& window_;
    WaitCursor cursor_;
    RetryTimer timer_;
};
