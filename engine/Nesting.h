#pragma once
// Blocks and expressions are evaluated by recursion. A bound on their nesting makes a script nested
// absurdly deep fail with a message instead of overflowing the stack.
#include "Errors.h"

namespace ksl {

// Far beyond what a person writes; far below what the stack holds, sanitizers included.
inline constexpr int MaxNesting = 256;

// Fails where a NestingGuard would, for a level that is left as soon as it is entered.
inline void CheckNesting(int depth) {
    if (depth >= MaxNesting) Fail(errNesting);
}

// Counts one level of nesting for as long as it lives, once the level has been checked.
class DepthCount {
public:
    explicit DepthCount(int& depth) : depth(depth) { ++depth; }
    ~DepthCount() { --depth; }
    DepthCount(const DepthCount&) = delete;
    DepthCount& operator=(const DepthCount&) = delete;

private:
    int& depth;
};

// Checks one level of nesting and counts it for as long as it lives.
class NestingGuard {
public:
    explicit NestingGuard(int& depth) : count((CheckNesting(depth), depth)) {}

private:
    DepthCount count;
};

} // namespace ksl
