#pragma once
// Runs scripts on a fresh engine with a Print procedure, and reads back what they left.
#include "kestrel/Kestrel.h"

#include <string>
#include <vector>

namespace ksltest {

class Script {
public:
    Script() {
        engine.SetDeclarePrototype({"procedure Print(S:String); index 1;"});
        engine.ProcParam = [this](const std::string&, int32_t, ksl::TArgumentList& args, int32_t&) {
            printed.push_back(args[0].Arg.ArgString);
        };
    }

    // Runs the program; returns the error message, or "" when it ran to its end.
    std::string Run(const std::string& program) {
        engine.SetSource(Lines(program));
        try {
            engine.Execute();
            return {};
        } catch (const ksl::EKestrelError& e) {
            return e.what();
        }
    }

    static ksl::TStrings Lines(const std::string& text) {
        ksl::TStrings lines;
        size_t start = 0;
        for (size_t nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1)
            lines.push_back(text.substr(start, nl - start));
        lines.push_back(text.substr(start));
        return lines;
    }

    int64_t Int(const std::string& name) const { return engine.GetIntVar(name); }
    double Real(const std::string& name) const { return engine.GetRealVar(name); }
    std::string Str(const std::string& name) const { return engine.GetStrVar(name); }

    ksl::TKestrel engine;
    std::vector<std::string> printed;
};

// The value an Integer variable gets from `expression`, or the error message.
struct IntResult {
    int64_t value = 0;
    std::string error;
};

inline IntResult EvalInt(const std::string& expression, const std::string& declarations = "") {
    Script s;
    IntResult r;
    r.error = s.Run("var r: integer; " + declarations + " begin r := " + expression + " end");
    r.value = s.Int("r");
    return r;
}

struct RealResult {
    double value = 0;
    std::string error;
};

inline RealResult EvalReal(const std::string& expression, const std::string& declarations = "") {
    Script s;
    RealResult r;
    r.error = s.Run("var r: real; " + declarations + " begin r := " + expression + " end");
    r.value = s.Real("r");
    return r;
}

struct StrResult {
    std::string value;
    std::string error;
};

inline StrResult EvalStr(const std::string& expression, const std::string& declarations = "") {
    Script s;
    StrResult r;
    r.error = s.Run("var r: string; " + declarations + " begin r := " + expression + " end");
    r.value = s.Str("r");
    return r;
}

} // namespace ksltest
