// A whole calibration through the real WinINet and the real SetLocalTime.
// Wine's SetLocalTime leaves the host clock alone: it succeeds only for a
// time within half a second of now, which the server's good page is.
#include "calibration/Calibration.h"

#include <gtest/gtest.h>

#include <string>

#include "ServerControl.h"
#include "platform/win32/Win32Clock.h"
#include "platform/win32/Win32Cursor.h"
#include "platform/win32/WinInetClient.h"

namespace {

class RecordingWindow final : public CalibrationWindow, public FatalErrorSink {
public:
    void ShowStatusLabel() override { shown = true; }
    void SetStatusCaption(const Text& text) override { caption.assign(text.Data(), text.Length()); }
    void StartRetryTimer(int periodMs) override { timerPeriod = periodMs; }
    void StopRetryTimer() override { timerPeriod = 0; }
    bool IsExitOptionChecked() override { return false; }
    void RequestDestruction() override {}
    void RaiseFatalError(const Text& message) override { fatal.assign(message.Data(), message.Length()); }

    bool shown = false;
    std::string caption;
    int timerPeriod = 0;
    std::string fatal;
};

class CalibrationRunTest : public ::testing::Test {
protected:
    void SetUp() override { sandbox::Reset(); }
    void TearDown() override { sandbox::Reset(); }

    WinInetClient http;
    Win32Clock clock;
    Win32Cursor cursor;
    RecordingWindow window;
    Calibration calibration{{http, clock, cursor, window}, window};
};

}  // namespace

TEST_F(CalibrationRunTest, CurrentPageSetsTheClock)
{
    calibration.RunCalibration();  // the server's default page: this very second
    EXPECT_TRUE(window.shown);
    EXPECT_EQ(window.caption.rfind("校准成功。当前时间\r\n", 0), 0u) << window.caption;
    EXPECT_EQ(window.timerPeriod, 0);
    EXPECT_EQ(window.fatal, "");
}

TEST_F(CalibrationRunTest, PagesTheClockRefusesFailAndArmTheRetry)
{
    const char* pages[] = {
        R"({"page_offset_s": 3600})",                   // an hour off
        R"({"body": "<h2>no time here</h2>"})",         // not a time page
        R"({"status": 500, "body": "Internal error"})",
    };
    for (const char* page : pages) {
        sandbox::Queue(page);
        calibration.RunCalibration();
        EXPECT_EQ(window.caption, "校准失败，30秒后重试") << page;
        EXPECT_EQ(window.timerPeriod, RetryPeriodMs) << page;
    }
    calibration.RunCalibration();
    EXPECT_EQ(window.caption.rfind("校准成功。当前时间\r\n", 0), 0u) << "a good page after failures succeeds";
    EXPECT_EQ(window.timerPeriod, 0);
}
