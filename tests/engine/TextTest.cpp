#include "Text.h"

#include "kestrel/Kestrel.h"

#include <gtest/gtest.h>

using namespace ksl;

namespace {

TEST(Text, BlanksAreTheControlBytesAndTheSpaceAndOnlyOneKindTakesNul) {
    struct Case {
        unsigned char byte;
        bool blank, blankOrNul;
    } cases[] = {
        {0, false, true},    {1, true, true},     {9, true, true},
        {32, true, true},    {33, false, false},  {127, false, false},
        {128, false, false}, {160, false, false}, {255, false, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(IsBlank(char(c.byte)), c.blank) << int(c.byte);
        EXPECT_EQ(IsBlankOrNul(char(c.byte)), c.blankOrNul) << int(c.byte);
    }
}

TEST(Text, TrimsRemoveOnlyTheBlanksOfTheirKindAtTheirEnds) {
    using namespace std::string_literals;
    const std::string text = "\0 \t a b \x01\0"s;
    EXPECT_EQ(Trim(text, IsBlankOrNul), "a b");
    EXPECT_EQ(TrimLeft(text, IsBlankOrNul), "a b \x01\0"s);
    EXPECT_EQ(TrimRight(text, IsBlankOrNul), "\0 \t a b"s);
    EXPECT_EQ(Trim(text, IsBlank), text);
    EXPECT_EQ(Trim(" \xA0x\xA0 ", IsBlank), "\xA0x\xA0");
    EXPECT_EQ(Trim(" \r\n", IsBlank), "");
}

TEST(Text, LetterCaseChangesForAsciiLettersOnly) {
    EXPECT_EQ(UpperCase("az_AZ09@[`{\xE9"), "AZ_AZ09@[`{\xE9");
    EXPECT_EQ(LowerCase("AZ_az09@[`{\xC9"), "az_az09@[`{\xC9");
}

TEST(Text, CompareTextOrdersByUpperCasedUnsignedBytesThenLength) {
    struct Case {
        std::string a, b;
        int order;
    } cases[] = {
        {"abc", "ABC", 0},      {"", "", 0},         {"a", "B", -1},
        {"b", "A", 1},          {"ab", "abc", -1},   {"_", "a", 1},
        {"Z", "\x80", -1},      {"\xE9", "\xC9", 1}, {"x\xFF", "X", 1},
        {"item2", "ITEM10", 1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CompareText(c.a, c.b), c.order) << c.a << " ~ " << c.b;
        EXPECT_EQ(CompareText(c.b, c.a), -c.order) << c.b << " ~ " << c.a;
        EXPECT_EQ(SameText(c.a, c.b), c.order == 0) << c.a << " ~ " << c.b;
    }
}

TEST(Text, DigitsAndLettersAreAsciiOnly) {
    EXPECT_TRUE(IsDigit('0') && IsDigit('9') && !IsDigit('/') && !IsDigit(':'));
    EXPECT_TRUE(IsHexDigit('f') && IsHexDigit('F') && !IsHexDigit('g') && !IsHexDigit('G'));
    EXPECT_TRUE(IsLetter('_') && IsLetter('z') && !IsLetter('0') && !IsLetter(char(0xE9)));
}

} // namespace
