#pragma once
// Where a run is: each block that runs leaves a frame on the stack, linked to the block it runs
// in. A failure is located from these frames only once it happens, so keeping them costs a run
// next to nothing.
#include <cstddef>
#include <cstdint>
#include <string>

namespace ksl {

struct StatementList;
struct TokenStream;
struct TokenRange;

struct BlockFrame {
    const BlockFrame* parent; // the block whose running statement opened this one
    // The block's first token among the tokens of the parent's running statement, or among the
    // program's tokens for the outermost block; -1 when it cannot be told.
    int64_t start;
    const std::string* text;
    const StatementList* prepared; // the cached statements, or nullptr
    size_t statement;              // the index of the statement running
    // A block of the compiled form knows its statement among the program's tokens: `text` is
    // nullptr, and the running statement is the tokens `running` of `program`.
    const TokenStream* program;
    const TokenRange* running;
};

// A frame of the compiled form. It sets only what a compiled frame is read for: a frame is made
// for every block and loop pass.
inline BlockFrame CompiledFrame(const TokenStream* program) {
    BlockFrame frame;
    frame.parent = nullptr;
    frame.text = nullptr;
    frame.program = program;
    frame.running = nullptr;
    return frame;
}

// Makes `frame` the innermost frame for as long as it lives.
class FrameScope {
public:
    FrameScope(const BlockFrame*& innermost, BlockFrame& frame)
        : innermost(innermost), outer(innermost) {
        frame.parent = outer;
        innermost = &frame;
    }
    ~FrameScope() { innermost = outer; }
    FrameScope(const FrameScope&) = delete;
    FrameScope& operator=(const FrameScope&) = delete;

private:
    const BlockFrame*& innermost;
    const BlockFrame* outer;
};

} // namespace ksl
