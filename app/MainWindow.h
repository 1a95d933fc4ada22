#pragma once
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include "calibration/Calibration.h"
#include "platform/FatalError.h"
#include "platform/Text.h"
#include "platform/win32/IconFile.h"
#include "platform/win32/LateBinding.h"
#include "platform/win32/ScopedHandles.h"
#include "platform/win32/Win32Clock.h"
#include "platform/win32/Win32Cursor.h"
#include "platform/win32/Win32Registry.h"
#include "platform/win32/WinInetClient.h"
#include "settings/Settings.h"
#include "tray/TrayIcon.h"

// Private messages, and the events that no window message carries.
constexpr UINT DestroyRequestMessage = WM_APP + 1;  // carries out a requested destruction
constexpr UINT CreatedEvent = WM_APP + 2;           // raised once by BuildMainWindow
constexpr UINT TaskbarCreatedEvent = WM_APP + 3;    // the shell's "TaskbarCreated" broadcast
static_assert(TrayCallbackMessage == 0x8064, "the shell reports tray clicks with this message");

extern const wchar_t MainWindowClassName[];

using ShellExecuteFunction = HINSTANCE(WINAPI*)(HWND, const char*, const char*, const char*, const char*, INT);

// The program's one window and everything that hangs on it. It lives for
// the whole run; the window procedure finds it through the window.
class MainWindow final : public CalibrationWindow, public FatalErrorSink {
public:
    MainWindow(HINSTANCE instance, Text programPath);

    HWND Handle() const { return window_; }
    HWND Control(int id) const;

    // CalibrationWindow
    void ShowStatusLabel() override;
    void SetStatusCaption(const Text& caption) override;
    void StartRetryTimer(int periodMs) override;
    void StopRetryTimer() override;
    bool IsExitOptionChecked() override;
    void RequestDestruction() override;

    // FatalErrorSink: the error box, then the end with exit code -1.
    void RaiseFatalError(const Text& message) override;

    // Ends the program at once with the code; no handler runs any more.
    [[noreturn]] void EndProgram(int exitCode);

    // Frees what the program holds: bound libraries, icons, fonts, the
    // client handle of the fetch.
    void ReleaseAll();

private:
    friend bool BuildMainWindow(MainWindow& main);
    friend void RaiseBuildEvents(MainWindow& main);
    friend bool PreTranslateMessage(MainWindow& main, MSG& message);
    friend LRESULT CALLBACK MainWindowProcedure(HWND, UINT, WPARAM, LPARAM);
    friend struct Handlers;

    HINSTANCE instance_;
    Text programPath_;
    HWND window_ = nullptr;

    // While held, events run no handler: during the build, and for good
    // once the program has begun to end.
    bool eventsHeld_ = true;
    bool ending_ = false;  // EndProgram: the window removes nothing itself
    bool destructionPending_ = false;
    UINT taskbarCreatedMessage_ = 0;
    HWND lastFocus_ = nullptr;  // given back when the window is activated again

    WinInetClient http_;
    Win32Clock clock_;
    Win32Cursor cursor_;
    Win32Registry registry_;
    Calibration calibration_;
    Settings settings_;
    TrayIcon tray_;

    IconFileBytes iconFile_ = {nullptr, 0};
    ScopedIcon windowIcon_;
    ScopedFont yaheiFont_;
    LateBound<ShellExecuteFunction> shellExecute_{"shell32.dll", "ShellExecuteA"};
    LateBound<OpenIconFunction> openIcon_{"user32", "OpenIcon"};
};

// Builds the window from its definition and shows it; false when the window
// could not be made.
bool BuildMainWindow(MainWindow& main);

// The created, position-changed and size-changed events, once, in that
// order, while the window is still hidden.
void RaiseBuildEvents(MainWindow& main);

LRESULT CALLBACK MainWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The window's look at a message before it is dispatched: Esc, Enter and Tab
// whichever control has the focus, and the press on the credit line. True
// when the message is used up.
bool PreTranslateMessage(MainWindow& main, MSG& message);

// Takes messages until the window is gone; returns the quit code. The window
// sees its keys before the focused control does.
int RunMessageLoop(MainWindow& main);

// Shows the fatal error box, with no owner.
void ShowFatalErrorBox(const Text& message);
