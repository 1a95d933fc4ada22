// Starts Vesmor.exe and drives its window from outside the process, the way
// a user or the shell would: window messages, and real input where it counts.
#pragma once
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <functional>
#include <string>

namespace vesmor {

// Where the build put Vesmor.exe: %VESMOR_EXE%, else beside the test program
// in ..\..\Vesmor.exe.
std::wstring ProgramPath();

// Waits up to timeoutMs for the condition, checking every 20 ms.
bool WaitUntil(const std::function<bool()>& condition, int timeoutMs);

class Process {
public:
    // Starts the program (by default ProgramPath()) in the directory given,
    // and waits until its window is shown and idle.
    explicit Process(const std::wstring& exe = ProgramPath(), const std::wstring& currentDirectory = L"");
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;
    // Ends the program if it still runs.
    ~Process();

    bool Started() const { return window_ != nullptr; }
    HWND Window() const { return window_; }
    HWND Control(int id) const;
    DWORD Id() const { return info_.dwProcessId; }
    HANDLE Handle() const { return info_.hProcess; }

    // The exit code once the process has ended within timeoutMs; STILL_ACTIVE
    // when it still runs.
    DWORD WaitForExit(int timeoutMs);
    bool Running() const;

    std::wstring Text(int id) const;
    bool Visible(int id) const;
    bool Checked(int id) const;

    // BM_CLICK, as a mouse click on the button would.
    void Click(int id) const;

    // Clicks "开始校准" and waits until the status line shows a new text.
    std::wstring CalibrateAndWait(int timeoutMs = 20000) const;

    // The status text, and whether the status line is visible at all.
    std::wstring Status() const { return Text(1001); }

private:
    PROCESS_INFORMATION info_ = {};
    HWND window_ = nullptr;
};

// The main window of a process, found by its class; null when none.
HWND FindMainWindow(DWORD processId);

// UTF-8 for printing.
std::string Utf8(const std::wstring& text);

}  // namespace vesmor
