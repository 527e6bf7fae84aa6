// ksl: runs one script with the Kestrel engine.
#include "cli/KslOptions.h"
#include "cli/TerminalText.h"
#include "kestrel/Kestrel.h"
#include "platform/Messages.h"
#include "portwell/MacroFile.h"

#include <clocale>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <sstream>
#include <stdexcept>

namespace {

constexpr int exitOk = 0, exitScriptError = 1, exitUsage = 2, exitInterrupted = 130;

const char* const usage =
    R"(Usage: ksl [options] FILE      run the script in FILE
       ksl [options] -         run the script read from standard input
       ksl [options] -e TEXT   run TEXT

Options:
  -D NAME    define NAME for IsDefine (may be repeated)
  --vars     after the run, print each variable the script declared as Name=Value
  --no-cache cut every text afresh each time it runs (same results, slower; also when the
             environment variable KSL_NO_CACHE is 1)
  --no-compile  run without translating statements into a compiled form first (same results,
             slower; also when the environment variable KSL_NO_COMPILE is 1)
  --max-string BYTES  end the run when a string would grow longer than BYTES (a number, or
             with K, M or G; 1G unless given)
  -h, --help show this help

The script may call  procedure Print(S:String);  which writes S and a newline.
Exit status: 0 after a normal end, 1 on a script error (the message is the last line
of standard error, and the line before it says where: FILE:LINE: STATEMENT), 2 on a
usage error, 130 when interrupted with Ctrl-C.
)";

bool OffByEnvironment(const char* variable) {
    const char* off = std::getenv(variable);
    return off && std::string(off) == "1";
}

std::optional<ksl::TStrings> ReadSource(const cli::KslOptions& options) {
    if (options.text) {
        std::istringstream in(*options.text);
        return portwell::ReadMacroLines(in);
    }
    try {
        return portwell::ReadMacroFile(*options.file);
    } catch (const std::runtime_error& e) {
        std::cerr << "ksl: " << cli::TerminalText(e.what()) << '\n';
        return std::nullopt;
    }
}

// How the location of a script error names the script.
std::string SourceName(const cli::KslOptions& options) {
    if (options.text) return "<text>";
    return portwell::MacroFileName(*options.file);
}

std::string Quoted(const std::string& s) {
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("''") : std::string(1, c);
    return q + "'";
}

void PrintVariables(const ksl::TKestrel& engine) {
    const ksl::TVariableTable& table = engine.Variables();
    for (size_t i = 0; i < table.Count(); ++i) {
        const ksl::TVarState& v = table.At(i);
        if (v.BuiltIn) continue;
        std::cout << table.Name(i) << '=';
        switch (v.VarType) {
        case ksl::vtInteger:
            std::cout << v.ValInteger;
            break;
        case ksl::vtReal:
            std::cout << ksl::FloatToStr(v.ValReal);
            break;
        default:
            std::cout << Quoted(v.ValString);
            break;
        }
        std::cout << '\n';
    }
}

void AbortOnInterrupt(ksl::TKestrel& engine) {
    platform::SetMessageHook([&engine] {
        platform::RunHandOvers();
        if (platform::InterruptRequested()) engine.RequestAbort();
    });
    platform::InterruptOnSignals();
}

} // namespace

int main(int argc, char** argv) {
    std::setlocale(LC_COLLATE, "");
    std::string error;
    const std::optional<cli::KslOptions> options =
        cli::ParseKslArguments(std::vector<std::string>(argv + 1, argv + argc), error);
    if (!options) {
        std::cerr << "ksl: " << cli::TerminalText(error) << '\n' << usage;
        return exitUsage;
    }
    if (options->help) {
        std::cout << usage;
        return exitOk;
    }
    const std::optional<ksl::TStrings> source = ReadSource(*options);
    if (!source) return exitUsage;

    ksl::TKestrel engine;
    engine.SetUseCache(!options->noCache && !OffByEnvironment("KSL_NO_CACHE"));
    engine.SetUseCompiler(!options->noCompile && !OffByEnvironment("KSL_NO_COMPILE"));
    if (options->maxString) engine.SetMaxStringLength(*options->maxString);
    engine.SetDefine(options->defines);
    engine.SetDeclarePrototype({"procedure Print(S:String); index 1;"});
    engine.SetSource(*source);
    engine.ProcParam = [](const std::string&, int32_t, ksl::TArgumentList& args, int32_t&) {
        std::cout << args[0].Arg.ArgString << std::endl;
    };
    AbortOnInterrupt(engine);

    int status = exitOk;
    try {
        engine.Execute();
    } catch (const ksl::EKestrelError& e) {
        std::cout.flush();
        const std::string location =
            cli::FailureLocation(SourceName(*options), engine.ErrorLine(), engine.ErrorStatement());
        if (!location.empty()) std::cerr << location << '\n';
        std::cerr << cli::TerminalText(e.what()) << std::endl;
        status = exitScriptError;
    }
    if (options->vars) PrintVariables(engine);
    std::cout.flush();
    return platform::InterruptRequested() ? exitInterrupted : status;
}
