#include "ScriptHarness.h"

#include <gtest/gtest.h>

using ksltest::EvalReal;

namespace {

struct RealCase {
    std::string expression;
    double value;
    std::string error = "";
};
void PrintTo(const RealCase& c, std::ostream* os) {
    *os << c.expression;
}

class RealExpressions : public testing::TestWithParam<RealCase> {};

TEST_P(RealExpressions, Evaluate) {
    const RealCase& c = GetParam();
    const auto r = EvalReal(c.expression, "i: integer; x: real; s: string;");
    EXPECT_EQ(r.error, c.error) << c.expression;
    if (c.error.empty()) {
        EXPECT_EQ(r.value, c.value) << c.expression;
    }
}

const std::string DivisionByZero = "0 による浮動小数点数除算";
const std::string InvalidOperation = "不正な浮動小数点数演算命令";
const std::string Overflow = "浮動小数点数のオーバーフロー";

INSTANTIATE_TEST_SUITE_P(
    Arithmetic, RealExpressions,
    testing::Values(RealCase{"1 / 4", 0.25}, RealCase{"7 / 2", 3.5}, RealCase{"-2 * 3", -6.0},
                    RealCase{"-2 * 3 + 1", -5.0}, RealCase{"1 - 2 - 3", -4.0},
                    RealCase{"1 + 2 * 3 / 4", 2.5}, RealCase{"2.5E-3 * 1e3", 2.5},
                    RealCase{"1e3", 1000.0}, RealCase{"1.5 or 2", 1.5},
                    RealCase{"1.5 * (7 div 2)", 4.5}, RealCase{"7 div 2", 7.0},
                    RealCase{"Length('abc') / 2", 1.5}, RealCase{"(-2.5)", -2.5},
                    RealCase{"+(2.5)", 2.5}, RealCase{"1e-300 * 1e-300", 0.0},
                    RealCase{"9223372036854775807 * 2", 18446744073709551616.0}));

INSTANTIATE_TEST_SUITE_P(Comparisons, RealExpressions,
                         testing::Values(RealCase{"2.5 = 2.5", -1.0}, RealCase{"1 < 2", -1.0},
                                         RealCase{"2.5 <> 2.5", 0.0}, RealCase{"1 < 2 < 3", -1.0},
                                         RealCase{"3 >= 3.5", 0.0},
                                         RealCase{"0.1 + 0.2 = 0.3", 0.0}));

// Only the first token inside parentheses decides their type.
INSTANTIATE_TEST_SUITE_P(
    TypeMixing, RealExpressions,
    testing::Values(RealCase{"$10", 0.0}, RealCase{"($10)", 16.0}, RealCase{"12E", 0.0},
                    RealCase{"1e400", 0.0}, RealCase{"('2.5')", 2.5}, RealCase{"('abc')", -1.0},
                    RealCase{"(' 1e2 ') + 1", 101.0}, RealCase{"('2' + '.5') * 2", 5.0},
                    RealCase{"(1 + 0.5)", 0.0, "文法エラーです[0.5]"},
                    RealCase{"(0 / 0)", 0.0, "右括弧がありません"},
                    RealCase{"('x' + y)", 0.0, "右括弧がありません"},
                    RealCase{"s", 0.0, "変数の型が違います[s]"},
                    RealCase{"Copy('1', 1, 1)", 0.0, "関数の戻り値の型が違います[Copy]"},
                    RealCase{"'2.5'", 0.0, "文法エラーです['2.5']"},
                    RealCase{"q", 0.0, "変数または関数は定義されていません[q]"},
                    RealCase{"1 + ", 0.0, "文法エラーです[]"},
                    RealCase{") 1", 0.0, "文法エラーです[1]"}));

INSTANTIATE_TEST_SUITE_P(Failures, RealExpressions,
                         testing::Values(RealCase{"1 / 0", 0.0, DivisionByZero},
                                         RealCase{"-1 / 0.0", 0.0, DivisionByZero},
                                         RealCase{"0 / 0", 0.0, InvalidOperation},
                                         RealCase{"1e300 * 1e300", 0.0, Overflow},
                                         RealCase{"1e308 + 1e308", 0.0, Overflow},
                                         RealCase{"-1e308 - 1e308", 0.0, Overflow},
                                         RealCase{"1e300 / 1e-300", 0.0, Overflow},
                                         RealCase{"Trunc(1e19)", 0.0, InvalidOperation},
                                         RealCase{"Round(-1e19)", 0.0, InvalidOperation}));

TEST(RealExpressions, TruncatingOutOfRangeInAnIntegerContextIsInvalid) {
    EXPECT_EQ(ksltest::EvalInt("1e19").error, InvalidOperation);
    EXPECT_EQ(ksltest::EvalInt("x - 1e19", "x: real;").error, InvalidOperation);
    EXPECT_EQ(ksltest::EvalInt("x - 9.2233720368547758e18", "x: real;").value, INT64_MIN);
    EXPECT_EQ(ksltest::EvalInt("x - 2.9", "x: real;").value, -2);
}

} // namespace
