// Translating statements and expressions into the compiled form. Expressions are read by the
// grammar the text interpreter evaluates with (Grammar.h), with a policy that builds nodes
// instead of computing values; statements follow the executor's steps (Statements.cpp) and the
// same cuts (Extraction.h), so that both decide alike what a text means.
//
// What is not translated, and runs through the text interpreter instead:
// - a parenthesised string in a real context (a failure inside it is caught, and where the
//   reading then stands depends on where it failed);
// - a CASE label whose string literal holds ".." (the label is cut at it as text);
// - whatever follows a host routine that changed the tables, up to the end of its entry;
// - an expression nested so deep that it would meet the nesting limit;
// - a whole program that ends in an unterminated string literal (re-cutting such a text adds
//   blanks to the literal, which the compiled form does not repeat).
#include "CompiledNodes.h"
#include "Conversions.h"
#include "Evaluate.h"
#include "Extraction.h"

#include <algorithm>

namespace ksl {

namespace {

// Built-ins that may run host code (message loops, dialogs) or change the tables.
bool MayReachTheHost(const TFuncStatus& routine) {
    if (!routine.BuiltIn) return true;
    switch (routine.Index) {
    case pidx_ProcessMessages:
    case pidx_Sleep:
    case pidx_pause:
    case fidx_InputBox:
    case fidx_MessageBox:
    case fidx_RegisterRoutine:
        return true;
    default:
        return false;
    }
}

// The building policy of the grammar. A failure it reads becomes a node that throws when it is
// reached, and stops the reading: nothing after it can run.
struct Build {
    using Int = IntPtr;
    using Real = RealPtr;
    using Str = StrPtr;
    using Parser = TKSLParser;

    Interpreter& k;
    TokenRange range; // the entry being read, where the text interpreter would take over
    int depth = 0;    // factors around the token being read, counted from the entry
    int maxDepth = 0;
    bool stopped = false;
    // Something read so far may reach the host (which may change a variable).
    bool reachesHost = false;

    bool Stopped() const { return stopped; }
    bool TooDeep() {
        maxDepth = std::max(maxDepth, depth);
        return depth >= MaxNesting;
    }
    DepthCount EnterFactor() { return DepthCount(depth); }
    Continuation Here() const { return Continuation{range, depth}; }

    template <class T> T Fail(std::string_view message, std::string_view arg = {}) {
        stopped = true;
        using Node = typename T::element_type;
        return std::make_unique<FailNode<Node>>(FormatMessage(message, arg));
    }

    Int IntLiteral(const Parser& p) {
        return std::make_unique<Constant<IntNode>>(IntegerLiteral(p));
    }
    Real RealLiteral(const Parser& p) {
        return std::make_unique<Constant<RealNode>>(TextToFloat(p.TokenView()).value_or(0.0));
    }
    Str StrLiteral(const Parser& p) {
        try {
            return std::make_unique<Constant<StrNode>>(StringLiteral(p));
        } catch (const EKestrelError& e) {
            stopped = true;
            return std::make_unique<FailNode<StrNode>>(e.what());
        }
    }

    template <class Node, class Plain>
    std::unique_ptr<Node> Variable(const Parser& p, const std::string& stored,
                                   const TVarState& var) {
        if (!var.Obj) return std::make_unique<Plain>(var);
        reachesHost = true;
        return std::make_unique<ObjectVariable<Node>>(var, stored, uint32_t(p.Position()));
    }
    Int IntVariable(const Parser& p, const std::string& stored, const TVarState& var) {
        return Variable<IntNode, ksl::IntVariable>(p, stored, var);
    }
    Real RealVariable(const Parser& p, const std::string& stored, const TVarState& var) {
        return Variable<RealNode, ksl::RealVariable>(p, stored, var);
    }
    Str StrVariable(const Parser& p, const std::string& stored, const TVarState& var) {
        return Variable<StrNode, ksl::StrVariable>(p, stored, var);
    }

    CallSite ReadCall(Parser& p, const std::string& stored, TFuncStatus& routine);
    CallArgument ReadArgument(uint8_t type, TokenRange argument);
    template <class Node>
    std::unique_ptr<Node> CallOf(Parser& p, const std::string& stored, TFuncStatus& routine) {
        CallSite site = ReadCall(p, stored, routine);
        if (Computing(site)) return LibraryCallOf<Node>(site);
        return std::make_unique<Call<Node>>(std::move(site));
    }
    Int IntCall(Parser& p, const std::string& stored, TFuncStatus& routine) {
        return CallOf<IntNode>(p, stored, routine);
    }
    Real RealCall(Parser& p, const std::string& stored, TFuncStatus& routine) {
        return CallOf<RealNode>(p, stored, routine);
    }
    Str StrCall(Parser& p, const std::string& stored, TFuncStatus& routine) {
        return CallOf<StrNode>(p, stored, routine);
    }

    // A built-in that only computes, read whole, with arguments that reach no host.
    static bool Computing(const CallSite& site) {
        if (!site.routine->BuiltIn || !Interpreter::Computes(site.routine->Index)) return false;
        if (!site.openFailure.empty() || !site.closeFailure.empty()) return false;
        for (const CallArgument& a : site.arguments)
            if (a.mayDeopt) return false;
        return true;
    }
    template <class Node> static std::unique_ptr<Node> LibraryCallOf(CallSite& site) {
        std::vector<typename LibraryCall<Node>::Argument> arguments(site.arguments.size());
        for (size_t i = 0; i < site.arguments.size(); ++i) {
            CallArgument& from = site.arguments[i];
            auto& a = arguments[i];
            a.type = from.type;
            if (const auto* variable = dynamic_cast<const ksl::StrVariable*>(from.strNode.get()))
                a.fixed = &variable->var.ValString;
            if (auto literal = from.strNode ? ConstantOf(from.strNode) : std::nullopt) {
                a.literal = std::move(*literal);
                CutAtNul(a.literal);
            }
            a.intNode = std::move(from.intNode);
            a.realNode = std::move(from.realNode);
            a.strNode = std::move(from.strNode);
        }
        // Pointers into the arguments once they stand where they stay.
        auto call = std::make_unique<LibraryCall<Node>>(site.routine->Index, std::move(arguments));
        for (auto& a : call->arguments)
            if (a.strNode && ConstantOf(a.strNode)) a.fixed = &a.literal;
        call->ComputesTexts();
        return call;
    }

    Int IntFromReal(Real r) { return std::make_unique<ksl::IntFromReal>(std::move(r)); }
    // A single comparison of strings converts to -1 or 0; it is compared without the detour.
    Int IntFromStr(Str s) {
        auto* chain = dynamic_cast<ksl::Chain<StrNode>*>(s.get());
        if (chain && chain->level == Level::Relation && chain->rest.size() == 1 && !chain->mayDeopt)
            return ByOp<StrComparison>(chain->rest[0].first, OperandOf(std::move(chain->first)),
                                       OperandOf(std::move(chain->rest[0].second)));
        return std::make_unique<ksl::IntFromStr>(std::move(s));
    }
    Real RealFromInt(Int i) { return std::make_unique<ksl::RealFromInt>(std::move(i)); }

    // Read as the text interpreter reads it, which also tells where it ends when nothing fails.
    Real ParenthesisedString(Parser& p) {
        const uint32_t start = uint32_t(p.Position());
        const Continuation at = Here();
        Build probe{k, range, depth};
        probe.reachesHost = reachesHost;
        Grammar<Build>::ProcessStrRelation(probe, p);
        maxDepth = std::max(maxDepth, probe.maxDepth);
        reachesHost = true;
        return std::make_unique<ParenthesisedStringAsReal>(start, uint32_t(p.Position()), at);
    }

    // Parentheses need a node of their own only when the ")" must be looked for where the text
    // interpreter stands, or is missing; after a failure inside, they are never reached.
    template <class T> T Parenthesised(T value, const Parser&, bool closed) {
        if ((closed || stopped) && !value->mayDeopt) return value;
        using Node = typename T::element_type;
        return std::make_unique<ksl::Parenthesised<Node>>(std::move(value), closed, Here());
    }

    // Literals are folded where that cannot fail: -1 and 2 * 3 are constants, 1 div 0 is not.
    template <class T> static auto ConstantOf(const T& node) {
        using Node = typename T::element_type;
        const auto* constant = dynamic_cast<const Constant<Node>*>(node.get());
        return constant ? std::optional<typename Node::Value>(constant->value) : std::nullopt;
    }
    Int Not(Int value) {
        if (auto v = ConstantOf(value)) return std::make_unique<Constant<IntNode>>(~*v);
        return std::make_unique<IntNot>(std::move(value));
    }
    Int Negate(Int value) {
        if (auto v = ConstantOf(value)) return std::make_unique<Constant<IntNode>>(ksl::Negate(*v));
        return std::make_unique<Negation<IntNode>>(std::move(value));
    }
    Real Negate(Real value) {
        if (auto v = ConstantOf(value)) return std::make_unique<Constant<RealNode>>(-*v);
        return std::make_unique<Negation<RealNode>>(std::move(value));
    }

    template <class T> struct Parts {
        Level level;
        Continuation at;
        T first;
        std::vector<std::pair<Op, T>> rest;
    };
    template <class T> Parts<T> Chain(Level level, T first) {
        return Parts<T>{level, Here(), std::move(first), {}};
    }
    template <class T> void Extend(Parts<T>& chain, Op op, T right) {
        chain.rest.emplace_back(op, std::move(right));
    }
    // A level whose operand may hand over to the text interpreter keeps a node, even without
    // operators: the text interpreter then reads the rest of the level, operators included.
    template <class T> T End(Parts<T>& chain) {
        if (chain.rest.empty() && !chain.first->mayDeopt) return std::move(chain.first);
        if constexpr (!std::is_same_v<T, StrPtr>) {
            if (chain.rest.size() == 1 && !chain.first->mayDeopt && !chain.rest[0].second->mayDeopt)
                return Binary(chain.rest[0].first, std::move(chain.first),
                              std::move(chain.rest[0].second));
        }
        using Node = typename T::element_type;
        return std::make_unique<ksl::Chain<Node>>(chain.level, chain.at, std::move(chain.first),
                                                  std::move(chain.rest));
    }

    template <template <Op> class Node, class T> static T Binary(Op op, T left, T right) {
        switch (op) {
#define KSL_BINARY(o)                                                                              \
    case Op::o:                                                                                    \
        return std::make_unique<Node<Op::o>>(std::move(left), std::move(right));
            KSL_BINARY(Equal)
            KSL_BINARY(NotEqual)
            KSL_BINARY(Less)
            KSL_BINARY(LessEqual)
            KSL_BINARY(Greater)
            KSL_BINARY(GreaterEqual)
            KSL_BINARY(Plus)
            KSL_BINARY(Minus)
            KSL_BINARY(Times)
            KSL_BINARY(Slash)
            KSL_BINARY(Or)
            KSL_BINARY(Xor)
            KSL_BINARY(Div)
            KSL_BINARY(Mod)
            KSL_BINARY(And)
            KSL_BINARY(Shl)
            KSL_BINARY(Shr)
#undef KSL_BINARY
        default:
            return nullptr;
        }
    }
    static IntPtr Binary(Op op, IntPtr left, IntPtr right) {
        const auto a = ConstantOf(left), b = ConstantOf(right);
        if (a && b && !((op == Op::Div || op == Op::Mod) && *b == 0))
            return std::make_unique<Constant<IntNode>>(ApplyInt(op, *a, *b));
        const auto* leftVariable = dynamic_cast<const ksl::IntVariable*>(left.get());
        const auto* rightVariable = dynamic_cast<const ksl::IntVariable*>(right.get());
        const auto* rightConstant = dynamic_cast<const Constant<IntNode>*>(right.get());
        if (leftVariable && rightConstant)
            return ByOp<IntVariableConstant>(op, leftVariable->var, rightConstant->value);
        if (leftVariable && rightVariable)
            return ByOp<IntVariables>(op, leftVariable->var, rightVariable->var);
        if (rightConstant) return ByOp<IntNodeConstant>(op, std::move(left), rightConstant->value);
        if (rightVariable) return ByOp<IntNodeVariable>(op, std::move(left), rightVariable->var);
        return Binary<IntBinary>(op, std::move(left), std::move(right));
    }
    static RealPtr Binary(Op op, RealPtr left, RealPtr right) {
        if (const auto* constant = dynamic_cast<const Constant<RealNode>*>(right.get()))
            return ByOp<RealNodeConstant>(op, std::move(left), constant->value);
        return Binary<RealBinary>(op, std::move(left), std::move(right));
    }

    // A node of `Node<op>` for the operator, from the operands given.
    template <template <Op> class Node, class... Operands>
    static auto ByOp(Op op, Operands&&... operands)
        -> std::unique_ptr<typename Node<Op::Plus>::Base> {
        switch (op) {
#define KSL_BY_OP(o)                                                                               \
    case Op::o:                                                                                    \
        return std::make_unique<Node<Op::o>>(std::forward<Operands>(operands)...);
            KSL_BY_OP(Equal)
            KSL_BY_OP(NotEqual)
            KSL_BY_OP(Less)
            KSL_BY_OP(LessEqual)
            KSL_BY_OP(Greater)
            KSL_BY_OP(GreaterEqual)
            KSL_BY_OP(Plus)
            KSL_BY_OP(Minus)
            KSL_BY_OP(Times)
            KSL_BY_OP(Slash)
            KSL_BY_OP(Or)
            KSL_BY_OP(Xor)
            KSL_BY_OP(Div)
            KSL_BY_OP(Mod)
            KSL_BY_OP(And)
            KSL_BY_OP(Shl)
            KSL_BY_OP(Shr)
#undef KSL_BY_OP
        default:
            return nullptr;
        }
    }

    static StrOperand OperandOf(StrPtr node) {
        const std::string* fixed = nullptr;
        if (const auto* variable = dynamic_cast<const ksl::StrVariable*>(node.get()))
            fixed = &variable->var.ValString;
        if (const auto* constant = dynamic_cast<const Constant<StrNode>*>(node.get()))
            fixed = &constant->value;
        return StrOperand{std::move(node), fixed};
    }
};

using Builder = Grammar<Build>;

// An argument is an entry of its own, read with its call. When something before it has changed
// the tables, the call has the text interpreter read it (see EvaluateArguments).
CallArgument Build::ReadArgument(uint8_t type, TokenRange argument) {
    CallArgument a;
    a.type = type;
    a.range = argument;
    const TokenRange outer = range;
    const bool outerStopped = stopped;
    range = argument;
    stopped = false;
    Parser p = k.ProgramParser(argument, argument.begin);
    if (type == atReal) {
        a.realNode = Builder::ProcessRealRelation(*this, p);
        a.mayDeopt = a.realNode->mayDeopt;
    } else if (type == atString) {
        a.strNode = Builder::StrEntry(*this, p);
        a.mayDeopt = a.strNode->mayDeopt;
    } else {
        a.intNode = Builder::IntEntry(*this, p);
        a.mayDeopt = a.intNode->mayDeopt;
    }
    range = outer;
    stopped = outerStopped;
    return a;
}

// The argument list as the callers of Calls.cpp read it: "(" when there are parameters, each
// argument up to a "," or ")" outside brackets, the separator skipped unseen, and the ")" looked
// for only after the routine has run.
CallSite Build::ReadCall(Parser& p, const std::string& stored, TFuncStatus& routine) {
    CallSite site;
    site.routine = &routine;
    site.name = routine.BuiltIn ? std::string() : stored;
    site.depth = depth;
    const size_t count = routine.Argument.size();
    if (count > 0) {
        if (p.Operator() != Op::Open) {
            site.openFailure = FormatMessage(errSyntax, p.TokenView());
            stopped = true;
            return site;
        }
        p.NextToken();
    }
    for (size_t i = 0; i < count; ++i) {
        const TokenRange argument = ArgumentRange(p);
        site.arguments.push_back(ReadArgument(routine.Argument[i].Arg.ArgType, argument));
        site.mayDeopt = site.mayDeopt || site.arguments.back().mayDeopt;
        if (i + 1 < count) p.NextToken();
    }
    site.failToken = p.TokenString();
    if (count > 0) {
        if (p.Operator() != Op::Close) {
            site.closeFailure = FormatMessage(errSyntax, p.TokenView());
            stopped = true;
        } else {
            p.NextToken();
        }
    }
    site.end = uint32_t(p.Position());
    if (MayReachTheHost(routine)) {
        site.mayDeopt = true;
        reachesHost = true;
    }
    return site;
}

// Statements.

std::unique_ptr<StmtNode> Failure(std::string_view message, std::string_view arg = {}) {
    return std::make_unique<FailStatement>(FormatMessage(message, arg));
}

CompiledBlock BlockOf(TokenRange range) {
    CompiledBlock block;
    block.range = range;
    return block;
}

// The condition is cut before the THEN part, the ELSE part after it, as RunIf does; an ELSE
// part that is itself an IF becomes the next link of a chain.
std::unique_ptr<IfStatement> ReadIf(TKSLParser& p) {
    auto node = std::make_unique<IfStatement>();
    p.NextToken();
    node->condition = IntEntry(ExpressionRange(p, bwThen));
    if (p.Is(Kw::Then)) p.NextToken();
    if (p.Token() == toEOF) {
        node->missingThenPart = true;
        return node;
    }
    node->thenPart = BlockOf(SentenceRange(p, true));
    if (p.Is(Kw::End)) p.NextToken();
    if (!p.Is(Kw::Else)) return node;
    p.NextToken();
    const bool chained = p.Is(Kw::If);
    const TokenRange elsePart = SentenceRange(p, true);
    if (chained) {
        node->elseKind = IfStatement::Else::Chain;
        node->next = std::make_unique<CompiledLink>();
        node->next->text = elsePart;
    } else {
        node->elseKind = IfStatement::Else::Block;
        node->elsePart = BlockOf(elsePart);
    }
    return node;
}

class StatementReader {
public:
    StatementReader(Interpreter& k, TokenRange statement) : k(k), statement(statement) {}

    std::unique_ptr<StmtNode> Statement();

private:
    using Parser = TKSLParser;

    std::unique_ptr<StmtNode> CallAt(Parser& p, const std::string& stored, TFuncStatus& routine,
                                     CallStatement::Kind kind);
    std::unique_ptr<StmtNode> AssignmentOrKeyword(Parser& p);
    std::unique_ptr<StmtNode> Assignment(Parser& p, TVarState& var, const std::string& stored);
    std::unique_ptr<StmtNode> Keyword(Parser& p);
    std::unique_ptr<StmtNode> For(Parser& p);
    std::unique_ptr<StmtNode> While(Parser& p);
    std::unique_ptr<StmtNode> Repeat(Parser& p);
    std::unique_ptr<StmtNode> Case(Parser& p);
    CaseBranch Branch(TokenRange labels, TokenRange body);
    void Fix(CaseLabel& label);

    Interpreter& k;
    TokenRange statement;
};

// Stage 1 a call, stage 2 an assignment, stage 3 a keyword statement, each from where the one
// before left the tokens; a statement that is none of them fails.
std::unique_ptr<StmtNode> StatementReader::Statement() {
    Parser p = k.ProgramParser(statement, statement.begin);
    if (p.Token() != toAnk) return Failure(errSyntax, p.TokenView());
    const std::string* stored;
    if (TFuncStatus* proc = Lookup(k.BuiltinProc, Table::Procedure, p, &stored)) {
        p.NextToken();
        return CallAt(p, *stored, *proc, CallStatement::Kind::Procedure);
    }
    if (TFuncStatus* func = Lookup(k.BuiltinFunc, Table::Function, p, &stored)) {
        p.NextToken();
        const auto kind = func->ResultType == rtReal     ? CallStatement::Kind::Real
                          : func->ResultType == rtString ? CallStatement::Kind::Str
                                                         : CallStatement::Kind::Int;
        return CallAt(p, *stored, *func, kind);
    }
    if (auto node = AssignmentOrKeyword(p)) return node;
    return Failure(errSyntax, p.TokenView());
}

std::unique_ptr<StmtNode> StatementReader::CallAt(Parser& p, const std::string& stored,
                                                  TFuncStatus& routine, CallStatement::Kind kind) {
    auto node = std::make_unique<CallStatement>();
    Build b{k, statement};
    node->site = b.ReadCall(p, stored, routine);
    node->kind = kind;
    node->statement = statement;
    node->afterCall = uint32_t(p.Position());
    if (node->site.openFailure.empty() && node->site.closeFailure.empty())
        node->rest = AssignmentOrKeyword(p);
    return node;
}

std::unique_ptr<StmtNode> StatementReader::AssignmentOrKeyword(Parser& p) {
    const std::string* stored;
    if (TVarState* var = Lookup(k.Variable, Table::Variable, p, &stored))
        return Assignment(p, *var, *stored);
    return Keyword(p);
}

// s := s + a + b, where nothing in a and b reaches the host: a and b, to append in place.
std::vector<const StrNode*> AppendedInPlace(const StrNode* value, const TVarState& var) {
    const auto* chain = dynamic_cast<const Chain<StrNode>*>(value);
    if (!chain || chain->mayDeopt) return {};
    const auto* first = dynamic_cast<const StrVariable*>(chain->first.get());
    if (!first || &first->var != &var) return {};
    std::vector<const StrNode*> appended;
    for (const auto& [op, operand] : chain->rest) {
        if (op != Op::Plus) return {};
        appended.push_back(operand.get());
    }
    return appended;
}

// The parser stays on the expression's first token, where stage 3 looks for a keyword.
std::unique_ptr<StmtNode> StatementReader::Assignment(Parser& p, TVarState& var,
                                                      const std::string& stored) {
    if (var.Constant) return Failure(errConstant, p.TokenView());
    auto node = std::make_unique<AssignStatement>();
    node->var = &var;
    if (var.Obj) node->objName = stored;
    p.NextToken();
    if (!p.Is(":=")) return Failure(errSyntax, p.TokenView());
    p.NextToken();
    node->statement = statement;
    node->expressionStart = uint32_t(p.Position());
    Build b{k, statement};
    Parser expression = p.Here();
    if (var.VarType == vtInteger) {
        node->intValue = Builder::Classified(b, expression);
    } else if (var.VarType == vtReal) {
        node->realValue = Builder::ProcessRealRelation(b, expression);
    } else {
        node->strValue = Builder::ProcessStrRelation(b, expression);
        if (!var.Obj && !b.reachesHost) node->appended = AppendedInPlace(node->strValue.get(), var);
    }
    node->maxDepth = b.maxDepth;
    node->keyword = Keyword(p);
    if (var.Obj || node->keyword) return node;
    if (node->intValue && !node->intValue->mayDeopt)
        return std::make_unique<PlainAssignment<IntNode>>(std::move(node));
    if (node->realValue && !node->realValue->mayDeopt)
        return std::make_unique<PlainAssignment<RealNode>>(std::move(node));
    if (node->strValue && !node->strValue->mayDeopt)
        return std::make_unique<PlainAssignment<StrNode>>(std::move(node));
    return node;
}

std::unique_ptr<StmtNode> StatementReader::Keyword(Parser& p) {
    switch (p.Word()) {
    case Kw::Begin: {
        auto node = std::make_unique<BlockStatement>();
        node->block = BlockOf(SentenceRange(p, false));
        return node;
    }
    case Kw::Break:
        return std::make_unique<FlagStatement>(&Interpreter::Break_Flg);
    case Kw::Continue:
        return std::make_unique<FlagStatement>(&Interpreter::Continue_Flg);
    case Kw::Exit:
        return std::make_unique<FlagStatement>(&Interpreter::Exit_Flg);
    case Kw::If:
        return ReadIf(p);
    case Kw::For:
        return For(p);
    case Kw::While:
        return While(p);
    case Kw::Repeat:
        return Repeat(p);
    case Kw::Case:
        return Case(p);
    default:
        return nullptr;
    }
}

// The counter's variable is the one the name means when the statement starts.
std::unique_ptr<StmtNode> StatementReader::For(Parser& p) {
    auto node = std::make_unique<ForStatement>();
    p.NextToken();
    node->var = Lookup(k.Variable, Table::Variable, p);
    if (!node->var || node->var->VarType != vtInteger || node->var->Constant)
        return Failure(errSyntax, "for");
    const TokenRange initial = ExpressionRange(p, bwTo | bwDownTo);
    bool assigns = false;
    for (uint32_t i = initial.begin; i < initial.end; ++i)
        assigns = assigns || p.Stream().View(i).find(":=") != std::string_view::npos;
    if (!assigns || p.Token() == toEOF) return Failure(errSyntax, "for");
    node->initial = BlockOf(initial);
    node->down = !p.Is(Kw::To);
    p.NextToken();
    node->final = IntEntry(ExpressionRange(p, bwDo));
    node->missingDo = p.Token() == toEOF;
    if (node->missingDo) return node;
    p.NextToken();
    node->body = BlockOf(SentenceRange(p, true));
    return node;
}

std::unique_ptr<StmtNode> StatementReader::While(Parser& p) {
    auto node = std::make_unique<WhileStatement>();
    p.NextToken();
    node->condition = IntEntry(ExpressionRange(p, bwDo));
    if (p.Token() == toEOF) return Failure(errSyntax, "while");
    p.NextToken();
    node->body = BlockOf(SentenceRange(p, true));
    return node;
}

std::unique_ptr<StmtNode> StatementReader::Repeat(Parser& p) {
    auto node = std::make_unique<RepeatStatement>();
    node->body = BlockOf(SentenceRange(p, false));
    if (p.Is(Kw::Until)) p.NextToken();
    node->condition = IntEntry(ExpressionRange(p, bwSemiColon));
    return node;
}

// The labels of a branch, each a value or a range, split as CaseSelector splits them.
CaseBranch StatementReader::Branch(TokenRange labels, TokenRange body) {
    CaseBranch branch;
    branch.body = BlockOf(body);
    const TokenStream& tokens = *k.programTokens;
    uint32_t i = labels.begin;
    while (i < labels.end) {
        const uint32_t begin = i;
        int depth = 0;
        do {
            if (tokens.tokens[i].op == Op::Open) ++depth;
            if (tokens.tokens[i].op == Op::Close) --depth;
            ++i;
        } while (i < labels.end && !(depth == 0 && tokens.View(i) == ","));
        const TokenRange item{begin, i};
        CaseLabel label;
        uint32_t range = item.end;
        bool literalRange = false;
        for (uint32_t t = item.begin; t < item.end && range == item.end; ++t) {
            if (tokens.View(t) == "..") range = t;
            if (tokens.tokens[t].kind == toString &&
                tokens.View(t).find("..") != std::string_view::npos)
                literalRange = true, range = t;
        }
        if (literalRange) {
            label.text = TextOf(tokens, item);
        } else if (range < item.end) {
            label.low = IntEntry(TokenRange{item.begin, range});
            label.high = std::make_unique<IntEntry>(IntEntry(TokenRange{range + 1, item.end}));
        } else {
            label.low = IntEntry(item);
        }
        Fix(label);
        branch.labels.push_back(std::move(label));
        ++i; // past the ","
    }
    branch.fixed = true;
    for (const CaseLabel& label : branch.labels) {
        branch.fixed = branch.fixed && label.fixed;
        branch.ranges.emplace_back(label.lowValue, label.highValue);
        branch.maxDepth = std::max(branch.maxDepth, label.maxDepth);
    }
    return branch;
}

// A label of literals alone names no table; its values are known now.
void StatementReader::Fix(CaseLabel& label) {
    if (!label.text.empty()) return;
    k.Compile(label.low);
    if (label.high) k.Compile(*label.high);
    const auto low = Build::ConstantOf(label.low.root);
    const auto high = label.high ? Build::ConstantOf(label.high->root) : low;
    if (!low || !high) return;
    label.fixed = true;
    label.lowValue = *low;
    label.highValue = *high;
    label.maxDepth = std::max(label.low.maxDepth, label.high ? label.high->maxDepth : 0);
}

std::unique_ptr<StmtNode> StatementReader::Case(Parser& p) {
    auto node = std::make_unique<CaseStatement>();
    p.NextToken();
    node->selector = IntEntry(ExpressionRange(p, bwOf));
    if (p.Token() == toEOF) return Failure(errOf, "case");
    p.NextToken();
    do {
        const TokenRange labels = ExpressionRange(p, bwColon);
        if (!p.Is(":")) {
            node->missingColon = true;
            return node;
        }
        p.NextToken();
        const TokenRange body = SentenceRange(p, true);
        node->branches.push_back(Branch(labels, body));
        if (p.Is(Kw::End)) p.NextToken();
        if (p.Is(";")) p.NextToken();
    } while (!p.Is(Kw::Else) && !p.Is(Kw::End) && p.Token() != toEOF);
    if (p.Is(Kw::Else)) {
        node->hasElse = true;
        node->elsePart = BlockOf(SentenceRange(p, false));
    }
    node->missingEnd = !p.Is(Kw::End);
    return node;
}

} // namespace

void Interpreter::Split(CompiledBlock& block) {
    std::vector<TokenRange> statements;
    SplitStatements(*programTokens, block.range, ";", statements);
    block.statements.clear();
    for (const TokenRange& range : statements)
        block.statements.push_back(StatementEntry(range));
    block.split = true;
}

void Interpreter::SplitLink(CompiledLink& link) {
    std::vector<TokenRange> statements;
    SplitStatements(*programTokens, link.text, ";", statements);
    link.first = statements.empty() ? TokenRange{} : statements.front();
    link.statement.range = link.first;
    link.split = true;
}

// A link whose IF names a routine or a variable is a statement like any other.
void Interpreter::DecideLink(CompiledLink& link) {
    const Parser p = ProgramParser(link.first, link.first.begin);
    link.isStatement = Lookup(BuiltinProc, Table::Procedure, p) ||
                       Lookup(BuiltinFunc, Table::Function, p) ||
                       Lookup(Variable, Table::Variable, p);
    if (!link.isStatement && !link.head) {
        Parser at = ProgramParser(link.first, link.first.begin);
        link.head = ReadIf(at);
    }
    link.epoch = Epoch();
}

void Interpreter::Compile(StatementEntry& statement) {
    statement.epoch = Epoch();
    statement.node = StatementReader(*this, statement.range).Statement();
}

template <class Entry, class Read> void CompileEntry(Interpreter& k, Entry& entry, Read read) {
    entry.epoch = k.Epoch();
    Build b{k, entry.range};
    TKSLParser p = k.ProgramParser(entry.range, entry.range.begin);
    entry.root = read(b, p);
    entry.maxDepth = b.maxDepth;
    entry.plain = !entry.root->mayDeopt;
}

void Interpreter::Compile(IntEntry& entry) {
    CompileEntry(*this, entry, [](Build& b, Parser& p) { return Builder::IntEntry(b, p); });
}

void Interpreter::Compile(RealEntry& entry) {
    CompileEntry(*this, entry,
                 [](Build& b, Parser& p) { return Builder::ProcessRealRelation(b, p); });
}

void Interpreter::Compile(StrEntry& entry) {
    CompileEntry(*this, entry, [](Build& b, Parser& p) { return Builder::StrEntry(b, p); });
}

} // namespace ksl
