// Random programs run as text, with the engine's cache and in the compiled form must leave the
// same traces: what they print, the host callbacks in their order, the error message and where
// it stood, and the final variables.
// KSL_DIFF_SEED and KSL_DIFF_COUNT choose other programs (make differential).
#include "ProgramGenerator.h"
#include "TextLines.h"
#include "kestrel/Kestrel.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <string>

namespace {

uint64_t FromEnvironment(const char* name, uint64_t fallback) {
    const char* value = std::getenv(name);
    return value && *value ? std::strtoull(value, nullptr, 10) : fallback;
}

// A location must name the line that holds the statement it shows.
bool PlacedRight(const ksl::TKestrel& engine, const std::string& program) {
    const int32_t line = engine.ErrorLine();
    if (line == 0) return true;
    const std::vector<std::string> lines = testsupport::SplitLines(program);
    return line <= int32_t(lines.size()) &&
           lines[size_t(line - 1)].find(engine.ErrorStatement()) != std::string::npos;
}

// Everything a run shows: each line the script printed, each host callback and the outcome.
std::string Trace(ksl::TKestrel& engine, const std::string& program) {
    std::string trace;
    engine.ProcParam = [&](const std::string&, int32_t index, ksl::TArgumentList& args, int32_t&) {
        if (index == 1) trace += "print " + args[0].Arg.ArgString + "\n";
        if (index == 3) {
            trace += "drop\n";
            engine.DeleteVar("k");
        }
    };
    // Grow adds a variable that the rest of the statement may name; strlen is the host's until
    // the program registers libc's own.
    engine.IntFuncParam = [&](const std::string&, int32_t index, ksl::TArgumentList& args, int32_t&,
                              int64_t& result) {
        if (index == 5) {
            trace += "host strlen " + args[0].Arg.ArgString + "\n";
            result = 100 + int64_t(args[0].Arg.ArgString.size());
            return;
        }
        trace += "grow\n";
        if (engine.GetVarType("late") < 0) engine.AddIntVar("late", 40, false);
        result = 1;
    };
    engine.StrFuncParam = [&](const std::string&, int32_t, ksl::TArgumentList& args, int32_t&,
                              std::string& result) {
        trace += "echo " + args[0].Arg.ArgString + "\n";
        result = args[0].Arg.ArgString + "!";
    };
    engine.IntObjParam = [&trace](const std::string& name, int32_t, uint8_t mode, int32_t& Err_CD,
                                  int64_t& value) {
        trace += name + (mode == ksl::omGet ? " get " : " set ") + std::to_string(value) + "\n";
        if (value == 13) Err_CD = 7;
    };
    engine.RealObjParam = [&trace](const std::string& name, int32_t, uint8_t mode, int32_t&,
                                   double& value) {
        trace += name + (mode == ksl::omGet ? " get " : " set ") + ksl::FloatToStr(value) + "\n";
    };
    engine.StrObjParam = [&trace](const std::string& name, int32_t, uint8_t mode, int32_t&,
                                  std::string& value) {
        trace += name + (mode == ksl::omGet ? " get " : " set ") + value + "\n";
        if (mode == ksl::omGet) value += "+";
    };
    engine.ErrorProc = [](int32_t code, std::string& message) {
        message = "host error " + std::to_string(code);
    };
    engine.SetSource(testsupport::SplitLines(program));
    try {
        engine.Execute();
        trace += "ok\n";
    } catch (const ksl::EKestrelError& e) {
        trace += std::string("error ") + e.what() + " at " + std::to_string(engine.ErrorLine()) +
                 ": " + engine.ErrorStatement() + "\n";
        if (!PlacedRight(engine, program)) trace += "misplaced\n";
    }
    const ksl::TVariableTable& vars = engine.Variables();
    for (size_t i = 0; i < vars.Count(); ++i) {
        const ksl::TVarState& v = vars.At(i);
        trace += vars.Name(i) + "=" + std::to_string(v.ValInteger) + "/" +
                 ksl::FloatToStr(v.ValReal) + "/" + v.ValString + "\n";
    }
    return trace;
}

enum class Mode { Text, Cached, Compiled };

// Two runs on one engine, so the second one meets what the first left in the cache.
std::string TwoRuns(Mode mode, const std::string& program) {
    ksl::TKestrel engine;
    engine.SetUseCache(mode != Mode::Text);
    engine.SetUseCompiler(mode == Mode::Compiled);
    engine.SetDeclarePrototype({"procedure Print(S:String); index 1;",
                                "function Grow: Integer; index 2;", "procedure Drop; index 3;",
                                "function Echo(S: String): String; index 4;",
                                "function strlen(S: String): Integer; index 5;"});
    engine.SetYieldingRoutines({"STRLEN"});
    engine.AddIntObj("Host", 5, false, 1);
    engine.AddRealObj("Temp", 2.5, false, 2);
    engine.AddStrObj("Name", "n", false, 3);
    const std::string first = Trace(engine, program);
    return first + "-- again\n" + Trace(engine, program);
}

TEST(Differential, RandomProgramsBehaveTheSameInEveryMode) {
    const uint64_t seed = FromEnvironment("KSL_DIFF_SEED", 20261209);
    const uint64_t count = FromEnvironment("KSL_DIFF_COUNT", 300);
    for (uint64_t i = 0; i < count; ++i) {
        const std::string program = ksltest::ProgramGenerator(seed + i).Program();
        const std::string text = TwoRuns(Mode::Text, program);
        const std::string cached = TwoRuns(Mode::Cached, program);
        const std::string compiled = TwoRuns(Mode::Compiled, program);
        ASSERT_EQ(cached, text) << "program seed " << seed + i << ":\n" << program;
        ASSERT_EQ(compiled, text) << "program seed " << seed + i << ":\n" << program;
        ASSERT_EQ(text.find("misplaced"), std::string::npos) << "program seed " << seed + i << ":\n"
                                                             << program << "\n"
                                                             << cached;
    }
}

} // namespace
