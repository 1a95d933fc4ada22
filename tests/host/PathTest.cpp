#include "platform/Path.h"

#include <gtest/gtest.h>

#include <string>

#include "TextTesting.h"

namespace {

// 淺 is 9C 5C in GBK: a character whose second byte looks like a backslash.
TEST(PathTest, TheLastBackslashIsNeverTheSecondByteOfACharacter)
{
    struct Case {
        const char* text;
        long lastBackslash;
        const char* directory;
    } cases[] = {
        {"C:\\Tools\\Vesmor.exe", 8, "C:\\Tools\\"},
        {"C:\\Vesmor.exe", 2, "C:\\"},  // root of a drive keeps its backslash
        {"Vesmor.exe", -1, ""},
        {"", -1, ""},
        {"C:\\\x9c\x5c\\Vesmor.exe", 5, "C:\\\x9c\x5c\\"},
        {"C:\\\x9c\x5cVesmor.exe", 2, "C:\\"},
        {"C:\\A\\\x9c\x5c", 4, "C:\\A\\"},
        {"\x80\\", -1, ""},
        {"C:\\A\x9c", 2, "C:\\"},  // a lead byte at the end ends the scan
    };
    for (const Case& c : cases) {
        std::string text = c.text;
        EXPECT_EQ(LastBackslash(c.text), c.lastBackslash) << testing::PrintToString(text);
        EXPECT_EQ(S(DirectoryOf(T(text))), c.directory) << testing::PrintToString(text);
    }
}

}  // namespace
