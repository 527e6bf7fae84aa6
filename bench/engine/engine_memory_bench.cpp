// A 1,000,000-iteration loop must not grow the process beyond its size after the first iteration
// plus the engine's cache cap. The script reports each iteration to the host, which reads the
// resident set size after the first one and after the last.
#include "kestrel/Kestrel.h"

#include <cstdio>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

constexpr int iterations = 1000000;

size_t ResidentBytes() {
    std::ifstream statm("/proc/self/statm");
    size_t pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * size_t(sysconf(_SC_PAGESIZE));
}

double MiB(size_t bytes) {
    return double(bytes) / (1024.0 * 1024.0);
}

} // namespace

int main() {
    ksl::TKestrel engine;
    engine.SetDeclarePrototype({"procedure Mark(I:Integer); index 1;"});
    engine.SetSource({"var i, x: Integer; s: String;", "begin",
                      "  for i := 1 to " + std::to_string(iterations) + " do begin",
                      "    x := x + i; s := Copy(s + IntToStr(i mod 10), 1, 64);",
                      "    if Pos('9', s) > 0 then x := x - 1; Mark(i)", "  end", "end."});
    size_t first = 0, last = 0;
    engine.ProcParam = [&](const std::string&, int32_t, ksl::TArgumentList& args, int32_t&) {
        const int64_t i = args[0].Arg.ArgInteger;
        if (i == 1) first = ResidentBytes();
        if (i == iterations) last = ResidentBytes();
    };
    engine.Execute();
    const size_t cap = engine.CacheCapBytes();
    const bool within = last <= first + cap;
    std::printf("resident after iteration 1: %.2f MiB; after %d: %.2f MiB; growth %.2f MiB; "
                "cache %.3f MiB of a %.0f MiB cap: %s\n",
                MiB(first), iterations, MiB(last), MiB(last > first ? last - first : 0),
                MiB(engine.CacheBytes()), MiB(cap), within ? "within target" : "TARGET MISSED");
    return within ? 0 : 1;
}
