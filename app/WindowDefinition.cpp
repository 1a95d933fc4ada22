// MainWindow as it is defined: its properties, its ten controls, and
// BuildMainWindow, which makes the window from them.
#include "app/MainWindow.h"

#include <commctrl.h>

#include "VesmorConfig.h"
#include "app/ControlIds.h"
#include "app/Label.h"
#include "platform/win32/WideText.h"

const wchar_t MainWindowClassName[] = L"VesmorMain";

namespace {

const char* const WindowCaption = "Vesmor";
const int WindowWidth = 356;   // outer size, caption and border included
const int WindowHeight = 204;
const DWORD WindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;

const char* const YaheiFace = "微软雅黑";

enum class ControlKind { Label, Timer, Frame, CheckBox, PushButton };
enum class FontKind { Gui, Yahei };

const LabelStyle StatusLine = {true, false, false};
const LabelStyle PlainLine = {false, false, false};
const LabelStyle CreditLine = {false, true, true};

const DWORD ChildStyle = WS_CHILD | WS_CLIPSIBLINGS;
const DWORD FrameStyle = ChildStyle | BS_GROUPBOX | BS_LEFT;
const DWORD CheckBoxStyle = ChildStyle | WS_TABSTOP | BS_AUTOCHECKBOX | BS_MULTILINE | BS_LEFT | BS_VCENTER;
const DWORD ButtonStyle = ChildStyle | WS_TABSTOP | BS_MULTILINE | BS_CENTER | BS_VCENTER;

struct ControlDefinition {
    int id;
    ControlKind kind;
    int parent;  // 0: the main window
    int left, top, width, height;
    const char* caption;
    DWORD style;
    bool visibleAtStart;
    FontKind font;
    const LabelStyle* label;
};

// In stacking order, first on top. Places are in the parent's client area.
const ControlDefinition Controls[] = {
    // id            kind                      parent       left  top   w    h   caption                 style
    {IDT_STATUS,     ControlKind::Label,       0,           8,   136, 152, 32, "",                      ChildStyle,
     false, FontKind::Gui, &StatusLine},                                             // 标签3
    {ID_RETRY_TIMER, ControlKind::Timer,       0,           288, 16,  40,  24, nullptr,                 0,
     false, FontKind::Gui, nullptr},                                                 // 时钟1: no window
    {IDT_NOTICE,     ControlKind::Label,       0,           32,  8,   256, 24, "程序将会连接网络服务器进行Vesmor（北京）",
     ChildStyle, true, FontKind::Gui, &PlainLine},                                   // 标签2
    {IDG_SEPARATOR,  ControlKind::Frame,       0,           7,   95,  320, 2,  "",                      FrameStyle,
     true, FontKind::Gui, nullptr},                                                  // 分组框2
    {IDT_CREDIT,     ControlKind::Label,       0,           191, 143, 152, 15, VESMOR_CREDIT_TEXT,      ChildStyle,
     true, FontKind::Yahei, &CreditLine},                                            // 标签1
    {IDG_OPTIONS,    ControlKind::Frame,       0,           7,   37,  320, 51, "选项",                  FrameStyle,
     true, FontKind::Gui, nullptr},                                                  // 分组框1
    {IDX_AUTOSTART,  ControlKind::CheckBox,    IDG_OPTIONS, 184, 17,  128, 24, "开机自动校准时间",      CheckBoxStyle,
     true, FontKind::Yahei, nullptr},                                                // 选择框1
    {IDX_EXIT_AFTER, ControlKind::CheckBox,    IDG_OPTIONS, 8,   17,  176, 24, "每次校准后成功后自动退出", CheckBoxStyle,
     true, FontKind::Yahei, nullptr},                                                // 选择框2
    {IDB_EXIT,       ControlKind::PushButton,  0,           199, 106, 96,  24, "退出",                  ButtonStyle | BS_PUSHBUTTON,
     true, FontKind::Yahei, nullptr},                                                // 按钮2
    {IDB_CALIBRATE,  ControlKind::PushButton,  0,           39,  106, 96,  24, "开始校准",              ButtonStyle | BS_DEFPUSHBUTTON,
     true, FontKind::Yahei, nullptr},                                                // 按钮1
};

// A frame paints only its line and caption, and the main window clips its
// children: the frame fills its own inside. The check boxes live in the
// options frame, whose button class would keep their clicks to itself, so
// the frame passes them on to the main window.
LRESULT CALLBACK FrameProcedure(HWND frame, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR main)
{
    if (message == WM_COMMAND)
        return SendMessageW(reinterpret_cast<HWND>(main), message, wParam, lParam);
    if (message == WM_PAINT && !GetWindowTextLengthW(frame)) {
        // A frame 2 pixels high has no room for its box: draw the rule.
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(frame, &paint);
        RECT rule;
        GetClientRect(frame, &rule);
        DrawEdge(dc, &rule, EDGE_ETCHED, BF_TOP);
        EndPaint(frame, &paint);
        return 0;
    }
    if (message == WM_ERASEBKGND) {
        RECT inside;
        GetClientRect(frame, &inside);
        FillRect(reinterpret_cast<HDC>(wParam), &inside, GetSysColorBrush(COLOR_BTNFACE));
        return 1;
    }
    return DefSubclassProc(frame, message, wParam, lParam);
}

bool RegisterMainWindowClass(HINSTANCE instance)
{
    WNDCLASSEXW windowClass = {};
    if (GetClassInfoExW(instance, MainWindowClassName, &windowClass))
        return true;
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
    windowClass.lpfnWndProc = MainWindowProcedure;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
    windowClass.lpszClassName = MainWindowClassName;
    return RegisterClassExW(&windowClass) != 0;
}

IconFileBytes LoadIconFile(HINSTANCE instance)
{
    HRSRC resource = FindResourceW(instance, MAKEINTRESOURCEW(IDR_ICON_FILE), MAKEINTRESOURCEW(10) /* RT_RCDATA */);
    HGLOBAL loaded = resource ? LoadResource(instance, resource) : nullptr;
    if (!loaded)
        return {nullptr, 0};
    return {static_cast<const unsigned char*>(LockResource(loaded)), SizeofResource(instance, resource)};
}

HFONT CreateYaheiFont()
{
    LOGFONTW font = {};
    font.lfHeight = -12;
    font.lfWeight = FW_NORMAL;
    font.lfCharSet = DEFAULT_CHARSET;
    font.lfOutPrecision = OUT_DEFAULT_PRECIS;
    font.lfClipPrecision = CLIP_DEFAULT_PRECIS;
    font.lfQuality = PROOF_QUALITY;
    font.lfPitchAndFamily = DEFAULT_PITCH;
    WideText face(YaheiFace);
    lstrcpynW(font.lfFaceName, face.Get(), LF_FACESIZE);
    return CreateFontIndirectW(&font);
}

HWND CreateControl(const ControlDefinition& control, HWND parent, HINSTANCE instance)
{
    WideText caption(control.caption);
    if (control.kind == ControlKind::Label) {
        HWND label = CreateLabel(parent, control.id, control.label, control.left, control.top, control.width,
                                 control.height, instance);
        if (label)
            SetWindowTextW(label, caption.Get());
        return label;
    }
    return CreateWindowExW(0, L"BUTTON", caption.Get(), control.style, control.left, control.top, control.width,
                           control.height, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(control.id)),
                           instance, nullptr);
}

}  // namespace

bool BuildMainWindow(MainWindow& main)
{
    main.eventsHeld_ = true;
    if (!RegisterMainWindowClass(main.instance_) || !RegisterLabelClass(main.instance_))
        return false;

    const int left = (GetSystemMetrics(SM_CXSCREEN) - WindowWidth) / 2;
    const int top = (GetSystemMetrics(SM_CYSCREEN) - WindowHeight) / 2;
    WideText caption(WindowCaption);
    HWND window = CreateWindowExW(0, MainWindowClassName, caption.Get(), WindowStyle, left, top, WindowWidth,
                                  WindowHeight, nullptr, nullptr, main.instance_, &main);
    if (!window)
        return false;
    RECT outer;
    GetWindowRect(window, &outer);
    if (outer.right - outer.left != WindowWidth || outer.bottom - outer.top != WindowHeight)
        SetWindowPos(window, nullptr, left, top, WindowWidth, WindowHeight, SWP_NOZORDER | SWP_NOACTIVATE);

    main.iconFile_ = LoadIconFile(main.instance_);
    main.windowIcon_.Reset(CreateIconFromIconFile(main.iconFile_));
    SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(main.windowIcon_.Get()));
    SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(main.windowIcon_.Get()));
    HFONT guiFont = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(guiFont), FALSE);
    main.yaheiFont_.Reset(CreateYaheiFont());

    HWND aboveInWindow = HWND_TOP;
    HWND aboveInFrame = HWND_TOP;
    for (const ControlDefinition& control : Controls) {
        if (control.kind == ControlKind::Timer)
            continue;  // the retry timer lives on the window itself
        HWND parent = control.parent ? GetDlgItem(window, control.parent) : window;
        HWND created = CreateControl(control, parent, main.instance_);
        if (!created)
            return false;
        HWND& above = parent == window ? aboveInWindow : aboveInFrame;
        SetWindowPos(created, above, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        above = created;
        HFONT font = control.font == FontKind::Yahei && main.yaheiFont_ ? main.yaheiFont_.Get() : guiFont;
        SendMessageW(created, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        if (control.kind == ControlKind::CheckBox)
            SendMessageW(created, BM_SETCHECK, BST_UNCHECKED, 0);
        if (control.kind == ControlKind::Frame)
            SetWindowSubclass(created, FrameProcedure, 0, reinterpret_cast<DWORD_PTR>(window));
    }

    for (const ControlDefinition& control : Controls) {
        if (control.visibleAtStart)
            ShowWindow(main.Control(control.id), SW_SHOWNA);
    }

    main.eventsHeld_ = false;
    RaiseBuildEvents(main);
    if (!IsWindow(window))
        return true;  // a handler already ended it
    ShowWindow(window, SW_SHOW);
    SetFocus(main.Control(IDB_CALIBRATE));
    return true;
}
