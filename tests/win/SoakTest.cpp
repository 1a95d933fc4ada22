// Five hundred calibrations in a row on one Vesmor.exe, successes and
// failures taking turns, by click and by the retry timer's message. What the
// process holds must not grow with them: kernel handles, GDI and USER
// objects, Linux descriptors, private bytes.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "ServerControl.h"
#include "VesmorProcess.h"
#include "app/ControlIds.h"

#include <psapi.h>  // after windows.h

namespace {

using Steady = std::chrono::steady_clock;

const wchar_t SuccessPrefix[] = L"校准成功。当前时间\r\n";
const wchar_t FailureText[] = L"校准失败，30秒后重试";
const wchar_t Marker[] = L"-";

const int WarmUpRuns = 12;
const int SoakRuns = 500;

// Wine 8 answers 0 to GetProcessHandleCount and GetGuiResources; these read
// the same facts where Wine keeps them.

// Kernel handles of the process, from the system's handle list.
long HandlesFromSystemList(DWORD processId)
{
    using QueryFunction = LONG(WINAPI*)(ULONG, void*, ULONG, ULONG*);
    static const auto query = reinterpret_cast<QueryFunction>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
    struct Entry {
        void* object;
        ULONG_PTR processId;
        ULONG_PTR handle;
        ULONG access;
        USHORT backTrace;
        USHORT type;
        ULONG attributes;
        ULONG reserved;
    };
    const ULONG ExtendedHandleInformation = 64;
    const LONG InfoLengthMismatch = static_cast<LONG>(0xC0000004);
    std::vector<unsigned char> buffer(1 << 20);
    LONG status;
    ULONG needed = 0;
    while ((status = query(ExtendedHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()), &needed)) ==
           InfoLengthMismatch)
        buffer.resize(buffer.size() * 2);
    if (status != 0)
        return -1;
    const ULONG_PTR count = *reinterpret_cast<ULONG_PTR*>(buffer.data());
    const auto* entries = reinterpret_cast<const Entry*>(buffer.data() + 2 * sizeof(ULONG_PTR));
    long mine = 0;
    for (ULONG_PTR i = 0; i < count; ++i)
        mine += entries[i].processId == processId;
    return mine;
}

// Live GDI objects in the process's handle table. Under Wine the table that
// the PEB points to is the process's own: every used entry is its object.
long GdiFromHandleTable(HANDLE process)
{
    static_assert(sizeof(void*) == 8, "the offsets below are those of 64-bit Windows");
    const size_t PebGdiHandleTable = 0xF8;
    const size_t EntryBytes = 24;
    const size_t EntryTypeByte = 14;
    const size_t Entries = 16384;
    using QueryFunction = LONG(WINAPI*)(HANDLE, ULONG, void*, ULONG, ULONG*);
    static const auto query = reinterpret_cast<QueryFunction>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationProcess")));
    struct BasicInformation {
        void* exitStatus;
        char* peb;
        void* reserved[4];
    } basic = {};
    ULONG got = 0;
    char* table = nullptr;
    if (query(process, 0 /* ProcessBasicInformation */, &basic, sizeof basic, &got) != 0 || !basic.peb ||
        !ReadProcessMemory(process, basic.peb + PebGdiHandleTable, &table, sizeof table, nullptr) || !table)
        return -1;
    std::vector<unsigned char> entries(Entries * EntryBytes);
    if (!ReadProcessMemory(process, table, entries.data(), entries.size(), nullptr))
        return -1;
    long used = 0;
    for (size_t i = 0; i < Entries; ++i)
        used += entries[i * EntryBytes + EntryTypeByte] != 0;
    return used;
}

struct WindowCount {
    DWORD processId;
    long count;
};

BOOL CALLBACK CountChild(HWND, LPARAM lParam)
{
    ++reinterpret_cast<WindowCount*>(lParam)->count;
    return TRUE;
}

BOOL CALLBACK CountTopLevel(HWND window, LPARAM lParam)
{
    auto* windows = reinterpret_cast<WindowCount*>(lParam);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == windows->processId) {
        ++windows->count;
        EnumChildWindows(window, CountChild, lParam);
    }
    return TRUE;
}

// The windows of the process, message-only ones included: the USER objects
// a program makes most.
long WindowsOf(DWORD processId)
{
    WindowCount windows = {processId, 0};
    EnumWindows(CountTopLevel, reinterpret_cast<LPARAM>(&windows));
    for (HWND window = nullptr; (window = FindWindowExW(HWND_MESSAGE, window, nullptr, nullptr));)
        CountTopLevel(window, reinterpret_cast<LPARAM>(&windows));
    return windows.count;
}

std::wstring FullPath(const std::wstring& path)
{
    wchar_t full[MAX_PATH] = {};
    GetFullPathNameW(path.c_str(), MAX_PATH, full, nullptr);
    return full;
}

// The Linux process that runs the program file: the one whose command line
// names it. Nothing namespaces the PIDs here, so other trees' programs show
// too; the full path picks ours. Empty when not exactly one matches.
std::wstring LinuxProcessDirectory(const std::wstring& exe)
{
    const std::wstring wanted = FullPath(exe);
    std::wstring found;
    int matches = 0;
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileW(L"Z:\\proc\\*", &entry);
    if (search == INVALID_HANDLE_VALUE)
        return std::wstring();
    do {
        if (entry.cFileName[0] < L'0' || entry.cFileName[0] > L'9')
            continue;
        const std::wstring directory = std::wstring(L"Z:\\proc\\") + entry.cFileName;
        const std::string commandLine = vesmor::ReadFileBytes(directory + L"\\cmdline");
        const std::string first = commandLine.substr(0, commandLine.find('\0'));
        if (first.empty())
            continue;
        std::wstring program(first.size(), L'\0');
        program.resize(MultiByteToWideChar(CP_UTF8, 0, first.data(), static_cast<int>(first.size()), &program[0],
                                           static_cast<int>(program.size())));
        if (_wcsicmp(FullPath(program).c_str(), wanted.c_str()) == 0) {
            found = directory;
            ++matches;
        }
    } while (FindNextFileW(search, &entry));
    FindClose(search);
    return matches == 1 ? found : std::wstring();
}

long DescriptorsIn(const std::wstring& linuxProcess)
{
    if (linuxProcess.empty())
        return -1;
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileW((linuxProcess + L"\\fd\\*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE)
        return -1;
    long count = 0;
    do
        count += wcscmp(entry.cFileName, L".") != 0 && wcscmp(entry.cFileName, L"..") != 0;
    while (FindNextFileW(search, &entry));
    FindClose(search);
    return count;
}

long HandleCount(HANDLE process, DWORD processId, const char** from)
{
    DWORD count = 0;
    if (GetProcessHandleCount(process, &count) && count) {
        *from = "GetProcessHandleCount";
        return static_cast<long>(count);
    }
    *from = "system handle list";
    return HandlesFromSystemList(processId);
}

long GdiCount(HANDLE process, const char** from)
{
    if (DWORD count = GetGuiResources(process, GR_GDIOBJECTS)) {
        *from = "GetGuiResources";
        return static_cast<long>(count);
    }
    *from = "GDI handle table";
    return GdiFromHandleTable(process);
}

struct Usage {
    long handles = -1;
    long gdi = -1;
    long user = -1;
    long descriptors = -1;
    long privateKiB = -1;
    // Where each figure came from, for the log.
    const char* handlesFrom = "";
    const char* gdiFrom = "";
    const char* userFrom = "";
    const char* privateFrom = "";
};

Usage UsageOf(const vesmor::Process& program, const std::wstring& linuxProcess)
{
    Usage usage;
    HANDLE process = program.Handle();
    usage.handles = HandleCount(process, program.Id(), &usage.handlesFrom);
    usage.gdi = GdiCount(process, &usage.gdiFrom);
    if (DWORD user = GetGuiResources(process, GR_USEROBJECTS)) {
        usage.user = static_cast<long>(user);
        usage.userFrom = "GetGuiResources";
    } else {
        usage.user = WindowsOf(program.Id());
        usage.userFrom = "windows";
    }
    usage.descriptors = DescriptorsIn(linuxProcess);
    PROCESS_MEMORY_COUNTERS_EX memory = {};
    memory.cb = sizeof memory;
    if (GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof memory)) {
        // Wine leaves PrivateUsage at 0 and keeps the figure in PagefileUsage.
        const bool privateUsage = memory.PrivateUsage != 0;
        usage.privateKiB = static_cast<long>((privateUsage ? memory.PrivateUsage : memory.PagefileUsage) / 1024);
        usage.privateFrom = privateUsage ? "PrivateUsage" : "PagefileUsage";
    }
    return usage;
}

void PrintUsage(const char* when, const Usage& u)
{
    printf("  %-16s handles %4ld (%s), GDI %4ld (%s), USER %3ld (%s), descriptors %3ld, private %6ld KiB (%s)\n", when,
           u.handles, u.handlesFrom, u.gdi, u.gdiFrom, u.user, u.userFrom, u.descriptors, u.privateKiB, u.privateFrom);
    fflush(stdout);
}

double SecondsSince(Steady::time_point start) { return std::chrono::duration<double>(Steady::now() - start).count(); }

// One run's reply: the entries to queue, the requests it makes, whether the
// connection is refused instead.
struct Reply {
    const char* name;
    std::string entries;
    int requests;
    bool refuse;
};

std::vector<Reply> SuccessReplies()
{
    const char* host = std::getenv("VESMOR_TIME_HOST");
    const std::string url = std::string("http://") + (host ? host : "") + "/cgi-bin/hko/ntime.pl";
    return {
        {"good page", R"({"page": "soon"})", 1, false},
        {"good page behind a redirect", R"([{"redirect": ")" + url + R"("}, {"page": "soon"}])", 2, false},
        {"good page with status 500", R"({"status": 500, "page": "soon"})", 1, false},
    };
}

std::vector<Reply> FailureReplies()
{
    return {
        {"an hour off", R"({"page_offset_s": 3600})", 1, false},
        {"connection refused", "", 0, true},
        {"cut before the time", R"({"page": "soon", "cut_after": 60})", 1, false},
        {"closed without an answer", R"({"close": true})", 1, false},
        {"reset without an answer", R"({"rst": true})", 1, false},
        {"404 without a time", R"({"status": 404, "body": "gone"})", 1, false},
        {"NUL bytes", R"({"body_hex": "000000000000000000000000"})", 1, false},
    };
}

class Soak : public ::testing::Test {
protected:
    void SetUp() override { sandbox::Reset(); }
    void TearDown() override { sandbox::Reset(); }
};

}  // namespace

// The counters must see a leak at all, or their flatness says nothing:
// this process holds a few more objects and counts itself.
TEST_F(Soak, CountersSeeEveryObjectMore)
{
    const char* from = "";
    const long handlesBefore = HandleCount(GetCurrentProcess(), GetCurrentProcessId(), &from);
    const long gdiBefore = GdiCount(GetCurrentProcess(), &from);
    std::vector<HANDLE> events;
    std::vector<HBRUSH> brushes;
    for (int i = 0; i < 8; ++i) {
        events.push_back(CreateEventW(nullptr, FALSE, FALSE, nullptr));
        brushes.push_back(CreateSolidBrush(RGB(i, 0, 0)));
    }
    EXPECT_EQ(HandleCount(GetCurrentProcess(), GetCurrentProcessId(), &from) - handlesBefore, 8) << from;
    EXPECT_EQ(GdiCount(GetCurrentProcess(), &from) - gdiBefore, 8) << from;
    for (HANDLE event : events)
        CloseHandle(event);
    for (HBRUSH brush : brushes)
        DeleteObject(brush);
}

TEST_F(Soak, FiveHundredRunsLeaveNothingBehind)
{
    vesmor::Process program;
    ASSERT_TRUE(program.Started());
    if (program.Checked(IDX_EXIT_AFTER)) {  // a success must not end the program
        program.Click(IDX_EXIT_AFTER);
        ASSERT_TRUE(vesmor::WaitUntil([&] { return !program.Checked(IDX_EXIT_AFTER); }, 5000));
    }
    const HWND window = program.Window();
    const HWND label = program.Control(IDT_STATUS);
    const HWND button = program.Control(IDB_CALIBRATE);
    const std::wstring linuxProcess = LinuxProcessDirectory(vesmor::ProgramPath());
    const std::vector<Reply> successes = SuccessReplies();
    const std::vector<Reply> failures = FailureReplies();
    size_t expectedRequests = 0;

    // Even runs succeed, odd ones fail; every other pair comes from the
    // timer's message instead of a click.
    auto run = [&](int i) {
        const bool succeed = i % 2 == 0;
        const Reply& reply = succeed ? successes[(i / 2) % successes.size()] : failures[(i / 2) % failures.size()];
        if (reply.refuse)
            sandbox::Listen(false);
        else
            sandbox::Queue(reply.entries);
        expectedRequests += static_cast<size_t>(reply.requests);
        SendMessageTimeoutW(label, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(Marker), SMTO_NORMAL, 5000, nullptr);
        if (i / 2 % 2)
            PostMessageW(window, WM_TIMER, 1, 0);
        else
            PostMessageW(button, BM_CLICK, 0, 0);
        wchar_t text[256] = {};
        const bool ended = vesmor::WaitUntil(
            [&] {
                text[0] = 0;
                DWORD_PTR length = 0;
                SendMessageTimeoutW(label, WM_GETTEXT, 256, reinterpret_cast<LPARAM>(text), SMTO_NORMAL, 250, &length);
                return wcscmp(text, Marker) != 0 && text[0];
            },
            20000);
        if (reply.refuse)
            sandbox::Listen(true);
        const std::wstring status(text);
        const bool asExpected = ended && (succeed ? status.rfind(SuccessPrefix, 0) == 0 : status == FailureText);
        EXPECT_TRUE(asExpected) << "run " << i << " (" << reply.name << "): "
                                << (ended ? vesmor::Utf8(status) : "did not end");
        return asExpected;
    };

    for (int i = 0; i < WarmUpRuns; ++i)
        ASSERT_TRUE(run(i));
    const Usage first = UsageOf(program, linuxProcess);
    PrintUsage("after warm-up", first);

    const Steady::time_point start = Steady::now();
    for (int i = WarmUpRuns; i < WarmUpRuns + SoakRuns; ++i)
        ASSERT_TRUE(run(i));
    const double seconds = SecondsSince(start);
    const Usage last = UsageOf(program, linuxProcess);
    PrintUsage("after the soak", last);
    printf("  %d runs in %.1f s\n", SoakRuns, seconds);

    // A leak of one object per run would add 250 or more.
    EXPECT_GE(first.handles, 0);
    EXPECT_LE(last.handles - first.handles, 10);
    EXPECT_GE(first.gdi, 0);
    EXPECT_LE(last.gdi - first.gdi, 10);
    EXPECT_GE(first.user, 0);
    EXPECT_LE(last.user - first.user, 2);
    if (first.descriptors < 0)
        printf("  descriptors: the Linux process was not found\n");
    else
        EXPECT_LE(last.descriptors - first.descriptors, 10);
    // Half a KiB per run would add more; the heap itself drifts by tens.
    EXPECT_GE(first.privateKiB, 0);
    EXPECT_LE(last.privateKiB - first.privateKiB, 256);

    // No run of the timer's own came between: every request was asked for.
    EXPECT_EQ(sandbox::Requests().size(), expectedRequests);
    DWORD_PTR result = 0;
    EXPECT_TRUE(SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &result));
    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(program.WaitForExit(10000), 0u);
}
