#include "tray/TrayIcon.h"

#include <shellapi.h>
#include <string.h>

#include "platform/win32/WideText.h"

const char* const TrayTip = "Vesmor软件";

namespace {

// The tip field of the first version of the record holds 64 characters;
// the tip is cut at 62 bytes, as the shell of that version expects.
const size_t TipBytes = 62;

void FillRecord(NOTIFYICONDATAW& record, HWND window, HICON icon, const Text& tip)
{
    memset(&record, 0, sizeof record);
    record.cbSize = NOTIFYICONDATAW_V1_SIZE;
    record.hWnd = window;
    record.uID = TrayIconId;
    if (icon) {
        record.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
        record.uCallbackMessage = TrayCallbackMessage;
        record.hIcon = icon;
    }
    WideText wide(tip);
    wcsncpy(record.szTip, wide.Get(), 63);
}

}  // namespace

TrayAction TrayActionFromMouseMessage(LPARAM mouseMessage)
{
    switch (static_cast<UINT>(mouseMessage)) {
    case WM_LBUTTONUP:
        return TrayActionLeftClick;
    case WM_LBUTTONDBLCLK:
        return TrayActionDoubleClick;
    case WM_RBUTTONUP:
    case WM_CONTEXTMENU:
        return TrayActionRightClick;
    default:
        return TrayActionNone;
    }
}

void TrayIcon::SetTrayIcon(HWND window, IconFileBytes image, const char* tip)
{
    HICON icon = CreateIconFromIconFile(image);
    if (icon && tip) {
        size_t length = strlen(tip);
        tip_ = Text(tip, length < TipBytes ? length : TipBytes);
    }
    if (!icon)
        tip_ = Text();

    NOTIFYICONDATAW record;
    FillRecord(record, window, icon, tip_);
    if (icon_)
        Shell_NotifyIconW(icon ? NIM_MODIFY : NIM_DELETE, &record);
    else if (icon)
        Shell_NotifyIconW(NIM_ADD, &record);
    icon_.Reset(icon);
}

void TrayIcon::AddAgainAfterTaskbarCreated(HWND window)
{
    if (!icon_)
        return;
    NOTIFYICONDATAW record;
    FillRecord(record, window, icon_.Get(), tip_);
    Shell_NotifyIconW(NIM_ADD, &record);
}

void HideWhenAboveScreen(HWND window)
{
    RECT place;
    if (GetWindowRect(window, &place) && place.top < 0)
        ShowWindow(window, SW_HIDE);
}

void ShowFromTray(HWND window, LateBound<OpenIconFunction>& openIcon, FatalErrorSink& fatal)
{
    ShowWindow(window, SW_SHOW);
    OpenIconFunction open = openIcon.Get();
    if (!open) {
        fatal.RaiseFatalError(BindFailureMessage(openIcon.Library(), openIcon.Name()));
        return;
    }
    open(window);
}
