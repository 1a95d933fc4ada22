#include "VesmorProcess.h"

#include <vector>

namespace vesmor {

namespace {

const wchar_t MainWindowClass[] = L"VesmorMain";

struct Search {
    DWORD processId;
    HWND found;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM lParam)
{
    auto* search = reinterpret_cast<Search*>(lParam);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    wchar_t className[64] = {};
    GetClassNameW(window, className, 64);
    if (owner == search->processId && wcscmp(className, MainWindowClass) == 0) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

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

HWND FindMainWindow(DWORD processId)
{
    Search search = {processId, nullptr};
    EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

Process::Process(const std::wstring& exe, const std::wstring& currentDirectory)
{
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    std::wstring commandLine = L"\"" + exe + L"\"";
    std::vector<wchar_t> writable(commandLine.begin(), commandLine.end());
    writable.push_back(0);
    if (!CreateProcessW(exe.c_str(), writable.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        currentDirectory.empty() ? nullptr : currentDirectory.c_str(), &startup, &info_))
        return;
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

}  // namespace vesmor
