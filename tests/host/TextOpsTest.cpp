#include "calibration/TextOps.h"

#include <gtest/gtest.h>

#include "TextTesting.h"

using namespace std::string_literals;

TEST(BodyToText, StopsAtTheFirstZeroByte)
{
    struct Case {
        std::string body;
        std::string text;
    } cases[] = {
        {"", ""},
        {"\0abc"s, ""},
        {"ab\0cd\0"s, "ab"},
        {"no zero", "no zero"},
        {"\xB0\xA1\0z"s, "\xB0\xA1"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(S(BodyToText(T(c.body))), c.text) << "body of " << c.body.size() << " bytes";
}

TEST(FindText, FindsExactBytesAndNeverStartsInsideATwoByteCharacter)
{
    struct Case {
        std::string text;
        const char* needle;
        int position;
    } cases[] = {
        {"Time is : 1", "Time is : ", 1},
        {"xxTime is : ", "Time is : ", 3},
        {"time is : 1", "Time is : ", -1},         // case matters
        {"Time is :", "Time is : ", -1},           // cut short
        {"", "x", -1},
        {"", "", -1},                              // empty needle in empty text
        {"abc", "", 1},
        {"abcabc", "c", 3},
        // A lead byte swallows the next byte: the 'T' after it is its second byte.
        {"\xB0Time is : ", "Time is : ", -1},
        {"\xB0Time is : Time is : ", "Time is : ", 12},
        // Two lead bytes form one character; the marker after them is found.
        {"\xB0\xA1Time is : ", "Time is : ", 3},
        {"a\xB0\xA1Time is : ", "Time is : ", 4},
        // A match may begin at a character's first byte.
        {"x\xB0\xA1y", "\xB0\xA1", 2},
        {"x\xB0", "\xB0", 2},
        {"xy\xB0", "z", -1},                       // a lead byte at the very end
    };
    for (const Case& c : cases)
        EXPECT_EQ(FindText(T(c.text), c.needle), c.position) << c.text << " / " << c.needle;
}

TEST(TextSlices, CutByByteCount)
{
    Text text = T("ab\xB0\xA1" "cd");  // 6 bytes, one two-byte character in the middle
    struct Case {
        const char* what;
        TextView result;
        std::string expected;
    } cases[] = {
        {"left 3", TextLeft(text, 3), "ab\xB0"},
        {"left 0", TextLeft(text, 0), ""},
        {"left -1", TextLeft(text, -1), ""},
        {"left 99", TextLeft(text, 99), "ab\xB0\xA1" "cd"},
        {"right 3", TextRight(text, 3), "\xA1" "cd"},
        {"right 0", TextRight(text, 0), ""},
        {"right 99", TextRight(text, 99), "ab\xB0\xA1" "cd"},
        {"mid 1,2", TextMid(text, 1, 2), "ab"},
        {"mid 4,2", TextMid(text, 4, 2), "\xA1" "c"},
        {"mid 5,9", TextMid(text, 5, 9), "cd"},
        {"mid 6,1", TextMid(text, 6, 1), "d"},
        {"mid 7,1", TextMid(text, 7, 1), ""},
        {"mid 0,2", TextMid(text, 0, 2), ""},
        {"mid 2,0", TextMid(text, 2, 0), ""},
        {"mid of empty", TextMid(Text(), 1, 1), ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(S(c.result), c.expected) << c.what;
}

TEST(TextToShort, FoldsFullWidthFormsThenReadsLikeAtoi)
{
    struct Case {
        std::string text;
        uint16_t value;
    } cases[] = {
        {"", 0},
        {"0", 0},
        {"07", 7},
        {"59", 59},
        {"2026", 2026},
        {" 7", 7},
        {"\t\n\v\f\r 12", 12},
        {"7x", 7},
        {"x7", 0},
        {":3", 0},
        {"+9", 9},
        {"-1", 65535},
        {"-0", 0},
        {"+-1", 0},
        {"65536", 0},        // low 16 bits
        {"70000", 4464},
        // Full-width digits A3 B0..B9 and the full-width signs and space.
        {"\xA3\xB7", 7},
        {"\xA3\xB1\xA3\xB2", 12},
        {"\xA3\xB0\xA3\xB9", 9},
        {"\xA3\xAD" "1", 65535},  // full-width minus
        {"\xA3\xAB" "5", 5},      // full-width plus
        {"\xA1\xA1" "8", 8},      // ideographic space
        {"1\xA1\xAB", 1},         // full-width tilde ends the digits
        {"\xB0\xA1" "5", 0},      // another character is kept as it is
        {"\xA3", 0},              // a lone lead byte is dropped
        {"4\xA3", 4},
    };
    for (const Case& c : cases)
        EXPECT_EQ(TextToShort(T(c.text)), c.value) << c.text;
}

TEST(TextToShort, WrapsLikeThirtyTwoBitArithmetic)
{
    // 4294967297 wraps to 1 in 32 bits, whatever the length of the text.
    EXPECT_EQ(TextToShort(T("4294967297")), 1);
    EXPECT_EQ(TextToShort(T(std::string(100, ' ') + "42")), 42);
}
