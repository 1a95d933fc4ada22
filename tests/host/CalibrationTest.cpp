#include "calibration/Calibration.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "TextTesting.h"

namespace {

// Stands in for the network, the clock, the cursor and the window, and logs
// every call in order.
class FakeSystem final : public HttpClient, public Clock, public CursorApi, public FatalErrorSink,
                         public CalibrationWindow {
public:
    std::vector<std::string> log;
    std::string page = "<h2>Current Time is : 08/07/2010 14:05:09<br>";
    std::deque<int> setResults;  // what SetLocalTime returns, call by call; 1 when empty
    bool setLocalTimeBound = true;
    SYSTEMTIME now = {2010, 7, 0, 8, 14, 5, 9, 789};
    std::vector<SYSTEMTIME> timesSet;
    bool exitOptionChecked = false;
    CursorHandle current = Handle(1);
    std::string caption;
    std::string fatalMessage;

    static CursorHandle Handle(int n) { return reinterpret_cast<CursorHandle>(static_cast<intptr_t>(n)); }

    HttpResult Get(const char*) override
    {
        log.push_back("fetch");
        return {T(page)};
    }
    SetResult SetLocalTime(const SYSTEMTIME& time) override
    {
        log.push_back("set-time");
        if (!setLocalTimeBound)
            return {false, 0};
        timesSet.push_back(time);
        int result = 1;
        if (!setResults.empty()) {
            result = setResults.front();
            setResults.pop_front();
        }
        return {true, result};
    }
    SYSTEMTIME GetLocalTime() override
    {
        log.push_back("get-time");
        return now;
    }
    CursorHandle LoadWaitCursor() override { return Handle(99); }
    CursorHandle SetCursor(CursorHandle cursor) override
    {
        log.push_back("cursor " + std::to_string(reinterpret_cast<intptr_t>(cursor)));
        CursorHandle previous = current;
        current = cursor;
        return previous;
    }
    bool GetCursorPos(int& x, int& y) override
    {
        x = 10;
        y = 20;
        return true;
    }
    void SetCursorPos(int x, int y) override
    {
        log.push_back("pointer " + std::to_string(x) + "," + std::to_string(y));
    }
    void RaiseFatalError(const Text& message) override
    {
        log.push_back("fatal");
        fatalMessage = S(message);
    }
    void ShowStatusLabel() override { log.push_back("show-label"); }
    void SetStatusCaption(const Text& text) override
    {
        log.push_back("caption");
        caption = S(text);
    }
    void StartRetryTimer(int periodMs) override { log.push_back("timer-start " + std::to_string(periodMs)); }
    void StopRetryTimer() override { log.push_back("timer-stop"); }
    bool IsExitOptionChecked() override
    {
        log.push_back("read-exit-option");
        return exitOptionChecked;
    }
    void RequestDestruction() override { log.push_back("destroy"); }

    CalibrationPorts Ports() { return {*this, *this, *this, *this}; }

    // The log entries that match one of the given names, in order.
    std::vector<std::string> Only(std::initializer_list<std::string> names) const
    {
        std::vector<std::string> picked;
        for (const std::string& entry : log)
            for (const std::string& name : names)
                if (entry.rfind(name, 0) == 0)
                    picked.push_back(entry);
        return picked;
    }
};

using Log = std::vector<std::string>;

class RunCalibrationTest : public ::testing::Test {
protected:
    FakeSystem system;
    Calibration calibration{system.Ports(), system};
};

}  // namespace

TEST_F(RunCalibrationTest, SuccessShowsTheNewTimeOnTwoLines)
{
    calibration.RunCalibration();

    EXPECT_EQ(system.caption, "校准成功。当前时间\r\n2010年7月8日14时5分9秒");
    EXPECT_EQ(calibration.RetryPeriod(), 0);
    EXPECT_EQ(system.Only({"show-label", "caption", "get-time"}), (Log{"show-label", "get-time", "caption"}))
        << "the label is shown before its caption, and the time is read after it was set";
}

TEST_F(RunCalibrationTest, SetsTheParsedPageTimeAndSetsItTwiceOnSuccess)
{
    system.page = "<h2>Current Time is : 31/12/2026 23:59:58<br>";
    calibration.RunCalibration();

    ASSERT_EQ(system.timesSet.size(), 2u) << "a second call takes the new time's daylight-saving rule";
    for (const SYSTEMTIME& t : system.timesSet) {
        EXPECT_EQ(t.wYear, 2026);
        EXPECT_EQ(t.wMonth, 12);
        EXPECT_EQ(t.wDay, 31);
        EXPECT_EQ(t.wHour, 23);
        EXPECT_EQ(t.wMinute, 59);
        EXPECT_EQ(t.wSecond, 58);
        EXPECT_EQ(t.wMilliseconds, 0);
    }
}

TEST_F(RunCalibrationTest, AnyResultButOneIsAFailure)
{
    for (int result : {0, 2, -1}) {
        FakeSystem s;
        Calibration c(s.Ports(), s);
        s.setResults = {result};
        c.RunCalibration();
        EXPECT_EQ(s.caption, "校准失败，30秒后重试") << result;
        EXPECT_EQ(c.RetryPeriod(), RetryPeriodMs) << result;
        EXPECT_EQ(s.timesSet.size(), 1u) << "no second call after a failure";
        EXPECT_EQ(s.Only({"show-label"}).size(), 1u);
    }
}

TEST_F(RunCalibrationTest, FailureTextIsTheGbkBytes)
{
    system.setResults = {0};
    calibration.RunCalibration();
    EXPECT_EQ(system.caption, "\xD0\xA3\xD7\xBC\xCA\xA7\xB0\xDC\xA3\xAC"
                              "30\xC3\xEB\xBA\xF3\xD6\xD8\xCA\xD4");
}

TEST_F(RunCalibrationTest, RetryTimerFollowsTheOutcomes)
{
    struct Case {
        const char* what;
        std::vector<int> results;  // one SetLocalTime result per run
        Log timerCalls;
        int finalPeriod;
    } cases[] = {
        {"success stays idle", {1}, {}, 0},
        {"failure arms", {0}, {"timer-start 30000"}, RetryPeriodMs},
        {"second failure keeps the schedule", {0, 0, 0}, {"timer-start 30000"}, RetryPeriodMs},
        {"success after failure stops", {0, 1}, {"timer-start 30000", "timer-stop"}, 0},
        {"failure after that arms again", {0, 1, 0},
         {"timer-start 30000", "timer-stop", "timer-start 30000"}, RetryPeriodMs},
    };
    for (const Case& c : cases) {
        FakeSystem s;
        Calibration run(s.Ports(), s);
        for (int result : c.results) {
            // A success consumes two results: the call and its repeat.
            s.setResults.push_back(result);
            if (result == 1)
                s.setResults.push_back(1);
            run.RunCalibration();
        }
        EXPECT_EQ(s.Only({"timer-"}), c.timerCalls) << c.what;
        EXPECT_EQ(run.RetryPeriod(), c.finalPeriod) << c.what;
    }
}

TEST_F(RunCalibrationTest, WaitCursorSpansTheRunAndTheRequestToEndComesAfter)
{
    system.exitOptionChecked = true;
    calibration.RunCalibration();

    EXPECT_EQ(system.Only({"cursor", "fetch", "caption", "pointer", "read-exit-option", "destroy"}),
              (Log{"cursor 99", "fetch", "caption", "cursor 1", "pointer 10,20", "read-exit-option", "destroy"}));
    EXPECT_EQ(system.current, FakeSystem::Handle(1));
}

TEST_F(RunCalibrationTest, OnlyASuccessWithTheExitOptionEndsTheProgram)
{
    struct Case {
        bool succeeds;
        bool exitChecked;
        bool destroyed;
    } cases[] = {{true, true, true}, {true, false, false}, {false, true, false}, {false, false, false}};
    for (const Case& c : cases) {
        FakeSystem s;
        Calibration run(s.Ports(), s);
        s.exitOptionChecked = c.exitChecked;
        s.setResults = {c.succeeds ? 1 : 0, 1};
        run.RunCalibration();
        EXPECT_EQ(s.Only({"destroy"}).size(), c.destroyed ? 1u : 0u)
            << "success " << c.succeeds << ", exit option " << c.exitChecked;
        if (!c.succeeds) {
            EXPECT_TRUE(s.Only({"read-exit-option"}).empty()) << "the option is read only after a success";
        }
    }
}

TEST_F(RunCalibrationTest, UnboundSetLocalTimeIsFatalAndEndsTheRun)
{
    system.setLocalTimeBound = false;
    calibration.RunCalibration();

    EXPECT_EQ(system.fatalMessage, "无法找到指定DLL库文件“kernel32”中的输出命令“SetLocalTime”");
    EXPECT_EQ(system.log.back(), "fatal") << "nothing of the run happens after it";
    EXPECT_TRUE(system.Only({"show-label", "caption", "timer-", "destroy"}).empty());
}

TEST(WaitCursor, TwoShowsThenOneRestoreBringBackTheFirstCursor)
{
    FakeSystem system;
    WaitCursor cursor(system);
    cursor.ShowWaitCursor();
    cursor.ShowWaitCursor();
    cursor.RestoreCursor();
    EXPECT_EQ(system.current, FakeSystem::Handle(1));

    // Nothing remembered any more: a second restore leaves the cursor alone
    // but still nudges the pointer.
    system.current = FakeSystem::Handle(7);
    system.log.clear();
    cursor.RestoreCursor();
    EXPECT_EQ(system.current, FakeSystem::Handle(7));
    EXPECT_EQ(system.log, (Log{"pointer 10,20"}));
}

TEST(RetryTimer, PeriodRules)
{
    struct Case {
        const char* what;
        std::vector<int> writes;
        Log calls;
        int period;
    } cases[] = {
        {"negative is zero", {-5}, {}, 0},
        {"same value does nothing", {30000, 30000}, {"timer-start 30000"}, 30000},
        {"a new value restarts", {30000, 1000}, {"timer-start 30000", "timer-stop", "timer-start 1000"}, 1000},
        {"zero stops", {30000, 0}, {"timer-start 30000", "timer-stop"}, 0},
        {"negative stops a running timer", {30000, -1}, {"timer-start 30000", "timer-stop"}, 0},
    };
    for (const Case& c : cases) {
        FakeSystem system;
        RetryTimer timer(system);
        for (int v : c.writes)
            timer.SetPeriod(v);
        EXPECT_EQ(system.log, c.calls) << c.what;
        EXPECT_EQ(timer.Period(), c.period) << c.what;
    }
}

TEST(DateTimeToText, LeavesOffTrailingZeroFields)
{
    struct Case {
        SYSTEMTIME time;
        const char* text;
    } cases[] = {
        {{2010, 7, 0, 8, 14, 5, 9, 0}, "2010年7月8日14时5分9秒"},
        {{2010, 7, 0, 8, 14, 5, 0, 0}, "2010年7月8日14时5分"},
        {{2010, 7, 0, 8, 14, 0, 0, 0}, "2010年7月8日14时"},
        {{2010, 7, 0, 8, 0, 0, 0, 0}, "2010年7月8日"},
        {{2010, 7, 0, 8, 0, 0, 5, 0}, "2010年7月8日0时0分5秒"},
        {{2010, 7, 0, 8, 0, 3, 0, 0}, "2010年7月8日0时3分"},
        {{2010, 12, 0, 31, 23, 59, 59, 999}, "2010年12月31日23时59分59秒"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(S(DateTimeToText(c.time)), c.text);
}
