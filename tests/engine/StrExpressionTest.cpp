#include "Conversions.h"
#include "ScriptHarness.h"

#include <gtest/gtest.h>

using ksltest::Script;

namespace {

struct LiteralCase {
    std::string token;
    std::string value;
    std::string error = "";
};
void PrintTo(const LiteralCase& c, std::ostream* os) {
    *os << c.token;
}

class Literals : public testing::TestWithParam<LiteralCase> {};

TEST_P(Literals, HaveTheirValue) {
    const LiteralCase& c = GetParam();
    try {
        EXPECT_EQ(ksl::FormatString(c.token), c.value) << c.token;
        EXPECT_EQ(c.error, "") << c.token;
    } catch (const ksl::EKestrelError& e) {
        EXPECT_EQ(e.what(), c.error) << c.token;
    }
}

INSTANTIATE_TEST_SUITE_P(
    QuotedAndCodes, Literals,
    testing::Values(LiteralCase{"'it''s'", "it's"}, LiteralCase{"''''", "'"}, LiteralCase{"''", ""},
                    LiteralCase{"'", ""}, LiteralCase{"", ""}, LiteralCase{"'a#1'", "a#1"},
                    LiteralCase{"'abc", "'abc"}, LiteralCase{"#65", "A"}, LiteralCase{"#$41", "A"},
                    LiteralCase{"#$0d", "\r"}, LiteralCase{"#0065", "\x06"},
                    LiteralCase{"#$0041", "\x04"}, LiteralCase{"#255", "\xFF"},
                    LiteralCase{"#256", ""}, LiteralCase{"#300", ""}, LiteralCase{"#$1FF", ""},
                    LiteralCase{"#0", std::string(1, '\0')},
                    LiteralCase{"#", "", "'' は整数ではありません"},
                    LiteralCase{"#$", "", "'0x' は整数ではありません"}));

// The value a String variable gets from `expression`, with s = 'x' and i = 1 declared.
std::string Str(const std::string& expression) {
    Script s;
    const std::string error =
        s.Run("var r, s: string; i: integer; x: real; begin s := 'x'; i := 1; r := " + expression +
              " end");
    return error.empty() ? s.Str("r") : "error: " + error;
}

struct StrCase {
    std::string expression;
    std::string value;
};
void PrintTo(const StrCase& c, std::ostream* os) {
    *os << c.expression;
}

class StringExpressions : public testing::TestWithParam<StrCase> {};

TEST_P(StringExpressions, Evaluate) {
    EXPECT_EQ(Str(GetParam().expression), GetParam().value) << GetParam().expression;
}

INSTANTIATE_TEST_SUITE_P(
    Joining, StringExpressions,
    testing::Values(StrCase{"#65#66", "AB"}, StrCase{"'A'#9'B'", "A\tB"},
                    StrCase{"'Hello'#13#10", "Hello\r\n"}, StrCase{"#$0D#$0A", "\r\n"},
                    StrCase{"'a' + 'b' 'c'", "abc"}, StrCase{"s 'a'", "xa"}, StrCase{"'a' s", "a"},
                    StrCase{"IntToStr(5)'!'", "5!"}, StrCase{"('a' + s) + ('b')", "axb"},
                    StrCase{"'a' + ''", "a"},
                    // A value is cut at its first NUL when it is stored, not before.
                    StrCase{"'ab' + #0 + 'cd'", "ab"}, StrCase{"#0'a'", ""},
                    StrCase{"IntToStr(Length('ab'#0'cd'))", "2"},
                    StrCase{"'ab'#0'cd' = 'ab'", "0"}));

INSTANTIATE_TEST_SUITE_P(Comparisons, StringExpressions,
                         testing::Values(StrCase{"'a' + 'b' = 'ab'", "-1"},
                                         StrCase{"'B' < 'a'", "-1"}, StrCase{"'ab' < 'abc'", "-1"},
                                         StrCase{"'abc' <= 'ab'", "0"}, StrCase{"'a' = 'A'", "0"},
                                         StrCase{"'a' <> 'A'", "-1"}, StrCase{"'b' >= 'b'", "-1"},
                                         StrCase{"'b' > 'c'", "0"},
                                         StrCase{"#$E9 > 'z'", "-1"}, // bytes compare unsigned
                                         StrCase{"('a' = 'a') = '-1'", "-1"},
                                         StrCase{"'a' = 'a' = '-1'", "-1"},
                                         StrCase{"'' < 'a'", "-1"}));

INSTANTIATE_TEST_SUITE_P(
    Failures, StringExpressions,
    testing::Values(StrCase{"'a' + 1", "error: 文法エラーです[1]"},
                    StrCase{"'a' + 1.5", "error: 文法エラーです[1.5]"},
                    StrCase{"i", "error: 変数の型が違います[i]"},
                    StrCase{"'a' + x", "error: 変数の型が違います[x]"},
                    StrCase{"'a' + Length('b')", "error: 関数の戻り値の型が違います[Length]"},
                    StrCase{"q", "error: 変数または関数は定義されていません[q]"},
                    StrCase{"('a'", "error: 右括弧がありません"},
                    StrCase{") 'a'", "error: 文法エラーです['a']"},
                    StrCase{"'a' + ", "error: 文法エラーです[]"},
                    StrCase{"-'a'", "error: 文法エラーです[-]"},
                    StrCase{"", "error: 文法エラーです[]"},
                    StrCase{"#", "error: '' は整数ではありません"}));

TEST(StringExpressions, ComparisonsDecideConditions) {
    Script s;
    ASSERT_EQ(s.Run("var s: string; a, b, c: integer; begin s := 'abc'; a := s = 'abc'; "
                    "b := s = 'abd'; if s < 'b' then c := 1 end"),
              "");
    EXPECT_EQ(s.Int("a"), -1);
    EXPECT_EQ(s.Int("b"), 0);
    EXPECT_EQ(s.Int("c"), 1);
}

// A string that would grow past the engine's cap ends the run; one that reaches it exactly is
// kept, and the variable keeps the value it had before the failing statement.
TEST(StringCap, EndsTheRunBeforeAStringGrowsPastIt) {
    const struct {
        const char* statement;
        const char* error;
        const char* left;
    } cases[] = {
        {"s := s + s", "", "abcdefghabcdefgh"},
        {"s := s + s + 'x'", "文字列が長すぎます", "abcdefgh"},
        {"s := s + s 'x'", "文字列が長すぎます", "abcdefgh"},
        {"s := Insert(s, s, 1)", "", "abcdefghabcdefgh"},
        {"s := Insert('xy', s + s, 1)", "文字列が長すぎます", "abcdefgh"},
        {"Print(s + s + s)", "文字列が長すぎます", "abcdefgh"},
        {"while True do s := s + s", "文字列が長すぎます", "abcdefghabcdefgh"},
    };
    for (const auto& c : cases) {
        Script s;
        s.engine.SetMaxStringLength(16);
        EXPECT_EQ(s.engine.MaxStringLength(), 16u);
        EXPECT_EQ(
            s.Run(std::string("var s: String; begin s := 'abcdefgh'; ") + c.statement + " end"),
            c.error)
            << c.statement;
        EXPECT_EQ(s.Str("s"), c.left) << c.statement;
    }
}

TEST(StringCap, IsOneGibibyteUnlessTheHostSetsAnother) {
    EXPECT_EQ(ksl::TKestrel().MaxStringLength(), size_t(1) << 30);
}

} // namespace
