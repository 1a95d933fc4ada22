#include "calibration/Calibration.h"

#include "calibration/TimePage.h"

const char* const SuccessStatusPrefix = "校准成功。当前时间\r\n";
const char* const FailureStatusText = "校准失败，30秒后重试";

Text DateTimeToText(const SYSTEMTIME& time)
{
    Text text;
    text.AppendNumber(time.wYear);
    text.Append("年");
    text.AppendNumber(time.wMonth);
    text.Append("月");
    text.AppendNumber(time.wDay);
    text.Append("日");
    // Zero fields before a non-zero one are written, trailing ones left off.
    if (time.wHour || time.wMinute || time.wSecond) {
        text.AppendNumber(time.wHour);
        text.Append("时");
    }
    if (time.wMinute || time.wSecond) {
        text.AppendNumber(time.wMinute);
        text.Append("分");
    }
    if (time.wSecond) {
        text.AppendNumber(time.wSecond);
        text.Append("秒");
    }
    return text;
}

void WaitCursor::ShowWaitCursor()
{
    CursorHandle previous = cursor_.SetCursor(cursor_.LoadWaitCursor());
    if (!remembered_)
        remembered_ = previous;
}

void WaitCursor::RestoreCursor()
{
    if (remembered_) {
        cursor_.SetCursor(remembered_);
        remembered_ = nullptr;
    }
    // Moving the pointer onto itself makes the window under it set its own
    // cursor again at once.
    int x = 0;
    int y = 0;
    if (cursor_.GetCursorPos(x, y))
        cursor_.SetCursorPos(x, y);
}

void RetryTimer::SetPeriod(int periodMs)
{
    if (periodMs < 0)
        periodMs = 0;
    if (periodMs == periodMs_)
        return;
    if (periodMs_ > 0)
        window_.StopRetryTimer();
    periodMs_ = periodMs;
    if (periodMs_ > 0)
        window_.StartRetryTimer(periodMs_);
}

void Calibration::RunCalibration()
{
    cursor_.ShowWaitCursor();

    SYSTEMTIME time = ParseTimeReply(FetchTimePage(ports_.http));

    Clock::SetResult set = ports_.clock.SetLocalTime(time);
    if (!set.bound) {
        ports_.fatal.RaiseFatalError(BindFailureMessage("kernel32", "SetLocalTime"));
        return;
    }
    const bool succeeded = set.value == 1;
    if (succeeded) {
        // Windows converts with the daylight-saving rule of the time it is
        // leaving; the second call applies the rule of the new time.
        ports_.clock.SetLocalTime(time);
    }

    window_.ShowStatusLabel();
    if (succeeded) {
        Text caption(SuccessStatusPrefix);
        caption.Append(DateTimeToText(ports_.clock.GetLocalTime()));
        window_.SetStatusCaption(caption);
        timer_.SetPeriod(0);
    } else {
        window_.SetStatusCaption(Text(FailureStatusText));
        timer_.SetPeriod(RetryPeriodMs);
    }

    cursor_.RestoreCursor();

    if (succeeded && window_.IsExitOptionChecked())
        window_.RequestDestruction();
}
