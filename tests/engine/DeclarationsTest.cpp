#include "kestrel/Kestrel.h"

#include <gtest/gtest.h>

using namespace ksl;

namespace {

std::string Declare(TKestrel& engine, const std::string& prototype) {
    try {
        engine.AddFunction(prototype, false);
        return {};
    } catch (const EKestrelError& e) {
        return e.what();
    }
}

TEST(Engine, ConstructionRegistersConstantsAndTheLibrary) {
    TKestrel engine;
    EXPECT_EQ(engine.Procedures().Count(), 3u);
    EXPECT_EQ(engine.Functions().Count(), 31u);
    EXPECT_EQ(engine.GetIntVar("TRUE"), -1);
    EXPECT_EQ(engine.GetIntVar("false"), 0);
    EXPECT_EQ(engine.GetVarType("nil"), vtString);
    EXPECT_EQ(engine.Functions().Find("copy")->Index, fidx_Copy);
}

TEST(Engine, HostVariablesAreUniqueWithoutRegardToCase) {
    TKestrel engine;
    try {
        engine.AddIntVar("true", 1, false);
        FAIL();
    } catch (const EKestrelError& e) {
        EXPECT_STREQ(e.what(), "変数/定数名の重複定義[true]");
    }
    engine.AddStrVar("S", std::string("A\0B", 3), true);
    EXPECT_EQ(engine.GetStrVar("s"), "A");
}

struct PrototypeCase {
    std::string prototype;
    std::string error;
};

class Prototypes : public testing::TestWithParam<PrototypeCase> {};

TEST_P(Prototypes, FailWithTheirMessage) {
    TKestrel engine;
    EXPECT_EQ(Declare(engine, GetParam().prototype), GetParam().error) << GetParam().prototype;
}

INSTANTIATE_TEST_SUITE_P(
    Declarations, Prototypes,
    testing::Values(PrototypeCase{"procedure P;", ""}, PrototypeCase{"PROCEDURE   P ;", ""},
                    PrototypeCase{"procedure P(a, a: Integer);", ""},
                    PrototypeCase{"procedure P", "定義エラーです"},
                    PrototypeCase{"procedureP;", "定義エラーです"},
                    PrototypeCase{"procedure P(a: Integer;", "定義エラーです"},
                    PrototypeCase{"procedure P();", "文法エラーです[)]"},
                    PrototypeCase{"procedure P(a b: Integer);", "文法エラーです[B]"},
                    PrototypeCase{"procedure P(a: Integer, b: Integer);", "文法エラーです[,]"},
                    PrototypeCase{"procedure P(a: Boolean);", "文法エラーです[BOOLEAN]"},
                    PrototypeCase{"procedure P(a: Integer; A: String);", "仮引数名の重複定義[A]"},
                    PrototypeCase{"procedure P(c: Integer; a: Integer; b: Integer; c: Real);",
                                  "仮引数名の重複定義[C]"},
                    PrototypeCase{"function F(x: Integer): Boolean;", "定義エラーです"},
                    PrototypeCase{"function F;", "定義エラーです"},
                    PrototypeCase{"procedure Sleep(Milliseconds:Integer); index 9;",
                                  "手続き/関数の重複宣言[(]"},
                    PrototypeCase{"function Length: Integer;", "手続き/関数の重複宣言[:]"},
                    PrototypeCase{"procedure copy;", "手続き/関数の重複宣言[]"}));

TEST(Declarations, IndexClauseIsDecimalOrHexadecimal) {
    struct Case {
        std::string name;
        std::string prototype;
        int32_t index;
    } cases[] = {{"A", "procedure A;", 0},
                 {"B", "procedure B; index $10;", 16},
                 {"C", "procedure C; index abc;", 0},
                 {"D", "procedure D index 5;", 0},
                 {"E", "procedure E; index 7;", 7},
                 {"F", "function F(S:String): String; index 3;", 3}};
    TKestrel engine;
    for (const Case& c : cases) {
        ASSERT_EQ(Declare(engine, c.prototype), "") << c.prototype;
        const TFuncStatus* routine = engine.Procedures().Find(c.name);
        if (!routine) routine = engine.Functions().Find(c.name);
        ASSERT_NE(routine, nullptr) << c.prototype;
        EXPECT_EQ(routine->Index, c.index) << c.prototype;
    }
}

TEST(Declarations, ParametersAreStoredInUpperCaseInOrder) {
    TKestrel engine;
    ASSERT_EQ(Declare(engine, "function ComWait(S:String; TimeOut: Integer): Integer; index 4;"),
              "");
    const std::string* stored = nullptr;
    const TFuncStatus* f = engine.Functions().Find("comwait", &stored);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(*stored, "COMWAIT");
    ASSERT_EQ(f->Argument.size(), 2u);
    EXPECT_EQ(f->Argument[0].Name, "S");
    EXPECT_EQ(f->Argument[0].Arg.ArgType, atString);
    EXPECT_EQ(f->Argument[1].Name, "TIMEOUT");
    EXPECT_EQ(f->Argument[1].Arg.ArgType, atInteger);
    EXPECT_EQ(f->ResultType, rtInteger);
    EXPECT_FALSE(f->BuiltIn);
}

TEST(RegisterRoutine, TypesParametersByLetterAndRefusesTakenNames) {
    TKestrel engine;
    EXPECT_TRUE(engine.RegisterRoutine("libc.so.6", "puts", "isxr", ""));
    const TFuncStatus* p = engine.Procedures().Find("puts");
    ASSERT_NE(p, nullptr);
    ASSERT_EQ(p->Argument.size(), 4u);
    EXPECT_EQ(p->Argument[3].Name, "Arg4");
    const uint8_t kinds[] = {atInteger, atString, atInteger, atReal};
    for (size_t i = 0; i < 4; ++i)
        EXPECT_EQ(p->Argument[i].Arg.ArgType, kinds[i]);
    EXPECT_FALSE(engine.RegisterRoutine("libc.so.6", "PUTS", "s", ""));
    EXPECT_FALSE(engine.RegisterRoutine("libc.so.6", "copy", "s", "s"));
    EXPECT_TRUE(engine.RegisterRoutine("libc.so.6", "labs", "L", "l"));
    EXPECT_EQ(engine.Functions().Find("labs")->ResultType, rtLongInt);
}

TEST(RegisterRoutine, RefusesMoreParametersThanTheSlotsHold) {
    TKestrel engine;
    EXPECT_FALSE(engine.RegisterRoutine("libc.so.6", "many", std::string(33, 'I'), "I"));
    EXPECT_TRUE(engine.RegisterRoutine("libc.so.6", "enough", std::string(32, 'I'), "I"));
}

} // namespace
