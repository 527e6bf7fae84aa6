// Where a failed run failed: the line of Source and the statement as written there.
#include "ScriptHarness.h"

#include <gtest/gtest.h>

namespace {

using ksltest::Script;

struct LocationCase {
    const char* name;
    const char* program;
    int32_t line;
    const char* statement;
    const char* message;
};

const LocationCase locationCases[] = {
    {"a typo in plain code", "begin\n  Print('a');\n  Prnt('b');\nend.", 3, "Prnt('b')",
     "文法エラーです[Prnt]"},
    {"comments and blank lines count",
     "// header\n\n// another\nvar i: Integer;\n// more\nbegin\n\n  i := 1 div 0;\nend.", 8,
     "i := 1 div 0", "ゼロによる除算"},
    {"a program without a var section", "Print('a');\nPrint(IntToStr(1 div 0));", 2,
     "Print(IntToStr(1 div 0))", "ゼロによる除算"},
    {"the second statement of a line", "var i: Integer;\nbegin\n  i := 1; Prnt('b'); i := 2;\nend.",
     3, "Prnt('b')", "文法エラーです[Prnt]"},
    {"two identical statements, the second fails",
     "var i, j: Integer;\nbegin\n  j := 1;\n  i := 10 div j;\n  j := 0;\n  i := 10 div j;\nend.", 6,
     "i := 10 div j", "ゼロによる除算"},
    {"inside nested blocks",
     "var i: Integer;\nbegin\n  begin\n    begin\n      i := 1;\n      Prnt(i);\n    end;\n  "
     "end;\nend.",
     6, "Prnt(i)", "文法エラーです[Prnt]"},
    {"the THEN branch on its own line",
     "var i: Integer;\nbegin\n  i := 1;\n  if i = 1 then\n    Prnt('x');\nend.", 5, "Prnt('x')",
     "文法エラーです[Prnt]"},
    {"the ELSE branch",
     "var i: Integer;\nbegin\n  i := 1;\n  if i = 2 then\n    i := 3\n  else\n    i := i div "
     "0;\nend.",
     7, "i := i div 0", "ゼロによる除算"},
    {"a condition names the IF",
     "var i: Integer;\nbegin\n  i := 0;\n  if 1 div i = 1 then\n    i := 3;\nend.", 4,
     "if 1 div i = 1 then", "ゼロによる除算"},
    {"a CASE branch",
     "var i: Integer;\nbegin\n  i := 2;\n  case i of\n    1: i := 5;\n    2: begin\n      i := 6;\n"
     "      i := i div 0;\n    end;\n  end;\nend.",
     8, "i := i div 0", "ゼロによる除算"},
    {"a FOR body in a later pass",
     "var i, j: Integer;\nbegin\n  for i := 3 downto 0 do\n  begin\n    j := 12 div i;\n  "
     "end;\nend.",
     5, "j := 12 div i", "ゼロによる除算"},
    {"a WHILE body",
     "var i: Integer;\nbegin\n  i := 3;\n  while i > -1 do\n  begin\n    i := i - 1;\n    "
     "Print(IntToStr(6 div i));\n  end;\nend.",
     7, "Print(IntToStr(6 div i))", "ゼロによる除算"},
    {"a REPEAT body",
     "var i: Integer;\nbegin\n  i := 2;\n  repeat\n    i := i - 1;\n    i := 5 div i + i - 5 div "
     "i;\n  until i < 0;\nend.",
     6, "i := 5 div i + i - 5 div i", "ゼロによる除算"},
    {"an ELSE IF chain",
     "var i: Integer;\nbegin\n  i := 3;\n  if i = 1 then i := 1\n  else if i = 2 then i := 2\n  "
     "else if i = 3 then Prnt(i)\n  else i := 4;\nend.",
     6, "Prnt(i)", "文法エラーです[Prnt]"},
    {"a declaration in the var section", "var a: Integer;\n  b: Strin;\nbegin\nend.", 2,
     "b: Strin;", "文法エラーです[Strin]"},
    {"a duplicate variable", "var a: Integer;\n\n  a: String;\nbegin\nend.", 3, "a: String;",
     "変数/定数名の重複定義[a]"},
    {"a missing END names no line", "var a: Integer;\nbegin\n  a := 1;\n", 0, "",
     "endがありません[Block]"},
};

class FailureLocation : public testing::TestWithParam<LocationCase> {};

TEST_P(FailureLocation, NamesTheLineAndTheStatementAsWritten) {
    const LocationCase& c = GetParam();
    Script s;
    EXPECT_EQ(s.Run(c.program), c.message);
    EXPECT_EQ(s.engine.ErrorLine(), c.line);
    EXPECT_EQ(s.engine.ErrorStatement(), c.statement);
}

INSTANTIATE_TEST_SUITE_P(Cases, FailureLocation, testing::ValuesIn(locationCases),
                         [](const testing::TestParamInfo<LocationCase>& info) {
                             std::string name;
                             for (const char* p = info.param.name; *p; ++p)
                                 name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
                             return name;
                         });

TEST(FailureLocationAcrossRuns, ASuccessfulRunForgetsTheLastFailure) {
    Script s;
    EXPECT_NE(s.Run("begin\n  Prnt('b');\nend."), "");
    EXPECT_EQ(s.engine.ErrorLine(), 2);
    EXPECT_EQ(s.Run("begin\n  Print('b');\nend."), "");
    EXPECT_EQ(s.engine.ErrorLine(), 0);
    EXPECT_EQ(s.engine.ErrorStatement(), "");
}

TEST(FailureLocationAcrossRuns, TheSameProgramRunAgainFailsOnTheSameLine) {
    Script s;
    const std::string program = "var i: Integer;\nbegin\n  for i := 1 to 3 do\n    if i = 3 then\n"
                                "      Prnt(i);\nend.";
    for (int run = 0; run < 3; ++run) {
        EXPECT_EQ(s.Run(program), "文法エラーです[Prnt]");
        EXPECT_EQ(s.engine.ErrorLine(), 5) << "run " << run;
    }
}

TEST(FailureLocationAcrossRuns, AnAbortFromAHostRoutineNamesItsCall) {
    Script s;
    s.engine.ProcParam = [&s](const std::string&, int32_t, ksl::TArgumentList&, int32_t&) {
        s.engine.Abort();
    };
    EXPECT_EQ(s.Run("begin\n  Print('a');\nend."), "実行を中断しました");
    EXPECT_EQ(s.engine.ErrorLine(), 2);
}

// An `else if` chain is flat code: hundreds of branches run, while real nesting keeps its limit.
std::string ElseIfChain(int branches, int match) {
    std::string program = "var i, r: Integer;\nbegin\n  i := " + std::to_string(match) + ";\n";
    for (int b = 0; b < branches; ++b)
        program += std::string(b ? "  else if" : "  if") + " i = " + std::to_string(b) +
                   " then r := " + std::to_string(b * 2) + "\n";
    return program + "  else r := -1;\nend.";
}

TEST(ElseIfChain, RunsHundredsOfBranches) {
    const struct {
        int branches, match;
        int64_t r;
    } cases[] = {{300, 0, 0}, {300, 299, 598}, {300, 300, -1}, {1000, 777, 1554}};
    for (const auto& c : cases) {
        Script s;
        EXPECT_EQ(s.Run(ElseIfChain(c.branches, c.match)), "") << c.branches << " " << c.match;
        EXPECT_EQ(s.Int("r"), c.r) << c.branches << " " << c.match;
    }
}

TEST(ElseIfChain, AFailureDeepInTheChainNamesItsLine) {
    Script s;
    std::string program = ElseIfChain(300, 250);
    const std::string target = "then r := 500";
    program.replace(program.find(target), target.size(), "then r := 500 div 0");
    EXPECT_EQ(s.Run(program), "ゼロによる除算");
    EXPECT_EQ(s.engine.ErrorLine(), 3 + 251);
}

TEST(ElseIfChain, RealNestingKeepsItsLimit) {
    std::string program = "var r: Integer;\nbegin\n";
    for (int level = 0; level < 300; ++level)
        program += "if 1 = 1 then ";
    program += "r := 1;\nend.";
    Script s;
    EXPECT_EQ(s.Run(program), "入れ子が深すぎます");
}

} // namespace
