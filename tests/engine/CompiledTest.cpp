// What the compiled form must get right beyond plain statements: a host routine that changes the
// tables in the middle of a statement, strings that grow in place, texts it leaves to the text
// interpreter. The suite runs in every mode, so each case also holds as text and with the cache.
#include "ScriptHarness.h"

#include <gtest/gtest.h>

namespace {

using ksltest::Script;

// Grow adds the variable `late` (40); Drop deletes `k`; Echo returns its argument with a "!",
// and with Clobber set it first changes the variable s.
class HostChanges : public ::testing::Test {
protected:
    HostChanges() {
        s.engine.SetDeclarePrototype(
            {"procedure Print(S:String); index 1;", "function Grow: Integer; index 2;",
             "procedure Drop; index 3;", "function Echo(S: String): String; index 4;"});
        s.engine.ProcParam = [this](const std::string&, int32_t index, ksl::TArgumentList& args,
                                    int32_t&) {
            if (index == 1) s.printed.push_back(args[0].Arg.ArgString);
            if (index == 3) s.engine.DeleteVar("k");
        };
        s.engine.IntFuncParam = [this](const std::string&, int32_t, ksl::TArgumentList&, int32_t&,
                                       int64_t& result) {
            if (s.engine.GetVarType("late") < 0) s.engine.AddIntVar("late", 40, false);
            result = 1;
        };
        s.engine.StrFuncParam = [this](const std::string&, int32_t, ksl::TArgumentList& args,
                                       int32_t&, std::string& result) {
            if (clobber) s.engine.SetStrVar("s", "clobbered");
            result = args[0].Arg.ArgString + "!";
        };
    }
    Script s;
    bool clobber = false;
};

TEST_F(HostChanges, TheRestOfTheStatementMeansWhatItsNamesMeanAfterTheCall) {
    const struct {
        const char* statement;
        const char* error;
        const char* variable;
        double value;
    } cases[] = {
        {"a := Grow + late", "", "a", 41},
        {"a := Grow + late * 2 - 1", "", "a", 80},
        {"a := Grow + late = 41", "", "a", -1},
        {"a := (Grow + late) * 2", "", "a", 82},
        {"r := (Grow + late) / 2", "", "r", 20.5},
        {"r := Grow + late / 8", "", "r", 6},
        {"a := Length(Echo(IntToStr(Grow))) + late", "", "a", 42},
        {"a := Grow + Length(IntToStr(late))", "", "a", 3},
        {"if Grow = 1 then a := late else a := 0", "", "a", 40},
        {"Grow late := 2", "", "late", 2},
        {"a := RegisterRoutine('libc.so.6', 'labs', 'I', 'I') + labs(-3)", "", "a", 2},
        {"a := Grow + (late", "右括弧がありません", "a", 0},
        {"a := Grow + nothing", "変数または関数は定義されていません[nothing]", "a", 0},
        {"k := 5; Drop; a := k", "変数または関数は定義されていません[k]", "a", 0},
        {"k := 5; Drop; k := 6", "文法エラーです[k]", "a", 0},
    };
    for (const auto& c : cases) {
        Script& t = s;
        t.engine.DeleteVar("late");
        EXPECT_EQ(t.Run(std::string("var a, k: Integer; r: Real; begin ") + c.statement + " end"),
                  c.error)
            << c.statement;
        if (t.engine.GetVarType(c.variable) == ksl::vtReal)
            EXPECT_EQ(t.Real(c.variable), c.value) << c.statement;
        else
            EXPECT_EQ(double(t.Int(c.variable)), c.value) << c.statement;
    }
}

TEST_F(HostChanges, ALoopFindsANameDefinedInAnEarlierPass) {
    EXPECT_EQ(s.Run("var i, a: Integer; begin for i := 1 to 3 do "
                    "if i = 1 then a := Grow else a := a + late end"),
              "");
    EXPECT_EQ(s.Int("a"), 81);
}

// A string variable that grows by appending is not copied for each append; the result is the
// same as a concatenation, NUL and cap included.
TEST_F(HostChanges, AppendingToAStringVariable) {
    const struct {
        const char* statement;
        const char* error;
        const char* result;
    } cases[] = {
        {"s := s + 'cd'", "", "abcd"},
        {"s := s + 'c' + 'd' #69", "", "abcdE"},
        {"s := s + s", "", "abab"},
        {"s := s + 'c'#0'd' + 'e'", "", "abc"},
        {"s := s + IntToStr(12) + Copy('xyz', 2, 1)", "", "ab12y"},
        {"s := s + 'cdefghijklmnop'", "文字列が長すぎます", "ab"},
        {"s := s + 'c' + 1", "文法エラーです[1]", "ab"},
        {"s := s + Echo('c')", "", "abc!"},
    };
    for (const auto& c : cases) {
        s.engine.SetMaxStringLength(12);
        EXPECT_EQ(s.Run(std::string("var s: String; begin s := 'ab'; ") + c.statement + " end"),
                  c.error)
            << c.statement;
        EXPECT_EQ(s.Str("s"), c.result) << c.statement;
    }
}

TEST_F(HostChanges, AHostChangingTheVariableDuringAnAppendDoesNotChangeWhatIsAppendedTo) {
    clobber = true;
    EXPECT_EQ(s.Run("var s: String; begin s := 'ab'; s := s + Echo('c') end"), "");
    EXPECT_EQ(s.Str("s"), "abc!");
}

TEST(Compiled, ManyAppendsBuildTheWholeString) {
    Script s;
    EXPECT_EQ(s.Run("var i: Integer; s: String; begin for i := 1 to 5000 do "
                    "s := s + 'abcdefghij'; Print(IntToStr(Length(s))) end"),
              "");
    EXPECT_EQ(s.printed, std::vector<std::string>{"50000"});
}

// A program ending in an open string literal is run as text, whose re-cutting adds blanks to it.
TEST(Compiled, AProgramEndingInAnOpenLiteralRunsAsText) {
    Script s;
    EXPECT_EQ(s.Run("var s: String; begin s := 'x' end; Print('abc"), "");
    EXPECT_EQ(s.Run("Print('abc"), "文法エラーです[]");
    ASSERT_EQ(s.printed.size(), 1u);
    EXPECT_EQ(s.printed[0], "'abc\r\n ");
}

TEST(Compiled, TheSameStatementRunsAgainAcrossRuns) {
    Script s;
    for (int run = 0; run < 3; ++run) {
        EXPECT_EQ(s.Run("var i, x: Integer; begin for i := 1 to 10 do x := x + i; "
                        "Print(IntToStr(x)) end"),
                  "");
    }
    EXPECT_EQ(s.printed, (std::vector<std::string>{"55", "55", "55"}));
}

TEST(Compiled, ALabelWithDotsInAStringIsCutAsText) {
    Script s;
    EXPECT_EQ(s.Run("var a, b: Integer; begin a := 1; case a of '1..2': b := 5; end end"), "");
    EXPECT_EQ(s.Int("b"), 5);
}

} // namespace
