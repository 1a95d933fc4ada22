#include "settings/Settings.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "TextTesting.h"
#include "settings/Registry.h"

namespace {

constexpr uint32_t RegBinary = 3;
constexpr uint32_t RegDwordBigEndian = 5;
constexpr uint32_t RegQword = 11;

const std::string RunKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";

// The registry below HKEY_LOCAL_MACHINE, in memory. It logs every call,
// hands out numbered handles and knows which are still open, and can be told
// to refuse what a user without administrator rights would be refused.
class FakeRegistry final : public RegistryApi {
public:
    struct Value {
        uint32_t type;
        std::string data;
        bool operator==(const Value& other) const { return type == other.type && data == other.data; }
    };

    std::map<std::string, std::map<std::string, Value>> keys{{"", {}}};  // "" is the root
    std::vector<std::string> log;
    bool refuseWriteAccess = false;  // RegOpenKeyExA with KEY_WRITE
    bool refuseCreate = false;
    bool refuseSet = false;
    bool refuseDeleteValue = false;

    void AddKey(const std::string& path)
    {
        std::string::size_type end = 0;
        do {
            end = path.find('\\', end + 1);
            keys[path.substr(0, end)];
        } while (end != std::string::npos);
    }
    void SetText(const std::string& key, const std::string& name, const std::string& text)
    {
        AddKey(key);
        keys[key][name] = {RegistryTypeText, text + '\0'};
    }
    void SetRaw(const std::string& key, const std::string& name, uint32_t type, const std::string& data)
    {
        AddKey(key);
        keys[key][name] = {type, data};
    }
    bool HasKey(const std::string& path) const { return keys.count(path) != 0; }
    const Value* Find(const std::string& key, const std::string& name) const
    {
        auto found = keys.find(key);
        if (found == keys.end())
            return nullptr;
        auto value = found->second.find(name);
        return value == found->second.end() ? nullptr : &value->second;
    }
    size_t OpenHandles() const { return open_.size(); }

    bool OpenKey(RegistryRoot, const char* keyPath, RegistryAccess access, RegistryKey& key) override
    {
        bool write = access == RegistryAccess::Write;
        log.push_back(std::string(write ? "open-write " : "open-read ") + keyPath);
        if (!HasKey(keyPath) || (write && refuseWriteAccess))
            return false;
        key = NewHandle(keyPath);
        return true;
    }
    bool CreateKey(RegistryRoot, const char* keyPath, RegistryKey& key) override
    {
        log.push_back(std::string("create ") + keyPath);
        if (refuseCreate)
            return false;
        AddKey(keyPath);
        key = NewHandle(keyPath);
        return true;
    }
    void CloseKey(RegistryKey key) override
    {
        auto found = open_.find(key);
        ASSERT_NE(found, open_.end()) << "closing a handle that is not open";
        log.push_back("close " + found->second);
        open_.erase(found);
    }
    bool QueryValueType(RegistryKey key, const char* name, uint32_t& type, uint32_t& size) override
    {
        log.push_back(std::string("query-type ") + name);
        const Value* value = Find(PathOf(key), name);
        if (!value)
            return false;
        type = value->type;
        size = static_cast<uint32_t>(value->data.size());
        return true;
    }
    // As RegQueryValueExA into a 4-byte buffer: whatever the type, and
    // ERROR_MORE_DATA for more than 4 bytes.
    bool QueryNumber(RegistryKey key, const char* name, uint32_t& number) override
    {
        log.push_back(std::string("query-number ") + name);
        const Value* value = Find(PathOf(key), name);
        if (!value || value->data.size() > 4)
            return false;
        number = 0;
        for (size_t i = value->data.size(); i-- > 0;)
            number = number << 8 | static_cast<unsigned char>(value->data[i]);
        return true;
    }
    bool SetValue(RegistryKey key, const char* name, uint32_t type, const void* data, uint32_t size) override
    {
        log.push_back(std::string("set ") + name);
        if (refuseSet)
            return false;
        keys[PathOf(key)][name] = {type, std::string(static_cast<const char*>(data), size)};
        return true;
    }
    bool DeleteValue(RegistryKey key, const char* name) override
    {
        log.push_back(std::string("delete-value ") + name);
        if (refuseDeleteValue)
            return false;
        return keys[PathOf(key)].erase(name) != 0;
    }
    bool DeleteKey(RegistryRoot, const char* keyPath) override
    {
        log.push_back(std::string("delete-key ") + keyPath);
        std::string path = keyPath;
        if (path.empty() || !HasKey(path))
            return false;
        auto after = keys.upper_bound(path);
        if (after != keys.end() && after->first.compare(0, path.size() + 1, path + '\\') == 0)
            return false;  // has subkeys
        keys.erase(path);
        return true;
    }

private:
    RegistryKey NewHandle(const std::string& path)
    {
        RegistryKey handle = reinterpret_cast<RegistryKey>(static_cast<intptr_t>(++handles_));
        open_[handle] = path;
        return handle;
    }
    std::string PathOf(RegistryKey key) const
    {
        auto found = open_.find(key);
        return found == open_.end() ? "<closed handle>" : found->second;
    }

    int handles_ = 0;
    std::map<RegistryKey, std::string> open_;
};

using Log = std::vector<std::string>;

// Every test ends with no key left open, whichever way the operations went.
class RegistryTest : public ::testing::Test {
protected:
    void TearDown() override { EXPECT_EQ(registry.OpenHandles(), 0u) << "a key was left open"; }

    FakeRegistry registry;
    const RegistryRoot root = RegistryRoot::LocalMachine;
};

// ---- SplitRegistryPath ----

TEST(SplitRegistryPathTest, KeyPathAndValueNameMeetAtTheLastBackslashOfTheText)
{
    struct Case {
        const char* itemPath;
        const char* keyPath;
        const char* valueName;
    } cases[] = {
        {"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run\\Vesmor",
         "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", "Vesmor"},
        {"SOFTWARE\\time", "SOFTWARE", "time"},
        {"time", "", "time"},                   // no backslash: the root key itself
        {"", "", ""},
        {"SOFTWARE\\", "SOFTWARE", ""},         // empty name: the key's default value
        {"\\time", "", "time"},
        // 淺 is 9C 5C in GBK: its second byte is no backslash.
        {"SOFTWARE\\\x9c\x5c", "SOFTWARE", "\x9c\x5c"},
        {"\x9c\x5c" "time", "", "\x9c\x5c" "time"},
        {"A\x9c\x5c\\B", "A\x9c\x5c", "B"},
        {"\x80\\x", "", "\x80\\x"},             // 0x80 already begins a two-byte character
        {"A\\\xff\\", "A", "\xff\\"},
        // A lead byte right before the end: the scan stops there.
        {"A\\B\x9c", "A", "B\x9c"},
        {"AB\x9c", "", "AB\x9c"},
    };
    for (const Case& c : cases) {
        RegistryItem item = SplitRegistryPath(c.itemPath);
        EXPECT_EQ(S(item.keyPath), c.keyPath) << "item path " << testing::PrintToString(std::string(c.itemPath));
        EXPECT_EQ(S(item.valueName), c.valueName) << "item path " << testing::PrintToString(std::string(c.itemPath));
    }
}

// ---- RegistryValueExists and ReadRegistryNumber ----

TEST_F(RegistryTest, AValueExistsWhateverItsTypeAndSize)
{
    struct Case {
        const char* what;
        uint32_t type;
        std::string data;
    } cases[] = {
        {"a path", RegistryTypeText, std::string("D:\\Other\\Tool.exe\0", 18)},
        {"an empty text", RegistryTypeText, std::string(1, '\0')},
        {"no data at all", RegistryTypeText, ""},
        {"a number", RegistryTypeNumber, std::string("\x07\0\0\0", 4)},
        {"bytes", RegBinary, "\x01\x02"},
    };
    for (const Case& c : cases) {
        FakeRegistry registry;
        registry.SetRaw(RunKey, "Vesmor", c.type, c.data);
        EXPECT_TRUE(RegistryValueExists(registry, root, RunValuePath)) << c.what;
        EXPECT_EQ(registry.log, (Log{"open-read " + RunKey, "query-type Vesmor", "close " + RunKey})) << c.what;
        EXPECT_EQ(registry.OpenHandles(), 0u) << c.what;
    }
}

TEST_F(RegistryTest, NoValueWithoutTheKeyOrTheName)
{
    EXPECT_FALSE(RegistryValueExists(registry, root, RunValuePath)) << "no Run key";
    EXPECT_EQ(registry.log, Log{"open-read " + RunKey});

    registry.SetText(RunKey, "Other", "C:\\Other.exe");
    registry.AddKey(RunKey + "\\Vesmor");  // a key of that name is no value
    EXPECT_FALSE(RegistryValueExists(registry, root, RunValuePath));
}

TEST_F(RegistryTest, OnlyAFourByteDwordIsReadAsANumber)
{
    const uint32_t fallback = 7;
    struct Case {
        const char* what;
        bool present;
        uint32_t type;
        std::string data;
        uint32_t expected;
    } cases[] = {
        {"missing", false, 0, "", fallback},
        {"REG_DWORD 1", true, RegistryTypeNumber, std::string("\x01\0\0\0", 4), 1},
        {"REG_DWORD 0", true, RegistryTypeNumber, std::string("\0\0\0\0", 4), 0},
        {"REG_DWORD 2", true, RegistryTypeNumber, std::string("\x02\0\0\0", 4), 2},
        {"REG_DWORD, little-endian", true, RegistryTypeNumber, "\x04\x03\x02\x01", 0x01020304},
        {"the text \"1\"", true, RegistryTypeText, std::string("1\0", 2), fallback},
        {"REG_BINARY 1", true, RegBinary, std::string("\x01\0\0\0", 4), fallback},
        {"REG_DWORD_BIG_ENDIAN 1", true, RegDwordBigEndian, std::string("\0\0\0\x01", 4), fallback},
        {"REG_QWORD 1", true, RegQword, std::string("\x01\0\0\0\0\0\0\0", 8), fallback},
        {"REG_DWORD of 8 bytes", true, RegistryTypeNumber, std::string("\x01\0\0\0\0\0\0\0", 8), fallback},
    };
    for (const Case& c : cases) {
        FakeRegistry registry;
        registry.AddKey("SOFTWARE");
        if (c.present)
            registry.SetRaw("SOFTWARE", "time", c.type, c.data);
        EXPECT_EQ(ReadRegistryNumber(registry, root, ExitOptionPath, fallback), c.expected) << c.what;
        EXPECT_EQ(registry.log.front(), "open-read SOFTWARE") << c.what;
        EXPECT_EQ(registry.log.back(), "close SOFTWARE") << c.what;
        EXPECT_EQ(registry.OpenHandles(), 0u) << c.what;
    }
}

TEST_F(RegistryTest, ANumberIsReadOnlyOnceItsTypeIsKnown)
{
    registry.SetRaw("SOFTWARE", "time", RegistryTypeText, std::string("1\0", 2));
    ReadRegistryNumber(registry, root, ExitOptionPath, 0);
    EXPECT_EQ(registry.log, (Log{"open-read SOFTWARE", "query-type time", "close SOFTWARE"}));

    registry.log.clear();
    registry.keys.clear();
    EXPECT_EQ(ReadRegistryNumber(registry, root, ExitOptionPath, 9), 9u) << "no SOFTWARE key";
    EXPECT_EQ(registry.log, Log{"open-read SOFTWARE"});
}

// ---- WriteRegistryText and WriteRegistryNumber ----

TEST_F(RegistryTest, TextIsStoredWithItsTerminatingZeroCounted)
{
    struct Case {
        std::string text;
        std::string stored;
    } cases[] = {
        {"C:\\Vesmor.exe", std::string("C:\\Vesmor.exe\0", 14)},
        {"", std::string(1, '\0')},
        {"D:\\\x9c\x5c\\Vesmor.exe", std::string("D:\\\x9c\x5c\\Vesmor.exe\0", 17)},
    };
    for (const Case& c : cases) {
        EXPECT_TRUE(WriteRegistryText(registry, root, RunValuePath, T(c.text)));
        const FakeRegistry::Value* value = registry.Find(RunKey, "Vesmor");
        ASSERT_NE(value, nullptr);
        EXPECT_EQ(value->type, RegistryTypeText);
        EXPECT_EQ(value->data, c.stored);
    }
}

TEST_F(RegistryTest, NumbersAreFourLittleEndianBytes)
{
    EXPECT_TRUE(WriteRegistryNumber(registry, root, ExitOptionPath, 0x01020304));
    ASSERT_NE(registry.Find("SOFTWARE", "time"), nullptr);
    EXPECT_EQ(*registry.Find("SOFTWARE", "time"), (FakeRegistry::Value{RegistryTypeNumber, "\x04\x03\x02\x01"}));
}

TEST_F(RegistryTest, AValueOfAnotherTypeIsOverwritten)
{
    registry.SetRaw("SOFTWARE", "time", RegistryTypeText, std::string("1\0", 2));
    EXPECT_TRUE(WriteRegistryNumber(registry, root, ExitOptionPath, 0));
    EXPECT_EQ(*registry.Find("SOFTWARE", "time"), (FakeRegistry::Value{RegistryTypeNumber, std::string(4, '\0')}));

    registry.SetRaw(RunKey, "Vesmor", RegistryTypeNumber, std::string("\x01\0\0\0", 4));
    EXPECT_TRUE(WriteRegistryText(registry, root, RunValuePath, T("C:\\V.exe")));
    EXPECT_EQ(*registry.Find(RunKey, "Vesmor"), (FakeRegistry::Value{RegistryTypeText, std::string("C:\\V.exe\0", 9)}));
}

TEST_F(RegistryTest, WritingOpensTheKeyForWritingAndCreatesItOnlyWhenThatFails)
{
    registry.AddKey(RunKey);
    WriteRegistryText(registry, root, RunValuePath, T("C:\\V.exe"));
    EXPECT_EQ(registry.log, (Log{"open-write " + RunKey, "set Vesmor", "close " + RunKey})) << "the key exists";

    registry.log.clear();
    registry.refuseWriteAccess = true;
    EXPECT_TRUE(WriteRegistryNumber(registry, root, ExitOptionPath, 1));
    EXPECT_EQ(registry.log, (Log{"open-write SOFTWARE", "create SOFTWARE", "set time", "close SOFTWARE"}))
        << "the key does not open for writing";
}

TEST_F(RegistryTest, AMissingKeyIsCreatedWithTheKeysAboveIt)
{
    EXPECT_TRUE(WriteRegistryText(registry, root, RunValuePath, T("C:\\V.exe")));
    EXPECT_EQ(registry.log, (Log{"open-write " + RunKey, "create " + RunKey, "set Vesmor", "close " + RunKey}));
    EXPECT_TRUE(registry.HasKey("SOFTWARE\\Microsoft\\Windows"));
    EXPECT_NE(registry.Find(RunKey, "Vesmor"), nullptr);
}

TEST_F(RegistryTest, RefusedWritesReportFalseAndLeaveNoKeyOpen)
{
    registry.refuseCreate = true;
    EXPECT_FALSE(WriteRegistryText(registry, root, RunValuePath, T("C:\\V.exe"))) << "no key, and none can be made";
    EXPECT_EQ(registry.log, (Log{"open-write " + RunKey, "create " + RunKey}));
    EXPECT_FALSE(WriteRegistryNumber(registry, root, ExitOptionPath, 1));
    EXPECT_EQ(registry.Find("SOFTWARE", "time"), nullptr);

    registry.refuseCreate = false;
    registry.refuseSet = true;
    registry.AddKey("SOFTWARE");
    registry.log.clear();
    EXPECT_FALSE(WriteRegistryNumber(registry, root, ExitOptionPath, 1)) << "the value is refused";
    EXPECT_EQ(registry.log, (Log{"open-write SOFTWARE", "set time", "close SOFTWARE"}));
}

// ---- DeleteRegistryItem ----

TEST_F(RegistryTest, DeletingTakesTheValueAndOnlyWithoutOneAKeyOfTheItemsPath)
{
    const std::string vesmorKey = RunKey + "\\Vesmor";
    struct Case {
        const char* what;
        bool value;
        bool key;
        bool keyHasSubkey;
        bool refuseDeleteValue;
        bool deleted;
        bool valueLeft;
        bool keyLeft;
    } cases[] = {
        {"the value alone", true, false, false, false, true, false, false},
        {"the value beside a key of its name", true, true, false, false, true, false, true},
        {"a key of the name, no value", false, true, false, false, true, false, false},
        {"a key with a subkey", false, true, true, false, false, false, true},
        {"nothing of that name", false, false, false, false, false, false, false},
        {"the value cannot be deleted", true, true, false, true, true, true, false},
    };
    for (const Case& c : cases) {
        FakeRegistry registry;
        registry.AddKey(RunKey);
        if (c.value)
            registry.SetText(RunKey, "Vesmor", "C:\\V.exe");
        if (c.key)
            registry.AddKey(vesmorKey);
        if (c.keyHasSubkey)
            registry.AddKey(vesmorKey + "\\Sub");
        registry.refuseDeleteValue = c.refuseDeleteValue;

        EXPECT_EQ(DeleteRegistryItem(registry, root, RunValuePath), c.deleted) << c.what;
        EXPECT_EQ(registry.Find(RunKey, "Vesmor") != nullptr, c.valueLeft) << c.what;
        EXPECT_EQ(registry.HasKey(vesmorKey), c.keyLeft) << c.what;
        EXPECT_EQ(registry.log[0], "open-write " + RunKey) << c.what;
        EXPECT_EQ(registry.OpenHandles(), 0u) << c.what;
    }
}

TEST_F(RegistryTest, TheKeyIsClosedBeforeAKeyOfTheItemsPathIsDeleted)
{
    registry.AddKey(RunKey + "\\Vesmor");
    DeleteRegistryItem(registry, root, RunValuePath);
    EXPECT_EQ(registry.log, (Log{"open-write " + RunKey, "delete-value Vesmor", "close " + RunKey,
                                 "delete-key " + std::string(RunValuePath)}));

    registry.log.clear();
    registry.refuseWriteAccess = true;
    EXPECT_TRUE(registry.HasKey(RunKey));
    DeleteRegistryItem(registry, root, RunValuePath);
    EXPECT_EQ(registry.log, (Log{"open-write " + RunKey, "delete-key " + std::string(RunValuePath)}))
        << "no create when deleting";
}

// ---- Settings ----

class SettingsTest : public RegistryTest {
protected:
    Settings SettingsFor(const Text& programPath) { return Settings(registry, programPath); }
};

TEST_F(SettingsTest, LoadingReadsTheRunValuesPresenceAndOnlyADwordOneForTheExitOption)
{
    const std::string one("\x01\0\0\0", 4);
    struct Case {
        const char* what;
        bool runValue;
        uint32_t timeType;  // 0: no "time" value
        std::string timeData;
        bool autoStart;
        bool exitAfter;
    } cases[] = {
        {"nothing stored", false, 0, "", false, false},
        {"both on", true, RegistryTypeNumber, one, true, true},
        {"time 0", false, RegistryTypeNumber, std::string(4, '\0'), false, false},
        {"time 2", true, RegistryTypeNumber, std::string("\x02\0\0\0", 4), true, false},
        {"time the text 1", false, RegistryTypeText, std::string("1\0", 2), false, false},
        {"time REG_BINARY 1", false, RegBinary, one, false, false},
    };
    for (const Case& c : cases) {
        FakeRegistry registry;
        if (c.runValue)
            registry.SetRaw(RunKey, "Vesmor", RegistryTypeNumber, std::string(4, '\0'));  // any value counts
        if (c.timeType)
            registry.SetRaw("SOFTWARE", "time", c.timeType, c.timeData);
        auto before = registry.keys;

        Text path("C:\\Vesmor.exe");
        Options options = Settings(registry, path).LoadOptions();
        EXPECT_EQ(options.autoStart, c.autoStart) << c.what;
        EXPECT_EQ(options.exitAfterCalibration, c.exitAfter) << c.what;
        EXPECT_EQ(registry.log.front(), "open-read " + RunKey) << c.what << ": the Run value first";
        for (const std::string& call : registry.log)
            EXPECT_TRUE(call.rfind("open-read ", 0) == 0 || call.rfind("query-", 0) == 0 || call.rfind("close ", 0) == 0)
                << c.what << ": loading only reads, but called " << call;
        EXPECT_TRUE(registry.keys == before) << c.what;
        EXPECT_EQ(registry.OpenHandles(), 0u) << c.what;
    }
}

TEST_F(SettingsTest, TheRunValueHoldsTheProgramPathQuotedOnlyWhenItHasABlank)
{
    struct Case {
        std::string programPath;
        std::string stored;  // without the terminating zero
    } cases[] = {
        {"C:\\Tools\\Vesmor.exe", "C:\\Tools\\Vesmor.exe"},
        {"C:\\Vesmor.exe", "C:\\Vesmor.exe"},  // root of a drive: one backslash
        {"C:\\Program Files\\Vesmor\\Vesmor.exe", "\"C:\\Program Files\\Vesmor\\Vesmor.exe\""},
        {"D:\\\x9c\x5c\\Vesmor.exe", "D:\\\x9c\x5c\\Vesmor.exe"},  // byte for byte
        {"D:\\\x9c\x5c \\V.exe", "\"D:\\\x9c\x5c \\V.exe\""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(S(AutoStartCommand(T(c.programPath))), c.stored);

        FakeRegistry registry;
        Text path = T(c.programPath);
        Settings(registry, path).SaveAutoStart(true);
        ASSERT_NE(registry.Find(RunKey, "Vesmor"), nullptr) << c.programPath;
        EXPECT_EQ(*registry.Find(RunKey, "Vesmor"), (FakeRegistry::Value{RegistryTypeText, c.stored + '\0'}))
            << c.programPath;
        EXPECT_EQ(registry.OpenHandles(), 0u) << c.programPath;
    }
}

TEST_F(SettingsTest, AutoStartOnOverwritesAnotherPathAndOffDeletesIt)
{
    registry.SetText(RunKey, "Vesmor", "D:\\Old place\\Vesmor.exe");
    registry.SetText(RunKey, "Other", "C:\\Other.exe");
    Text path("C:\\New\\Vesmor.exe");
    Settings settings = SettingsFor(path);

    settings.SaveAutoStart(true);
    EXPECT_EQ(registry.Find(RunKey, "Vesmor")->data, std::string("C:\\New\\Vesmor.exe\0", 18));

    settings.SaveAutoStart(false);
    EXPECT_EQ(registry.Find(RunKey, "Vesmor"), nullptr);
    EXPECT_NE(registry.Find(RunKey, "Other"), nullptr) << "other programs' values stay";
    EXPECT_TRUE(registry.HasKey(RunKey));
}

TEST_F(SettingsTest, TheExitOptionIsWrittenAtEveryClickAndNeverDeleted)
{
    Text path("C:\\Vesmor.exe");
    Settings settings = SettingsFor(path);
    const FakeRegistry::Value on = {RegistryTypeNumber, std::string("\x01\0\0\0", 4)};
    const FakeRegistry::Value off = {RegistryTypeNumber, std::string(4, '\0')};

    settings.SaveExitOption(true);
    ASSERT_NE(registry.Find("SOFTWARE", "time"), nullptr);
    EXPECT_EQ(*registry.Find("SOFTWARE", "time"), on);
    settings.SaveExitOption(false);
    ASSERT_NE(registry.Find("SOFTWARE", "time"), nullptr) << "off is 0, not a missing value";
    EXPECT_EQ(*registry.Find("SOFTWARE", "time"), off);
    EXPECT_TRUE(registry.keys["SOFTWARE"].size() == 1) << "the value lies directly in SOFTWARE";

    registry.log.clear();
    settings.SaveExitOption(false);
    EXPECT_EQ(registry.log, (Log{"open-write SOFTWARE", "set time", "close SOFTWARE"})) << "written again";
}

TEST_F(SettingsTest, SavingWithoutWriteAccessStoresNothingAndReportsNothing)
{
    registry.SetRaw("SOFTWARE", "time", RegistryTypeNumber, std::string("\x01\0\0\0", 4));
    registry.SetText(RunKey, "Vesmor", "C:\\Vesmor.exe");
    auto before = registry.keys;
    registry.refuseWriteAccess = true;
    registry.refuseCreate = true;
    registry.refuseSet = true;
    Text path("C:\\Elsewhere\\Vesmor.exe");
    Settings settings = SettingsFor(path);

    settings.SaveExitOption(false);
    settings.SaveAutoStart(true);
    settings.SaveAutoStart(false);
    EXPECT_TRUE(registry.keys == before);
}

}  // namespace
