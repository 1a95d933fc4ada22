// The tray icon and hiding to the tray. Vesmor.exe is driven from outside
// against the desktop's own notification area (Wine's explorer), with real
// pointer input through the X server where it counts. What the program tells
// the shell, and when, is seen through a stand-in notification area that
// records it: explorer drops the icons of a destroyed window by itself, so
// only the record shows that the program removes its icon.
#include "tray/TrayIcon.h"

#include <gtest/gtest.h>
#include <commctrl.h>
#include <shellapi.h>

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ServerControl.h"
#include "VesmorProcess.h"
#include "app/ControlIds.h"

namespace {

using vesmor::WaitUntil;

constexpr UINT IconId = 100;
constexpr UINT CallbackMessage = 0x8064;
constexpr UINT AddedFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
const wchar_t Tip[] = L"Vesmor软件";

// Explorer's notification area, never the stand-in of this process.
HWND ExplorerTray()
{
    HWND tray = nullptr;
    while ((tray = FindWindowExW(nullptr, tray, L"Shell_TrayWnd", nullptr))) {
        DWORD owner = 0;
        GetWindowThreadProcessId(tray, &owner);
        if (owner != GetCurrentProcessId())
            return tray;
    }
    return nullptr;
}

void DeleteIconFromOutside(HWND window)
{
    NOTIFYICONDATAW record = {};
    record.cbSize = NOTIFYICONDATAW_V1_SIZE;
    record.hWnd = window;
    record.uID = IconId;
    Shell_NotifyIconW(NIM_DELETE, &record);
}

// Wine's taskbar has one button per top-level window, a child of its tray
// window whose id is the window's handle, shown while the window is.
bool TaskbarButtonShown(HWND window)
{
    HWND button = GetDlgItem(ExplorerTray(), static_cast<int>(reinterpret_cast<INT_PTR>(window)));
    return button && IsWindowVisible(button);
}

// What the shell sends for a mouse action on the icon. Synchronous: the
// handler has run when this returns.
void SendTrayMessage(HWND window, UINT mouseMessage)
{
    SendMessageTimeoutW(window, CallbackMessage, IconId, mouseMessage, SMTO_ABORTIFHUNG, 10000, nullptr);
}

void Minimise(HWND window) { ShowWindow(window, SW_MINIMIZE); }

bool HiddenInTheTray(HWND window) { return !IsWindowVisible(window); }
bool ShownRestored(HWND window) { return IsWindowVisible(window) && !IsIconic(window); }

RECT PlaceOf(HWND window)
{
    RECT place = {};
    GetWindowRect(window, &place);
    return place;
}

void MoveTo(HWND window, int left, int top)
{
    SetWindowPos(window, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

std::string DescribePlace(const RECT& place)
{
    return "(" + std::to_string(place.left) + ", " + std::to_string(place.top) + ")";
}

const wchar_t XdotoolPath[] = L"Z:\\usr\\bin\\xdotool";

bool HaveXdotool() { return GetFileAttributesW(XdotoolPath) != INVALID_FILE_ATTRIBUTES; }

std::string At(POINT point) { return std::to_string(point.x) + " " + std::to_string(point.y); }

// Icons line up from the right end of Wine's taskbar, each a small icon
// with a 2-pixel border; the program's is the only one in the sandbox.
POINT TrayIconCentre()
{
    RECT tray = PlaceOf(ExplorerTray());
    const int iconWidth = GetSystemMetrics(SM_CXSMICON) + 4;
    return {tray.right - iconWidth / 2, (tray.top + tray.bottom) / 2};
}

// The tip explorer shows under the pointer; empty while none shows.
std::wstring ShownTip()
{
    struct Search {
        DWORD explorer;
        HWND tip;
    } search = {0, nullptr};
    GetWindowThreadProcessId(ExplorerTray(), &search.explorer);
    EnumWindows(
        [](HWND window, LPARAM lParam) -> BOOL {
            auto* search = reinterpret_cast<Search*>(lParam);
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            wchar_t className[64] = {};
            GetClassNameW(window, className, 64);
            if (owner == search->explorer && wcscmp(className, TOOLTIPS_CLASSW) == 0 && IsWindowVisible(window)) {
                search->tip = window;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    wchar_t text[128] = {};
    if (search.tip)
        SendMessageTimeoutW(search.tip, WM_GETTEXT, 128, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 5000,
                            nullptr);
    return text;
}

// The middle of the window's first row of pixels that hit-test as the code
// (HTCAPTION, HTMINBUTTON); {-1, -1} when none does.
POINT PointWhere(HWND window, LRESULT code)
{
    const RECT place = PlaceOf(window);
    for (int y = place.top; y < place.top + 40; ++y) {
        int first = -1, last = -1;
        for (int x = place.left; x < place.right; ++x) {
            DWORD_PTR hit = 0;
            SendMessageTimeoutW(window, WM_NCHITTEST, 0, MAKELPARAM(x, y), SMTO_ABORTIFHUNG, 5000, &hit);
            if (static_cast<LRESULT>(hit) == code) {
                if (first < 0)
                    first = x;
                last = x;
            }
        }
        if (first >= 0)
            return {(first + last) / 2, y + 4};
    }
    return {-1, -1};
}

// Stands in for the shell's notification area and records what it is told.
// Shell_NotifyIcon sends its record to the first top-level "Shell_TrayWnd"
// window, and a topmost one of ours comes before explorer's. Wine's record
// starts with the window (32 bits), the icon id, the flags and the callback
// message; the rest of its layout differs between Wine versions.
class RecordingTray {
public:
    struct Call {
        DWORD message;  // NIM_ADD, NIM_MODIFY, NIM_DELETE
        UINT flags;
        UINT callbackMessage;
        bool windowExisted;  // when the record arrived
        bool windowVisible;
    };

    // answer: what the stand-in replies; FALSE refuses every call.
    explicit RecordingTray(BOOL answer = TRUE) : answer_(answer)
    {
        thread_ = std::thread([this] { Run(); });
        std::unique_lock<std::mutex> lock(mutex_);
        ready_.wait(lock, [this] { return started_; });
    }

    ~RecordingTray()
    {
        if (window_)
            PostMessageW(window_, WM_CLOSE, 0, 0);
        thread_.join();
    }

    HWND Window() const { return window_; }

    // The calls for icon 100 of the window, oldest first.
    std::vector<Call> CallsFor(HWND window) const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        std::vector<Call> calls;
        for (const Recorded& recorded : calls_) {
            if (recorded.window == window && recorded.id == IconId)
                calls.push_back(recorded.call);
        }
        return calls;
    }

private:
    struct Recorded {
        HWND window;
        UINT id;
        Call call;
    };

    void Run()
    {
        WNDCLASSW windowClass = {};
        windowClass.lpfnWndProc = Procedure;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"Shell_TrayWnd";
        RegisterClassW(&windowClass);
        HWND window = CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, L"Shell_TrayWnd", nullptr, WS_POPUP, 0, 0, 0,
                                      0, nullptr, nullptr, windowClass.hInstance, this);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            window_ = window;
            started_ = true;
        }
        ready_.notify_one();
        MSG message;
        while (window && GetMessageW(&message, nullptr, 0, 0) > 0)
            DispatchMessageW(&message);
    }

    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        if (message == WM_NCCREATE)
            SetWindowLongPtrW(window, GWLP_USERDATA,
                              reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams));
        auto* self = reinterpret_cast<RecordingTray*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        switch (message) {
        case WM_COPYDATA:
            return self->Record(*reinterpret_cast<const COPYDATASTRUCT*>(lParam));
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        }
        return DefWindowProcW(window, message, wParam, lParam);
    }

    BOOL Record(const COPYDATASTRUCT& data)
    {
        struct Head {
            LONG window;
            UINT id;
            UINT flags;
            UINT callbackMessage;
        } head;
        if (data.cbData < sizeof head || data.dwData > NIM_DELETE)
            return FALSE;
        memcpy(&head, data.lpData, sizeof head);
        HWND window = reinterpret_cast<HWND>(static_cast<LONG_PTR>(head.window));
        Recorded recorded = {window,
                             head.id,
                             {static_cast<DWORD>(data.dwData), head.flags, head.callbackMessage,
                              IsWindow(window) != FALSE, IsWindowVisible(window) != FALSE}};
        std::lock_guard<std::mutex> lock(mutex_);
        calls_.push_back(recorded);
        return answer_;
    }

    const BOOL answer_;
    std::thread thread_;
    mutable std::mutex mutex_;
    std::condition_variable ready_;
    bool started_ = false;
    HWND window_ = nullptr;
    std::vector<Recorded> calls_;
};

std::string DescribeCalls(const std::vector<RecordingTray::Call>& calls)
{
    static const char* const names[] = {"add", "modify", "delete"};
    std::string text;
    for (const RecordingTray::Call& call : calls)
        text += std::string(text.empty() ? "" : ", ") + names[call.message];
    return "[" + text + "]";
}

// HKLM\SOFTWARE "time", the exit option, as it was before the test.
class ExitOptionRestorer {
public:
    ExitOptionRestorer()
    {
        DWORD size = sizeof value_;
        existed_ = RegGetValueW(HKEY_LOCAL_MACHINE, L"SOFTWARE", L"time", RRF_RT_REG_DWORD, nullptr, &value_,
                                &size) == ERROR_SUCCESS;
    }
    ~ExitOptionRestorer()
    {
        if (existed_)
            RegSetKeyValueW(HKEY_LOCAL_MACHINE, L"SOFTWARE", L"time", REG_DWORD, &value_, sizeof value_);
        else
            RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, L"SOFTWARE", L"time");
    }

private:
    bool existed_ = false;
    DWORD value_ = 0;
};

// The program's icon file, read from Vesmor.exe's resources: the bytes the
// window definition holds.
std::vector<unsigned char> ProgramIconFile()
{
    std::vector<unsigned char> bytes;
    HMODULE program = LoadLibraryExW(vesmor::ProgramPath().c_str(), nullptr,
                                     LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (!program)
        return bytes;
    HRSRC resource = FindResourceW(program, MAKEINTRESOURCEW(IDR_ICON_FILE), MAKEINTRESOURCEW(10) /* RT_RCDATA */);
    if (resource) {
        const auto* data = static_cast<const unsigned char*>(LockResource(LoadResource(program, resource)));
        if (data)
            bytes.assign(data, data + SizeofResource(program, resource));
    }
    FreeLibrary(program);
    return bytes;
}

IconFileBytes BytesOf(const std::vector<unsigned char>& file) { return {file.data(), file.size()}; }

class RecordingSink final : public FatalErrorSink {
public:
    void RaiseFatalError(const Text& message) override { messages.emplace_back(message.Data(), message.Length()); }
    std::vector<std::string> messages;
};

// Vesmor.exe against explorer's notification area.
class TrayIconTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(vesmor.Started()) << "Vesmor.exe did not show its window";
        ASSERT_NE(ExplorerTray(), nullptr) << "the sandbox's desktop has no notification area";
        window = vesmor.Window();
        startPlace = PlaceOf(window);
    }

    void MinimiseAndWait()
    {
        Minimise(window);
        ASSERT_TRUE(WaitUntil([&] { return HiddenInTheTray(window); }, 5000)) << "minimising hides the window";
    }

    vesmor::Process vesmor;
    HWND window = nullptr;
    RECT startPlace = {};
};

// The same program, telling the stand-in notification area.
class TrayIconRecordTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(tray.Window(), nullptr);
        ASSERT_EQ(FindWindowW(L"Shell_TrayWnd", nullptr), tray.Window()) << "the shell would not reach the stand-in";
    }

    RecordingTray tray;
};

}  // namespace

TEST_F(TrayIconTest, IconIsInTheTrayFromTheStart)
{
    EXPECT_TRUE(vesmor::TrayIconInstalled(window));
    EXPECT_TRUE(IsWindowVisible(window));
    EXPECT_TRUE(WaitUntil([&] { return TaskbarButtonShown(window); }, 5000)) << "shown with its taskbar button";
}

TEST_F(TrayIconTest, PointerRestingOnTheIconShowsTheTipAndNothingElse)
{
    if (!HaveXdotool())
        GTEST_SKIP() << "xdotool is not installed";
    MinimiseAndWait();
    vesmor::Xdotool("mousemove 512 300");
    WaitUntil([] { return ShownTip().empty(); }, 5000);

    vesmor::Xdotool("mousemove " + At(TrayIconCentre()));
    std::wstring tip;
    EXPECT_TRUE(WaitUntil(
        [&] {
            tip = ShownTip();
            return !tip.empty();
        },
        5000))
        << "no tip shows over the icon";
    EXPECT_EQ(tip, Tip) << vesmor::Utf8(tip);
    EXPECT_TRUE(HiddenInTheTray(window)) << "a pointer move brings nothing back";
    EXPECT_TRUE(IsIconic(window));
}

TEST_F(TrayIconTest, EveryWayOfMinimisingHidesTheWindowAndKeepsTheIcon)
{
    struct Way {
        const char* name;
        bool realInput;
        void (*minimise)(HWND window);
    };
    const Way ways[] = {
        {"ShowWindow SW_MINIMIZE", false, [](HWND w) { ShowWindow(w, SW_MINIMIZE); }},
        {"WM_SYSCOMMAND SC_MINIMIZE", false, [](HWND w) { PostMessageW(w, WM_SYSCOMMAND, SC_MINIMIZE, 0); }},
        {"click on the minimise box", true, [](HWND w) { vesmor::Xdotool("mousemove " + At(PointWhere(w, HTMINBUTTON)) + " click 1"); }},
        {"click on the taskbar button", true,
         [](HWND w) {
             HWND button = GetDlgItem(ExplorerTray(), static_cast<int>(reinterpret_cast<INT_PTR>(w)));
             RECT place = PlaceOf(button);
             vesmor::Xdotool("mousemove " + At({(place.left + place.right) / 2, (place.top + place.bottom) / 2}) +
                          " click 1");
         }},
    };
    for (const Way& way : ways) {
        SCOPED_TRACE(way.name);
        if (way.realInput && !HaveXdotool())
            continue;
        SendTrayMessage(window, WM_LBUTTONUP);
        ASSERT_TRUE(ShownRestored(window));
        // Explorer minimises from its button only the window in the foreground.
        ASSERT_TRUE(WaitUntil([&] { return TaskbarButtonShown(window) && GetForegroundWindow() == window; }, 5000));

        way.minimise(window);
        EXPECT_TRUE(WaitUntil([&] { return HiddenInTheTray(window); }, 5000)) << "still visible";
        EXPECT_TRUE(IsIconic(window));
        EXPECT_TRUE(WaitUntil([&] { return !TaskbarButtonShown(window); }, 5000)) << "still on the taskbar";
        EXPECT_TRUE(vesmor::TrayIconInstalled(window)) << "the icon stays";
    }
}

TEST_F(TrayIconTest, TrayClicksBringTheMinimisedWindowBackRestored)
{
    const UINT clicks[] = {WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_RBUTTONUP, WM_CONTEXTMENU};
    for (UINT click : clicks) {
        SCOPED_TRACE("mouse message " + std::to_string(click));
        MinimiseAndWait();

        SendTrayMessage(window, click);
        EXPECT_TRUE(ShownRestored(window));
        EXPECT_EQ(DescribePlace(PlaceOf(window)), DescribePlace(startPlace)) << "back at its place";
        EXPECT_TRUE(WaitUntil([&] { return GetForegroundWindow() == window; }, 5000)) << "and active";
        EXPECT_TRUE(WaitUntil([&] { return TaskbarButtonShown(window); }, 5000)) << "and on the taskbar";
        EXPECT_TRUE(vesmor::TrayIconInstalled(window));
    }
}

TEST_F(TrayIconTest, OtherMouseMessagesLeaveTheWindowInTheTray)
{
    MinimiseAndWait();
    for (UINT ignored : {WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_RBUTTONDOWN, WM_MBUTTONUP}) {
        SendTrayMessage(window, ignored);
        EXPECT_TRUE(HiddenInTheTray(window)) << "mouse message " << ignored;
        EXPECT_TRUE(IsIconic(window)) << "mouse message " << ignored;
    }
    SendTrayMessage(window, WM_LBUTTONUP);
    EXPECT_TRUE(ShownRestored(window)) << "the window was listening all along";
}

TEST_F(TrayIconTest, RealClicksOnTheIconBringTheWindowBack)
{
    if (!HaveXdotool())
        GTEST_SKIP() << "xdotool is not installed";
    const char* clicks[] = {"click 1", "click --repeat 2 --delay 80 1", "click 3"};
    for (const char* click : clicks) {
        SCOPED_TRACE(click);
        MinimiseAndWait();
        vesmor::Xdotool("mousemove " + At(TrayIconCentre()) + " " + click);
        EXPECT_TRUE(WaitUntil([&] { return ShownRestored(window); }, 5000));
        EXPECT_EQ(DescribePlace(PlaceOf(window)), DescribePlace(startPlace));
    }
}

TEST_F(TrayIconTest, OnlyATopEdgeAboveTheScreenHidesAMovedWindow)
{
    const int screenWidth = GetSystemMetrics(SM_CXSCREEN);
    const int width = startPlace.right - startPlace.left;
    struct Place {
        const char* name;
        int left;
        int top;
        bool hidden;
    };
    const Place places[] = {
        {"one pixel above the screen", startPlace.left, -1, true},
        {"caption above the screen", startPlace.left, -150, true},
        {"touching the top", startPlace.left, 0, false},
        {"half off the left", -width / 2, 100, false},
        {"wholly off the left", -width - 50, 100, false},
        {"half off the right", screenWidth - width / 2, 100, false},
        {"wholly off the right", screenWidth + 50, 100, false},
        {"above and off the left", -width / 2, -20, true},
    };
    for (const Place& place : places) {
        SCOPED_TRACE(place.name);
        MoveTo(window, place.left, place.top);
        const RECT moved = PlaceOf(window);
        ASSERT_EQ(DescribePlace(moved), DescribePlace({place.left, place.top, 0, 0})) << "the move itself";
        EXPECT_EQ(HiddenInTheTray(window), place.hidden);
        EXPECT_FALSE(IsIconic(window));
        EXPECT_TRUE(vesmor::TrayIconInstalled(window));
        if (place.hidden) {
            SendTrayMessage(window, WM_LBUTTONUP);
            EXPECT_TRUE(ShownRestored(window)) << "a tray click brings it back";
            EXPECT_EQ(DescribePlace(PlaceOf(window)), DescribePlace(moved)) << "where it was";
        }
        MoveTo(window, startPlace.left, startPlace.top);
    }
}

TEST_F(TrayIconTest, DraggingTheCaptionAboveTheScreenHidesTheWindow)
{
    if (!HaveXdotool())
        GTEST_SKIP() << "xdotool is not installed";
    const POINT grip = PointWhere(window, HTCAPTION);
    ASSERT_GE(grip.x, 0) << "no caption found";
    vesmor::Xdotool("mousemove " + At(grip) + " mousedown 1 sleep 0.2 mousemove " + At({grip.x + 10, grip.y - 40}) +
                 " sleep 0.2 mousemove " + At({grip.x + 20, 0}) + " sleep 0.3 mouseup 1");
    ASSERT_TRUE(WaitUntil([&] { return HiddenInTheTray(window); }, 8000)) << "still visible";
    // The drag loop may still report the release; let it end first.
    Sleep(300);
    const RECT dropped = PlaceOf(window);
    EXPECT_LT(dropped.top, 0);
    EXPECT_FALSE(IsIconic(window));

    SendTrayMessage(window, WM_LBUTTONUP);
    EXPECT_TRUE(ShownRestored(window));
    EXPECT_EQ(DescribePlace(PlaceOf(window)), DescribePlace(dropped)) << "back where it was dropped";
}

TEST_F(TrayIconTest, RebuiltTaskbarGetsTheIconAgain)
{
    DeleteIconFromOutside(window);
    ASSERT_FALSE(vesmor::TrayIconInstalled(window)) << "the shell kept the icon";

    const UINT taskbarCreated = RegisterWindowMessageW(L"TaskbarCreated");
    SendMessageTimeoutW(HWND_BROADCAST, taskbarCreated, 0, 0, SMTO_ABORTIFHUNG, 10000, nullptr);
    EXPECT_TRUE(WaitUntil([&] { return vesmor::TrayIconInstalled(window); }, 5000));

    MinimiseAndWait();
    SendTrayMessage(window, WM_LBUTTONUP);
    EXPECT_TRUE(ShownRestored(window)) << "the icon's window still comes back";
}

TEST_F(TrayIconRecordTest, EveryWayOfEndingRemovesTheIconOnceBeforeTheWindowGoes)
{
    struct Ending {
        const char* name;
        bool removedWhileShown;  // the exit button's handler removes it first
        void (*end)(const vesmor::Process& vesmor);
    };
    const Ending endings[] = {
        {"close", false, [](const vesmor::Process& v) { PostMessageW(v.Window(), WM_CLOSE, 0, 0); }},
        {"Esc", false, [](const vesmor::Process& v) { PostMessageW(v.Window(), WM_KEYDOWN, VK_ESCAPE, 0x00010001); }},
        {"退出", true, [](const vesmor::Process& v) { v.Click(IDB_EXIT); }},
        {"successful calibration with 选择框2 checked", false,
         [](const vesmor::Process& v) {
             if (!v.Checked(IDX_EXIT_AFTER))
                 v.Click(IDX_EXIT_AFTER);
             WaitUntil([&] { return v.Checked(IDX_EXIT_AFTER); }, 5000);
             v.Click(IDB_CALIBRATE);
         }},
    };
    sandbox::Reset();  // the server's default page calibrates successfully
    ExitOptionRestorer restorer;
    for (const Ending& ending : endings) {
        SCOPED_TRACE(ending.name);
        vesmor::Process vesmor;
        ASSERT_TRUE(vesmor.Started());
        const HWND window = vesmor.Window();

        ending.end(vesmor);
        EXPECT_EQ(vesmor.WaitForExit(20000), 0u);

        const std::vector<RecordingTray::Call> calls = tray.CallsFor(window);
        ASSERT_EQ(DescribeCalls(calls), "[add, delete]");
        EXPECT_EQ(calls[0].flags, AddedFlags);
        EXPECT_EQ(calls[0].callbackMessage, CallbackMessage);
        EXPECT_TRUE(calls[1].windowExisted) << "removed only after the window had gone";
        if (ending.removedWhileShown) {
            EXPECT_TRUE(calls[1].windowVisible) << "removed after the window was hidden";
        }
    }
}

// The tray icon itself, in this process, on a window of its own.
class TrayIconStateTest : public TrayIconRecordTest {
protected:
    void SetUp() override
    {
        TrayIconRecordTest::SetUp();
        ASSERT_FALSE(iconFile.empty()) << "no icon file in Vesmor.exe";
        ASSERT_NE(window, nullptr);
    }
    void TearDown() override { DestroyWindow(window); }

    std::vector<unsigned char> iconFile = ProgramIconFile();
    HWND window = CreateWindowExW(0, L"STATIC", L"", WS_OVERLAPPED, 0, 0, 100, 100, nullptr, nullptr, nullptr, nullptr);
    TrayIcon icon;
};

TEST_F(TrayIconStateTest, IconIsAddedOnceThenModifiedAndDeletedOnce)
{
    icon.SetTrayIcon(window, BytesOf(iconFile), TrayTip);
    EXPECT_TRUE(icon.Installed());
    icon.SetTrayIcon(window, BytesOf(iconFile), TrayTip);
    icon.AddAgainAfterTaskbarCreated(window);
    icon.RemoveTrayIcon(window);
    EXPECT_FALSE(icon.Installed());
    icon.RemoveTrayIcon(window);
    icon.AddAgainAfterTaskbarCreated(window);

    const std::vector<RecordingTray::Call> calls = tray.CallsFor(window);
    ASSERT_EQ(DescribeCalls(calls), "[add, modify, add, delete]") << "nothing once the icon is gone";
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(calls[i].flags, AddedFlags) << i;
        EXPECT_EQ(calls[i].callbackMessage, CallbackMessage) << i;
    }
    EXPECT_EQ(calls[3].flags, 0u);
}

TEST_F(TrayIconStateTest, RefusedIconStillCountsAsInstalled)
{
    RecordingTray refusing(FALSE);
    ASSERT_EQ(FindWindowW(L"Shell_TrayWnd", nullptr), refusing.Window());
    icon.SetTrayIcon(window, BytesOf(iconFile), TrayTip);
    EXPECT_TRUE(icon.Installed());
    icon.RemoveTrayIcon(window);
    EXPECT_EQ(DescribeCalls(refusing.CallsFor(window)), "[add, delete]") << "the removal is sent all the same";
}

TEST_F(TrayIconStateTest, ImageThatMakesNoIconAddsNothing)
{
    auto withDword = [&](size_t offset, DWORD value) {
        std::vector<unsigned char> file = iconFile;
        memcpy(&file[offset], &value, sizeof value);
        return file;
    };
    DWORD imageOffset = 0;  // from the directory's one entry
    memcpy(&imageOffset, &iconFile[6 + 12], sizeof imageOffset);
    struct Broken {
        const char* name;
        std::vector<unsigned char> file;
    };
    const Broken images[] = {
        {"empty", {}},
        {"shorter than its directory", std::vector<unsigned char>(iconFile.begin(), iconFile.begin() + 12)},
        {"image beyond the file's end", withDword(6 + 12, static_cast<DWORD>(iconFile.size()))},
        {"image shorter than a bitmap header", withDword(6 + 8, 20)},
        {"bitmap header of width 0", withDword(imageOffset + 4, 0)},
    };
    for (const Broken& image : images) {
        icon.SetTrayIcon(window, BytesOf(image.file), TrayTip);
        EXPECT_FALSE(icon.Installed()) << image.name;
    }
    EXPECT_EQ(DescribeCalls(tray.CallsFor(window)), "[]");
}

TEST_F(TrayIconStateTest, OpenIconThatCannotBeBoundIsFatal)
{
    LateBound<OpenIconFunction> missing{"user32", "NoSuchOpenIcon"};
    RecordingSink sink;
    ShowFromTray(window, missing, sink);
    EXPECT_TRUE(IsWindowVisible(window)) << "shown before OpenIcon is needed";
    const Text expected = BindFailureMessage("user32", "NoSuchOpenIcon");
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(sink.messages[0], std::string(expected.Data(), expected.Length()));
}
