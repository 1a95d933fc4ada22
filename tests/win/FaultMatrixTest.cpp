// Vesmor.exe against a bad network and bad pages: every calibration must end
// with the right status text, leave the program answering messages, and
// after a failure keep the 30-second retry on its first schedule.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "ServerControl.h"
#include "VesmorProcess.h"
#include "app/ControlIds.h"
#include "calibration/Calibration.h"

namespace {

using Steady = std::chrono::steady_clock;

const wchar_t SuccessPrefix[] = L"校准成功。当前时间\r\n";
const wchar_t FailureText[] = L"校准失败，30秒后重试";
// Put into the status line before a run: any other text is the run's own.
const wchar_t Marker[] = L"-";

double SecondsSince(Steady::time_point start)
{
    return std::chrono::duration<double>(Steady::now() - start).count();
}

bool IsSuccess(const std::wstring& status) { return status.rfind(SuccessPrefix, 0) == 0; }

std::string Env(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

std::string TimeUrl() { return "http://" + Env("VESMOR_TIME_HOST") + "/cgi-bin/hko/ntime.pl"; }

// Waits until a new second has just begun: a page showing it reaches
// SetLocalTime well within the half second Wine accepts.
SYSTEMTIME FreshSecond()
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    const WORD second = now.wSecond;
    do {
        Sleep(1);
        GetLocalTime(&now);
    } while (now.wSecond == second);
    return now;
}

// The observatory's wording around the given local time.
std::string TimeLine(const SYSTEMTIME& t)
{
    char line[64];
    snprintf(line, sizeof line, "Time is : %02u/%02u/%04u %02u:%02u:%02u<br>", t.wDay, t.wMonth, t.wYear, t.wHour,
             t.wMinute, t.wSecond);
    return line;
}

std::string BodyHexEntry(const std::string& bytes) { return R"({"body_hex": ")" + sandbox::Hex(bytes) + R"("})"; }

// Vesmor.exe with its window, driven and read from outside.
class Program {
public:
    Program()
    {
        if (!process_.Started())
            return;
        label_ = process_.Control(IDT_STATUS);
        // A success must not end the program: the box may be left checked.
        if (process_.Checked(IDX_EXIT_AFTER)) {
            process_.Click(IDX_EXIT_AFTER);
            vesmor::WaitUntil([this] { return !process_.Checked(IDX_EXIT_AFTER); }, 5000);
        }
    }

    bool Started() const { return process_.Started() && !process_.Checked(IDX_EXIT_AFTER); }

    // False while the program is busy with a run: polling must not pile
    // messages up in a program that takes none.
    bool Status(std::wstring& text) const
    {
        wchar_t buffer[256] = {};
        DWORD_PTR length = 0;
        if (!SendMessageTimeoutW(label_, WM_GETTEXT, 256, reinterpret_cast<LPARAM>(buffer), SMTO_ABORTIFHUNG, 250,
                                 &length))
            return false;
        text = buffer;
        return true;
    }

    bool Responsive() const
    {
        DWORD_PTR result = 0;
        return SendMessageTimeoutW(process_.Window(), WM_NULL, 0, 0, SMTO_NORMAL, 5000, &result) != 0;
    }

    void MarkStatus() const
    {
        SendMessageTimeoutW(label_, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(Marker), SMTO_NORMAL, 5000, nullptr);
    }

    // Clicks "开始校准" and waits for the run's text. While the run lasts
    // longer than breakAfterMs, `breaker` is called once to end it.
    struct Outcome {
        bool ended = false;
        std::wstring status;
        double seconds = 0;
    };
    template <typename Breaker>
    Outcome Calibrate(int timeoutMs, int breakAfterMs, Breaker breaker) const
    {
        MarkStatus();
        const Steady::time_point start = Steady::now();
        process_.Click(IDB_CALIBRATE);
        Outcome outcome;
        bool broken = false;
        while (SecondsSince(start) * 1000 < timeoutMs) {
            std::wstring text;
            if (Status(text) && text != Marker) {
                outcome.ended = true;
                outcome.status = text;
                break;
            }
            if (!broken && breakAfterMs >= 0 && SecondsSince(start) * 1000 >= breakAfterMs) {
                breaker();
                broken = true;
            }
            Sleep(10);
        }
        outcome.seconds = SecondsSince(start);
        return outcome;
    }
    Outcome Calibrate(int timeoutMs = 60000) const
    {
        return Calibrate(timeoutMs, -1, [] {});
    }

    // Closes the window as the close box does; the exit code, or
    // STILL_ACTIVE when the program did not end.
    DWORD Close()
    {
        PostMessageW(process_.Window(), WM_CLOSE, 0, 0);
        return process_.WaitForExit(10000);
    }

private:
    vesmor::Process process_;
    HWND label_ = nullptr;
};

// Seconds after `since` at which a request reached the server without a
// click (the log being empty now), or a negative number when none came
// before `limitS`.
double UnclickedRequestAt(Steady::time_point since, double limitS)
{
    while (SecondsSince(since) < limitS) {
        if (!sandbox::Requests().empty())
            return SecondsSince(since);
        Sleep(50);
    }
    return -1;
}

void Print(const char* what, const Program::Outcome& outcome)
{
    // The first line is enough: the second holds the time.
    const std::string status =
        outcome.ended ? vesmor::Utf8(outcome.status.substr(0, outcome.status.find(L'\r'))) : "(still running)";
    printf("  %-52s %7.2f s  %s\n", what, outcome.seconds, status.c_str());
    fflush(stdout);
}

const double RetryS = RetryPeriodMs / 1000.0;

class FaultMatrix : public ::testing::Test {
protected:
    void SetUp() override { sandbox::Reset(); }
    void TearDown() override { sandbox::Reset(); }
};

}  // namespace

TEST_F(FaultMatrix, BadRepliesFailAndTheRetryKeepsItsFirstSchedule)
{
    enum Setup { QueueEntry, RefuseConnections };
    struct Case {
        const char* name;
        Setup setup;
        std::string (*entry)(const SYSTEMTIME& now);  // for QueueEntry
        bool freshSecond;  // the page shows the current second: only the fault can fail it
        int requests;      // reaching the server; -1: any number from one on
        int breakAfterMs;  // -1: the run must end by itself
    };
    const Case cases[] = {
        {"connection refused", RefuseConnections, nullptr, false, 0, -1},
        {"closed without an answer", QueueEntry, [](const SYSTEMTIME&) -> std::string { return R"({"close": true})"; },
         false, 1, -1},
        {"reset without an answer", QueueEntry, [](const SYSTEMTIME&) -> std::string { return R"({"rst": true})"; },
         false, 1, -1},
        {"silent for 3 s, then closed", QueueEntry,
         [](const SYSTEMTIME&) -> std::string { return R"({"hang": true, "hang_ms": 3000})"; }, false, 1, -1},
        {"cut mid-body, before the time", QueueEntry,
         [](const SYSTEMTIME&) -> std::string { return R"({"page": "soon", "cut_after": 60})"; }, false, 1, -1},
        {"4 KiB of NUL bytes", QueueEntry,
         [](const SYSTEMTIME&) { return BodyHexEntry(std::string(4096, '\0')); }, false, 1, -1},
        {"NUL byte before a current page", QueueEntry,
         [](const SYSTEMTIME& now) { return BodyHexEntry(std::string(1, '\0') + TimeLine(now)); }, true, 1, -1},
        {"not GBK, no marker, lead byte at the end", QueueEntry,
         [](const SYSTEMTIME&) { return BodyHexEntry("\x80\xFF\x81\x30\xFE\xFE\xFE\x01\x81\x7F\xA3\xFF 12/34\x81"); },
         false, 1, -1},
        // 0x81 takes the marker's first byte as its second: no marker.
        {"not GBK, a lead byte hides a current marker", QueueEntry,
         [](const SYSTEMTIME& now) { return BodyHexEntry("\x80\xFF\x81" + TimeLine(now) + "\xFE"); }, true, 1, -1},
        // Wine's WinINet follows a loop for ever: refusing the next hop ends it.
        {"redirect loop", QueueEntry,
         [](const SYSTEMTIME&) { return R"({"redirect": ")" + TimeUrl() + R"(", "repeat": 0})"; }, false, -1, 2000},
    };

    Program program;
    ASSERT_TRUE(program.Started());
    Steady::time_point armedAt;
    Steady::time_point lastFailureAt;
    bool armed = false;

    auto runCase = [&](const Case& c) {
        SCOPED_TRACE(c.name);
        sandbox::Reset();
        const SYSTEMTIME now = c.freshSecond ? FreshSecond() : SYSTEMTIME{};
        if (c.setup == RefuseConnections)
            sandbox::Listen(false);
        else
            sandbox::Queue(c.entry(now));
        const Program::Outcome outcome = program.Calibrate(60000, c.breakAfterMs, [] { sandbox::Listen(false); });
        const size_t requests = sandbox::Requests().size();
        sandbox::Reset();
        Print(c.name, outcome);
        ASSERT_TRUE(outcome.ended) << "the run did not end";
        if (!armed) {
            armed = true;
            armedAt = Steady::now();
        }
        lastFailureAt = Steady::now();
        EXPECT_EQ(vesmor::Utf8(outcome.status), vesmor::Utf8(FailureText));
        if (c.requests >= 0)
            EXPECT_EQ(requests, static_cast<size_t>(c.requests));
        else
            EXPECT_GE(requests, 1u);
        EXPECT_TRUE(program.Responsive());
    };
    for (const Case& c : cases) {
        runCase(c);
        ASSERT_FALSE(HasFatalFailure());
    }
    ASSERT_TRUE(armed);

    // One more failure well into the schedule: a restarted timer would then
    // tick 30 s after it, not after the first.
    const double lateS = 8;
    if (SecondsSince(armedAt) < lateS)
        Sleep(static_cast<DWORD>((lateS - SecondsSince(armedAt)) * 1000));
    runCase(cases[0]);
    ASSERT_GE(std::chrono::duration<double>(lastFailureAt - armedAt).count(), lateS);

    // The tick's own run fails too, and leaves the schedule alone.
    sandbox::Queue(R"({"page_offset_s": 3600})");
    program.MarkStatus();
    const double tickS = UnclickedRequestAt(armedAt, RetryS + 3);
    printf("  retry: request %.2f s after the first failure (%.2f s after the last)\n", tickS,
           tickS - std::chrono::duration<double>(lastFailureAt - armedAt).count());
    EXPECT_GT(tickS, RetryS - 1.5) << "the retry came early";
    EXPECT_LT(tickS, RetryS + 2) << "no retry on the first schedule";
    std::wstring status;
    EXPECT_TRUE(vesmor::WaitUntil([&] { return program.Status(status) && status != Marker; }, 10000));
    EXPECT_EQ(vesmor::Utf8(status), vesmor::Utf8(FailureText));
    EXPECT_TRUE(program.Responsive());
    EXPECT_EQ(program.Close(), 0u);
}

TEST_F(FaultMatrix, UnresolvedHostFailsAndTheRetryRecoversOnceItResolves)
{
    // WinINet keeps what it resolved for the life of the process: only a
    // program started now sees the name gone.
    sandbox::Resolve(false);
    Program program;
    ASSERT_TRUE(program.Started());
    const Program::Outcome outcome = program.Calibrate();
    const Steady::time_point armedAt = Steady::now();
    Print("host does not resolve", outcome);
    ASSERT_TRUE(outcome.ended);
    EXPECT_EQ(vesmor::Utf8(outcome.status), vesmor::Utf8(FailureText));
    EXPECT_TRUE(sandbox::Requests().empty());
    EXPECT_TRUE(program.Responsive());

    sandbox::Resolve(true);
    const double tickS = UnclickedRequestAt(armedAt, RetryS + 3);
    printf("  retry: request %.2f s after the failure\n", tickS);
    EXPECT_GT(tickS, RetryS - 1.5);
    EXPECT_LT(tickS, RetryS + 2);
    std::wstring status;
    EXPECT_TRUE(vesmor::WaitUntil([&] { return program.Status(status) && IsSuccess(status); }, 10000))
        << "the retry gets the good page: " << vesmor::Utf8(status);
    EXPECT_TRUE(program.Responsive());
    EXPECT_EQ(program.Close(), 0u);
}

TEST_F(FaultMatrix, GoodTimesInOddRepliesSucceedAndStopTheRetry)
{
    struct Case {
        const char* name;
        std::string (*entry)(const SYSTEMTIME& now);
        bool freshSecond;
    };
    const Case cases[] = {
        // "at_end": the page shows the second in which its last byte arrives.
        {"50 MB, Content-Length, time at the start",
         [](const SYSTEMTIME&) -> std::string { return R"({"page": "at_end", "pad_to": 52428800})"; }, false},
        {"50 MB, no Content-Length, time at the start",
         [](const SYSTEMTIME&) -> std::string {
             return R"({"page": "at_end", "pad_to": 52428800, "content_length": false})";
         },
         false},
        {"status 500 with a good time",
         [](const SYSTEMTIME&) -> std::string { return R"({"status": 500, "page": "soon"})"; }, false},
        // The bytes that came before the cut are read like a whole page.
        {"cut mid-body, after the time",
         [](const SYSTEMTIME&) -> std::string { return R"({"page": "soon", "pad_to": 4096, "cut_after": 110})"; },
         false},
        // 80 FF and 81 30 pair up, so the marker starts a character; FE ends
        // the body alone.
        {"not GBK around the marker, lead byte at the end",
         [](const SYSTEMTIME& now) { return BodyHexEntry("\x80\xFF\x81\x30" + TimeLine(now) + "\xFE"); }, true},
    };

    Program program;
    ASSERT_TRUE(program.Started());
    // Armed first: the successes must stop it.
    sandbox::Listen(false);
    const Program::Outcome arming = program.Calibrate();
    const Steady::time_point armedAt = Steady::now();
    sandbox::Reset();
    ASSERT_EQ(vesmor::Utf8(arming.status), vesmor::Utf8(FailureText));

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sandbox::Reset();
        const SYSTEMTIME now = c.freshSecond ? FreshSecond() : SYSTEMTIME{};
        sandbox::Queue(c.entry(now));
        const Program::Outcome outcome = program.Calibrate();
        Print(c.name, outcome);
        ASSERT_TRUE(outcome.ended) << "the run did not end";
        EXPECT_TRUE(IsSuccess(outcome.status)) << vesmor::Utf8(outcome.status);
        EXPECT_EQ(sandbox::Requests().size(), 1u);
        EXPECT_TRUE(program.Responsive());
    }

    sandbox::Reset();
    const double tickS = UnclickedRequestAt(armedAt, RetryS + 2);
    EXPECT_LT(tickS, 0) << "a retry " << tickS << " s after the arming, though a run succeeded since";
    EXPECT_TRUE(program.Responsive());
    EXPECT_EQ(program.Close(), 0u);
}

// A server that takes the request and never answers: only the fetch's
// time-outs end the run (Wine has none of its own), about 30 s.
TEST_F(FaultMatrix, SilentServerEndsByTheFetchTimeOuts)
{
    const int limitMs = 5 * 60 * 1000;

    Program program;
    ASSERT_TRUE(program.Started());
    sandbox::Queue(R"({"hang": true})");
    Program::Outcome outcome = program.Calibrate(limitMs);
    Print("silent server, the fetch's time-outs", outcome);
    if (!outcome.ended) {
        // Let go of the connection so the program can still be checked.
        sandbox::Reset();
        std::wstring status;
        vesmor::WaitUntil([&] { return program.Status(status) && status != Marker; }, 30000);
        printf("  released by the server: %s\n", vesmor::Utf8(status).c_str());
    }
    EXPECT_TRUE(outcome.ended) << "no time-out within " << limitMs / 1000 << " s";
    if (outcome.ended) {
        EXPECT_EQ(vesmor::Utf8(outcome.status), vesmor::Utf8(FailureText));
    }
    EXPECT_TRUE(program.Responsive());
    EXPECT_EQ(program.Close(), 0u);
}
