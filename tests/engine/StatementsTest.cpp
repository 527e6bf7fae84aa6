#include "ScriptHarness.h"

#include <gtest/gtest.h>

using ksltest::Script;

namespace {

struct ProgramCase {
    std::string body;     // statements of the main block
    std::string expected; // "x=1 y=2" for the Integer variables x, y, i, n, k, c
    std::string error = "";
};

std::string Values(const Script& s, const std::string& wanted) {
    std::string out;
    for (size_t at = 0; at < wanted.size();) {
        size_t eq = wanted.find('=', at);
        std::string name = wanted.substr(at, eq - at);
        out += name + "=" + std::to_string(s.Int(name));
        at = wanted.find(' ', eq);
        if (at == std::string::npos) break;
        ++at;
        out += " ";
    }
    return out;
}

class Programs : public testing::TestWithParam<ProgramCase> {};

TEST_P(Programs, LeaveTheExpectedValues) {
    const ProgramCase& c = GetParam();
    Script s;
    const std::string error =
        s.Run("var x, y, i, n, k, c, a, b: integer;\nbegin\n" + c.body + "\nend.");
    EXPECT_EQ(error, c.error) << c.body;
    EXPECT_EQ(Values(s, c.expected), c.expected) << c.body;
}

INSTANTIATE_TEST_SUITE_P(
    Assignments, Programs,
    testing::Values(ProgramCase{"x := 1; y := x + 1", "x=1 y=2"}, ProgramCase{"x := 1 2", "x=1"},
                    ProgramCase{"x = 1", "x=0", "文法エラーです[=]"},
                    ProgramCase{"foo := 1", "x=0", "文法エラーです[foo]"},
                    ProgramCase{"1 := x", "x=0", "文法エラーです[1]"},
                    ProgramCase{"True := 0", "x=0", "読取専用オブジェクトには代入できません[True]"},
                    ProgramCase{"TRUE := 0", "x=0", "読取専用オブジェクトには代入できません[TRUE]"},
                    ProgramCase{"x := 1; y", "x=1", "文法エラーです[]"},
                    ProgramCase{"ProcessMessages(); x := 2", "x=2"},
                    ProgramCase{"begin end", "x=0"}));

INSTANTIATE_TEST_SUITE_P(
    Conditionals, Programs,
    testing::Values(ProgramCase{"if 0 then x := 1 else x := 2", "x=2"},
                    ProgramCase{"if 2 then x := 1", "x=1"},
                    ProgramCase{"a := 1; b := 0; if a then if b then x := 1 else x := 2", "x=2"},
                    ProgramCase{"a := 0; if a then if b then x := 1 else x := 2", "x=0"},
                    ProgramCase{"a := 1; b := 0; if a then begin if b then x := 1 end else x := 2",
                                "x=0"},
                    ProgramCase{"a := 0; if a then begin if b then x := 1 end else x := 2", "x=2"},
                    ProgramCase{"if 1 then begin x := 1; y := 2 end else begin x := 3 end; k := 9",
                                "x=1 y=2 k=9"},
                    ProgramCase{"if a then", "x=0", "文法エラーです[if]"},
                    ProgramCase{"if a x := 1", "x=0", "文法エラーです[if]"},
                    ProgramCase{"if a then begin end", "x=0"}));

INSTANTIATE_TEST_SUITE_P(
    Loops, Programs,
    testing::Values(
        ProgramCase{"for i := 1 to 3 do x := x + 1", "x=3 i=3"},
        ProgramCase{"for i := 3 to 1 do x := x + 1", "x=0 i=3"},
        ProgramCase{"for i := 3 downto 1 do x := x + 1", "x=3 i=1"},
        ProgramCase{"n := 4; for i := 1 to n do n := 0", "n=0 i=4"},
        ProgramCase{"for i := 1 to 5 do begin x := x + 1; if i = 3 then break end", "x=3 i=3"},
        ProgramCase{"for i := 1 to 5 do begin if i = 3 then continue; x := x + 1 end", "x=4 i=5"},
        ProgramCase{"for i := 0 to 4294967296 do x := x + 1", "x=1 i=0"},
        ProgramCase{"for i := 2147483646 to 2147483647 do x := x + 1", "x=2 i=2147483647"},
        ProgramCase{"for i := -2147483647 downto -2147483648 do x := x + 1", "x=2 i=-2147483648"},
        ProgramCase{"for i := -2147483648 to 2147483647 do begin x := x + 1; if x = 3 then "
                    "break end",
                    "x=3 i=-2147483646"},
        ProgramCase{"for True := 1 to 2 do x := 1", "x=0", "文法エラーです[for]"},
        ProgramCase{"for q := 1 to 2 do x := 1", "x=0", "文法エラーです[for]"},
        ProgramCase{"for i = 1 to 2 do x := 1", "x=0", "文法エラーです[for]"},
        ProgramCase{"for i := 1 to 2", "x=0", "文法エラーです[for]"},
        ProgramCase{"while i < 3 do i := i + 1", "i=3"}, ProgramCase{"while 0 do x := 1", "x=0"},
        ProgramCase{"while 1", "x=0", "文法エラーです[while]"},
        ProgramCase{"repeat i := i + 1 until i >= 3", "i=3"},
        ProgramCase{"repeat i := i + 1 until 1", "i=1"},
        ProgramCase{"repeat i := i + 1; if i < 3 then continue; x := x + 1 until i >= 5",
                    "i=5 x=3"},
        ProgramCase{"repeat i := i + 1; if i = 2 then break until 0", "i=2"},
        // A REPEAT standing directly as a THEN part or loop body runs as a whole loop.
        ProgramCase{"if 1 then repeat i := i + 1 until i >= 3 else x := 1", "i=3 x=0"},
        ProgramCase{"for k := 1 to 2 do repeat i := i + 1 until i mod 3 = 0", "i=6 k=2"},
        ProgramCase{"for i := 1 to 3 do for k := 1 to 3 do begin if k = 2 then break; "
                    "x := x + 1 end",
                    "x=3 i=3 k=2"},
        ProgramCase{"for i := 1 to 3 do begin for k := 1 to 3 do if k = 2 then exit; "
                    "x := 9 end; x := 8",
                    "x=0 i=1 k=2"},
        ProgramCase{"x := 1; break; x := 2", "x=1"},
        ProgramCase{"begin x := 1; begin continue end; x := 2 end; x := 3", "x=1"}));

INSTANTIATE_TEST_SUITE_P(
    Cases, Programs,
    testing::Values(
        ProgramCase{"case 5 of 1..3: x := 1; 4, 5: x := 2; else x := 3 end", "x=2"},
        ProgramCase{"case 2 of 1..3: x := 1; 2: y := 1; end", "x=1 y=1"},
        ProgramCase{"case 9 of 1: x := 1; else x := 3; y := 4 end", "x=3 y=4"},
        ProgramCase{"case 7 of 9..1: x := 1; end", "x=0"},
        ProgramCase{"k := 1; case k of 1: x := 1 end", "x=1", "endがありません[case]"},
        ProgramCase{"case k 1: x := 1; end", "x=0", "ofがありません[case]"},
        ProgramCase{"case k of 1 x := 1; end", "x=0", "式が不正です[case]"},
        ProgramCase{"case k of end", "x=0", "式が不正です[case]"},
        ProgramCase{"case k of else x := 1 end", "x=0", "式が不正です[case]"},
        ProgramCase{"k := 3; case k * 2 of (1 + 1) * 3: begin x := 1; y := 2 end; 7: x := 7; "
                    "end; c := 1",
                    "x=1 y=2 c=1"},
        ProgramCase{"case 3 of 1: x := 1; 2..4: if 1 then y := 5 else y := 6; end", "x=0 y=5"},
        ProgramCase{"for i := 1 to 3 do case i of 2: break; end; x := i", "x=2 i=2"}));

TEST(Statements, AnAbortRequestedInALoopSkipsEverythingAfterIt) {
    Script s;
    int calls = 0;
    s.engine.ProcParam = [&](const std::string&, int32_t, ksl::TArgumentList&, int32_t&) {
        if (++calls == 3) try {
                s.engine.Abort();
            } catch (const ksl::EKestrelError&) {}
    };
    ASSERT_EQ(s.Run("var i, x: integer; begin for i := 1 to 100 do Print('a'); x := 1 end"), "");
    EXPECT_EQ(s.Int("i"), 3);
    EXPECT_EQ(s.Int("x"), 0);
}

TEST(Statements, AMainBlockWithoutItsEndRunsToTheEndOfTheText) {
    Script s;
    ASSERT_EQ(s.Run("var a, b: integer; begin begin a := 1; b := 2 end"), "");
    EXPECT_EQ(s.Int("a"), 1);
    EXPECT_EQ(s.Int("b"), 2);
}

TEST(Statements, ProgramsWithoutDeclarationsRunTheirStatements) {
    Script s;
    ASSERT_EQ(s.Run("Print('one'); if 1 then Print('two')"), "");
    EXPECT_EQ(s.printed, (std::vector<std::string>{"one", "two"}));
}

} // namespace
