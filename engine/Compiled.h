#pragma once
// The compiled form: statements and expressions translated once into trees of resolved nodes,
// then run again and again. docs/compiled-form.md tells the whole design; in short:
//
// - Everything is a range of the program's tokens, as the run driver cut them once. A block is
//   split into statements on its first run; a statement or expression is translated on its
//   first run (Compiler.cpp), reading its tokens with the same grammar the text interpreter
//   evaluates with (Grammar.h), against the symbol tables as they stand.
// - An entry (a statement, or an expression the interpreter evaluates as a whole) remembers the
//   tables' epoch it was translated at; when the tables have changed since, it is translated
//   again before it runs.
// - Host routines, object variables and a few built-ins may change the tables while an entry
//   runs. After each of them the entry checks the epoch; when it has changed, the rest of the
//   entry is read by the text interpreter from the token where the compiled form stood, so
//   that a name defined or deleted a moment ago means what it means now.
// - What the translation cannot follow runs through the text interpreter (see Compiler.cpp).
#include "Interpreter.h"
#include "KSLParser.h"
#include "Nesting.h"

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace ksl {

enum class Level : uint8_t;

// Where the text interpreter takes over from a node: the tokens of the entry the node belongs
// to, and how many factors deep the node stands within it.
struct Continuation {
    TokenRange range;
    int depth;
};

struct IntNode {
    using Base = IntNode;
    using Value = int64_t;
    virtual ~IntNode() = default;
    virtual int64_t Eval(Interpreter& k) const = 0;
    // Whether evaluating it may leave the rest of its entry to the text interpreter.
    bool mayDeopt = false;
};
struct RealNode {
    using Base = RealNode;
    using Value = double;
    virtual ~RealNode() = default;
    virtual double Eval(Interpreter& k) const = 0;
    bool mayDeopt = false;
};
struct StrNode {
    using Base = StrNode;
    using Value = std::string;
    virtual ~StrNode() = default;
    virtual std::string Eval(Interpreter& k) const = 0;
    bool mayDeopt = false;
};
using IntPtr = std::unique_ptr<IntNode>;
using RealPtr = std::unique_ptr<RealNode>;
using StrPtr = std::unique_ptr<StrNode>;

// An expression the interpreter evaluates as a whole (IEExecute, REExecute, SEExecute): a
// condition, a bound, a label, an argument read after a host routine has run.
template <class Node> struct ExpressionEntry {
    ExpressionEntry() = default;
    explicit ExpressionEntry(TokenRange range) : range(range) {}
    TokenRange range{};
    uint64_t epoch = 0; // 0: not translated yet
    int maxDepth = 0;   // the deepest factor, counted from the entry
    std::unique_ptr<Node> root;
    bool plain = false; // nothing in it hands over to the text interpreter
};
using IntEntry = ExpressionEntry<IntNode>;
using RealEntry = ExpressionEntry<RealNode>;
using StrEntry = ExpressionEntry<StrNode>;

// One argument of a call, translated with it; the text interpreter reads it instead when
// something before it has changed the tables.
struct CallArgument {
    uint8_t type = atInteger;
    TokenRange range{};
    bool mayDeopt = false;
    IntPtr intNode;
    RealPtr realNode;
    StrPtr strNode;
};

// A call of a procedure or function, its argument list read.
struct CallSite {
    TFuncStatus* routine = nullptr;
    std::string name;        // for host and external routines, as the text interpreter passes it
    std::string openFailure; // the "(" is missing: the message, before anything runs
    std::vector<CallArgument> arguments;
    std::string failToken;    // the token after the arguments, named by an undeclared built-in
    std::string closeFailure; // the ")" is missing: the message, after the call has run
    uint32_t end = 0;         // the token after the call
    int depth = 0;            // the factors around the call, which its arguments stand in
    bool mayDeopt = false;
};

struct StmtNode {
    virtual ~StmtNode() = default;
    virtual void Exec(Interpreter& k) = 0;
};

struct StatementEntry {
    StatementEntry() = default;
    explicit StatementEntry(TokenRange range) : range(range) {}
    TokenRange range{};
    uint64_t epoch = 0;
    std::unique_ptr<StmtNode> node;
};

// A block: split into statements on its first run.
struct CompiledBlock {
    TokenRange range{};
    bool split = false;
    std::vector<StatementEntry> statements;
};

// The tokens of a program and its main block, kept while the program stays the same.
struct CompiledProgram {
    std::shared_ptr<const TokenStream> tokens;
    CompiledBlock main;
};

template <class Entry> bool Ready(const Interpreter& k, const Entry& entry) {
    return entry.plain && entry.epoch == k.Epoch() && k.nestingDepth + entry.maxDepth < MaxNesting;
}
inline int64_t Interpreter::EvalInt(IntEntry& entry) {
    return Ready(*this, entry) ? entry.root->Eval(*this) : EvalIntInFull(entry);
}
inline double Interpreter::EvalReal(RealEntry& entry) {
    return Ready(*this, entry) ? entry.root->Eval(*this) : EvalRealInFull(entry);
}
inline std::string Interpreter::EvalStr(StrEntry& entry) {
    return Ready(*this, entry) ? entry.root->Eval(*this) : EvalStrInFull(entry);
}

// An expression node that fails with a message when it is reached.
template <class Node> struct FailNode final : Node {
    explicit FailNode(std::string message) : message(std::move(message)) {}
    typename Node::Value Eval(Interpreter&) const override { throw EKestrelError(message); }
    std::string message;
};

} // namespace ksl
