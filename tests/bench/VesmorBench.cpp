// Measures Vesmor.exe beside a bare window program, under Wine in the
// sandbox. tools/bench.sh runs the subcommands and makes the table; each
// prints one figure per line as "<name> <program> <value>".
//
//   startup RUNS A.exe B.exe   start to window shown and idle, then memory at rest
//   calibrate RUNS A.exe       click to status text, minus the server's own time
//   page BYTES FRAMING --mark W  one fetch and parse of a body of that size (fresh
//                              process; W, unique, lets it find its own /proc entry)
//   idle A.exe B.exe           starts both, prints READY, waits for a line on stdin
//   armed A.exe                starts A, arms the retry, prints READY, waits for a line
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "ServerControl.h"
#include "VesmorProcess.h"
#include "calibration/TimePage.h"
#include "platform/win32/WinInetClient.h"

namespace {

double NowMs()
{
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

std::wstring Widen(const char* text)
{
    std::wstring wide;
    for (; *text; ++text)
        wide += static_cast<wchar_t>(*text);
    return wide;
}

std::string BaseName(const std::wstring& path)
{
    std::string name = vesmor::Utf8(path.substr(path.find_last_of(L"\\/") + 1));
    return name.substr(0, name.rfind('.'));
}

struct Started {
    PROCESS_INFORMATION info = {};
    HWND window = nullptr;
    double startMs = 0;  // until the window is shown and the program idle
};

Started Start(const std::wstring& exe)
{
    Started started;
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    std::wstring commandLine = L"\"" + exe + L"\"";
    std::vector<wchar_t> writable(commandLine.begin(), commandLine.end());
    writable.push_back(0);
    double begin = NowMs();
    if (!CreateProcessW(exe.c_str(), writable.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &started.info)) {
        std::fprintf(stderr, "cannot start %s\n", vesmor::Utf8(exe).c_str());
        std::exit(2);
    }
    HWND window = nullptr;
    while (!window && NowMs() - begin < 30000) {
        window = vesmor::FindTopLevelWindow(started.info.dwProcessId, nullptr, true);
        if (!window)
            Sleep(1);
    }
    WaitForInputIdle(started.info.hProcess, 30000);
    started.startMs = NowMs() - begin;
    started.window = window;
    return started;
}

void Close(Started& started)
{
    PostMessageW(started.window, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(started.info.hProcess, 10000) != WAIT_OBJECT_0)
        TerminateProcess(started.info.hProcess, 1);
    CloseHandle(started.info.hThread);
    CloseHandle(started.info.hProcess);
}

PROCESS_MEMORY_COUNTERS_EX Memory(HANDLE process)
{
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof counters);
    return counters;
}

int StartupAndMemory(int runs, const std::vector<std::wstring>& programs)
{
    for (int run = 0; run < runs; ++run) {
        for (size_t k = 0; k < programs.size(); ++k) {
            // Interleaved, and the order turns every run, so neither program
            // always goes first.
            const std::wstring& exe = programs[(k + run) % programs.size()];
            Started started = Start(exe);
            Sleep(1000);  // at rest
            PROCESS_MEMORY_COUNTERS_EX memory = Memory(started.info.hProcess);
            std::printf("start_ms %s %.3f\n", BaseName(exe).c_str(), started.startMs);
            std::printf("peak_working_set_kib %s %zu\n", BaseName(exe).c_str(), memory.PeakWorkingSetSize / 1024);
            // Wine leaves PrivateUsage at 0; PagefileUsage holds the private bytes.
            std::printf("private_kib %s %zu\n", BaseName(exe).c_str(), memory.PagefileUsage / 1024);
            std::fflush(stdout);
            Close(started);
        }
    }
    return 0;
}

std::wstring StatusText(HWND status)
{
    wchar_t text[256] = {};
    SendMessageW(status, WM_GETTEXT, 256, reinterpret_cast<LPARAM>(text));
    return text;
}

int CalibrationOverhead(int runs, const std::wstring& exe)
{
    vesmor::Process program(exe);
    if (!program.Started())
        return 2;
    HWND status = program.Control(1001);
    HWND calibrate = program.Control(1009);
    for (int run = 0; run < runs; ++run) {
        sandbox::Reset();
        SendMessageW(status, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L""));
        double begin = NowMs();
        PostMessageW(calibrate, BM_CLICK, 0, 0);
        // A message sent while the run is busy is taken only when the run
        // has returned, so this loop ends right after the status was set.
        while (StatusText(status).empty())
            ;
        double total = NowMs() - begin;
        std::vector<double> server = sandbox::Timings();
        double serverMs = server.empty() ? 0 : server.back();
        std::printf("calibration_total_ms %s %.3f\n", BaseName(exe).c_str(), total);
        std::printf("calibration_overhead_ms %s %.3f\n", BaseName(exe).c_str(), total - serverMs);
        std::fflush(stdout);
    }
    return 0;
}

// Wine reports no true peak of private bytes, so the page figures read the
// Linux process's resident high-water mark, which can be reset. Files are
// opened by the Wine server, so /proc/self would be the server: the process
// finds its own Linux pid by a unique word on its command line.
std::string OwnProcDirectory()
{
    std::string self = GetCommandLineA();
    if (self.find(" --mark ") == std::string::npos)
        return "";
    std::string wanted = self.substr(self.find(" --mark ") + 8);
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA("Z:\\proc\\*", &entry);
    std::string found;
    while (search != INVALID_HANDLE_VALUE) {
        if (entry.cFileName[0] >= '1' && entry.cFileName[0] <= '9') {
            std::string directory = std::string("Z:\\proc\\") + entry.cFileName;
            if (FILE* cmdline = std::fopen((directory + "\\cmdline").c_str(), "rb")) {
                char bytes[4096];
                size_t got = std::fread(bytes, 1, sizeof bytes, cmdline);
                std::fclose(cmdline);
                std::string arguments(bytes, got);
                if (arguments.find(wanted) != std::string::npos && arguments.find("VesmorBench") != std::string::npos)
                    found = directory;
            }
        }
        if (!FindNextFileA(search, &entry))
            break;
    }
    FindClose(search);
    return found;
}

long ProcStatusKib(const std::string& directory, const char* field)
{
    FILE* status = std::fopen((directory + "\\status").c_str(), "r");
    long kib = -1;
    char line[256];
    while (status && std::fgets(line, sizeof line, status)) {
        if (std::strncmp(line, field, std::strlen(field)) == 0)
            kib = std::atol(line + std::strlen(field) + 1);
    }
    if (status)
        std::fclose(status);
    return kib;
}

void ResetPeakResident(const std::string& directory)
{
    if (FILE* clear = std::fopen((directory + "\\clear_refs").c_str(), "w")) {
        std::fputs("5", clear);
        std::fclose(clear);
    }
}

int Page(long bytes, const std::string& framing)
{
    WinInetClient http;
    {
        // The client handle and WinINet's own start-up are not the page's.
        sandbox::Queue(R"({"body": "warm-up"})");
        FetchTimePage(http);
    }
    std::string proc = OwnProcDirectory();
    if (proc.empty()) {
        std::fprintf(stderr, "cannot find my own /proc entry\n");
        return 3;
    }
    ResetPeakResident(proc);
    long residentBefore = ProcStatusKib(proc, "VmRSS:");
    std::string entry = "{\"page_offset_s\": 0, \"pad_to\": " + std::to_string(bytes);
    entry += framing == "chunked" ? ", \"chunked\": true, \"chunk_size\": 65536}"
             : framing == "close" ? ", \"content_length\": false}"
                                  : "}";
    sandbox::Queue(entry);
    double begin = NowMs();
    Text body = FetchTimePage(http);
    SYSTEMTIME time = ParseTimeReply(body);
    double elapsed = NowMs() - begin;
    long peakResident = ProcStatusKib(proc, "VmHWM:");
    if (body.Length() != static_cast<size_t>(bytes) || time.wYear < 2000) {
        std::fprintf(stderr, "page of %ld bytes came back with %zu\n", bytes, body.Length());
        return 3;
    }
    double peakGrowth = (peakResident - residentBefore) * 1024.0;
    std::printf("page_ms %s/%ld %.3f\n", framing.c_str(), bytes, elapsed);
    std::printf("page_peak_per_body %s/%ld %.3f\n", framing.c_str(), bytes, peakGrowth / static_cast<double>(bytes));
    return 0;
}

void WaitForLine()
{
    std::string line;
    std::getline(std::cin, line);
}

int Idle(const std::vector<std::wstring>& programs)
{
    std::vector<Started> started;
    for (const std::wstring& exe : programs)
        started.push_back(Start(exe));
    for (size_t k = 0; k < programs.size(); ++k)
        std::printf("READY %s %lu\n", BaseName(programs[k]).c_str(), started[k].info.dwProcessId);
    std::fflush(stdout);
    WaitForLine();
    for (Started& s : started)
        Close(s);
    return 0;
}

int Armed(const std::wstring& exe)
{
    sandbox::Reset();
    sandbox::Queue(R"({"page_offset_s": 3600, "repeat": 0})");  // every calibration fails
    vesmor::Process program(exe);
    if (!program.Started())
        return 2;
    program.CalibrateAndWait();
    std::printf("READY %s %lu\n", BaseName(exe).c_str(), program.Id());
    std::fflush(stdout);
    WaitForLine();
    std::printf("ticks %s %zu\n", BaseName(exe).c_str(), sandbox::Requests().size() - 1);
    sandbox::Reset();
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    std::string command = argc > 1 ? argv[1] : "";
    std::vector<std::wstring> programs;
    if (command == "startup" && argc >= 4) {
        for (int i = 3; i < argc; ++i)
            programs.push_back(Widen(argv[i]));
        return StartupAndMemory(std::atoi(argv[2]), programs);
    }
    if (command == "calibrate" && argc == 4)
        return CalibrationOverhead(std::atoi(argv[2]), Widen(argv[3]));
    if (command == "page" && argc == 6)  // page BYTES FRAMING --mark WORD
        return Page(std::atol(argv[2]), argv[3]);
    if (command == "idle" && argc >= 3) {
        for (int i = 2; i < argc; ++i)
            programs.push_back(Widen(argv[i]));
        return Idle(programs);
    }
    if (command == "armed" && argc == 3)
        return Armed(Widen(argv[2]));
    std::fprintf(stderr, "usage: see the top of VesmorBench.cpp\n");
    return 2;
}
