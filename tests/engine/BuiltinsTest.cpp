#include "ScriptHarness.h"
#include "platform/Dialogs.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

using ksltest::EvalInt;
using ksltest::EvalReal;
using ksltest::EvalStr;

namespace {

struct StrCase {
    std::string expression;
    std::string value;
};
void PrintTo(const StrCase& c, std::ostream* os) {
    *os << c.expression;
}

class StringFunctions : public testing::TestWithParam<StrCase> {};

TEST_P(StringFunctions, ReturnExactly) {
    const auto r = EvalStr(GetParam().expression);
    EXPECT_EQ(r.error, "") << GetParam().expression;
    EXPECT_EQ(r.value, GetParam().value) << GetParam().expression;
}

INSTANTIATE_TEST_SUITE_P(
    CopyDeleteInsert, StringFunctions,
    testing::Values(
        StrCase{"Copy('abcdef', 0, 2)", "ab"}, StrCase{"Copy('abcdef', -5, 2)", "ab"},
        StrCase{"Copy('abc', 3, 1)", "c"}, StrCase{"Copy('abc', 4, 1)", ""},
        StrCase{"Copy('abc', 5, 1)", ""}, StrCase{"Copy('abc', 2, 99)", "bc"},
        StrCase{"Copy('abc', 1, 0)", ""}, StrCase{"Copy('abc', 1, -1)", ""},
        StrCase{"Copy('abc', 2, 9223372036854775807)", "bc"},
        StrCase{"Copy('abc', -9223372036854775807, 9223372036854775807)", "abc"},
        StrCase{"Delete('abcdef', 2, 2)", "adef"}, StrCase{"Delete('abc', 0, 1)", "abc"},
        StrCase{"Delete('abc', 4, 1)", "abc"}, StrCase{"Delete('abc', 3, 99)", "ab"},
        StrCase{"Delete('abc', 1, 0)", "abc"}, StrCase{"Delete('abc', 1, 3)", ""},
        StrCase{"Delete('abc', 2, 9223372036854775807)", "a"},
        StrCase{"Insert('X', 'abc', 0)", "Xabc"}, StrCase{"Insert('X', 'abc', 1)", "Xabc"},
        StrCase{"Insert('X', 'abc', 3)", "abXc"}, StrCase{"Insert('X', 'abc', 4)", "abcX"},
        StrCase{"Insert('X', 'abc', 99)", "abcX"}, StrCase{"Insert('X', '', 5)", "X"},
        StrCase{"Insert('', 'abc', 2)", "abc"}));

INSTANTIATE_TEST_SUITE_P(
    TextAndCase, StringFunctions,
    testing::Values(StrCase{"IntToStr(-9223372036854775807 - 1)", "-9223372036854775808"},
                    StrCase{"IntToStr($FF)", "255"}, StrCase{"IntToStr(0)", "0"},
                    StrCase{"IntToStr(-1)", "-1"}, StrCase{"IntToStr(-10)", "-10"},
                    StrCase{"IntToStr(9)", "9"}, StrCase{"IntToStr(1000000007)", "1000000007"},
                    StrCase{"IntToStr(9223372036854775807)", "9223372036854775807"},
                    StrCase{"UpperCase('abcé1_z')", "ABCé1_Z"},
                    StrCase{"LowerCase('ABCÉ1_Z')", "abcÉ1_z"},
                    StrCase{"Trim(#9' a b '#13#10)", "a b"}, StrCase{"TrimLeft(#1'  a ')", "a "},
                    StrCase{"TrimRight('  a '#31)", "  a"},
                    StrCase{"Trim(#$A0'a'#$A0)", "\xA0"
                                                 "a"
                                                 "\xA0"},
                    StrCase{"Trim('   ')", ""}));

// General format with 15 significant digits; scientific below 0.0001 and from 1E15 on.
INSTANTIATE_TEST_SUITE_P(
    FloatToStr, StringFunctions,
    testing::Values(StrCase{"FloatToStr(1e20)", "1E20"}, StrCase{"FloatToStr(5e-5)", "5E-5"},
                    StrCase{"FloatToStr(123456789012345678)", "1.23456789012346E17"},
                    StrCase{"FloatToStr(0.0001)", "0.0001"}, StrCase{"FloatToStr(2.0)", "2"},
                    StrCase{"FloatToStr(1e15)", "1E15"},
                    StrCase{"FloatToStr(999999999999999)", "999999999999999"},
                    StrCase{"FloatToStr(123456.789)", "123456.789"},
                    StrCase{"FloatToStr(1 / 3)", "0.333333333333333"},
                    StrCase{"FloatToStr(0.1 + 0.2)", "0.3"},
                    StrCase{"FloatToStr(-1.5e-7)", "-1.5E-7"}, StrCase{"FloatToStr(-2.5)", "-2.5"},
                    StrCase{"FloatToStr(1e-300)", "1E-300"}, StrCase{"FloatToStr(0)", "0"},
                    StrCase{"FloatToStr(Int(-0.5))", "0"}, StrCase{"FloatToStr(-0.0)", "0"}));

struct IntCase {
    std::string expression;
    int64_t value;
    std::string error = "";
};
void PrintTo(const IntCase& c, std::ostream* os) {
    *os << c.expression;
}

class IntegerFunctions : public testing::TestWithParam<IntCase> {};

TEST_P(IntegerFunctions, ReturnExactly) {
    const IntCase& c = GetParam();
    const auto r = EvalInt(c.expression);
    EXPECT_EQ(r.error, c.error) << c.expression;
    EXPECT_EQ(r.value, c.value) << c.expression;
}

const std::string InvalidOperation = "不正な浮動小数点数演算命令";

// Halves go to the even neighbour.
INSTANTIATE_TEST_SUITE_P(
    Rounding, IntegerFunctions,
    testing::Values(IntCase{"Round(2.5)", 2}, IntCase{"Round(3.5)", 4}, IntCase{"Round(-2.5)", -2},
                    IntCase{"Round(-3.5)", -4}, IntCase{"Round(2.6)", 3}, IntCase{"Round(-0.4)", 0},
                    IntCase{"Round(7)", 7}, IntCase{"Trunc(-2.7)", -2}, IntCase{"Trunc(2.7)", 2},
                    IntCase{"Trunc(-9.2233720368547758e18)", INT64_MIN},
                    IntCase{"Trunc(9.2233720368547758e18)", 0, InvalidOperation},
                    IntCase{"Round(1e19)", 0, InvalidOperation}));

INSTANTIATE_TEST_SUITE_P(
    StrToInt, IntegerFunctions,
    testing::Values(IntCase{"StrToInt('$1F')", 31}, IntCase{"StrToInt('0x1F')", 31},
                    IntCase{"StrToInt('x1f')", 31}, IntCase{"StrToInt('0X1F')", 31},
                    IntCase{"StrToInt('  -12')", -12}, IntCase{"StrToInt('+7')", 7},
                    IntCase{"StrToInt('-$10')", -16}, IntCase{"StrToInt('007')", 7},
                    IntCase{"StrToInt('12a')", 0}, IntCase{"StrToInt('12 ')", 0},
                    IntCase{"StrToInt('1.5')", 0}, IntCase{"StrToInt('- 1')", 0},
                    IntCase{"StrToInt('')", 0}, IntCase{"StrToInt('$')", 0},
                    IntCase{"StrToInt('0x')", 0}, IntCase{"StrToInt('$-1')", 0},
                    IntCase{"StrToInt('9223372036854775807')", INT64_MAX},
                    IntCase{"StrToInt('9223372036854775808')", 0},
                    IntCase{"StrToInt('-9223372036854775808')", INT64_MIN},
                    IntCase{"StrToInt('-9223372036854775809')", 0},
                    IntCase{"StrToInt('$FFFFFFFFFFFFFFFF')", -1},
                    IntCase{"StrToInt('$10000000000000000')", 0}));

INSTANTIATE_TEST_SUITE_P(
    TextMeasures, IntegerFunctions,
    testing::Values(IntCase{"Length('')", 0}, IntCase{"Length('é')", 2},
                    IntCase{"Length(#0'a')", 0}, IntCase{"Length('a' + #0 + 'b')", 1},
                    IntCase{"Pos('c', 'abcabc')", 3}, IntCase{"Pos('', 'abc')", 0},
                    IntCase{"Pos('abcd', 'abc')", 0}, IntCase{"Pos('C', 'abc')", 0},
                    IntCase{"Pos('é', 'aé')", 2}, IntCase{"Pos(#$A9, 'éa')", 0},
                    IntCase{"Pos('b', 'éb')", 3}, IntCase{"CompareStr('a', 'b')", -1},
                    IntCase{"CompareStr('b', 'a')", 1}, IntCase{"CompareStr('abc', 'abc')", 0},
                    IntCase{"CompareStr('a', 'ab')", -1}, IntCase{"CompareStr('z', 'A')", 1}));

INSTANTIATE_TEST_SUITE_P(
    PointerFunctions, IntegerFunctions,
    testing::Values(IntCase{"PtrToInt(5)", 0, "未宣言の組み込み関数です[)]"},
                    IntCase{"IntToPtr(5)", 0, "未宣言の組み込み関数です[)]"},
                    IntCase{"FloatToPtr(1.5)", 0, "未宣言の組み込み関数です[)]"},
                    IntCase{"StrToPtr('a')", 0, "未宣言の組み込み関数です[)]"},
                    IntCase{"Length(PtrToStr(5))", 0, "未宣言の組み込み関数です[)]"},
                    IntCase{"Trunc(PtrToFloat(5))", 0, "未宣言の組み込み関数です[)]"},
                    // The arguments are evaluated first.
                    IntCase{"PtrToInt(1 div 0)", 0, "ゼロによる除算"}));

struct RealCase {
    std::string expression;
    double value;
};
void PrintTo(const RealCase& c, std::ostream* os) {
    *os << c.expression;
}

class RealFunctions : public testing::TestWithParam<RealCase> {};

TEST_P(RealFunctions, ReturnExactly) {
    const auto r = EvalReal(GetParam().expression);
    EXPECT_EQ(r.error, "") << GetParam().expression;
    EXPECT_EQ(r.value, GetParam().value) << GetParam().expression;
}

INSTANTIATE_TEST_SUITE_P(
    All, RealFunctions,
    testing::Values(RealCase{"Frac(-1.5)", -0.5}, RealCase{"Frac(2.25)", 0.25},
                    RealCase{"Frac(3)", 0.0}, RealCase{"Int(-1.5)", -1.0},
                    RealCase{"Int(2.9)", 2.0}, RealCase{"Int(1e300)", 1e300},
                    RealCase{"StrToFloat('2.5')", 2.5}, RealCase{"StrToFloat(' -1E3 ')", -1000.0},
                    RealCase{"StrToFloat('.5')", 0.5}, RealCase{"StrToFloat('5.')", 5.0},
                    RealCase{"StrToFloat('+3')", 3.0}, RealCase{"StrToFloat('2.5e-3')", 0.0025},
                    RealCase{"StrToFloat('abc')", 0.0}, RealCase{"StrToFloat('1,5')", 0.0},
                    RealCase{"StrToFloat('')", 0.0}, RealCase{"StrToFloat('1e')", 0.0},
                    RealCase{"StrToFloat('inf')", 0.0}, RealCase{"StrToFloat('nan')", 0.0},
                    RealCase{"StrToFloat('0x10')", 0.0}, RealCase{"StrToFloat('1e400')", 0.0},
                    RealCase{"StrToFloat('1e-400')", 0.0}, RealCase{"StrToFloat('1 2')", 0.0}));

TEST(IsDefine, MatchesTheHostsNamesWithoutRegardToCase) {
    ksltest::Script s;
    s.engine.SetDefine({"DEBUG", "Trace"});
    ASSERT_EQ(
        s.Run("var a, b, c, d: integer; begin a := IsDefine('debug'); b := IsDefine('TRACE'); "
              "c := IsDefine('DEBUG2'); d := IsDefine('') end"),
        "");
    EXPECT_EQ(s.Int("a"), -1);
    EXPECT_EQ(s.Int("b"), -1);
    EXPECT_EQ(s.Int("c"), 0);
    EXPECT_EQ(s.Int("d"), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Exec, IntegerFunctions,
    testing::Values(IntCase{"Exec('sh', '-c \"exit 3\"', -1)", 3},
                    IntCase{"Exec('sh', '-c ''exit $0'' 7', True)", 7},
                    IntCase{"Exec('true', '', -1)", 0},
                    // Only -1 waits: any other value returns -1 once the program has started.
                    IntCase{"Exec('sh', '-c \"exit 3\"', 1)", -1},
                    IntCase{"Exec('sh', '-c \"exit 3\"', 0)", -1},
                    IntCase{"Exec('/nonexistent/ksl-program', '', -1)", 0},
                    IntCase{"Exec('ksl-no-such-program', '', 1)", 0},
                    IntCase{"Exec('', '', -1)", 0},
                    IntCase{"Shell('/nonexistent/ksl-file', '')", 2}, IntCase{"Shell('', '')", 2}));

// Records what a script asks and answers with fixed values.
class ScriptedDialogs : public platform::DialogProvider {
public:
    int32_t MessageBox(const std::string& text, const std::string& caption,
                       uint32_t flags) override {
        asked.push_back("MessageBox " + text + "|" + caption + "|" + std::to_string(flags));
        return platform::IDNO;
    }
    std::string InputBox(const std::string& caption, const std::string& prompt,
                         const std::string& preset) override {
        asked.push_back("InputBox " + caption + "|" + prompt + "|" + preset);
        return "typed";
    }
    std::vector<std::string> asked;
};

TEST(Dialogs, ScriptsReachTheInstalledProvider) {
    ScriptedDialogs dialogs;
    platform::SetDialogProvider(&dialogs);
    ksltest::Script s;
    const std::string error = s.Run("var i: integer; t: string; begin "
                                    "i := MessageBox('Go on?', 'Question', $24); "
                                    "t := InputBox('Port', 'Device:', 'COM1') end");
    platform::SetDialogProvider(nullptr);
    ASSERT_EQ(error, "");
    EXPECT_EQ(s.Int("i"), platform::IDNO);
    EXPECT_EQ(s.Str("t"), "typed");
    EXPECT_EQ(dialogs.asked, (std::vector<std::string>{"MessageBox Go on?|Question|36",
                                                       "InputBox Port|Device:|COM1"}));
}

// Without a terminal the console answers with the default button and the preset text.
TEST(Dialogs, TheConsoleAnswersWithDefaults) {
    const int savedInput = dup(STDIN_FILENO);
    const int nothing = open("/dev/null", O_RDONLY);
    dup2(nothing, STDIN_FILENO);
    ksltest::Script s;
    const std::string error =
        s.Run("var a, b, c, d: integer; t: string; begin a := MessageBox('x', 'y', 0); "
              "b := MessageBox('x', 'y', 4); c := MessageBox('x', 'y', $104); "
              "d := MessageBox('x', 'y', $203); t := InputBox('c', 'p', 'preset') end");
    dup2(savedInput, STDIN_FILENO);
    close(savedInput);
    close(nothing);
    ASSERT_EQ(error, "");
    EXPECT_EQ(s.Int("a"), platform::IDOK);
    EXPECT_EQ(s.Int("b"), platform::IDYES);
    EXPECT_EQ(s.Int("c"), platform::IDNO);
    EXPECT_EQ(s.Int("d"), platform::IDCANCEL);
    EXPECT_EQ(s.Str("t"), "preset");
}

} // namespace
