#pragma once
// Random programs over the whole script language, for comparing the engine with itself. Loops
// are bounded by construction: every WHILE and REPEAT counts a guard variable that no other
// statement assigns, and FOR loops run over small ranges. Besides Print, the programs call host
// routines of the test: Grow (adds the variable `late`), Drop (deletes `k`), Echo (a string
// function), strlen (gives way to libc's own once the program registers it), and read the
// object variables Host, Temp and Name.
#include <cstdint>
#include <random>
#include <string>

namespace ksltest {

class ProgramGenerator {
public:
    explicit ProgramGenerator(uint64_t seed) : rng(seed) {}

    // A whole program: declarations, then a main block.
    std::string Program();

private:
    int Pick(int n) { return int(std::uniform_int_distribution<int>(0, n - 1)(rng)); }
    bool Chance(int percent) { return Pick(100) < percent; }

    std::string Block(int depth, bool inLoop);
    std::string Statement(int depth, bool inLoop);
    std::string Assignment();
    std::string If(int depth, bool inLoop);
    std::string For(int depth);
    std::string While(int depth);
    std::string Repeat(int depth);
    std::string Case(int depth, bool inLoop);
    std::string Mistake();
    std::string HostChange();
    std::string Deep();

    std::string IntExpr(int depth);
    std::string IntLeaf();
    std::string RealExpr(int depth);
    std::string StrExpr(int depth);
    std::string Condition(int depth);

    std::mt19937_64 rng;
};

} // namespace ksltest
