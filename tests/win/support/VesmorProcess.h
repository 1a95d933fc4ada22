// Starts Vesmor.exe and drives its window from outside the process, the way
// a user or the shell would: window messages, and real input where it counts.
#pragma once
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

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

    // The control that has the keyboard focus in the program; null when none.
    HWND Focus() const;
    // Waits until the main window is the foreground window, so that key
    // presses reach it.
    bool WaitForForeground(int timeoutMs = 5000) const;

    // A control's place in screen coordinates.
    RECT ScreenRect(int id) const;
    // Real input through the X server (xdotool): a click of the mouse button
    // (1 left, 3 right) in the middle of the control, and keys, e.g.
    // "shift+Tab", once the window is in the foreground.
    bool MouseClick(int id, int button = 1) const;
    bool PressKeys(const std::string& keys) const;

private:
    PROCESS_INFORMATION info_ = {};
    HWND window_ = nullptr;
};

// The main window of a process, found by its class; null when none.
HWND FindMainWindow(DWORD processId);

// A top-level window of the process: of that class (any when null), and
// visible when shownOnly; null when none.
HWND FindTopLevelWindow(DWORD processId, const wchar_t* className, bool shownOnly);

// The whole file, or nothing when it cannot be opened.
std::string ReadFileBytes(const std::wstring& path);

// UTF-8 for printing.
std::string Utf8(const std::wstring& text);

// Runs a shell command line (without double quotes) as a Linux program:
// Wine starts those too. Returns once it has ended, true when it exited with
// status 0; its output goes to *output when given. Wine gives no handle to
// wait on, so the shell leaves output and status in files beside the URL log.
bool RunLinux(const std::string& command, std::string* output = nullptr, int timeoutMs = 10000);

// xdotool with the arguments, on the sandbox's X display.
bool Xdotool(const std::string& arguments, int timeoutMs = 10000);

// The Windows name of a Linux path: Wine's drive Z: is the root.
std::wstring WindowsPathOf(const std::string& unixPath);

// The lines the sandbox's browser stand-in recorded so far
// (%VESMOR_OPENED_URLS%).
std::vector<std::string> OpenedUrls();

// Whether the shell holds the program's tray icon (id 100) for the window:
// a modification that changes nothing succeeds only for an existing icon.
bool TrayIconInstalled(HWND window);

// Another process's current directory, from its process parameters; empty
// when they cannot be read.
std::wstring CurrentDirectoryOf(HANDLE process);

}  // namespace vesmor
