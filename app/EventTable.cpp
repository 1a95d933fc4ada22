// What MainWindow does: one handler per event, the table that binds them,
// and the window procedure, which only dispatches.
#include "VesmorConfig.h"
#include "app/ControlIds.h"
#include "app/MainWindow.h"

struct Handlers {
    // Runs the handler bound to the event, unless events are held.
    static void Raise(MainWindow& main, UINT event, int source, WPARAM wParam, LPARAM lParam);

    // Options into the boxes first, then the tray icon.
    static void OnCreated(MainWindow& main, WPARAM, LPARAM)
    {
        Options options = main.settings_.LoadOptions();
        // BM_SETCHECK raises no click, so loading writes nothing back.
        if (options.autoStart)
            SendMessageW(main.Control(IDX_AUTOSTART), BM_SETCHECK, BST_CHECKED, 0);
        if (options.exitAfterCalibration)
            SendMessageW(main.Control(IDX_EXIT_AFTER), BM_SETCHECK, BST_CHECKED, 0);
        main.tray_.SetTrayIcon(main.window_, main.iconFile_, TrayTip);
    }

    static void OnPositionChanged(MainWindow& main, WPARAM, LPARAM) { HideWhenAboveScreen(main.window_); }

    static void OnTrayEvent(MainWindow& main, WPARAM, LPARAM mouseMessage)
    {
        if (TrayActionFromMouseMessage(mouseMessage) != TrayActionNone)
            ShowFromTray(main.window_, main.openIcon_, main);
    }

    static void OnTaskbarCreated(MainWindow& main, WPARAM, LPARAM)
    {
        main.tray_.AddAgainAfterTaskbarCreated(main.window_);
    }

    static void OnWillBeDestroyed(MainWindow& main, WPARAM, LPARAM) { main.tray_.RemoveTrayIcon(main.window_); }

    static void OnCalibrateClicked(MainWindow& main, WPARAM, LPARAM) { main.calibration_.RunCalibration(); }

    static void OnRetryTick(MainWindow& main, WPARAM, LPARAM) { main.calibration_.RunCalibration(); }

    // The icon leaves the tray while the window is still on the screen.
    static void OnExitClicked(MainWindow& main, WPARAM, LPARAM)
    {
        main.tray_.RemoveTrayIcon(main.window_);
        main.EndProgram(0);
    }

    static void OnAutoStartClicked(MainWindow& main, WPARAM, LPARAM)
    {
        main.settings_.SaveAutoStart(SendMessageW(main.Control(IDX_AUTOSTART), BM_GETCHECK, 0, 0) == BST_CHECKED);
    }

    static void OnExitOptionClicked(MainWindow& main, WPARAM, LPARAM)
    {
        main.settings_.SaveExitOption(SendMessageW(main.Control(IDX_EXIT_AFTER), BM_GETCHECK, 0, 0) == BST_CHECKED);
    }

    // On the press, not the release; the arguments are not looked at.
    static void OnCreditPressed(MainWindow& main, WPARAM, LPARAM) { OpenHomePage(main); }

    static void OnDestroyRequested(MainWindow& main, WPARAM, LPARAM)
    {
        if (!main.destructionPending_)
            return;
        main.destructionPending_ = false;
        DestroyWindow(main.window_);
    }

    static void OpenHomePage(MainWindow& main)
    {
        ShellExecuteFunction shellExecute = main.shellExecute_.Get();
        if (!shellExecute) {
            main.RaiseFatalError(BindFailureMessage(main.shellExecute_.Library(), main.shellExecute_.Name()));
            return;
        }
        shellExecute(nullptr, "open", VESMOR_HOME_URL, "", "", SW_HIDE);
    }
};

namespace {

using Handler = void (*)(MainWindow&, WPARAM, LPARAM);

struct EventBinding {
    UINT event;    // window message, or one of the events without a message
    int source;    // control or timer id; 0 for the window itself
    Handler handler;
};

// Every event that has a handler. Size changed and the close query have
// none: closing is never refused.
const EventBinding EventTable[] = {
    {CreatedEvent,          0,              Handlers::OnCreated},
    {WM_MOVE,               0,              Handlers::OnPositionChanged},
    {TrayCallbackMessage,   0,              Handlers::OnTrayEvent},
    {TaskbarCreatedEvent,   0,              Handlers::OnTaskbarCreated},
    {WM_DESTROY,            0,              Handlers::OnWillBeDestroyed},
    {DestroyRequestMessage, 0,              Handlers::OnDestroyRequested},
    {WM_COMMAND,            IDB_CALIBRATE,  Handlers::OnCalibrateClicked},   // 按钮1, and Enter
    {WM_COMMAND,            IDB_EXIT,       Handlers::OnExitClicked},        // 按钮2
    {WM_COMMAND,            IDX_AUTOSTART,  Handlers::OnAutoStartClicked},   // 选择框1
    {WM_COMMAND,            IDX_EXIT_AFTER, Handlers::OnExitOptionClicked},  // 选择框2
    {WM_LBUTTONDOWN,        IDT_CREDIT,     Handlers::OnCreditPressed},      // 标签1
    {WM_TIMER,              ID_RETRY_TIMER, Handlers::OnRetryTick},          // 时钟1
};

// The four controls that take the focus, in Tab order.
const int TabOrder[] = {IDX_EXIT_AFTER, IDX_AUTOSTART, IDB_CALIBRATE, IDB_EXIT};

// Which control or timer a message comes from; -1 for a notification
// nothing is bound to.
int SourceOf(UINT message, WPARAM wParam)
{
    if (message == WM_COMMAND)
        return HIWORD(wParam) == BN_CLICKED ? LOWORD(wParam) : -1;
    if (message == WM_TIMER)
        return static_cast<int>(wParam);
    return 0;
}

bool AnyModifierHeld()
{
    return GetKeyState(VK_CONTROL) < 0 || GetKeyState(VK_SHIFT) < 0 || GetKeyState(VK_MENU) < 0;
}

}  // namespace

void Handlers::Raise(MainWindow& main, UINT event, int source, WPARAM wParam, LPARAM lParam)
{
    if (main.eventsHeld_)
        return;
    for (const EventBinding& binding : EventTable) {
        if (binding.event == event && binding.source == source) {
            binding.handler(main, wParam, lParam);
            return;
        }
    }
}

void RaiseBuildEvents(MainWindow& main)
{
    Handlers::Raise(main, CreatedEvent, 0, 0, 0);
    if (IsWindow(main.window_))
        Handlers::Raise(main, WM_MOVE, 0, 0, 0);
    // Size changed is raised here too; it has no handler.
}

bool PreTranslateMessage(MainWindow& main, MSG& message)
{
    if (!main.window_ || (message.hwnd != main.window_ && !IsChild(main.window_, message.hwnd)))
        return false;

    if (message.message == WM_KEYDOWN) {
        switch (message.wParam) {
        case VK_ESCAPE:
            if (AnyModifierHeld())
                return false;
            SendMessageW(main.window_, WM_CLOSE, 0, 0);
            return true;
        case VK_RETURN:
            if (AnyModifierHeld())
                return false;
            Handlers::Raise(main, WM_COMMAND, IDB_CALIBRATE, MAKEWPARAM(IDB_CALIBRATE, BN_CLICKED),
                  reinterpret_cast<LPARAM>(main.Control(IDB_CALIBRATE)));
            return true;
        case VK_TAB: {
            if (GetKeyState(VK_CONTROL) < 0 || GetKeyState(VK_MENU) < 0)
                return false;
            const int count = sizeof TabOrder / sizeof TabOrder[0];
            const int step = GetKeyState(VK_SHIFT) < 0 ? count - 1 : 1;
            HWND focus = GetFocus();
            int next = step == 1 ? 0 : count - 1;
            for (int i = 0; i < count; ++i) {
                if (main.Control(TabOrder[i]) == focus)
                    next = (i + step) % count;
            }
            SetFocus(main.Control(TabOrder[next]));
            return true;
        }
        }
    }

    // The credit line opens the home page on the press; the press then goes
    // on to the label as usual.
    if (message.message == WM_LBUTTONDOWN && message.hwnd == main.Control(IDT_CREDIT))
        Handlers::Raise(main, WM_LBUTTONDOWN, IDT_CREDIT, message.wParam, message.lParam);
    return false;
}

LRESULT CALLBACK MainWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto* main = static_cast<MainWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        main->window_ = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(main));
        main->taskbarCreatedMessage_ = RegisterWindowMessageW(L"TaskbarCreated");
    }
    auto* main = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!main)
        return DefWindowProcW(window, message, wParam, lParam);

    switch (message) {
    case WM_MOVE: {
        // Position changed runs after the default handling of the move.
        LRESULT result = DefWindowProcW(window, message, wParam, lParam);
        Handlers::Raise(*main, WM_MOVE, 0, wParam, lParam);
        return result;
    }
    case WM_ERASEBKGND: {
        RECT client;
        GetClientRect(window, &client);
        FillRect(reinterpret_cast<HDC>(wParam), &client, GetSysColorBrush(COLOR_BTNFACE));
        return 1;
    }
    case WM_ACTIVATE:
        if (LOWORD(wParam) == WA_INACTIVE) {
            HWND focus = GetFocus();
            if (focus && IsChild(window, focus))
                main->lastFocus_ = focus;
        }
        break;
    case WM_SETFOCUS:
        SetFocus(main->lastFocus_ && IsWindow(main->lastFocus_) ? main->lastFocus_ : main->Control(IDB_CALIBRATE));
        return 0;
    case WM_DESTROY:
        Handlers::Raise(*main, WM_DESTROY, 0, wParam, lParam);
        // The handler has removed the icon already; this is for a window
        // that ends with its handlers held, but not by EndProgram.
        if (!main->ending_)
            main->tray_.RemoveTrayIcon(window);
        return 0;
    case WM_NCDESTROY:
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        main->window_ = nullptr;
        PostQuitMessage(0);
        return DefWindowProcW(window, message, wParam, lParam);
    }

    if (message == main->taskbarCreatedMessage_ && message != 0) {
        Handlers::Raise(*main, TaskbarCreatedEvent, 0, wParam, lParam);
        return DefWindowProcW(window, message, wParam, lParam);
    }
    Handlers::Raise(*main, message, SourceOf(message, wParam), wParam, lParam);
    if (message == TrayCallbackMessage || message == DestroyRequestMessage)
        return 0;
    return DefWindowProcW(window, message, wParam, lParam);
}
