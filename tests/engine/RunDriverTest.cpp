#include "ScriptHarness.h"

#include <gtest/gtest.h>

using namespace ksl;
using ksltest::Script;

namespace {

TEST(Execute, EmptyOrCommentOnlyProgramsRunAndDoNothing) {
    for (const char* program : {"", "// only a note\n\n   \n// another"}) {
        Script s;
        EXPECT_EQ(s.Run(program), "") << program;
    }
}

TEST(Execute, DeclaredVariablesOutliveTheRunUntilTheNextOne) {
    Script s;
    ASSERT_EQ(s.Run("var i: integer; begin i := 1 end."), "");
    EXPECT_EQ(s.engine.GetVarType("i"), vtInteger);
    EXPECT_EQ(s.Int("i"), 1);
    ASSERT_EQ(s.Run("var j: integer; begin end"), "");
    EXPECT_EQ(s.engine.GetVarType("i"), -1);
}

TEST(Execute, DeclaresEveryGroupWithItsType) {
    Script s;
    ASSERT_EQ(s.Run("VAR a, b : Integer; s : STRING; r: real; BEGIN END"), "");
    EXPECT_EQ(s.engine.GetVarType("a"), vtInteger);
    EXPECT_EQ(s.engine.GetVarType("B"), vtInteger);
    EXPECT_EQ(s.engine.GetVarType("s"), vtString);
    EXPECT_EQ(s.engine.GetVarType("r"), vtReal);
    EXPECT_EQ(s.Str("s"), "");
}

TEST(Execute, DeclarationErrors) {
    struct Case {
        std::string program;
        std::string error;
    } cases[] = {
        {"var a, a: Integer; begin end", ""},
        {"var a: Integer; a: Real; begin end", "変数/定数名の重複定義[a]"},
        {"var True: Integer; begin end", "変数/定数名の重複定義[True]"},
        {"var x: Integer begin end", "文法エラーです[begin]"},
        {"var x: Integer;", "endがありません[Block]"},
        {"var begin end", "文法エラーです[end]"},
        {"var x: Integer; begin x := 1;", "endがありません[Block]"},
        {"var x: Integer; begin x := 1; // end\n s := 'end'", "endがありません[Block]"},
        {"var 1: Integer; begin end", "文法エラーです[1]"},
        {"var x Integer; begin end", "文法エラーです[Integer]"},
        {"var x: Boolean; begin end", "文法エラーです[Boolean]"},
    };
    for (const Case& c : cases) {
        Script s;
        EXPECT_EQ(s.Run(c.program), c.error) << c.program;
    }
}

TEST(Execute, AMalformedHostPrototypeFailsBeforeTheRunStarts) {
    Script s;
    s.engine.SetDeclarePrototype({"   ", "procedure Sleep(Milliseconds:Integer); index 9;"});
    EXPECT_EQ(s.Run("begin end"), "手続き/関数の重複宣言[(]");
    EXPECT_FALSE(s.engine.IsRunning());
}

TEST(Execute, HostRoutinesAreDeclaredAnewEveryRun) {
    Script s;
    ASSERT_EQ(s.Run("Print('a')"), "");
    ASSERT_EQ(s.Run("Print('b')"), "");
    EXPECT_EQ(s.printed, (std::vector<std::string>{"a", "b"}));
}

TEST(Execute, CommentsAreStrippedLineByLine) {
    Script s;
    ASSERT_EQ(s.Run("var x: integer;\nbegin\n  x := 1; // set x\n  // x := 2\nend."), "");
    EXPECT_EQ(s.Int("x"), 1);
}

TEST(Execute, IsRunningOnlyWhileARunIsInProgress) {
    Script s;
    bool seenRunning = false;
    s.engine.ProcParam = [&](const std::string&, int32_t, TArgumentList&, int32_t&) {
        seenRunning = s.engine.IsRunning();
    };
    ASSERT_EQ(s.Run("Print('x')"), "");
    EXPECT_TRUE(seenRunning);
    EXPECT_FALSE(s.engine.IsRunning());
    EXPECT_NE(s.Run("x := "), "");
    EXPECT_FALSE(s.engine.IsRunning());
    EXPECT_NO_THROW(s.engine.Abort());
}

TEST(Execute, AbortStopsTheRunAndReportsToItsCaller) {
    Script s;
    std::string abortMessage;
    s.engine.ProcParam = [&](const std::string&, int32_t, TArgumentList&, int32_t&) {
        try {
            s.engine.Abort();
        } catch (const EKestrelError& e) {
            abortMessage = e.what();
        }
    };
    ASSERT_EQ(s.Run("var i: integer; begin i := 0; while 1 do begin i := i + 1; "
                    "if i = 5 then Print('stop') end end"),
              "");
    EXPECT_EQ(abortMessage, "実行を中断しました");
    EXPECT_EQ(s.Int("i"), 5);
}

} // namespace
