// The two options in the real registry under Wine, seen through Vesmor.exe
// itself: started from outside, its check boxes read and clicked through its
// window. The test and the program are both 64-bit, so they share one view
// of HKEY_LOCAL_MACHINE.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "VesmorProcess.h"
#include "app/ControlIds.h"

namespace {

const std::string RunKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
const std::string VesmorKey = RunKey + "\\Vesmor";  // a key, not the value
const std::string One("\x01\0\0\0", 4);
const std::string Zero(4, '\0');

struct Value {
    bool exists = false;
    DWORD type = 0;
    std::string data;
    bool operator==(const Value& other) const
    {
        return exists == other.exists && type == other.type && data == other.data;
    }
};

void PrintTo(const Value& value, std::ostream* out)
{
    if (!value.exists)
        *out << "(missing)";
    else
        *out << "type " << value.type << ", " << testing::PrintToString(value.data);
}

Value Stored(DWORD type, const std::string& data) { return {true, type, data}; }
Value TextValue(const std::string& text) { return Stored(REG_SZ, text + '\0'); }

Value Read(const std::string& key, const char* name)
{
    Value value;
    HKEY opened;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS)
        return value;
    DWORD size = 0;
    if (RegQueryValueExA(opened, name, nullptr, &value.type, nullptr, &size) == ERROR_SUCCESS) {
        value.data.resize(size);
        if (RegQueryValueExA(opened, name, nullptr, &value.type, reinterpret_cast<BYTE*>(&value.data[0]), &size) ==
            ERROR_SUCCESS) {
            value.exists = true;
            value.data.resize(size);
        }
    }
    RegCloseKey(opened);
    return value;
}

void Write(const std::string& key, const char* name, const Value& value)
{
    HKEY opened;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &opened, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExA(opened, name, 0, value.type, reinterpret_cast<const BYTE*>(value.data.data()),
                             static_cast<DWORD>(value.data.size())),
              ERROR_SUCCESS);
    RegCloseKey(opened);
}

void Remove(const std::string& key, const char* name)
{
    HKEY opened;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_WRITE, &opened) != ERROR_SUCCESS)
        return;
    RegDeleteValueA(opened, name);
    RegCloseKey(opened);
}

bool KeyExists(const std::string& key)
{
    HKEY opened;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS)
        return false;
    RegCloseKey(opened);
    return true;
}

void MakeKey(const std::string& key)
{
    HKEY opened;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &opened, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(opened);
}

ULONGLONG LastWriteTime(const std::string& key)
{
    HKEY opened;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS)
        return 0;
    FILETIME time = {};
    RegQueryInfoKeyA(opened, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                     nullptr, &time);
    RegCloseKey(opened);
    return static_cast<ULONGLONG>(time.dwHighDateTime) << 32 | time.dwLowDateTime;
}

// The file name in the ANSI code page (936 in the sandbox), as the program
// itself sees its path.
std::string Ansi(const std::wstring& text)
{
    int bytes = WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string ansi(bytes, '\0');
    WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, &ansi[0], bytes, nullptr, nullptr);
    ansi.resize(bytes - 1);
    return ansi;
}

// What checking 选择框1 stores for a program file: its full path, quoted
// when it holds a blank.
std::string RunValueFor(const std::wstring& exe)
{
    wchar_t full[MAX_PATH] = {};
    GetFullPathNameW(exe.c_str(), MAX_PATH, full, nullptr);
    std::string path = Ansi(full);
    return path.find(' ') == std::string::npos ? path : "\"" + path + "\"";
}

using Program = std::unique_ptr<vesmor::Process>;

Program Start(const std::wstring& exe = vesmor::ProgramPath())
{
    Program program(new vesmor::Process(exe));
    EXPECT_TRUE(program->Started()) << "Vesmor.exe did not show its window: " << vesmor::Utf8(exe);
    return program;
}

// Waits until the box shows the other state. The program answers the sent
// BM_GETCHECK only while it waits for messages, never halfway through a
// click, so by then the click handler has run to its end.
bool Toggled(const vesmor::Process& program, int box, bool before)
{
    return vesmor::WaitUntil([&] { return program.Checked(box) != before; }, 10000);
}

void Click(const vesmor::Process& program, int box)
{
    bool before = program.Checked(box);
    program.Click(box);
    ASSERT_TRUE(Toggled(program, box, before)) << "box " << box << " did not toggle";
}

void Close(vesmor::Process& program)
{
    PostMessageW(program.Window(), WM_CLOSE, 0, 0);
    EXPECT_EQ(program.WaitForExit(10000), 0u);
}

// Runs a program of this machine's Linux side, as a user's keyboard would
// type: xdotool through its Unix path. Wine gives no process handle for a
// Unix program, so its end is seen as the end of its output pipe.
bool Xdotool(const std::wstring& arguments)
{
    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
    HANDLE reader = nullptr;
    HANDLE writer = nullptr;
    if (!CreatePipe(&reader, &writer, &inheritable, 0))
        return false;
    SetHandleInformation(reader, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = writer;
    startup.hStdError = writer;
    std::wstring commandLine = L"xdotool " + arguments;
    std::vector<wchar_t> writable(commandLine.begin(), commandLine.end());
    writable.push_back(0);
    PROCESS_INFORMATION info = {};
    bool started = CreateProcessW(L"Z:\\usr\\bin\\xdotool", writable.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                  nullptr, &startup, &info) != FALSE;
    CloseHandle(writer);
    std::string output;
    char buffer[256];
    DWORD got = 0;
    while (started && ReadFile(reader, buffer, sizeof buffer, &got, nullptr) && got)
        output.append(buffer, got);
    CloseHandle(reader);
    if (info.hProcess)
        CloseHandle(info.hProcess);
    if (info.hThread)
        CloseHandle(info.hThread);
    EXPECT_EQ(output, "") << "xdotool " << vesmor::Utf8(arguments);
    return started;
}

HWND FocusOf(const vesmor::Process& program)
{
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    GetGUIThreadInfo(GetWindowThreadProcessId(program.Window(), nullptr), &info);
    return info.hwndFocus;
}

// Every test starts and ends with neither option stored, no key named
// Vesmor in the Run key, and no stand-in for another program's Run value.
class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override { Reset(); }
    void TearDown() override { Reset(); }

    static void Reset()
    {
        Remove("SOFTWARE", "time");
        Remove(RunKey, "Vesmor");
        Remove(RunKey, "Other");
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, VesmorKey.c_str());
    }
};

}  // namespace

TEST_F(SettingsTest, AnyRunValueChecksAutoStartAndStartingNeverRewritesIt)
{
    const Value cases[] = {
        TextValue("D:\\Elsewhere\\Other.exe"),
        TextValue(""),
        Stored(REG_SZ, ""),  // not even the terminating zero
        Stored(REG_DWORD, Zero),
        Stored(REG_BINARY, "\x01"),
    };
    for (const Value& runValue : cases) {
        Write(RunKey, "Vesmor", runValue);
        ULONGLONG written = LastWriteTime(RunKey);
        Program program = Start();
        EXPECT_TRUE(program->Checked(IDX_AUTOSTART)) << testing::PrintToString(runValue);
        EXPECT_FALSE(program->Checked(IDX_EXIT_AFTER)) << testing::PrintToString(runValue);
        Close(*program);
        EXPECT_EQ(Read(RunKey, "Vesmor"), runValue);
        EXPECT_EQ(LastWriteTime(RunKey), written) << testing::PrintToString(runValue);
    }
}

TEST_F(SettingsTest, OnlyADwordOneChecksTheExitOption)
{
    struct Case {
        Value time;
        bool checked;
    } cases[] = {
        {Value(), false},
        {Stored(REG_DWORD, Zero), false},
        {Stored(REG_DWORD, std::string("\x02\0\0\0", 4)), false},
        {TextValue("1"), false},
        {Stored(REG_BINARY, One), false},
        {Stored(REG_DWORD_BIG_ENDIAN, std::string("\0\0\0\x01", 4)), false},
        {Stored(REG_DWORD, One), true},
    };
    for (const Case& c : cases) {
        if (c.time.exists)
            Write("SOFTWARE", "time", c.time);
        else
            Remove("SOFTWARE", "time");
        Program program = Start();
        EXPECT_EQ(program->Checked(IDX_EXIT_AFTER), c.checked) << testing::PrintToString(c.time);
        EXPECT_FALSE(program->Checked(IDX_AUTOSTART)) << testing::PrintToString(c.time);
        Close(*program);
        EXPECT_EQ(Read("SOFTWARE", "time"), c.time) << "starting rewrote it";
    }
}

TEST_F(SettingsTest, StartingAndClosingWriteNothing)
{
    ULONGLONG run = LastWriteTime(RunKey);
    ULONGLONG software = LastWriteTime("SOFTWARE");
    Program program = Start();
    Close(*program);
    EXPECT_EQ(Read(RunKey, "Vesmor"), Value());
    EXPECT_EQ(Read("SOFTWARE", "time"), Value());
    EXPECT_EQ(LastWriteTime(RunKey), run);
    EXPECT_EQ(LastWriteTime("SOFTWARE"), software);
}

TEST_F(SettingsTest, TheExitOptionIsStoredAtEachClickAndOffIsZero)
{
    Program program = Start();
    Click(*program, IDX_EXIT_AFTER);
    EXPECT_EQ(Read("SOFTWARE", "time"), Stored(REG_DWORD, One));
    Click(*program, IDX_EXIT_AFTER);
    EXPECT_EQ(Read("SOFTWARE", "time"), Stored(REG_DWORD, Zero)) << "off is 0, not a missing value";
    Close(*program);

    program = Start();
    EXPECT_FALSE(program->Checked(IDX_EXIT_AFTER));
}

TEST_F(SettingsTest, AutoStartStoresTheProgramsOwnPathAndUncheckingRemovesIt)
{
    Write(RunKey, "Other", TextValue("C:\\Other.exe"));
    Program program = Start();
    Click(*program, IDX_AUTOSTART);
    EXPECT_EQ(Read(RunKey, "Vesmor"), TextValue(RunValueFor(vesmor::ProgramPath())));
    Close(*program);

    program = Start();
    EXPECT_TRUE(program->Checked(IDX_AUTOSTART));
    Click(*program, IDX_AUTOSTART);
    EXPECT_EQ(Read(RunKey, "Vesmor"), Value());
    EXPECT_EQ(Read(RunKey, "Other"), TextValue("C:\\Other.exe")) << "other programs' values stay";
}

// The path as the program reports it, quoted only when it holds a blank.
TEST_F(SettingsTest, TheRunValueHoldsThePathOfTheCopyThatRuns)
{
    struct Case {
        const wchar_t* directory;  // made for the test; null for the drive's root
        const wchar_t* exe;
        std::string stored;        // in the ANSI code page, GBK here
    } cases[] = {
        {nullptr, L"C:\\Vesmor.exe", "C:\\Vesmor.exe"},
        {L"C:\\Program Files\\Vesmor Test", L"C:\\Program Files\\Vesmor Test\\Vesmor.exe",
         "\"C:\\Program Files\\Vesmor Test\\Vesmor.exe\""},
        {L"C:\\VesmorTest", L"C:\\VesmorTest\\Vesmor.exe", "C:\\VesmorTest\\Vesmor.exe"},
        // 淺 is 9C 5C in GBK: its second byte is the backslash's.
        {L"C:\\淺水", L"C:\\淺水\\Vesmor.exe", "C:\\\x9c\x5c\xcb\xae\\Vesmor.exe"},
    };
    for (const Case& c : cases) {
        if (c.directory)
            CreateDirectoryW(c.directory, nullptr);
        ASSERT_TRUE(CopyFileW(vesmor::ProgramPath().c_str(), c.exe, FALSE)) << vesmor::Utf8(c.exe);
        {
            Program program = Start(c.exe);
            Click(*program, IDX_AUTOSTART);
            EXPECT_EQ(Read(RunKey, "Vesmor"), TextValue(c.stored)) << vesmor::Utf8(c.exe);
            Close(*program);
        }
        DeleteFileW(c.exe);
        if (c.directory)
            RemoveDirectoryW(c.directory);
        Remove(RunKey, "Vesmor");
    }
}

TEST_F(SettingsTest, AKeyNamedVesmorGoesOnlyWhenThereIsNoValueToDelete)
{
    struct Case {
        const char* what;
        bool valueAtClick;
        bool keyLeft;
    } cases[] = {
        {"the value is there: only the value goes", true, true},
        {"the value went after the start: the key goes", false, false},
    };
    for (const Case& c : cases) {
        Write(RunKey, "Vesmor", TextValue("C:\\Vesmor.exe"));
        MakeKey(VesmorKey);
        Program program = Start();
        ASSERT_TRUE(program->Checked(IDX_AUTOSTART));
        if (!c.valueAtClick)
            Remove(RunKey, "Vesmor");  // behind the program's back
        Click(*program, IDX_AUTOSTART);
        EXPECT_EQ(Read(RunKey, "Vesmor"), Value()) << c.what;
        EXPECT_EQ(KeyExists(VesmorKey), c.keyLeft) << c.what;
        Close(*program);
        Reset();
    }
}

// What the Run key holds, put back when the test ends however it ends.
class SavedRunKey {
public:
    SavedRunKey()
    {
        HKEY run;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, RunKey.c_str(), 0, KEY_READ, &run) != ERROR_SUCCESS)
            return;
        DWORD values = 0;
        RegQueryInfoKeyA(run, nullptr, nullptr, nullptr, &subkeys_, nullptr, nullptr, &values, nullptr, nullptr,
                         nullptr, nullptr);
        for (DWORD i = 0; i < values; ++i) {
            char name[256];
            DWORD length = sizeof name;
            if (RegEnumValueA(run, i, name, &length, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS)
                values_.emplace_back(name, Read(RunKey, name));
        }
        RegCloseKey(run);
    }
    ~SavedRunKey()
    {
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, RunKey.c_str());
        MakeKey(RunKey);
        for (const auto& value : values_)
            Write(RunKey, value.first.c_str(), value.second);
    }
    DWORD Subkeys() const { return subkeys_; }

private:
    DWORD subkeys_ = 0;
    std::vector<std::pair<std::string, Value>> values_;
};

TEST_F(SettingsTest, CheckingAutoStartMakesAMissingRunKey)
{
    SavedRunKey saved;
    ASSERT_EQ(saved.Subkeys(), 0u) << "the Run key has subkeys this test could not put back";
    Write(RunKey, "Other", TextValue("C:\\Other.exe"));  // the key goes whatever it holds
    ASSERT_EQ(RegDeleteTreeA(HKEY_LOCAL_MACHINE, RunKey.c_str()), ERROR_SUCCESS);
    ASSERT_FALSE(KeyExists(RunKey));

    Program program = Start();
    EXPECT_FALSE(program->Checked(IDX_AUTOSTART));
    Click(*program, IDX_AUTOSTART);
    EXPECT_EQ(Read(RunKey, "Vesmor"), TextValue(RunValueFor(vesmor::ProgramPath())));
    Close(*program);
}

// Real key presses: Tab until the box has the focus, then the space bar,
// which toggles the box and stores its new state straight away.
TEST_F(SettingsTest, TheSpaceBarOnAFocusedBoxTogglesAndSaves)
{
    struct Case {
        int box;
        std::string key;
        const char* name;
        Value on;  // and off: 0 for the exit option, no value for auto-start
    } cases[] = {
        {IDX_EXIT_AFTER, "SOFTWARE", "time", Stored(REG_DWORD, One)},
        {IDX_AUTOSTART, RunKey, "Vesmor", TextValue(RunValueFor(vesmor::ProgramPath()))},
    };
    for (const Case& c : cases) {
        Program program = Start();
        HWND box = program->Control(c.box);
        for (int presses = 0; presses < 4 && FocusOf(*program) != box; ++presses) {
            HWND before = FocusOf(*program);
            ASSERT_TRUE(Xdotool(L"key Tab"));
            ASSERT_TRUE(vesmor::WaitUntil([&] { return FocusOf(*program) != before; }, 5000))
                << "Tab moved no focus";
        }
        ASSERT_EQ(FocusOf(*program), box) << "Tab never reached box " << c.box;

        ASSERT_TRUE(Xdotool(L"key space"));
        ASSERT_TRUE(Toggled(*program, c.box, false)) << "space did not check box " << c.box;
        EXPECT_EQ(Read(c.key, c.name), c.on);

        ASSERT_TRUE(Xdotool(L"key space"));
        ASSERT_TRUE(Toggled(*program, c.box, true)) << "space did not uncheck box " << c.box;
        if (c.box == IDX_EXIT_AFTER)
            EXPECT_EQ(Read(c.key, c.name), Stored(REG_DWORD, Zero));
        else
            EXPECT_EQ(Read(c.key, c.name), Value());
        Close(*program);
    }
}
