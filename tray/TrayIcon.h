#pragma once
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include "platform/FatalError.h"
#include "platform/Text.h"
#include "platform/win32/IconFile.h"
#include "platform/win32/LateBinding.h"
#include "platform/win32/ScopedHandles.h"

constexpr UINT TrayIconId = 100;
constexpr UINT TrayCallbackMessage = WM_APP + 100;
extern const char* const TrayTip;  // "Vesmor软件"

// The three mouse actions on the icon that bring the window back.
enum TrayAction {
    TrayActionNone = 0,
    TrayActionLeftClick = 1,    // WM_LBUTTONUP
    TrayActionDoubleClick = 2,  // WM_LBUTTONDBLCLK
    TrayActionRightClick = 3,   // WM_RBUTTONUP, WM_CONTEXTMENU
};
TrayAction TrayActionFromMouseMessage(LPARAM mouseMessage);

// The window's one icon in the notification area. It counts as installed
// while a handle is held, whatever the shell answered, so that a later
// removal always sends the delete.
class TrayIcon {
public:
    // Shows the image with the tip, or replaces what is shown. An image that
    // makes no icon means no icon: the one shown is removed.
    void SetTrayIcon(HWND window, IconFileBytes image, const char* tip);
    // Does nothing when no icon is installed, so it may be called any number
    // of times.
    void RemoveTrayIcon(HWND window) { SetTrayIcon(window, IconFileBytes{nullptr, 0}, nullptr); }
    bool Installed() const { return static_cast<bool>(icon_); }

    // A rebuilt taskbar (Explorer restarted, or started after the program)
    // has lost the icon; without it a hidden window could never come back.
    void AddAgainAfterTaskbarCreated(HWND window);

private:
    ScopedIcon icon_;
    Text tip_;
};

// Minimising puts the window far above the screen: hide it, so only the
// tray icon is left. A window dragged above the screen hides the same way.
void HideWhenAboveScreen(HWND window);

using OpenIconFunction = BOOL(WINAPI*)(HWND);

// A tray click: shows the window and restores it when it was minimised.
// OpenIcon is bound by name at its first use; without it the program cannot
// go on.
void ShowFromTray(HWND window, LateBound<OpenIconFunction>& openIcon, FatalErrorSink& fatal);
