#pragma once
// The nodes of the compiled form. Each evaluates as the text interpreter evaluates the tokens it
// was read from; the runtime they call on is Interpreter's (Compiled.cpp).
#include "Arithmetic.h"
#include "Compiled.h"
#include "Grammar.h"

namespace ksl {

// Expression nodes.

template <class Node> struct Constant final : Node {
    explicit Constant(typename Node::Value value) : value(std::move(value)) {}
    typename Node::Value Eval(Interpreter&) const override { return value; }
    typename Node::Value value;
};

struct IntVariable final : IntNode {
    explicit IntVariable(const TVarState& var) : var(var) {}
    int64_t Eval(Interpreter&) const override { return var.ValInteger; }
    const TVarState& var;
};
struct RealVariable final : RealNode {
    explicit RealVariable(const TVarState& var) : var(var) {}
    double Eval(Interpreter&) const override { return var.ValReal; }
    const TVarState& var;
};
struct StrVariable final : StrNode {
    explicit StrVariable(const TVarState& var) : var(var) {}
    std::string Eval(Interpreter&) const override { return var.ValString; }
    const TVarState& var;
};

// A variable whose value lives in the host: read through its callback, which may change the
// tables.
template <class Node> struct ObjectVariable final : Node {
    ObjectVariable(const TVarState& var, std::string name, uint32_t end)
        : var(var), name(std::move(name)), end(end) {
        this->mayDeopt = true;
    }
    typename Node::Value Eval(Interpreter& k) const override {
        typename Node::Value value;
        if constexpr (std::is_same_v<Node, IntNode>)
            value = k.ReadIntVariable(name, var);
        else if constexpr (std::is_same_v<Node, RealNode>)
            value = k.ReadRealVariable(name, var);
        else
            k.ReadStrVariable(name, var, value);
        k.AfterOpaque(end);
        return value;
    }
    const TVarState& var;
    std::string name;
    uint32_t end;
};

struct IntNot final : IntNode {
    explicit IntNot(IntPtr operand) : operand(std::move(operand)) {
        mayDeopt = this->operand->mayDeopt;
    }
    int64_t Eval(Interpreter& k) const override { return ~operand->Eval(k); }
    IntPtr operand;
};

template <class Node> struct Negation final : Node {
    explicit Negation(std::unique_ptr<Node> operand) : operand(std::move(operand)) {
        this->mayDeopt = this->operand->mayDeopt;
    }
    typename Node::Value Eval(Interpreter& k) const override {
        if constexpr (std::is_same_v<Node, IntNode>)
            return Negate(operand->Eval(k));
        else
            return -operand->Eval(k);
    }
    std::unique_ptr<Node> operand;
};

// A value of one kind read as another: a real truncated or a string converted in an integer
// context, an integer in a real one.
struct IntFromReal final : IntNode {
    explicit IntFromReal(RealPtr operand) : operand(std::move(operand)) {
        mayDeopt = this->operand->mayDeopt;
    }
    int64_t Eval(Interpreter& k) const override { return TruncateToInt64(operand->Eval(k)); }
    RealPtr operand;
};
struct IntFromStr final : IntNode {
    explicit IntFromStr(StrPtr operand) : operand(std::move(operand)) {
        mayDeopt = this->operand->mayDeopt;
    }
    int64_t Eval(Interpreter& k) const override { return TextToInt(operand->Eval(k)).value_or(-1); }
    StrPtr operand;
};
struct RealFromInt final : RealNode {
    explicit RealFromInt(IntPtr operand) : operand(std::move(operand)) {
        mayDeopt = this->operand->mayDeopt;
    }
    double Eval(Interpreter& k) const override { return double(operand->Eval(k)); }
    IntPtr operand;
};

// Two operands and the operator between them, for a level that nothing in it can hand over to
// the text interpreter. The operator is a template argument, so each node does its one thing.
template <Op op> struct IntBinary final : IntNode {
    IntBinary(IntPtr left, IntPtr right) : left(std::move(left)), right(std::move(right)) {}
    int64_t Eval(Interpreter& k) const override {
        const int64_t a = left->Eval(k);
        return ApplyInt(op, a, right->Eval(k));
    }
    IntPtr left, right;
};
template <Op op> struct RealBinary final : RealNode {
    RealBinary(RealPtr left, RealPtr right) : left(std::move(left)), right(std::move(right)) {}
    double Eval(Interpreter& k) const override {
        const double a = left->Eval(k);
        return ApplyReal(op, a, right->Eval(k));
    }
    RealPtr left, right;
};

// The commonest operands spared their own node: a variable of the engine's own and a literal.
template <Op op> struct IntVariableConstant final : IntNode {
    IntVariableConstant(const TVarState& var, int64_t value) : var(var), value(value) {}
    int64_t Eval(Interpreter&) const override { return ApplyInt(op, var.ValInteger, value); }
    const TVarState& var;
    int64_t value;
};
template <Op op> struct IntVariables final : IntNode {
    IntVariables(const TVarState& left, const TVarState& right) : left(left), right(right) {}
    int64_t Eval(Interpreter&) const override {
        return ApplyInt(op, left.ValInteger, right.ValInteger);
    }
    const TVarState& left;
    const TVarState& right;
};
template <Op op> struct IntNodeConstant final : IntNode {
    IntNodeConstant(IntPtr left, int64_t value) : left(std::move(left)), value(value) {}
    int64_t Eval(Interpreter& k) const override { return ApplyInt(op, left->Eval(k), value); }
    IntPtr left;
    int64_t value;
};
template <Op op> struct IntNodeVariable final : IntNode {
    IntNodeVariable(IntPtr left, const TVarState& var) : left(std::move(left)), var(var) {}
    int64_t Eval(Interpreter& k) const override {
        const int64_t a = left->Eval(k);
        return ApplyInt(op, a, var.ValInteger);
    }
    IntPtr left;
    const TVarState& var;
};
template <Op op> struct RealNodeConstant final : RealNode {
    RealNodeConstant(RealPtr left, double value) : left(std::move(left)), value(value) {}
    double Eval(Interpreter& k) const override { return ApplyReal(op, left->Eval(k), value); }
    RealPtr left;
    double value;
};

// A string operand read in place when it is a variable or a literal.
struct StrOperand {
    StrPtr node;
    const std::string* fixed; // the variable's or the literal's text, or nullptr
    const std::string& Read(Interpreter& k, std::string& scratch) const {
        if (fixed) return *fixed;
        scratch = node->Eval(k);
        return scratch;
    }
};

// A comparison of two strings in an integer context: -1 or 0, as "-1" or "0" would convert.
template <Op op> struct StrComparison final : IntNode {
    StrComparison(StrOperand left, StrOperand right)
        : left(std::move(left)), right(std::move(right)) {}
    int64_t Eval(Interpreter& k) const override {
        std::string a, b;
        const std::string& x = left.Read(k, a);
        return IntTruth(Compare(op, x, right.Read(k, b)));
    }
    StrOperand left, right;
};

inline std::string ApplyStr(Interpreter& k, Op op, std::string left, const std::string& right) {
    if (op != Op::Plus) return StrTruth(Compare(op, left, right));
    Concatenate(left, right, k.FMaxStringLength);
    return left;
}

// The operators of one level, left to right. When an operand has left the rest of its entry to
// the text interpreter, the rest of this level is read by it as well.
template <class Node> struct Chain final : Node {
    using Value = typename Node::Value;
    Chain(Level level, Continuation continuation, std::unique_ptr<Node> first,
          std::vector<std::pair<Op, std::unique_ptr<Node>>> rest)
        : level(level), continuation(continuation), first(std::move(first)), rest(std::move(rest)) {
        this->mayDeopt = this->first->mayDeopt;
        for (const auto& operand : this->rest)
            this->mayDeopt = this->mayDeopt || operand.second->mayDeopt;
    }
    Value Eval(Interpreter& k) const override {
        Value value = first->Eval(k);
        if (this->mayDeopt && k.deopt) return k.Continue(level, std::move(value), continuation);
        for (const auto& [op, operand] : rest) {
            Value right = operand->Eval(k);
            value = Apply(k, op, std::move(value), right);
            if (this->mayDeopt && k.deopt) return k.Continue(level, std::move(value), continuation);
        }
        return value;
    }
    static Value Apply(Interpreter& k, Op op, Value left, const Value& right) {
        if constexpr (std::is_same_v<Node, IntNode>)
            return ApplyInt(op, left, right);
        else if constexpr (std::is_same_v<Node, RealNode>)
            return ApplyReal(op, left, right);
        else
            return ApplyStr(k, op, std::move(left), right);
    }
    Level level;
    Continuation continuation;
    std::unique_ptr<Node> first;
    std::vector<std::pair<Op, std::unique_ptr<Node>>> rest;
};

// Parentheses whose closing ")" must be looked for where the text interpreter stands, or that
// are not closed.
template <class Node> struct Parenthesised final : Node {
    Parenthesised(std::unique_ptr<Node> inner, bool closed, Continuation continuation)
        : inner(std::move(inner)), closed(closed), continuation(continuation) {
        this->mayDeopt = this->inner->mayDeopt;
    }
    typename Node::Value Eval(Interpreter& k) const override {
        typename Node::Value value = inner->Eval(k);
        if (k.deopt)
            k.CloseAfterDeopt(continuation);
        else if (!closed)
            Fail(errRightBracket);
        return value;
    }
    std::unique_ptr<Node> inner;
    bool closed;
    Continuation continuation;
};

template <class Node> struct Call final : Node {
    explicit Call(CallSite site) : site(std::move(site)) { this->mayDeopt = this->site.mayDeopt; }
    typename Node::Value Eval(Interpreter& k) const override {
        if constexpr (std::is_same_v<Node, IntNode>)
            return k.CallInt(site);
        else if constexpr (std::is_same_v<Node, RealNode>)
            return k.CallReal(site);
        else
            return k.CallStr(site);
    }
    mutable CallSite site;
};

// A built-in function that only computes, its arguments read with the call and none reaching the
// host: called straight, a string variable or literal handed over without a copy (nothing that
// runs before the call can change it).
template <class Node> struct LibraryCall final : Node {
    struct Argument {
        uint8_t type;
        IntPtr intNode;
        RealPtr realNode;
        StrPtr strNode;
        const std::string* fixed; // a string variable's text, or a literal's cut at its NUL
        std::string literal;
    };
    LibraryCall(int32_t index, std::vector<Argument> arguments)
        : index(index), arguments(std::move(arguments)) {
        ComputesTexts();
    }
    void ComputesTexts() {
        computesTexts = false;
        for (const Argument& a : arguments)
            computesTexts = computesTexts || (a.type == atString && !a.fixed);
    }
    typename Node::Value Eval(Interpreter& k) const override {
        LibraryArguments a;
        if (!computesTexts) {
            Read(k, a, nullptr);
            return Compute(k, a);
        }
        std::string texts[3];
        Read(k, a, texts);
        return Compute(k, a);
    }
    void Read(Interpreter& k, LibraryArguments& a, std::string* texts) const {
        for (size_t i = 0; i < arguments.size(); ++i) {
            const Argument& argument = arguments[i];
            if (argument.type == atReal) {
                a.real[i] = argument.realNode->Eval(k);
            } else if (argument.type != atString) {
                a.integer[i] = argument.intNode->Eval(k);
            } else if (argument.fixed) {
                a.text[i] = argument.fixed;
            } else {
                texts[i] = argument.strNode->Eval(k);
                CutAtNul(texts[i]);
                a.text[i] = &texts[i];
            }
        }
    }
    typename Node::Value Compute(Interpreter& k, const LibraryArguments& a) const {
        if constexpr (std::is_same_v<Node, IntNode>)
            return k.ComputeInt(index, a);
        else if constexpr (std::is_same_v<Node, RealNode>)
            return k.ComputeReal(index, a);
        else
            return k.ComputeStr(index, a);
    }
    int32_t index;
    std::vector<Argument> arguments;
    bool computesTexts = false; // a string argument other than a variable
};

// A parenthesised string in a real context: a failure inside it counts as -1.0 and leaves the
// reading where it failed, so the text interpreter reads it.
struct ParenthesisedStringAsReal final : RealNode {
    ParenthesisedStringAsReal(uint32_t start, uint32_t end, Continuation continuation)
        : start(start), end(end), continuation(continuation) {
        mayDeopt = true;
    }
    double Eval(Interpreter& k) const override {
        return k.ParenthesisedStringText(start, end, continuation);
    }
    uint32_t start, end;
    Continuation continuation;
};

// Statement nodes.

struct FailStatement final : StmtNode {
    explicit FailStatement(std::string message) : message(std::move(message)) {}
    void Exec(Interpreter&) override { throw EKestrelError(message); }
    std::string message;
};

// A call, and what the statement holds after it (an assignment or a keyword statement, read
// anew when the call has changed the tables).
struct CallStatement final : StmtNode {
    enum class Kind : uint8_t { Procedure, Int, Real, Str };
    void Exec(Interpreter& k) override { k.RunCallStatement(*this); }
    CallSite site;
    Kind kind = Kind::Procedure;
    TokenRange statement{};
    uint32_t afterCall = 0;
    std::unique_ptr<StmtNode> rest;
};

struct AssignStatement final : StmtNode {
    void Exec(Interpreter& k) override { k.RunAssignment(*this); }
    TVarState* var = nullptr;
    std::string objName;
    IntPtr intValue;
    RealPtr realValue;
    StrPtr strValue;
    int maxDepth = 0;
    TokenRange statement{};
    uint32_t expressionStart = 0;
    // s := s + a + b, nothing in a and b reaching the host: a and b, appended in place.
    std::vector<const StrNode*> appended;
    // A keyword standing where the expression starts, run after it as the executor does.
    std::unique_ptr<StmtNode> keyword;
};

// An assignment to a variable of the engine's own, without a host in sight: the general one's
// steps, minus those that cannot apply. Too deep for the nesting limit, it takes the general way.
template <class Node> struct PlainAssignment final : StmtNode {
    explicit PlainAssignment(std::unique_ptr<AssignStatement> general)
        : var(*general->var), general(std::move(general)) {}
    void Exec(Interpreter& k) override {
        if (k.nestingDepth + general->maxDepth >= MaxNesting) return k.RunAssignment(*general);
        if constexpr (std::is_same_v<Node, IntNode>) {
            var.ValInteger = general->intValue->Eval(k);
        } else if constexpr (std::is_same_v<Node, RealNode>) {
            var.ValReal = general->realValue->Eval(k);
        } else if (!general->appended.empty()) {
            k.AppendInPlace(*general);
        } else {
            std::string value = general->strValue->Eval(k);
            CutAtNul(value);
            var.ValString = std::move(value);
        }
    }
    TVarState& var;
    std::unique_ptr<AssignStatement> general;
};

struct BlockStatement final : StmtNode {
    void Exec(Interpreter& k) override { k.RunCompiledBlock(block); }
    CompiledBlock block;
};

struct FlagStatement final : StmtNode {
    explicit FlagStatement(bool Interpreter::*flag) : flag(flag) {}
    void Exec(Interpreter& k) override { k.*flag = true; }
    bool Interpreter::*flag;
};

struct CompiledLink;

struct IfStatement final : StmtNode {
    enum class Else : uint8_t { None, Block, Chain };
    void Exec(Interpreter& k) override {
        if (CompiledLink* next = k.RunIfHead(*this)) k.RunCompiledChain(*next);
    }
    bool missingThenPart = false;
    IntEntry condition;
    CompiledBlock thenPart;
    Else elseKind = Else::None;
    CompiledBlock elsePart;
    std::unique_ptr<CompiledLink> next;
};

// An IF after an ELSE: the first statement of the ELSE part, run as the next link of a chain
// unless its IF names a routine or a variable.
struct CompiledLink {
    TokenRange text{};
    bool split = false;
    TokenRange first{}; // empty: the ELSE part holds no statement
    uint64_t epoch = 0;
    bool isStatement = false;
    StatementEntry statement;
    std::unique_ptr<IfStatement> head;
};

struct ForStatement final : StmtNode {
    void Exec(Interpreter& k) override { k.RunFor(*this); }
    bool missingHead = false;
    TVarState* var = nullptr;
    CompiledBlock initial;
    bool missingDo = false;
    bool down = false;
    IntEntry final;
    CompiledBlock body;
};

struct WhileStatement final : StmtNode {
    void Exec(Interpreter& k) override { k.RunWhile(*this); }
    bool missingDo = false;
    IntEntry condition;
    CompiledBlock body;
};

struct RepeatStatement final : StmtNode {
    void Exec(Interpreter& k) override { k.RunRepeat(*this); }
    CompiledBlock body;
    IntEntry condition;
};

// One label of a CASE branch: a value, a range, or (when a string literal holds "..") the
// label's text, which the text interpreter cuts as it does.
struct CaseLabel {
    IntEntry low;
    std::unique_ptr<IntEntry> high;
    std::string text;
    // Literals only: the values, read without evaluating (unless the nesting limit is reached).
    bool fixed = false;
    int64_t lowValue = 0, highValue = 0;
    int maxDepth = 0;
};

struct CaseBranch {
    std::vector<CaseLabel> labels;
    CompiledBlock body;
    // Every label of literals alone: their ranges, and the deepest of their factors.
    bool fixed = false;
    std::vector<std::pair<int64_t, int64_t>> ranges;
    int maxDepth = 0;
};

struct CaseStatement final : StmtNode {
    void Exec(Interpreter& k) override { k.RunCase(*this); }
    bool missingOf = false;
    IntEntry selector;
    std::vector<CaseBranch> branches;
    bool missingColon = false; // after the branches: a label list not followed by ":"
    bool hasElse = false;
    CompiledBlock elsePart;
    bool missingEnd = false;
};

} // namespace ksl
