// What a host may do from inside a run: its routines and object callbacks run in the middle of a
// statement, and what they do to the engine must not pull anything from under that statement.
#include "Cache.h"
#include "ScriptHarness.h"

#include <gtest/gtest.h>

namespace {

using ksltest::Script;

class FromAHostRoutine : public ::testing::Test {
protected:
    FromAHostRoutine() {
        s.engine.SetDeclarePrototype({"procedure Print(S:String); index 1;",
                                      "procedure Again; index 2;",
                                      "function F: Integer; index 3;"});
        s.engine.ProcParam = [this](const std::string&, int32_t index, ksl::TArgumentList& args,
                                    int32_t&) {
            if (index == 1) s.printed.push_back(args[0].Arg.ArgString);
            if (index == 2) s.engine.Execute();
        };
        s.engine.IntFuncParam = [this](const std::string&, int32_t, ksl::TArgumentList&, int32_t&,
                                       int64_t& result) {
            s.engine.DeleteVar("x");
            result = 42;
        };
    }
    Script s;
};

TEST_F(FromAHostRoutine, ExecuteIsRefusedAndTheRunGoesOnToItsError) {
    EXPECT_EQ(s.Run("Print('a'); Again; Print('b')"), ksl::errReentered);
    EXPECT_EQ(s.printed, std::vector<std::string>{"a"});
    EXPECT_EQ(s.engine.ErrorLine(), 1);
    EXPECT_EQ(s.engine.ErrorStatement(), "Again");
    // The engine is whole: the next run runs.
    EXPECT_EQ(s.Run("Print('c')"), "");
}

TEST_F(FromAHostRoutine, DeletingTheVariableBeingAssignedTakesItFromTheTableOnly) {
    EXPECT_EQ(s.Run("var x, y: Integer; begin x := F; y := 1 end"), "");
    EXPECT_EQ(s.engine.GetVarType("x"), -1);
    EXPECT_EQ(s.Int("y"), 1);
    EXPECT_EQ(s.Run("var x: Integer; begin x := 2; x := x + F end"), "");
    EXPECT_EQ(s.Run("var x: Integer; begin x := F; x := 3 end"), "文法エラーです[x]");
}

// Object callbacks that add variables move the table's storage; the name they were given must
// stay readable all through the callback.
TEST(ObjectCallbacks, KeepTheirNameWhileTheyAddVariables) {
    const struct {
        const char* declaration;
        const char* program;
    } cases[] = {
        {"int", "var x: Integer; begin x := Obj end"},
        {"int", "var x: Integer; begin x := 1 + Obj end"},
        {"int", "var r: Real; begin r := Obj end"},
        {"real", "var r: Real; begin r := Obj * 2 end"},
        {"str", "var s: String; begin s := Obj end"},
        {"str", "var s: String; begin s := 'a' + Obj end"},
    };
    for (const auto& c : cases) {
        Script s;
        const std::string kind = c.declaration;
        if (kind == "int") s.engine.AddIntObj("Obj", 1, false, 7);
        if (kind == "real") s.engine.AddRealObj("Obj", 1.5, false, 7);
        if (kind == "str") s.engine.AddStrObj("Obj", "o", false, 7);
        std::vector<std::string> heard;
        int added = 0;
        auto grow = [&](const std::string& name) {
            for (int i = 0; i < 64; ++i)
                s.engine.AddIntVar("v" + std::to_string(added++), 0, false);
            heard.push_back(name);
        };
        s.engine.IntObjParam = [&](const std::string& name, int32_t, uint8_t, int32_t&, int64_t&) {
            grow(name);
        };
        s.engine.RealObjParam = [&](const std::string& name, int32_t, uint8_t, int32_t&, double&) {
            grow(name);
        };
        s.engine.StrObjParam = [&](const std::string& name, int32_t, uint8_t, int32_t&,
                                   std::string&) { grow(name); };
        EXPECT_EQ(s.Run(c.program), "") << c.program;
        EXPECT_EQ(heard, std::vector<std::string>{"Obj"}) << c.program;
    }
}

TEST(Cache, CountsAnExtractRememberedTwiceOnce) {
    ksl::TextCache cache;
    const auto stream = cache.Tokens("if a then b");
    cache.RememberExtract(*stream, 5, ksl::Extract{"a ", 2, nullptr});
    const size_t once = cache.Bytes();
    cache.RememberExtract(*stream, 5, ksl::Extract{"a ", 2, nullptr});
    EXPECT_EQ(cache.Bytes(), once);
}

} // namespace
