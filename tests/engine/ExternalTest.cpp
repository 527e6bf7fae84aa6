#include "ScriptHarness.h"

#include <cstdlib>
#include <gtest/gtest.h>

using ksltest::Script;

namespace {

const std::string TestLibrary = KSL_TEST_LIBRARY;

// What the program printed, lines joined by "|", or its error message.
std::string Output(const std::string& program) {
    Script s;
    const std::string error = s.Run(program);
    if (!error.empty()) return "error: " + error;
    std::string out;
    for (const std::string& line : s.printed)
        out += (out.empty() ? "" : "|") + line;
    return out;
}

std::string Register(const std::string& library, const std::string& name,
                     const std::string& arguments, const std::string& result) {
    return "i := RegisterRoutine('" + library + "', '" + name + "', '" + arguments + "', '" +
           result + "'); ";
}

std::string Program(const std::string& registrations, const std::string& statements) {
    return "var i: integer; begin " + registrations + statements + " end.";
}

struct ExternalCase {
    std::string registrations;
    std::string statements;
    std::string printed;
};
void PrintTo(const ExternalCase& c, std::ostream* os) {
    *os << c.statements;
}

class ExternalRoutines : public testing::TestWithParam<ExternalCase> {};

TEST_P(ExternalRoutines, PassArgumentsAndDecodeResultsByTheirLetters) {
    const ExternalCase& c = GetParam();
    EXPECT_EQ(Output(Program(c.registrations, c.statements)), c.printed) << c.statements;
}

INSTANTIATE_TEST_SUITE_P(
    TestLibrary, ExternalRoutines,
    testing::Values(
        ExternalCase{Register(TestLibrary, "ksl_add", "II", "I"),
                     "Print(IntToStr(ksl_add(40, 2))); Print(IntToStr(ksl_add(2, -5)))",
                     "42|4294967293"},
        // An Integer argument travels as its low 32 bits.
        ExternalCase{Register(TestLibrary, "ksl_add", "ii", "i"),
                     "Print(IntToStr(ksl_add(4294967297, 0)))", "1"},
        ExternalCase{Register(TestLibrary, "ksl_all_bits", "", "I"),
                     "Print(IntToStr(ksl_all_bits))", "4294967295"},
        ExternalCase{Register(TestLibrary, "ksl_long_twice", "L", "L"),
                     "Print(IntToStr(ksl_long_twice(1 shl 40))); "
                     "Print(IntToStr(ksl_long_twice(-3)))",
                     "2199023255552|-6"},
        ExternalCase{Register(TestLibrary, "ksl_real_half", "R", "R"),
                     "Print(FloatToStr(ksl_real_half(5))); Print(FloatToStr(ksl_real_half(-0.5)))",
                     "2.5|-0.25"},
        ExternalCase{Register(TestLibrary, "ksl_greet", "S", "S"),
                     "Print(ksl_greet('Kestrel' + #0 + 'cut'))", "Hello, Kestrel!"},
        ExternalCase{Register(TestLibrary, "ksl_mix", "ILRS", "I"),
                     "Print(IntToStr(ksl_mix(1, 10, 2.9, 'abc')))", "16"},
        ExternalCase{Register(TestLibrary, "ksl_weighted_sum32", std::string(32, 'I'), "I"),
                     "Print(IntToStr(ksl_weighted_sum32(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, "
                     "13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, "
                     "31, 32)))",
                     "11440"},
        ExternalCase{Register(TestLibrary, "ksl_set_env", "SS", "") +
                         Register("libc.so.6", "getenv", "S", "S"),
                     "ksl_set_env('KSL_EXTERNAL_TEST', 'set by a procedure'); "
                     "Print(getenv('KSL_EXTERNAL_TEST'))",
                     "set by a procedure"}));

INSTANTIATE_TEST_SUITE_P(
    Libc, ExternalRoutines,
    testing::Values(ExternalCase{Register("libc.so.6", "abs", "I", "I"),
                                 "Print(IntToStr(abs(-5))); Print(IntToStr(abs(7)))", "5|7"},
                    ExternalCase{Register("libc.so.6", "strlen", "S", "I"),
                                 "Print(IntToStr(strlen('hello'))); Print(IntToStr(strlen('')))",
                                 "5|0"},
                    ExternalCase{Register("libc.so.6", "getenv", "S", "S"),
                                 "Print(getenv('KSL_NO_SUCH_VARIABLE') + '.')", "."}));

// A library or routine that cannot be found is no error: the result is 0, 0.0 or ''.
INSTANTIATE_TEST_SUITE_P(
    Missing, ExternalRoutines,
    testing::Values(
        ExternalCase{Register("libksl-missing.so", "f", "I", "I") +
                         Register("libksl-missing.so", "g", "", "L") +
                         Register("libksl-missing.so", "h", "R", "R") +
                         Register("libksl-missing.so", "k", "S", "S") +
                         Register("libksl-missing.so", "p", "I", ""),
                     "p(1); Print(IntToStr(f(1))); Print(IntToStr(g)); Print(FloatToStr(h(1.5))); "
                     "Print('[' + k('x') + ']')",
                     "0|0|0|[]"},
        ExternalCase{Register(TestLibrary, "ksl_no_such_routine", "I", "L") +
                         Register("libc.so.6", "ksl_no_such_routine_either", "", "R"),
                     "Print(IntToStr(ksl_no_such_routine(1))); "
                     "Print(FloatToStr(ksl_no_such_routine_either))",
                     "0|0"}));

TEST(ExternalRoutines, LibcReadsTheEnvironmentOfTheRunningProgram) {
    setenv("KSL_LIBC_TEST", "from the test", 1);
    EXPECT_EQ(Output(Program(Register("libc.so.6", "getenv", "S", "S"),
                             "Print(getenv('KSL_LIBC_TEST'))")),
              "from the test");
}

// A registration inside the arguments of a call moves the table's entries; the call must still
// reach the routine it was made for.
TEST(ExternalRoutines, RegisteringWhileACallCollectsItsArgumentsKeepsTheCalledRoutine) {
    std::string registrations;
    for (char c = 'a'; c <= 'z'; ++c)
        registrations += std::string(" + RegisterRoutine('libc.so.6', 'aa") + c + "', 'I', 'I')";
    EXPECT_EQ(Output(Program(Register("libc.so.6", "abs", "I", "I"),
                             "Print(IntToStr(abs(0" + registrations + ")))")),
              "26");
}

} // namespace
