#include "app/MainWindow.h"

#include <utility>

#include "app/ControlIds.h"
#include "platform/win32/WideText.h"

MainWindow::MainWindow(HINSTANCE instance, Text programPath)
    : instance_(instance),
      programPath_(std::move(programPath)),
      calibration_({http_, clock_, cursor_, *this}, *this),
      settings_(registry_, programPath_)
{
}

HWND MainWindow::Control(int id) const
{
    if (!window_)
        return nullptr;
    HWND control = GetDlgItem(window_, id);
    if (!control) {
        // The check boxes are children of the options frame.
        HWND frame = GetDlgItem(window_, IDG_OPTIONS);
        control = frame ? GetDlgItem(frame, id) : nullptr;
    }
    return control;
}

void MainWindow::ShowStatusLabel() { ShowWindow(Control(IDT_STATUS), SW_SHOW); }

void MainWindow::SetStatusCaption(const Text& caption)
{
    HWND status = Control(IDT_STATUS);
    SetWindowTextW(status, WideText(caption).Get());
    InvalidateRect(status, nullptr, FALSE);
}

void MainWindow::StartRetryTimer(int periodMs) { SetTimer(window_, ID_RETRY_TIMER, static_cast<UINT>(periodMs), nullptr); }

void MainWindow::StopRetryTimer() { KillTimer(window_, ID_RETRY_TIMER); }

bool MainWindow::IsExitOptionChecked()
{
    return SendMessageW(Control(IDX_EXIT_AFTER), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void MainWindow::RequestDestruction()
{
    // Carried out once the running handler has returned.
    destructionPending_ = true;
    PostMessageW(window_, DestroyRequestMessage, 0, 0);
}

void MainWindow::RaiseFatalError(const Text& message)
{
    eventsHeld_ = true;  // nothing of the program runs while the box is open
    ShowFatalErrorBox(message);
    EndProgram(-1);
}

void MainWindow::EndProgram(int exitCode)
{
    eventsHeld_ = true;
    ending_ = true;
    if (window_)
        DestroyWindow(window_);
    ReleaseAll();
    ExitProcess(static_cast<UINT>(exitCode));
}

void MainWindow::ReleaseAll()
{
    eventsHeld_ = true;
    shellExecute_.Release();
    openIcon_.Release();
    clock_.Release();
    http_.Release();
    windowIcon_.Reset();
    yaheiFont_.Reset();
}

void ShowFatalErrorBox(const Text& message)
{
    WideText text(FatalErrorBoxText(message));
    WideText caption(FatalErrorCaption);
    MessageBoxW(nullptr, text.Get(), caption.Get(), MB_OK | MB_ICONERROR);
}
