#include "ScriptHarness.h"

#include <functional>
#include <gtest/gtest.h>
#include <new>
#include <stdexcept>

using ksl::TArgumentList;
using ksltest::Script;

namespace {

// A host with one routine of each kind; every call is recorded as NAME(index: values).
class Host : public Script {
public:
    Host() {
        engine.SetDeclarePrototype({
            "procedure Print(S:String); index 1;",
            "procedure Log(S: String; N: Integer); index 2;",
            "function Sum(A, B: Integer): Integer; index 3;",
            "function Half(X: Real): Real; index 4;",
            "function Echo(S: String): String; index 5;",
            "function Answer: Integer; index 6;",
        });
        engine.ProcParam = [this](const std::string& name, int32_t index, TArgumentList& args,
                                  int32_t& err) {
            Record(name, index, args);
            if (name == "PRINT") printed.push_back(args[0].Arg.ArgString);
            err = failWith;
        };
        engine.IntFuncParam = [this](const std::string& name, int32_t index, TArgumentList& args,
                                     int32_t& err, int64_t& result) {
            Record(name, index, args);
            result = index == 6 ? 42 : args[0].Arg.ArgInteger + args[1].Arg.ArgInteger;
            err = failWith;
        };
        engine.RealFuncParam = [this](const std::string& name, int32_t index, TArgumentList& args,
                                      int32_t& err, double& result) {
            Record(name, index, args);
            result = args[0].Arg.ArgReal / 2;
            err = failWith;
        };
        engine.StrFuncParam = [this](const std::string& name, int32_t index, TArgumentList& args,
                                     int32_t& err, std::string& result) {
            Record(name, index, args);
            result = "<" + args[0].Arg.ArgString + ">";
            err = failWith;
        };
    }

    void Record(const std::string& name, int32_t index, const TArgumentList& args) {
        std::string call = name + "(" + std::to_string(index) + ":";
        for (const ksl::TNamedArgument& a : args) {
            call += " " + a.Name + "=";
            switch (a.Arg.ArgType) {
            case ksl::atReal:
                call += ksl::FloatToStr(a.Arg.ArgReal);
                break;
            case ksl::atString:
                call += "'" + a.Arg.ArgString + "'";
                break;
            default:
                call += std::to_string(a.Arg.ArgInteger);
                break;
            }
        }
        calls.push_back(call + ")");
    }

    std::vector<std::string> calls;
    int32_t failWith = 0;
};

struct CallCase {
    std::string statements;
    std::vector<std::string> calls;
    std::string error = "";
};
void PrintTo(const CallCase& c, std::ostream* os) {
    *os << c.statements;
}

class HostCalls : public testing::TestWithParam<CallCase> {};

TEST_P(HostCalls, ReachTheHostWithUpperCaseNamesAndThisCallsValues) {
    const CallCase& c = GetParam();
    Host host;
    EXPECT_EQ(host.Run("var i: integer; r: real; s: string; begin " + c.statements + " end."),
              c.error)
        << c.statements;
    EXPECT_EQ(host.calls, c.calls) << c.statements;
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, HostCalls,
    testing::Values(CallCase{"print('a' + 'b')", {"PRINT(1: S='ab')"}},
                    CallCase{"Log(Copy('a,b(c', 1, 9), (1 + 2) * 3)", {"LOG(2: S='a,b(c' N=9)"}},
                    CallCase{"Log('ab' + #0 + 'cd', 1)", {"LOG(2: S='ab' N=1)"}},
                    CallCase{"i := sum(1 + 2, 3 * 4)", {"SUM(3: A=3 B=12)"}},
                    CallCase{"r := Half(5)", {"HALF(4: X=5)"}}, // a Real parameter takes an Integer
                    CallCase{"s := Echo(IntToStr(7))", {"ECHO(5: S='7')"}},
                    // Inner calls run first; each call keeps its own values.
                    CallCase{"i := Sum(1, Sum(2, 3))", {"SUM(3: A=2 B=3)", "SUM(3: A=1 B=5)"}},
                    CallCase{"s := Echo(Echo('a') + 'b')", {"ECHO(5: S='a')", "ECHO(5: S='<a>b')"}},
                    CallCase{"Log(Echo('x'), Sum(Answer, Length(Echo('yz'))))",
                             {"ECHO(5: S='x')", "ANSWER(6:)", "ECHO(5: S='yz')", "SUM(3: A=42 B=4)",
                              "LOG(2: S='<x>' N=46)"}}));

INSTANTIATE_TEST_SUITE_P(
    ArgumentCounts, HostCalls,
    testing::Values(
        // The routine runs with the declared arguments before the surplus one is noticed.
        CallCase{"Print('a', 'b')", {"PRINT(1: S='a')"}, "文法エラーです[,]"},
        CallCase{"Print('a'", {"PRINT(1: S='a')"}, "文法エラーです[]"},
        CallCase{"i := Sum(1, 2, 3)", {"SUM(3: A=1 B=2)"}, "文法エラーです[,]"},
        // One argument too few: the ")" is skipped as a separator and nothing is left.
        CallCase{"i := Sum(1)", {}, "文法エラーです[]"},
        CallCase{"Log('x')", {}, "文法エラーです[]"},
        CallCase{"Print 'a'", {}, "文法エラーです['a']"},
        CallCase{"i := Sum", {}, "文法エラーです[]"},
        // Without parameters "()" is not part of the call: the expression ends before it.
        CallCase{"i := Answer() + 1", {"ANSWER(6:)"}}, CallCase{"i := Answer + 1", {"ANSWER(6:)"}},
        CallCase{"Answer()", {"ANSWER(6:)"}}));

TEST(HostCalls, FunctionResultsAreUsed) {
    Host host;
    ASSERT_EQ(host.Run("var i, j: integer; r: real; s: string; begin i := Answer() + 1; "
                       "j := Answer + 1; r := Half(Half(6)); s := Echo(Echo('a')) end"),
              "");
    EXPECT_EQ(host.Int("i"), 42);
    EXPECT_EQ(host.Int("j"), 43);
    EXPECT_EQ(host.Real("r"), 1.5);
    EXPECT_EQ(host.Str("s"), "<<a>>");
}

// The outer Copy must keep its own S and Length while the inner ones run.
TEST(HostCalls, NestedCallsOfOneBuiltInKeepTheOuterValues) {
    Script s;
    ASSERT_EQ(s.Run("var r, t, u: string; begin t := 'xyz'; "
                    "r := Copy('abcdef', Length(Copy(t, 1, 1)), 2); "
                    "u := Copy(Copy('abcdef', 2, 4), Length(Copy(t, 1, 2)), Length(Copy(t, 1, 3))) "
                    "end"),
              "");
    EXPECT_EQ(s.Str("r"), "ab");
    EXPECT_EQ(s.Str("u"), "cde");
}

// Arguments wait on one stack while those of the calls inside them are evaluated; deep nesting
// makes the stack grow under the values already on it.
TEST(HostCalls, NestedCallsOfOneHostRoutineKeepTheOuterValues) {
    Host host;
    ASSERT_EQ(host.Run("var i: integer; s: string; begin i := Sum(Sum(1, 2), Sum(Sum(3, 4), 5)); "
                       "s := Echo(Echo('a') + Echo('b')) end"),
              "");
    EXPECT_EQ(host.Int("i"), 15);
    EXPECT_EQ(host.Str("s"), "<<a><b>>");
    EXPECT_EQ(host.calls,
              (std::vector<std::string>{"SUM(3: A=1 B=2)", "SUM(3: A=3 B=4)", "SUM(3: A=7 B=5)",
                                        "SUM(3: A=3 B=12)", "ECHO(5: S='a')", "ECHO(5: S='b')",
                                        "ECHO(5: S='<a><b>')"}));
    std::string deep = "0";
    for (int k = 1; k <= 60; ++k)
        deep = "Sum(" + std::to_string(k) + ", " + deep + ")";
    host.calls.clear();
    ASSERT_EQ(host.Run("var i: integer; begin i := " + deep + " end"), "");
    EXPECT_EQ(host.Int("i"), 60 * 61 / 2);
    ASSERT_EQ(host.calls.size(), 60u);
    EXPECT_EQ(host.calls.front(), "SUM(3: A=1 B=0)");
    EXPECT_EQ(host.calls.back(), "SUM(3: A=60 B=1770)");
}

class HostErrors : public testing::TestWithParam<std::string> {};

TEST_P(HostErrors, FailWithTheTextOfErrorProc) {
    Host host;
    host.failWith = 5;
    int32_t askedFor = 0;
    host.engine.ErrorProc = [&](int32_t code, std::string& message) {
        askedFor = code;
        message += "failed " + std::to_string(code);
    };
    EXPECT_EQ(host.Run("var i: integer; r: real; s: string; begin " + GetParam() + "; i := 9 end"),
              "failed 5");
    EXPECT_EQ(askedFor, 5);
    EXPECT_EQ(host.Int("i"), 0);
}

TEST_P(HostErrors, FailWithAnEmptyMessageWithoutErrorProc) {
    Host host;
    host.failWith = -1;
    EXPECT_EQ(host.Run("var i: integer; r: real; s: string; begin " + GetParam() + "; i := 9 end"),
              "");
    EXPECT_FALSE(host.calls.empty());
    EXPECT_EQ(host.Int("i"), 0); // the run ended at the failing call
}

INSTANTIATE_TEST_SUITE_P(EveryKindOfRoutine, HostErrors,
                         testing::Values("Print('x')", "i := Sum(1, 2)", "r := Half(1)",
                                         "s := Echo('x')"));

TEST(HostCalls, AFailingArgumentKeepsTheRoutineFromRunning) {
    Host host;
    EXPECT_EQ(host.Run("Log('a', 1 div 0)"), "ゼロによる除算");
    EXPECT_TRUE(host.calls.empty());
}

TEST(HostCalls, WithoutCallbacksRoutinesDoNothingAndReturnNothing) {
    Script s;
    s.engine.SetDeclarePrototype({"procedure P(S: String);", "function F(X: Integer): Integer;",
                                  "function G: Real;", "function H: String;"});
    ASSERT_EQ(s.Run("var i: integer; r: real; t: string; begin P('x'); i := F(3) + 1; "
                    "r := G + 0.5; t := H + '.' end"),
              "");
    EXPECT_EQ(s.Int("i"), 1);
    EXPECT_EQ(s.Real("r"), 0.5);
    EXPECT_EQ(s.Str("t"), ".");
}

// Registering a procedure while the arguments of another one are collected moves the table's
// names; the host must still hear the name of the routine that was called.
TEST(HostCalls, RegisteringDuringACallKeepsTheNameTheHostHears) {
    Host host;
    EXPECT_EQ(host.Run("var i: integer; begin "
                       "Log('x', RegisterRoutine('libc.so.6', 'aaa', '', '')); "
                       "i := Sum(RegisterRoutine('libc.so.6', 'aab', 'I', 'I'), 1) end"),
              "");
    EXPECT_EQ(host.calls, (std::vector<std::string>{"LOG(2: S='x' N=-1)", "SUM(3: A=-1 B=1)"}));
}

// Host routines that throw when named in `throwIn`; the others answer, so that the throw comes in
// the middle of nested calls with string arguments.
class ThrowingHost : public Script {
public:
    ThrowingHost() {
        engine.SetDeclarePrototype({"procedure Send(S: String; N: Integer); index 1;",
                                    "function Count(S: String): Integer; index 2;",
                                    "function Scale(S: String): Real; index 3;",
                                    "function Wrap(S: String): String; index 4;"});
        engine.AddIntObj("Level", 0, false, 1);
        engine.ProcParam = [this](const std::string& name, int32_t, TArgumentList& args, int32_t&) {
            Answer(name, args[0].Arg.ArgString);
        };
        engine.IntFuncParam = [this](const std::string& name, int32_t, TArgumentList& args,
                                     int32_t&, int64_t& result) {
            result = int64_t(Answer(name, args[0].Arg.ArgString).size());
        };
        engine.RealFuncParam = [this](const std::string& name, int32_t, TArgumentList& args,
                                      int32_t&, double& result) {
            result = double(Answer(name, args[0].Arg.ArgString).size()) / 2;
        };
        engine.StrFuncParam = [this](const std::string& name, int32_t, TArgumentList& args,
                                     int32_t&, std::string& result) {
            result = "<" + Answer(name, args[0].Arg.ArgString) + ">";
        };
        engine.IntObjParam = [this](const std::string& name, int32_t, uint8_t, int32_t&,
                                    int64_t& value) { value = int64_t(Answer(name, "").size()); };
    }

    const std::string& Answer(const std::string& name, const std::string& argument) {
        calls.push_back(name);
        if (name == throwIn) raise();
        return argument;
    }

    // Whether any routine's parameter records still hold a string value.
    bool HoldsArgumentStrings() const {
        for (const ksl::TRoutineTable* table : {&engine.Procedures(), &engine.Functions()})
            for (size_t i = 0; i < table->Count(); ++i)
                for (const ksl::TNamedArgument& a : table->At(i).Argument)
                    if (!a.Arg.ArgString.empty()) return true;
        return false;
    }

    std::string throwIn;
    std::function<void()> raise;
    std::vector<std::string> calls;
};

class HostMessageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct ThrowCase {
    std::string statement;
    std::string throwIn;
    std::function<void()> raise;
    std::string error;
};
void PrintTo(const ThrowCase& c, std::ostream* os) {
    *os << c.throwIn << " in " << c.statement;
}

class HostExceptions : public testing::TestWithParam<ThrowCase> {};

TEST_P(HostExceptions, EndTheRunAsAnEngineErrorWithTheirMessageAndReleaseTheArguments) {
    const ThrowCase& c = GetParam();
    ThrowingHost host;
    host.throwIn = c.throwIn;
    host.raise = c.raise;
    EXPECT_EQ(host.Run("var i: integer; r: real; begin " + c.statement + "; i := 9 end"), c.error);
    EXPECT_EQ(host.calls.back(), c.throwIn);
    EXPECT_EQ(host.Int("i"), 0);
    EXPECT_FALSE(host.HoldsArgumentStrings());
    EXPECT_FALSE(host.engine.IsRunning());

    host.throwIn.clear();
    host.calls.clear();
    ASSERT_EQ(host.Run("Send(Wrap('again'), Count('ab'))"), "");
    EXPECT_EQ(host.calls, (std::vector<std::string>{"WRAP", "COUNT", "SEND"}));
}

INSTANTIATE_TEST_SUITE_P(
    EveryKindOfCallback, HostExceptions,
    testing::Values(ThrowCase{"Send(Wrap('a' + Wrap(IntToStr(Count('payload')))), 1)", "COUNT",
                              [] { throw HostMessageError("Range check error: TimeOut -1"); },
                              "Range check error: TimeOut -1"},
                    ThrowCase{"Send('x', Count(Wrap('payload')))", "WRAP",
                              [] { throw std::out_of_range("no such argument"); },
                              "no such argument"},
                    ThrowCase{"Send(Wrap('payload'), Length(Wrap('b')))", "SEND",
                              [] { throw std::runtime_error("Device disconnected: ループ"); },
                              "Device disconnected: ループ"},
                    ThrowCase{"r := Scale(Wrap('payload')) + 1", "SCALE",
                              [] { throw std::bad_alloc(); }, std::bad_alloc().what()},
                    ThrowCase{"Send(Wrap('payload'), Level + 1)", "Level",
                              [] { throw HostMessageError("object gone"); }, "object gone"},
                    // The engine's own exception passes as it is, Abort's among them.
                    ThrowCase{"Send(Wrap('payload'), Count('c'))", "COUNT",
                              [] { throw ksl::EKestrelError("実行を中断しました"); },
                              "実行を中断しました"}));

struct NestingCase {
    std::string statement;
    std::string error;
};
void PrintTo(const NestingCase& c, std::ostream* os) {
    *os << c.statement.substr(0, 40) << "... (" << c.statement.size() << " bytes)";
}

class Nesting : public testing::TestWithParam<NestingCase> {};

TEST_P(Nesting, TooDeepFailsInsteadOfOverflowingTheStack) {
    Script s;
    EXPECT_EQ(s.Run("var i: integer; r: real; s: string; begin " + GetParam().statement + " end"),
              GetParam().error);
}

std::string Repeated(const std::string& text, int times) {
    std::string out;
    for (int k = 0; k < times; ++k)
        out += text;
    return out;
}

INSTANTIATE_TEST_SUITE_P(
    Depths, Nesting,
    testing::Values(
        NestingCase{"i := " + Repeated("(", 100) + "1" + Repeated(")", 100), ""},
        NestingCase{"s := " + Repeated("Copy(", 100) + "'a'" + Repeated(", 1, 1)", 100), ""},
        NestingCase{Repeated("begin ", 100) + "i := 1" + Repeated(" end", 100), ""},
        NestingCase{"i := " + Repeated("(", 100000) + "1" + Repeated(")", 100000),
                    "入れ子が深すぎます"},
        NestingCase{"i := " + Repeated("-", 100000) + "1", "入れ子が深すぎます"},
        NestingCase{"r := " + Repeated("(", 100000) + "1.5" + Repeated(")", 100000),
                    "入れ子が深すぎます"},
        NestingCase{"s := " + Repeated("(", 100000) + "'a'" + Repeated(")", 100000),
                    "入れ子が深すぎます"},
        NestingCase{"s := " + Repeated("Copy(", 2000) + "'a'" + Repeated(", 1, 1)", 2000),
                    "入れ子が深すぎます"},
        NestingCase{Repeated("begin ", 1000) + "i := 1" + Repeated(" end", 1000),
                    "入れ子が深すぎます"},
        NestingCase{Repeated("if 1 then ", 1000) + "i := 1", "入れ子が深すぎます"},
        // An argument of one operand is the innermost factor: exactly at the bound it still counts.
        NestingCase{"i := " + Repeated("Length(IntToStr(", 126) + "i" + Repeated("))", 126), ""},
        NestingCase{"i := " + Repeated("Length(IntToStr(", 127) + "i" + Repeated("))", 127),
                    "入れ子が深すぎます"},
        NestingCase{"i := " + Repeated("Length(IntToStr(", 127) + "7" + Repeated("))", 127),
                    "入れ子が深すぎます"},
        NestingCase{"s := " + Repeated("Copy(", 253) + "s" + Repeated(", 1, 1)", 253), ""},
        NestingCase{"s := " + Repeated("Copy(", 254) + "s" + Repeated(", 1, 1)", 254),
                    "入れ子が深すぎます"},
        NestingCase{"s := " + Repeated("Copy(", 254) + "'a'" + Repeated(", 1, 1)", 254),
                    "入れ子が深すぎます"}));

} // namespace
