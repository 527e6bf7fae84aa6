#pragma once
// Runs scripts on a fresh engine with a Print procedure, and reads back what they left.
#include "TextLines.h"
#include "kestrel/Kestrel.h"

#include <cstdlib>
#include <string>
#include <vector>

namespace ksltest {

// KSL_NO_CACHE=1 runs the suite with the text interpreter alone, KSL_NO_COMPILE=1 with its cache
// but without the compiled form; CTest runs it all three ways.
inline bool Off(const char* variable) {
    const char* off = std::getenv(variable);
    return off && std::string(off) == "1";
}
inline bool CacheWanted() {
    return !Off("KSL_NO_CACHE");
}
inline bool CompilerWanted() {
    return !Off("KSL_NO_COMPILE");
}

class Script {
public:
    Script() {
        engine.SetUseCache(CacheWanted());
        engine.SetUseCompiler(CompilerWanted());
        engine.SetDeclarePrototype({"procedure Print(S:String); index 1;"});
        engine.ProcParam = [this](const std::string&, int32_t, ksl::TArgumentList& args, int32_t&) {
            printed.push_back(args[0].Arg.ArgString);
        };
    }

    // Runs the program; returns the error message, or "" when it ran to its end.
    std::string Run(const std::string& program) {
        engine.SetSource(testsupport::SplitLines(program));
        try {
            engine.Execute();
            return {};
        } catch (const ksl::EKestrelError& e) {
            return e.what();
        }
    }

    int64_t Int(const std::string& name) const { return engine.GetIntVar(name); }
    double Real(const std::string& name) const { return engine.GetRealVar(name); }
    std::string Str(const std::string& name) const { return engine.GetStrVar(name); }

    ksl::TKestrel engine;
    std::vector<std::string> printed;
};

// The value a variable of `type` gets from `expression`, or the error message.
template <class T> struct EvalResult {
    T value{};
    std::string error;
};

template <class T>
EvalResult<T> Eval(const std::string& type, T (Script::*read)(const std::string&) const,
                   const std::string& expression, const std::string& declarations) {
    Script s;
    EvalResult<T> r;
    r.error = s.Run("var r: " + type + "; " + declarations + " begin r := " + expression + " end");
    r.value = (s.*read)("r");
    return r;
}

inline EvalResult<int64_t> EvalInt(const std::string& expression,
                                   const std::string& declarations = "") {
    return Eval("integer", &Script::Int, expression, declarations);
}

inline EvalResult<double> EvalReal(const std::string& expression,
                                   const std::string& declarations = "") {
    return Eval("real", &Script::Real, expression, declarations);
}

inline EvalResult<std::string> EvalStr(const std::string& expression,
                                       const std::string& declarations = "") {
    return Eval("string", &Script::Str, expression, declarations);
}

} // namespace ksltest
