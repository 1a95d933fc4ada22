#include "platform/Text.h"

#include <gtest/gtest.h>

#include <climits>

#include "TextTesting.h"

TEST(Text, HoldsAnyBytesAndStaysZeroTerminated)
{
    Text text;
    EXPECT_TRUE(text.Empty());
    EXPECT_STREQ(text.Data(), "");

    std::string bytes("a\0b\xFF", 4);
    for (int i = 0; i < 1000; ++i)
        text.Append(bytes.data(), bytes.size());
    ASSERT_EQ(text.Length(), 4000u);
    EXPECT_EQ(S(text).substr(3996), bytes);
    EXPECT_EQ(text.Data()[text.Length()], 0);

    text.ShrinkToFit();
    EXPECT_EQ(text.Length(), 4000u);
    EXPECT_EQ(text.Data()[text.Length()], 0);
}

TEST(Text, MovesAndCopiesOwnTheirBytes)
{
    Text original("abc");
    Text copy = original.Copy();
    Text moved(std::move(original));
    copy.Append("d");
    EXPECT_EQ(S(moved), "abc");
    EXPECT_EQ(S(copy), "abcd");
    EXPECT_TRUE(original.Empty());  // NOLINT(bugprone-use-after-move): a moved-from text is empty
    moved = std::move(copy);
    EXPECT_EQ(S(moved), "abcd");
}

TEST(Text, AppendNumberWritesPlainDecimal)
{
    struct Case {
        long value;
        const char* text;
    } cases[] = {{0, "0"}, {7, "7"}, {2026, "2026"}, {-65535, "-65535"}, {LONG_MIN, nullptr}};
    for (const Case& c : cases) {
        Text text;
        text.AppendNumber(c.value);
        EXPECT_EQ(S(text), c.text ? c.text : std::to_string(LONG_MIN));
    }
}

TEST(Text, TryAppendRefusesAnImpossibleSize)
{
    Text text("x");
    EXPECT_FALSE(text.TryAppend("y", SIZE_MAX - 1));
    EXPECT_EQ(S(text), "x") << "a refused append leaves the text as it was";
}
