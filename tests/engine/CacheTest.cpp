// What the cache remembers of a name must follow every change of the tables during a run.
#include "Cache.h"

#include "ScriptHarness.h"

#include <gtest/gtest.h>

namespace {

// Hosts that change the variable table from a callback, in the middle of a loop.
class TableChanges : public ::testing::Test {
protected:
    TableChanges() {
        s.engine.SetDeclarePrototype({"procedure Print(S:String); index 1;",
                                      "procedure Change; index 2;",
                                      "function Count: Integer; index 3;"});
        s.engine.ProcParam = [this](const std::string&, int32_t index, ksl::TArgumentList& args,
                                    int32_t&) {
            if (index == 1) s.printed.push_back(args[0].Arg.ArgString);
            if (index == 2) change();
        };
        s.engine.IntFuncParam = [](const std::string&, int32_t, ksl::TArgumentList&, int32_t&,
                                   int64_t& result) { result = 1; };
    }
    ksltest::Script s;
    std::function<void()> change;
};

TEST_F(TableChanges, AVariableAddedByTheHostHidesTheFunctionFromTheNextIterationOn) {
    change = [this] {
        if (s.engine.GetVarType("Count") < 0) s.engine.AddIntVar("Count", 42, false);
    };
    EXPECT_EQ(s.Run("var i: Integer; begin for i := 1 to 3 do begin "
                    "Print(IntToStr(Count)); Change end end"),
              "");
    EXPECT_EQ(s.printed, (std::vector<std::string>{"1", "42", "42"}));
    s.engine.DeleteVar("Count");
}

TEST_F(TableChanges, AVariableDeletedByTheHostIsNoLongerFound) {
    s.engine.AddIntVar("Gone", 7, false);
    change = [this] { s.engine.DeleteVar("Gone"); };
    EXPECT_EQ(s.Run("var i, x: Integer; begin for i := 1 to 2 do begin x := Gone; Change end end"),
              "変数または関数は定義されていません[Gone]");
    EXPECT_EQ(s.Int("x"), 7);
}

TEST_F(TableChanges, ARoutineRegisteredDuringTheRunIsFoundByTheSameText) {
    const std::string program =
        "var i, x: Integer; begin for i := 1 to 2 do begin "
        "if i = 2 then x := labs(-5) else x := RegisterRoutine('libc.so.6', 'labs', 'I', 'I') "
        "end end";
    EXPECT_EQ(s.Run(program), "");
    EXPECT_EQ(s.Int("x"), 5);
    // The next run removes the routine again, though its text is still cached.
    EXPECT_EQ(s.Run("var x: Integer; begin x := labs(-5) end"),
              "変数または関数は定義されていません[labs]");
}

TEST(Cache, DropsEverythingAtItsCapWhileTokensInUseStayValid) {
    ksl::TextCache cache(8192);
    const auto held = cache.Tokens("x := x + 1");
    for (int i = 0; i < 1000; ++i) {
        cache.Tokens("x := " + std::to_string(i));
        ASSERT_LE(cache.Bytes(), cache.CapBytes());
    }
    EXPECT_EQ(held->View(2), "x");
    EXPECT_NE(cache.Tokens("x := x + 1"), held); // dropped and cut again
    EXPECT_EQ(cache.Tokens("x := x + 1"), cache.Tokens("x := x + 1"));
}

// The cache reads every literal once; what it keeps must be what reading the token gives.
TEST(Cache, KeepsTheValueOfEveryLiteralOfAText) {
    const std::string text = "x := 12 + $ff + $ + 99999999999999999999 + 'it''s' + #65 + #0065 + "
                             "'' + #300 + 'a' + 'open";
    ksl::TextCache cache;
    const auto shared = cache.Tokens(text);
    ksl::TKSLParser cached(shared);
    for (ksl::TKSLParser plain(text); plain.Token() != ksl::toEOF;
         plain.NextToken(), cached.NextToken()) {
        ASSERT_EQ(cached.Index(), plain.Index());
        if (plain.Token() == ksl::toInteger) {
            EXPECT_EQ(ksl::IntegerLiteral(cached), ksl::LiteralToInt(plain.TokenView()).value_or(0))
                << plain.TokenView();
        }
        if (plain.Token() == ksl::toString) {
            EXPECT_EQ(ksl::StringLiteral(cached), ksl::FormatString(plain.TokenView()))
                << plain.TokenView();
        }
    }
}

TEST(Cache, ReadsALiteralThatFailsAgainSoThatItFailsEachTime) {
    ksl::TextCache cache;
    for (const std::string literal : {"#", "#$"}) {
        ksl::TKSLParser parser(cache.Tokens("'a' + " + literal));
        parser.MoveTo(2);
        for (int run = 0; run < 2; ++run)
            EXPECT_THROW(ksl::StringLiteral(parser), ksl::EKestrelError) << literal;
    }
}

} // namespace
