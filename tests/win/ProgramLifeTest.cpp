// The life of Vesmor.exe seen from outside: where it starts, how a user
// starts a calibration, the retry after a failure, and every way it ends
// with its exit code.
#include <gtest/gtest.h>

#include <functional>
#include <regex>
#include <string>
#include <vector>

#include "ServerControl.h"
#include "VesmorProcess.h"
#include "app/ControlIds.h"

namespace {

const wchar_t SuccessPrefix[] = L"校准成功。当前时间\r\n";
const wchar_t FailureText[] = L"校准失败，30秒后重试";
const char HourOffPage[] = R"({"page_offset_s": 3600})";

// A registry value the program may write, put back as it was found.
class SavedRegistryValue {
public:
    SavedRegistryValue(const wchar_t* key, const wchar_t* name) : key_(key), name_(name)
    {
        DWORD size = sizeof data_;
        present_ = RegGetValueW(HKEY_LOCAL_MACHINE, key_, name_, RRF_RT_ANY | RRF_NOEXPAND, &type_, data_, &size) ==
                   ERROR_SUCCESS;
        size_ = size;
    }
    SavedRegistryValue(const SavedRegistryValue&) = delete;
    SavedRegistryValue& operator=(const SavedRegistryValue&) = delete;
    ~SavedRegistryValue()
    {
        if (present_)
            RegSetKeyValueW(HKEY_LOCAL_MACHINE, key_, name_, type_, data_, size_);
        else
            Remove();
    }

    void Remove() const { RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, key_, name_); }

private:
    const wchar_t* key_;
    const wchar_t* name_;
    bool present_ = false;
    DWORD type_ = 0;
    BYTE data_[2048] = {};
    DWORD size_ = 0;
};

// Whether the text is the success text with a date and time within a few
// seconds of now: "YYYY年M月D日", then hour, minute and second, trailing
// zero fields left off.
::testing::AssertionResult IsSuccessNow(const std::wstring& text)
{
    static const std::wregex shape(L"校准成功。当前时间\r\n(\\d+)年(\\d+)月(\\d+)日(?:(\\d+)时(?:(\\d+)分(?:(\\d+)秒)?)?)?");
    std::wsmatch parts;
    if (!std::regex_match(text, parts, shape))
        return ::testing::AssertionFailure() << "not the success text: " << vesmor::Utf8(text);
    auto field = [&](int i) { return static_cast<WORD>(parts[i].matched ? std::stoi(parts[i].str()) : 0); };
    SYSTEMTIME shown = {field(1), field(2), 0, field(3), field(4), field(5), field(6), 0};
    SYSTEMTIME now;
    GetLocalTime(&now);
    FILETIME a, b;
    if (!SystemTimeToFileTime(&shown, &a) || !SystemTimeToFileTime(&now, &b))
        return ::testing::AssertionFailure() << "no valid date: " << vesmor::Utf8(text);
    const auto ticks = [](const FILETIME& t) { return (static_cast<long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
    const long long seconds = (ticks(b) - ticks(a)) / 10000000;
    if (seconds < -2 || seconds > 5)
        return ::testing::AssertionFailure() << "shows a time " << seconds << " s from now: " << vesmor::Utf8(text);
    return ::testing::AssertionSuccess();
}

class ProgramLifeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        sandbox::Reset();
        // Both options off: a success must not end the program unasked.
        exitOption_.Remove();
        autoStart_.Remove();
    }
    void TearDown() override { sandbox::Reset(); }

    // Clears the status line, has `ask` start a calibration, and returns
    // the status text it leaves.
    static std::wstring Calibrate(const vesmor::Process& vesmor, const std::function<void()>& ask)
    {
        SendMessageTimeoutW(vesmor.Control(IDT_STATUS), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L""), SMTO_ABORTIFHUNG,
                            5000, nullptr);
        ask();
        std::wstring text;
        vesmor::WaitUntil(
            [&] {
                text = vesmor.Status();
                return !text.empty();
            },
            20000);
        return text;
    }

    // GetTickCount when the server's request log reaches the count; 0 when
    // it does not within the timeout. Only the server is asked: the window
    // does not answer while a calibration runs.
    static DWORD WhenRequestCountReaches(size_t count, int timeoutMs)
    {
        DWORD at = 0;
        vesmor::WaitUntil(
            [&] {
                at = GetTickCount();
                return sandbox::Requests().size() >= count;
            },
            timeoutMs);
        return sandbox::Requests().size() >= count ? at : 0;
    }

private:
    SavedRegistryValue exitOption_{L"SOFTWARE", L"time"};
    SavedRegistryValue autoStart_{L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", L"Vesmor"};
};

}  // namespace

TEST_F(ProgramLifeTest, StartsInItsOwnDirectoryWhereverItIsStartedFrom)
{
    wchar_t windows[MAX_PATH];
    GetWindowsDirectoryW(windows, MAX_PATH);
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    // A name with a space and characters of the GBK code page.
    const std::wstring copyDirectory = std::wstring(temp) + L"Vesmor 启动目录";
    CreateDirectoryW(copyDirectory.c_str(), nullptr);
    ASSERT_TRUE(CopyFileW(vesmor::ProgramPath().c_str(), (copyDirectory + L"\\Vesmor.exe").c_str(), FALSE));

    struct Case {
        std::wstring exe;
        std::wstring startedIn;
    };
    const Case cases[] = {
        {vesmor::ProgramPath(), windows},
        {copyDirectory + L"\\Vesmor.exe", windows},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(vesmor::Utf8(c.exe));
        wchar_t full[MAX_PATH];
        GetFullPathNameW(c.exe.c_str(), MAX_PATH, full, nullptr);
        std::wstring expected(full);
        expected.resize(expected.rfind(L'\\') + 1);  // the current directory keeps its final backslash

        vesmor::Process vesmor(c.exe, c.startedIn);
        ASSERT_TRUE(vesmor.Started());
        const std::wstring current = vesmor::CurrentDirectoryOf(vesmor.Handle());
        EXPECT_EQ(CompareStringOrdinal(current.c_str(), -1, expected.c_str(), -1, TRUE), CSTR_EQUAL)
            << "current directory " << vesmor::Utf8(current) << ", program in " << vesmor::Utf8(expected);
    }
    DeleteFileW((copyDirectory + L"\\Vesmor.exe").c_str());
    RemoveDirectoryW(copyDirectory.c_str());
}

TEST_F(ProgramLifeTest, CalibratesNothingUntilTheUserAsks)
{
    vesmor::Process vesmor;
    ASSERT_TRUE(vesmor.Started());
    Sleep(3000);
    EXPECT_TRUE(sandbox::Requests().empty());
    EXPECT_FALSE(vesmor.Visible(IDT_STATUS));
    EXPECT_TRUE(vesmor.Running());
}

TEST_F(ProgramLifeTest, AClickOrEnterCalibrates)
{
    vesmor::Process vesmor;
    ASSERT_TRUE(vesmor.Started());
    struct Way {
        const char* name;
        std::function<bool()> ask;
    };
    const Way ways[] = {
        {"a mouse click on 开始校准", [&] { return vesmor.MouseClick(IDB_CALIBRATE); }},
        {"Enter", [&] { return vesmor.PressKeys("Return"); }},
        {"Enter while 退出 has the focus",
         [&] {
             return vesmor.PressKeys("Tab") &&
                    vesmor::WaitUntil([&] { return vesmor.Focus() == vesmor.Control(IDB_EXIT); }, 3000) &&
                    vesmor.PressKeys("Return");
         }},
    };
    size_t requests = 0;
    for (const Way& way : ways) {
        SCOPED_TRACE(way.name);
        bool asked = false;
        const std::wstring status = Calibrate(vesmor, [&] { asked = way.ask(); });
        ASSERT_TRUE(asked) << "xdotool";
        EXPECT_TRUE(IsSuccessNow(status));
        EXPECT_TRUE(vesmor.Visible(IDT_STATUS));
        EXPECT_EQ(sandbox::Requests().size(), ++requests) << "one fetch each";
        EXPECT_TRUE(vesmor.Running());
    }
}

// The one test in real time: the retry timer's 30 seconds.
TEST_F(ProgramLifeTest, AFailureIsRetriedEveryThirtySecondsUntilASuccess)
{
    // Three refused pages, the last one slow; then the good page.
    sandbox::Queue(std::string("[") + HourOffPage + "," + HourOffPage +
                   R"(, {"page_offset_s": 3600, "delay_ms": 12000}])");
    vesmor::Process vesmor;
    ASSERT_TRUE(vesmor.Started());

    EXPECT_EQ(Calibrate(vesmor, [&] { vesmor.Click(IDB_CALIBRATE); }), FailureText);
    const DWORD first = WhenRequestCountReaches(1, 1000);
    ASSERT_NE(first, 0u);

    // A failed click while the retry is armed leaves its schedule alone...
    Sleep(10000);
    EXPECT_EQ(Calibrate(vesmor, [&] { vesmor.Click(IDB_CALIBRATE); }), FailureText);
    const DWORD tick = WhenRequestCountReaches(3, 45000);
    ASSERT_NE(tick, 0u) << "no retry";
    EXPECT_GE(tick - first, 27000u);
    EXPECT_LE(tick - first, 36000u) << "the click restarted the retry timer";

    // ...and so does a failed tick, however long it took (12 s here).
    const DWORD nextTick = WhenRequestCountReaches(4, 45000);
    ASSERT_NE(nextTick, 0u) << "no second retry";
    EXPECT_GE(nextTick - first, 57000u);
    EXPECT_LE(nextTick - first, 66000u) << "the slow failure restarted the retry timer";

    std::wstring status;
    vesmor::WaitUntil(
        [&] {
            status = vesmor.Status();
            return status != FailureText;
        },
        5000);
    EXPECT_TRUE(IsSuccessNow(status)) << "the good page after the failures";
    EXPECT_TRUE(vesmor.Running());
}

TEST_F(ProgramLifeTest, EveryWayOfClosingEndsWithExitCodeZeroAndTakesTheTrayIcon)
{
    struct Way {
        const char* name;
        std::function<bool(const vesmor::Process&)> close;
    };
    const Way ways[] = {
        {"the close box", [](const vesmor::Process& p) { return PostMessageW(p.Window(), WM_CLOSE, 0, 0) != FALSE; }},
        {"the system menu",
         [](const vesmor::Process& p) { return PostMessageW(p.Window(), WM_SYSCOMMAND, SC_CLOSE, 0) != FALSE; }},
        {"Alt+F4", [](const vesmor::Process& p) { return p.PressKeys("alt+F4"); }},
        {"Esc", [](const vesmor::Process& p) { return p.PressKeys("Escape"); }},
        {"退出", [](const vesmor::Process& p) { return p.MouseClick(IDB_EXIT); }},
    };
    for (const Way& way : ways) {
        SCOPED_TRACE(way.name);
        vesmor::Process vesmor;
        ASSERT_TRUE(vesmor.Started());
        const HWND window = vesmor.Window();
        ASSERT_TRUE(vesmor::TrayIconInstalled(window));
        ASSERT_TRUE(way.close(vesmor));
        EXPECT_EQ(vesmor.WaitForExit(10000), 0u);
        EXPECT_FALSE(vesmor::TrayIconInstalled(window));
    }
}

TEST_F(ProgramLifeTest, ExitOptionEndsTheProgramAfterASuccessOnly)
{
    vesmor::Process vesmor;
    ASSERT_TRUE(vesmor.Started());
    ASSERT_TRUE(vesmor.MouseClick(IDX_EXIT_AFTER));
    ASSERT_TRUE(vesmor::WaitUntil([&] { return vesmor.Checked(IDX_EXIT_AFTER); }, 3000));

    sandbox::Queue(HourOffPage);
    EXPECT_EQ(Calibrate(vesmor, [&] { vesmor.Click(IDB_CALIBRATE); }), FailureText);
    EXPECT_EQ(vesmor.WaitForExit(1000), static_cast<DWORD>(STILL_ACTIVE)) << "a failure leaves the program running";

    // The page comes late, so that the status is asked for while the run
    // still waits: the program answers after the run, before it takes the
    // posted destruction.
    sandbox::Queue(R"({"delay_ms": 500})");
    vesmor.Click(IDB_CALIBRATE);
    const HWND window = vesmor.Window();
    std::wstring lastSeen;
    vesmor::WaitUntil(
        [&] {
            if (!IsWindow(window))
                return true;
            const std::wstring text = vesmor.Status();
            if (!text.empty())
                lastSeen = text;
            return false;
        },
        20000);
    EXPECT_TRUE(IsSuccessNow(lastSeen)) << "the status was set before the window went";
    EXPECT_EQ(vesmor.WaitForExit(10000), 0u);
    EXPECT_FALSE(vesmor::TrayIconInstalled(window));
}
