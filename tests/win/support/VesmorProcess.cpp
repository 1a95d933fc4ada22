#include "VesmorProcess.h"

#include <shellapi.h>

#include <cstddef>
#include <cstdio>
#include <vector>

namespace vesmor {

namespace {

const wchar_t MainWindowClass[] = L"VesmorMain";

struct Search {
    DWORD processId;
    const wchar_t* className;
    bool shownOnly;
    HWND found;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM lParam)
{
    auto* search = reinterpret_cast<Search*>(lParam);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    wchar_t className[64] = {};
    GetClassNameW(window, className, 64);
    if (owner == search->processId && (!search->className || wcscmp(className, search->className) == 0) &&
        (!search->shownOnly || IsWindowVisible(window))) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

std::wstring Widen(const std::string& utf8)
{
    int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(length, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), length);
    return wide;
}

std::string Environment(const wchar_t* name)
{
    wchar_t value[MAX_PATH] = {};
    DWORD length = GetEnvironmentVariableW(name, value, MAX_PATH);
    return length && length < MAX_PATH ? Utf8(value) : std::string();
}

}  // namespace

std::string ReadFileBytes(const std::wstring& path)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return std::string();
    std::string bytes;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got)
        bytes.append(buffer, got);
    CloseHandle(file);
    return bytes;
}

std::wstring ProgramPath()
{
    wchar_t fromEnvironment[MAX_PATH] = {};
    if (GetEnvironmentVariableW(L"VESMOR_EXE", fromEnvironment, MAX_PATH))
        return fromEnvironment;
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring path(self);
    path.resize(path.rfind(L'\\'));
    return path + L"\\..\\..\\Vesmor.exe";
}

bool WaitUntil(const std::function<bool()>& condition, int timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        if (condition())
            return true;
        if (static_cast<int>(GetTickCount() - start) >= timeoutMs)
            return false;
        Sleep(20);
    }
}

HWND FindTopLevelWindow(DWORD processId, const wchar_t* className, bool shownOnly)
{
    Search search = {processId, className, shownOnly, nullptr};
    EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND FindMainWindow(DWORD processId) { return FindTopLevelWindow(processId, MainWindowClass, false); }

// Programs a test started end with it, even when the test is killed (by a
// CTest time-out, say): a stray one would keep its window and tray icon in
// the desktop that the next test shares.
HANDLE TestProcessJob()
{
    static HANDLE job = [] {
        HANDLE created = CreateJobObjectW(nullptr, nullptr);
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        SetInformationJobObject(created, JobObjectExtendedLimitInformation, &limits, sizeof limits);
        return created;
    }();
    return job;
}

Process::Process(const std::wstring& exe, const std::wstring& currentDirectory)
{
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    std::wstring commandLine = L"\"" + exe + L"\"";
    std::vector<wchar_t> writable(commandLine.begin(), commandLine.end());
    writable.push_back(0);
    // Under load Wine has been seen to refuse a start now and then; a test
    // is about the program, not about that.
    bool created = false;
    for (int attempt = 0; attempt < 5 && !created; ++attempt) {
        if (attempt)
            Sleep(200);
        created = CreateProcessW(exe.c_str(), writable.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr,
                                 currentDirectory.empty() ? nullptr : currentDirectory.c_str(), &startup, &info_);
        if (!created) {
            std::fprintf(stderr, "starting %s failed with error %lu\n", Utf8(exe).c_str(), GetLastError());
            info_ = {};
        }
    }
    if (!created)
        return;
    AssignProcessToJobObject(TestProcessJob(), info_.hProcess);
    ResumeThread(info_.hThread);
    WaitForInputIdle(info_.hProcess, 10000);
    WaitUntil(
        [this] {
            window_ = FindMainWindow(info_.dwProcessId);
            return window_ && IsWindowVisible(window_);
        },
        10000);
}

Process::~Process()
{
    if (info_.hProcess) {
        if (Running()) {
            TerminateProcess(info_.hProcess, 1);
            WaitForSingleObject(info_.hProcess, 5000);
        }
        CloseHandle(info_.hThread);
        CloseHandle(info_.hProcess);
    }
}

HWND Process::Control(int id) const
{
    if (!window_)
        return nullptr;
    HWND control = GetDlgItem(window_, id);
    if (!control)
        control = GetDlgItem(GetDlgItem(window_, 1005), id);  // the check boxes sit in the options frame
    return control;
}

DWORD Process::WaitForExit(int timeoutMs)
{
    if (WaitForSingleObject(info_.hProcess, timeoutMs) != WAIT_OBJECT_0)
        return STILL_ACTIVE;
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(info_.hProcess, &code);
    return code;
}

bool Process::Running() const { return info_.hProcess && WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT; }

std::wstring Process::Text(int id) const
{
    HWND control = Control(id);
    wchar_t text[512] = {};
    // WM_GETTEXT across processes: the system copies the text for us.
    SendMessageTimeoutW(control, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 30000, nullptr);
    return text;
}

bool Process::Visible(int id) const { return IsWindowVisible(Control(id)) != FALSE; }

bool Process::Checked(int id) const
{
    DWORD_PTR state = 0;
    SendMessageTimeoutW(Control(id), BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, 30000, &state);
    return state == BST_CHECKED;
}

HWND Process::Focus() const
{
    GUITHREADINFO thread = {};
    thread.cbSize = sizeof thread;
    return GetGUIThreadInfo(info_.dwThreadId, &thread) ? thread.hwndFocus : nullptr;
}

bool Process::WaitForForeground(int timeoutMs) const
{
    return window_ && WaitUntil([this] { return GetForegroundWindow() == window_; }, timeoutMs);
}

RECT Process::ScreenRect(int id) const
{
    RECT place = {};
    GetWindowRect(Control(id), &place);
    return place;
}

bool Process::MouseClick(int id, int button) const
{
    if (!Control(id))
        return false;
    RECT place = ScreenRect(id);
    // The virtual desktop maps screen coordinates 1:1 onto the X display.
    return Xdotool("mousemove " + std::to_string((place.left + place.right) / 2) + " " +
                   std::to_string((place.top + place.bottom) / 2) + " click " + std::to_string(button));
}

bool Process::PressKeys(const std::string& keys) const { return WaitForForeground() && Xdotool("key " + keys); }

void Process::Click(int id) const { PostMessageW(Control(id), BM_CLICK, 0, 0); }

std::wstring Process::CalibrateAndWait(int timeoutMs) const
{
    HWND status = Control(1001);
    SetWindowTextW(status, L"");
    Click(1009);
    std::wstring text;
    WaitUntil(
        [&] {
            text = Text(1001);
            return !text.empty();
        },
        timeoutMs);
    return text;
}

std::string Utf8(const std::wstring& text)
{
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string utf8(bytes, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), utf8.data(), bytes, nullptr, nullptr);
    return utf8;
}

bool RunLinux(const std::string& command, std::string* output, int timeoutMs)
{
    static unsigned calls = 0;
    const std::string urlLog = Environment(L"VESMOR_OPENED_URLS");
    if (urlLog.empty())
        return false;
    const std::string base = urlLog.substr(0, urlLog.rfind('/')) + "/linux-" + std::to_string(GetCurrentProcessId()) +
                             "-" + std::to_string(++calls);
    const std::string outputFile = base + ".out";
    const std::string statusFile = base + ".status";
    const std::wstring outputPath = WindowsPathOf(outputFile);
    const std::wstring statusPath = WindowsPathOf(statusFile);
    DeleteFileW(statusPath.c_str());

    std::wstring commandLine = Widen("Z:\\bin\\sh -c \"{ " + command + "; } >'" + outputFile + "' 2>&1; echo $? >'" +
                                     statusFile + "'\"");
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started = {};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &started))
        return false;
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);

    std::string status;
    WaitUntil(
        [&] {
            status = ReadFileBytes(statusPath);
            return status.find('\n') != std::string::npos;
        },
        timeoutMs);
    if (output)
        *output = ReadFileBytes(outputPath);
    DeleteFileW(statusPath.c_str());
    DeleteFileW(outputPath.c_str());
    return status == "0\n";
}

bool Xdotool(const std::string& arguments, int timeoutMs)
{
    return RunLinux("/usr/bin/xdotool " + arguments, nullptr, timeoutMs);
}

std::wstring WindowsPathOf(const std::string& unixPath)
{
    std::wstring path = L"Z:" + Widen(unixPath);
    for (wchar_t& c : path) {
        if (c == L'/')
            c = L'\\';
    }
    return path;
}

std::vector<std::string> OpenedUrls()
{
    std::vector<std::string> lines;
    const std::string log = Environment(L"VESMOR_OPENED_URLS");
    if (log.empty())
        return lines;
    const std::string bytes = ReadFileBytes(WindowsPathOf(log));
    size_t start = 0;
    for (size_t end; (end = bytes.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(bytes.substr(start, end - start));
    return lines;
}

bool TrayIconInstalled(HWND window)
{
    // Bound at run time: the demo program links no shell32.
    using NotifyFunction = BOOL(WINAPI*)(DWORD, NOTIFYICONDATAW*);
    static const auto notify = reinterpret_cast<NotifyFunction>(
        reinterpret_cast<void*>(GetProcAddress(LoadLibraryW(L"shell32.dll"), "Shell_NotifyIconW")));
    if (!notify)
        return false;
    NOTIFYICONDATAW record = {};
    record.cbSize = NOTIFYICONDATAW_V1_SIZE;
    record.hWnd = window;
    record.uID = 100;
    record.uFlags = 0;
    return notify(NIM_MODIFY, &record) != FALSE;
}

std::wstring CurrentDirectoryOf(HANDLE process)
{
    static_assert(sizeof(void*) == 8, "the offsets below are those of 64-bit Windows");
    const size_t PebProcessParameters = 0x20;
    const size_t ParametersCurrentDirectory = 0x38;  // CURDIR.DosPath, a UNICODE_STRING
    struct BasicInformation {
        void* exitStatus;
        char* peb;
        void* reserved[4];
    } basic = {};
    struct UnicodeString {
        USHORT length;  // bytes
        USHORT maximumLength;
        wchar_t* buffer;
    } path = {};
    static_assert(offsetof(UnicodeString, buffer) == 8, "UNICODE_STRING layout");

    using QueryFunction = LONG(WINAPI*)(HANDLE, ULONG, void*, ULONG, ULONG*);
    static const auto query = reinterpret_cast<QueryFunction>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationProcess")));
    ULONG got = 0;
    if (!query || query(process, 0 /* ProcessBasicInformation */, &basic, sizeof basic, &got) != 0 || !basic.peb)
        return std::wstring();
    char* parameters = nullptr;
    if (!ReadProcessMemory(process, basic.peb + PebProcessParameters, &parameters, sizeof parameters, nullptr) ||
        !ReadProcessMemory(process, parameters + ParametersCurrentDirectory, &path, sizeof path, nullptr))
        return std::wstring();
    std::wstring directory(path.length / sizeof(wchar_t), L'\0');
    if (!ReadProcessMemory(process, path.buffer, directory.data(), path.length, nullptr))
        return std::wstring();
    return directory;
}

}  // namespace vesmor
