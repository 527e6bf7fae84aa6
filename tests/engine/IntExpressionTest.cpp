#include "ScriptHarness.h"

#include <gtest/gtest.h>

using ksltest::EvalInt;

namespace {

struct IntCase {
    std::string expression;
    int64_t value;
    std::string error = "";
};

class IntegerExpressions : public testing::TestWithParam<IntCase> {};

TEST_P(IntegerExpressions, EvaluateAsSpecifiedForTheLanguage) {
    const IntCase& c = GetParam();
    const auto r = EvalInt(c.expression, "a, b: integer; x: real; s: string;");
    EXPECT_EQ(r.error, c.error) << c.expression;
    if (c.error.empty()) {
        EXPECT_EQ(r.value, c.value) << c.expression;
    }
}

constexpr int64_t Min = INT64_MIN, Max = INT64_MAX;

INSTANTIATE_TEST_SUITE_P(
    Arithmetic, IntegerExpressions,
    testing::Values(IntCase{"7 div 2 * 2", 6}, IntCase{"-7 div 2", -3}, IntCase{"-7 mod 2", -1},
                    IntCase{"7 mod -2", 1}, IntCase{"1 + 2 * 3", 7}, IntCase{"(1 + 2) * 3", 9},
                    IntCase{"100 div -3 div 2", -100}, IntCase{"2 * -3 * 4", -24},
                    IntCase{"9223372036854775807 + 1", Min}, IntCase{"(1 shl 63) div -1", Min},
                    IntCase{"(1 shl 63) mod -1", 0}, IntCase{"5 mod -1", 0},
                    IntCase{"1 div 0", 0, "ゼロによる除算"},
                    IntCase{"1 mod 0", 0, "ゼロによる除算"}, IntCase{"-(1 shl 63)", Min},
                    IntCase{"5 6", 5}));

INSTANTIATE_TEST_SUITE_P(
    BitsAndComparisons, IntegerExpressions,
    testing::Values(IntCase{"1 shl 63", Min}, IntCase{"1 shl 64", 0}, IntCase{"1 shl 256", 1},
                    IntCase{"1 shl -1", 1LL << 31}, IntCase{"(-1) shr 1", Max},
                    IntCase{"-1 shr 1", 0}, IntCase{"(-1) shr 100", 0},
                    IntCase{"(-1) shr 200", Max >> 7}, IntCase{"$F0 and $3C", 0x30},
                    IntCase{"$F0 or $0F xor $FF", 0}, IntCase{"not 0", -1}, IntCase{"not True", 0},
                    IntCase{"3 = 3", -1}, IntCase{"3 <> 3", 0}, IntCase{"1 < 2 < 3", -1},
                    IntCase{"2 >= 3", 0}, IntCase{"2 <= 2", -1}, IntCase{"NOT 5 AND 3", 2},
                    IntCase{"5 DIV 2 MOD 2", 0}));

INSTANTIATE_TEST_SUITE_P(Literals, IntegerExpressions,
                         testing::Values(IntCase{"$FF", 255}, IntCase{"$", 0},
                                         IntCase{"99999999999999999999", 0},
                                         IntCase{"$FFFFFFFFFFFFFFFF", -1},
                                         IntCase{"9223372036854775807", Max}));

INSTANTIATE_TEST_SUITE_P(
    Failures, IntegerExpressions,
    testing::Values(IntCase{"a and not b", 0, "変数または関数は定義されていません[not]"},
                    IntCase{"a and (not b)", 0}, IntCase{"(1 + 2", 0, "右括弧がありません"},
                    IntCase{")", 0, "文法エラーです[]"}, IntCase{") 5", 0, "文法エラーです[5]"},
                    IntCase{"", 0, "文法エラーです[]"},
                    IntCase{"q", 0, "変数または関数は定義されていません[q]"},
                    IntCase{"1 + s", 0, "変数の型が違います[s]"},
                    IntCase{"1 + Copy('a', 1, 1)", 0, "関数の戻り値の型が違います[Copy]"},
                    IntCase{"1 + Length", 0, "文法エラーです[]"}));

INSTANTIATE_TEST_SUITE_P(TypeMixing, IntegerExpressions,
                         testing::Values(IntCase{"2 + 1.5", 0, "文法エラーです[1.5]"},
                                         IntCase{"1.5 + 2", 3}, IntCase{"(2.9)", 2},
                                         IntCase{"(-2.9)", 0, "文法エラーです[2.9]"},
                                         IntCase{"-2.9", 0, "文法エラーです[2.9]"},
                                         IntCase{"('12')", 12}, IntCase{"('x')", -1},
                                         IntCase{"'12' + '3'", 123}, IntCase{"('a' < 'b')", -1},
                                         IntCase{"1e30", 0, "不正な浮動小数点数演算命令"},
                                         IntCase{"1 + x", 0, "変数の型が違います[x]"},
                                         IntCase{"1 + (x)", 1}, IntCase{"x + 1", 1}));

TEST(IntegerVariables, HostObjectsAreReadAndWrittenThroughTheCallback) {
    ksltest::Script s;
    s.engine.AddIntObj("Counter", 7, false, 42);
    std::vector<std::string> calls;
    s.engine.IntObjParam = [&](const std::string& name, int32_t index, uint8_t mode, int32_t& err,
                               int64_t& value) {
        calls.push_back(name + ":" + std::to_string(index) + ":" + std::to_string(mode) + ":" +
                        std::to_string(value));
        if (mode == ksl::omGet) value += 100;
        if (value == 999) err = 3;
    };
    s.engine.ErrorProc = [](int32_t code, std::string& message) {
        message = "refused " + std::to_string(code);
    };
    ASSERT_EQ(s.Run("var r: integer; begin r := COUNTER; counter := 5 end"), "");
    EXPECT_EQ(s.Int("r"), 107);
    EXPECT_EQ(calls, (std::vector<std::string>{"Counter:42:0:7", "Counter:42:1:5"}));
    EXPECT_EQ(s.Run("counter := 999"), "refused 3");
}

TEST(IntegerVariables, UnchangedHostValueReadsAsStored) {
    ksltest::Script s;
    s.engine.AddIntObj("Level", 12, false, 1);
    s.engine.IntObjParam = [](const std::string&, int32_t, uint8_t, int32_t&, int64_t&) {};
    ASSERT_EQ(s.Run("var r: integer; begin r := Level end"), "");
    EXPECT_EQ(s.Int("r"), 12);
}

} // namespace
