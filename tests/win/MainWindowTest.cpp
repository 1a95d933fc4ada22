// The main window of Vesmor.exe as the user meets it: its frame, its
// controls, the keyboard and the credit line, seen from outside the process
// with real mouse and key input.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "VesmorConfig.h"
#include "VesmorProcess.h"
#include "app/ControlIds.h"

namespace {

const int WindowWidth = 356;
const int WindowHeight = 204;

std::wstring FromGbk(const char* text)
{
    wchar_t wide[256] = {};
    MultiByteToWideChar(936, 0, text, -1, wide, 256);
    return wide;
}

// The program file's icon as 0xAARRGGBB, top row first: the 32 x 32 image
// of its icon-file resource, opaque where the mask is clear. Empty when it
// cannot be read.
std::vector<uint32_t> ProgramIconPixels()
{
    std::vector<uint32_t> pixels;
    HMODULE exe = LoadLibraryExW(vesmor::ProgramPath().c_str(), nullptr,
                                 LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    HRSRC resource = exe ? FindResourceW(exe, MAKEINTRESOURCEW(IDR_ICON_FILE), MAKEINTRESOURCEW(10)) : nullptr;
    HGLOBAL loaded = resource ? LoadResource(exe, resource) : nullptr;
    if (loaded) {
        const auto* file = static_cast<const unsigned char*>(LockResource(loaded));
        DWORD imageOffset;
        std::memcpy(&imageOffset, file + 6 + 12, sizeof imageOffset);
        BITMAPINFOHEADER header;
        std::memcpy(&header, file + imageOffset, sizeof header);
        if (header.biWidth == 32 && header.biHeight == 64 && header.biBitCount == 24) {
            const unsigned char* colour = file + imageOffset + header.biSize;  // rows bottom up, 96 bytes each
            const unsigned char* mask = colour + 32 * 96;                       // rows bottom up, 4 bytes each
            for (int y = 0; y < 32; ++y) {
                for (int x = 0; x < 32; ++x) {
                    const int row = 31 - y;
                    const unsigned char* bgr = colour + row * 96 + x * 3;
                    const bool clear = mask[row * 4 + x / 8] & (0x80 >> (x % 8));
                    pixels.push_back(clear ? 0 : 0xff000000u | bgr[2] << 16 | bgr[1] << 8 | bgr[0]);
                }
            }
        }
    }
    if (exe)
        FreeLibrary(exe);
    return pixels;
}

// The icon that Wine gives the window's X counterpart (_NET_WM_ICON): width,
// height and pixels of each image, one after another.
std::vector<uint32_t> XWindowIcon(HWND window)
{
    const auto xWindow = reinterpret_cast<uintptr_t>(GetPropW(window, L"__wine_x11_whole_window"));
    std::string output;
    if (!xWindow ||
        !vesmor::RunLinux("/usr/bin/xprop -id " + std::to_string(xWindow) +
                              " -notype -f _NET_WM_ICON 32c ' $0+' _NET_WM_ICON",
                          &output))
        return {};
    std::vector<uint32_t> values;
    std::istringstream numbers(output.substr(output.find(' ') + 1));
    for (uint32_t value; numbers >> value; numbers.ignore(1))
        values.push_back(value);
    return values;
}

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(vesmor.Started()) << "Vesmor.exe did not show its window"; }

    // The window shows before its activation has finished.
    bool HasFocusAtStart(int id) const
    {
        return vesmor::WaitUntil([&] { return vesmor.Focus() == vesmor.Control(id); }, 3000);
    }

    // The control's place in the main window's client area.
    RECT ClientPlace(int id) const
    {
        RECT place = vesmor.ScreenRect(id);
        MapWindowPoints(nullptr, vesmor.Window(), reinterpret_cast<POINT*>(&place), 2);
        return place;
    }

    vesmor::Process vesmor;
};

}  // namespace

TEST_F(MainWindowTest, IsAFixedSizeCaptionedWindowCentredAndActive)
{
    HWND window = vesmor.Window();
    wchar_t caption[64] = {};
    GetWindowTextW(window, caption, 64);
    EXPECT_STREQ(caption, L"Vesmor");

    RECT place;
    GetWindowRect(window, &place);
    EXPECT_EQ(place.right - place.left, WindowWidth);
    EXPECT_EQ(place.bottom - place.top, WindowHeight);
    EXPECT_EQ(place.left, (GetSystemMetrics(SM_CXSCREEN) - WindowWidth) / 2);
    EXPECT_EQ(place.top, (GetSystemMetrics(SM_CYSCREEN) - WindowHeight) / 2);

    const LONG style = GetWindowLongW(window, GWL_STYLE);
    EXPECT_TRUE(style & WS_CAPTION);
    EXPECT_TRUE(style & WS_SYSMENU);
    EXPECT_TRUE(style & WS_MINIMIZEBOX);
    EXPECT_FALSE(style & WS_MAXIMIZEBOX) << "cannot be maximised";
    EXPECT_FALSE(style & WS_THICKFRAME) << "cannot be resized";
    EXPECT_FALSE(GetWindowLongW(window, GWL_EXSTYLE) & (WS_EX_TOPMOST | WS_EX_TOOLWINDOW));
    EXPECT_EQ(GetWindow(window, GW_OWNER), nullptr) << "a top-level window with its own taskbar button";

    EXPECT_TRUE(vesmor.WaitForForeground()) << "shown active";
    EXPECT_TRUE(HasFocusAtStart(IDB_CALIBRATE)) << "开始校准 has the focus at start";
}

// Under Wine, WM_GETICON fails across processes; the icon shows instead on
// the X side, where a window without one gets Wine's default logo.
TEST_F(MainWindowTest, CarriesTheProgramFilesOwnIcon)
{
    const std::vector<uint32_t> expected = ProgramIconPixels();
    ASSERT_EQ(expected.size(), 32u * 32u) << "no 32 x 32, 24-bit icon in the program file";
    const std::vector<uint32_t> icon = XWindowIcon(vesmor.Window());
    ASSERT_GE(icon.size(), 2u + 32 * 32) << "no window icon on the X side (is xprop from x11-utils installed?)";
    EXPECT_EQ(icon[0], 32u);
    EXPECT_EQ(icon[1], 32u);
    int wrong = 0;
    for (size_t i = 0; i < expected.size(); ++i) {
        // Clear pixels count by their alpha alone.
        const uint32_t seen = expected[i] ? icon[2 + i] : icon[2 + i] & 0xff000000u;
        if (seen != expected[i])
            ++wrong;
    }
    EXPECT_EQ(wrong, 0) << "pixels that differ from the program file's icon";
}

TEST_F(MainWindowTest, ControlsShowTheirTextsAtTheirPlaces)
{
    struct Expected {
        int id;
        const char* name;
        bool inOptionsFrame;
        std::wstring text;
        RECT place;  // left, top, right, bottom in the main window's client area
        bool visible;
    };
    const Expected controls[] = {
        {IDT_STATUS, "标签3", false, L"", {8, 136, 160, 168}, false},
        {IDT_NOTICE, "标签2", false, L"程序将会连接网络服务器进行Vesmor（北京）", {32, 8, 288, 32}, true},
        {IDG_SEPARATOR, "分组框2", false, L"", {7, 95, 327, 97}, true},
        {IDT_CREDIT, "标签1", false, FromGbk(VESMOR_CREDIT_TEXT), {191, 143, 343, 158}, true},
        {IDG_OPTIONS, "分组框1", false, L"选项", {7, 37, 327, 88}, true},
        {IDX_AUTOSTART, "选择框1", true, L"开机自动校准时间", {191, 54, 319, 78}, true},
        {IDX_EXIT_AFTER, "选择框2", true, L"每次校准后成功后自动退出", {15, 54, 191, 78}, true},
        {IDB_EXIT, "按钮2", false, L"退出", {199, 106, 295, 130}, true},
        {IDB_CALIBRATE, "按钮1", false, L"开始校准", {39, 106, 135, 130}, true},
    };
    HWND frame = vesmor.Control(IDG_OPTIONS);
    for (const Expected& control : controls) {
        SCOPED_TRACE(control.name);
        HWND handle = vesmor.Control(control.id);
        ASSERT_NE(handle, nullptr);
        EXPECT_EQ(GetParent(handle), control.inOptionsFrame ? frame : vesmor.Window());
        EXPECT_EQ(vesmor.Text(control.id), control.text);
        const RECT place = ClientPlace(control.id);
        EXPECT_EQ(place.left, control.place.left);
        EXPECT_EQ(place.top, control.place.top);
        EXPECT_EQ(place.right, control.place.right);
        EXPECT_EQ(place.bottom, control.place.bottom);
        EXPECT_EQ(vesmor.Visible(control.id), control.visible);
    }
}

TEST_F(MainWindowTest, TabAndShiftTabCycleThroughTheFourControls)
{
    struct Step {
        const char* keys;
        int focus;
        const char* name;
    };
    // From 开始校准, which has the focus at start.
    const Step steps[] = {
        {"Tab", IDB_EXIT, "按钮2"},
        {"Tab", IDX_EXIT_AFTER, "选择框2"},
        {"Tab", IDX_AUTOSTART, "选择框1"},
        {"Tab", IDB_CALIBRATE, "按钮1"},
        {"shift+Tab", IDX_AUTOSTART, "选择框1"},
        {"shift+Tab", IDX_EXIT_AFTER, "选择框2"},
        {"shift+Tab", IDB_EXIT, "按钮2"},
        {"shift+Tab", IDB_CALIBRATE, "按钮1"},
    };
    ASSERT_TRUE(HasFocusAtStart(IDB_CALIBRATE));
    int step = 0;
    for (const Step& s : steps) {
        ++step;
        ASSERT_TRUE(vesmor.PressKeys(s.keys)) << "xdotool";
        HWND expected = vesmor.Control(s.focus);
        EXPECT_TRUE(vesmor::WaitUntil([&] { return vesmor.Focus() == expected; }, 3000))
            << "step " << step << ": " << s.keys << " should focus " << s.name;
    }
    EXPECT_FALSE(vesmor.Checked(IDX_AUTOSTART) || vesmor.Checked(IDX_EXIT_AFTER)) << "Tab toggles nothing";
    EXPECT_TRUE(vesmor.Running());
}

TEST_F(MainWindowTest, CreditLineOpensTheHomePageOnThePressOfTheLeftButton)
{
    const size_t before = vesmor::OpenedUrls().size();
    auto opened = [before] {
        std::vector<std::string> urls = vesmor::OpenedUrls();
        return std::vector<std::string>(urls.begin() + static_cast<long>(before), urls.end());
    };

    ASSERT_TRUE(vesmor.MouseClick(IDT_CREDIT, 3)) << "xdotool";  // a right click opens nothing

    // Opened while the button is still down.
    ASSERT_TRUE(vesmor::Xdotool("mousedown 1"));
    EXPECT_TRUE(vesmor::WaitUntil([&] { return !opened().empty(); }, 10000)) << "nothing opened on the press";
    ASSERT_TRUE(vesmor::Xdotool("mouseup 1"));

    // The second press of a double click is no new press.
    ASSERT_TRUE(vesmor::Xdotool("click --repeat 2 --delay 80 1"));
    vesmor::WaitUntil([&] { return opened().size() >= 2; }, 10000);
    Sleep(1500);  // time for a surplus page to show up

    EXPECT_EQ(opened(), std::vector<std::string>({VESMOR_HOME_URL, VESMOR_HOME_URL}));
    EXPECT_TRUE(vesmor.Running());
}
