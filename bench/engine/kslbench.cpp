// The benchmarks' host: runs one script as ksl does (Print, Ctrl-C through the message hook) and
// offers one host function of its own, as Portwell offers ComWait:
//   function Mix(A, B, C: Integer): Integer;   { (A * 31 + B) xor C }
// Usage: kslbench FILE [--no-compile | --no-cache]
#include "kestrel/Kestrel.h"
#include "platform/Messages.h"

#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

namespace {

ksl::TStrings ReadLines(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    ksl::TStrings lines;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

void Mix(ksl::TArgumentList& args, int64_t& result) {
    const auto arg = [&args](size_t i) { return uint64_t(args[i].Arg.ArgInteger); };
    result = int64_t((arg(0) * 31 + arg(1)) ^ arg(2));
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << "usage: kslbench FILE [--no-compile | --no-cache]\n";
        return 2;
    }
    const std::string mode = argc > 2 ? argv[2] : "";
    ksl::TKestrel engine;
    engine.SetUseCompiler(mode != "--no-compile" && mode != "--no-cache");
    engine.SetUseCache(mode != "--no-cache");
    engine.SetDeclarePrototype({"procedure Print(S:String); index 1;",
                                "function Mix(A, B, C: Integer): Integer; index 2;"});
    engine.ProcParam = [](const std::string&, int32_t, ksl::TArgumentList& args, int32_t&) {
        std::cout << args[0].Arg.ArgString << '\n';
    };
    engine.IntFuncParam = [](const std::string&, int32_t, ksl::TArgumentList& args, int32_t&,
                             int64_t& result) { Mix(args, result); };
    platform::SetMessageHook([&engine] {
        platform::RunHandOvers();
        if (platform::InterruptRequested()) engine.RequestAbort();
    });
    platform::InterruptOnSignals();
    engine.SetSource(ReadLines(argv[1]));
    try {
        engine.Execute();
    } catch (const ksl::EKestrelError& e) {
        std::cerr << e.what() << '\n';
        return 1;
    }
    return 0;
}
