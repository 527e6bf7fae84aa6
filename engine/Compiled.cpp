// Running the compiled form. Each step mirrors the text interpreter's (Statements.cpp): messages
// are processed and the nesting counted once per block and loop pass, the flags checked before
// each statement and loop pass, and a failure located at the statement that was running.
#include "CompiledNodes.h"
#include "Evaluate.h"
#include "Extraction.h"
#include "Location.h"
#include "Nesting.h"
#include "Text.h"
#include "platform/Messages.h"

#include <algorithm>

namespace ksl {

namespace {

// Makes `epoch` the one the running code was translated at, for as long as it lives.
class EpochScope {
public:
    EpochScope(uint64_t& active, uint64_t epoch) : active(active), outer(active) { active = epoch; }
    ~EpochScope() { active = outer; }
    EpochScope(const EpochScope&) = delete;
    EpochScope& operator=(const EpochScope&) = delete;

private:
    uint64_t& active;
    uint64_t outer;
};

// Counts `levels` more levels of nesting for as long as it lives: the factors the compiled form
// stands inside when the text interpreter takes over.
class DepthShift {
public:
    DepthShift(int& depth, int levels) : depth(depth), levels(levels) { depth += levels; }
    ~DepthShift() { depth -= levels; }
    DepthShift(const DepthShift&) = delete;
    DepthShift& operator=(const DepthShift&) = delete;

private:
    int& depth;
    int levels;
};

// A string literal that runs to the end of the program: cutting such a text again appends
// blanks to the literal, which the text interpreter does and the compiled form does not.
bool EndsInOpenLiteral(const TokenStream& tokens) {
    if (tokens.tokens.size() < 2) return false;
    const size_t last = tokens.tokens.size() - 2;
    const std::string_view text = tokens.View(last);
    if (tokens.tokens[last].kind != toString || text.empty() || text[0] != '\'') return false;
    for (size_t i = 1; i < text.size(); ++i) {
        if (text[i] != '\'') continue;
        if (i + 1 < text.size() && text[i + 1] == '\'') {
            ++i;
            continue;
        }
        return false;
    }
    return true;
}

} // namespace

TKSLParser Interpreter::ProgramParser(TokenRange range, size_t at) const {
    return TKSLParser(*programTokens, range, at);
}

std::shared_ptr<const TokenStream> Interpreter::ProgramTokens(const std::string& program) {
    if (!FUseCache || !FUseCompiler) return Tokenize(program);
    if (!compiledProgram || compiledProgram->tokens->text != program) {
        compiledProgram = std::make_unique<CompiledProgram>();
        compiledProgram->tokens = Tokenize(program);
    }
    return compiledProgram->tokens;
}

void Interpreter::RunMainBlock(const std::string& text, int64_t start, TokenRange range) {
    if (!FUseCache || !FUseCompiler || !compiledProgram ||
        EndsInOpenLiteral(*compiledProgram->tokens)) {
        BSExecute(text, start);
        return;
    }
    programTokens = compiledProgram->tokens.get();
    CompiledBlock& main = compiledProgram->main;
    if (main.range.begin != range.begin || main.range.end != range.end || !main.split) {
        main = CompiledBlock{};
        main.range = range;
    }
    RunCompiledBlock(main);
}

void Interpreter::RunCompiledBlock(CompiledBlock& block) {
    CheckNesting(nestingDepth);
    const DepthCount level(nestingDepth);
    // The host's Stop control gets its chance here, once per block and loop iteration.
    platform::ProcessMessages();
    if (!block.split) Split(block);
    BlockFrame frame = CompiledFrame(programTokens);
    const FrameScope scope(innermostFrame, frame);
    for (StatementEntry& statement : block.statements) {
        if (BlockMustStop()) return;
        frame.running = &statement.range;
        try {
            RunStatement(statement);
        } catch (...) {
            NoteFailure(frame);
            throw;
        }
    }
}

// The links of an ELSE IF chain run one after another, as one level of nesting and one block.
void Interpreter::RunCompiledChain(CompiledLink& first) {
    const NestingGuard level(nestingDepth);
    BlockFrame frame = CompiledFrame(programTokens);
    const FrameScope scope(innermostFrame, frame);
    for (CompiledLink* link = &first; link;) {
        platform::ProcessMessages();
        if (BlockMustStop()) return;
        if (!link->split) SplitLink(*link);
        if (link->first.Size() == 0) return;
        frame.running = &link->first;
        try {
            if (link->epoch != Epoch()) DecideLink(*link);
            if (link->isStatement) {
                RunStatement(link->statement);
                return;
            }
            link = RunIfHead(*link->head);
        } catch (...) {
            NoteFailure(frame);
            throw;
        }
    }
}

// No statement looks at the epoch after a block inside it has run, so it is not put back.
void Interpreter::RunStatement(StatementEntry& statement) {
    if (statement.epoch != Epoch()) Compile(statement);
    activeEpoch = statement.epoch;
    statement.node->Exec(*this);
}

// What follows a call is read anew when the call has changed the tables.
void Interpreter::RunCallStatement(CallStatement& statement) {
    switch (statement.kind) {
    case CallStatement::Kind::Procedure:
        CallProc(statement.site);
        break;
    case CallStatement::Kind::Int:
        CallInt(statement.site);
        break;
    case CallStatement::Kind::Real:
        CallReal(statement.site);
        break;
    case CallStatement::Kind::Str:
        CallStr(statement.site);
        break;
    }
    deopt = false;
    if (Epoch() != activeEpoch) {
        Parser parser = ProgramParser(statement.statement, statement.afterCall);
        ExecuteAssignment(parser);
        ExecuteKeyword(parser);
        return;
    }
    if (statement.rest) statement.rest->Exec(*this);
}

namespace {

// An assigned expression, by the text interpreter when it stands too deep for the compiled form
// to follow the nesting limit.
template <class Node, class Text>
typename Node::Value Assigned(Interpreter& k, const AssignStatement& statement, const Node& value,
                              Text text) {
    if (k.nestingDepth + statement.maxDepth >= MaxNesting) {
        TKSLParser parser = k.ProgramParser(statement.statement, statement.expressionStart);
        Evaluate a{k};
        return text(a, parser);
    }
    k.deopt = false;
    typename Node::Value result = value.Eval(k);
    k.deopt = false;
    return result;
}

// s := s + a + b: a and b are evaluated, and checked against the cap, one after another as the
// concatenation would; then they join the variable's own text, which grows in place.
} // namespace

void Interpreter::AppendInPlace(const AssignStatement& statement) {
    Interpreter& k = *this;
    std::string& target = statement.var->ValString;
    std::vector<std::string> parts;
    parts.reserve(statement.appended.size());
    size_t size = target.size();
    for (const StrNode* node : statement.appended) {
        parts.push_back(node->Eval(k));
        if (parts.back().size() > k.FMaxStringLength ||
            size > k.FMaxStringLength - parts.back().size())
            Fail(errStringTooLong);
        size += parts.back().size();
    }
    for (const std::string& part : parts) {
        const size_t nul = part.find('\0');
        target.append(part, 0, nul);
        if (nul != std::string::npos) return;
    }
}

void Interpreter::RunAssignment(AssignStatement& statement) {
    TVarState& var = *statement.var;
    int32_t Err_CD = 0;
    if (statement.intValue) {
        var.ValInteger =
            Assigned(*this, statement, *statement.intValue,
                     [](Evaluate& a, Parser& p) { return Evaluator::Classified(a, p); });
        int64_t value = var.ValInteger;
        if (var.Obj && host.IntObjParam)
            host.IntObjParam(statement.objName, var.Index, omSet, Err_CD, value);
    } else if (statement.realValue) {
        var.ValReal = Assigned(*this, statement, *statement.realValue, [](Evaluate& a, Parser& p) {
            return Evaluator::ProcessRealRelation(a, p);
        });
        double value = var.ValReal;
        if (var.Obj && host.RealObjParam)
            host.RealObjParam(statement.objName, var.Index, omSet, Err_CD, value);
    } else if (!statement.appended.empty() && nestingDepth + statement.maxDepth < MaxNesting) {
        AppendInPlace(statement);
    } else {
        std::string value =
            Assigned(*this, statement, *statement.strValue,
                     [](Evaluate& a, Parser& p) { return Evaluator::ProcessStrRelation(a, p); });
        CutAtNul(value);
        if (var.Obj && host.StrObjParam) {
            var.ValString = value;
            host.StrObjParam(statement.objName, var.Index, omSet, Err_CD, value);
        } else {
            var.ValString = std::move(value);
        }
    }
    // A host that refuses the stored value says so the same way as when it is read.
    ReportHostError(Err_CD);
    if (!statement.keyword) return;
    if (Epoch() != activeEpoch) {
        Parser parser = ProgramParser(statement.statement, statement.expressionStart);
        ExecuteKeyword(parser);
        return;
    }
    statement.keyword->Exec(*this);
}

// The condition is evaluated before the THEN part runs; an ELSE part that is an IF is handed
// back, to run as the next link of a chain.
CompiledLink* Interpreter::RunIfHead(IfStatement& statement) {
    if (statement.missingThenPart) Fail(errSyntax, "if");
    const bool condition = EvalInt(statement.condition) != 0;
    if (condition) RunCompiledBlock(statement.thenPart);
    if (condition) return nullptr;
    if (statement.elseKind == IfStatement::Else::Block) RunCompiledBlock(statement.elsePart);
    if (statement.elseKind == IfStatement::Else::Chain) return statement.next.get();
    return nullptr;
}

// The counter runs over the low 32 bits of both bounds; the number of iterations is fixed before
// the first one.
void Interpreter::RunFor(ForStatement& statement) {
    RunCompiledBlock(statement.initial);
    const int32_t start = int32_t(statement.var->ValInteger);
    if (statement.missingDo) Fail(errSyntax, "for");
    const int32_t final = int32_t(EvalInt(statement.final));
    const int64_t span = statement.down ? int64_t(start) - final : int64_t(final) - start;
    const int64_t step = statement.down ? -1 : 1;
    int64_t counter = start;
    for (int64_t i = 0; i <= span; ++i, counter += step) {
        if (Abort_Flg) break;
        statement.var->ValInteger = counter;
        Continue_Flg = false;
        RunCompiledBlock(statement.body);
        if (LoopMustStop()) break;
    }
    Break_Flg = Continue_Flg = false;
}

void Interpreter::RunWhile(WhileStatement& statement) {
    while (!Abort_Flg && EvalInt(statement.condition) != 0) {
        Continue_Flg = false;
        RunCompiledBlock(statement.body);
        if (LoopMustStop()) break;
    }
    Break_Flg = Continue_Flg = false;
}

void Interpreter::RunRepeat(RepeatStatement& statement) {
    int64_t RetIE = 0;
    while (!Abort_Flg && RetIE == 0) {
        Continue_Flg = false;
        RunCompiledBlock(statement.body);
        if (LoopMustStop()) break;
        RetIE = EvalInt(statement.condition);
    }
    Break_Flg = Continue_Flg = false;
}

// Every branch whose labels match runs, in source order; ELSE runs only when none did.
void Interpreter::RunCase(CaseStatement& statement) {
    const int64_t value = EvalInt(statement.selector);
    bool matched = false;
    for (CaseBranch& branch : statement.branches) {
        if (!Matches(branch, value)) continue;
        RunCompiledBlock(branch.body);
        matched = true;
    }
    if (statement.missingColon) Fail(errExpression, "case");
    if (statement.hasElse && !matched) RunCompiledBlock(statement.elsePart);
    if (statement.missingEnd) Fail(errEnd, "case");
}

bool Interpreter::Matches(CaseBranch& branch, int64_t value) {
    if (!branch.fixed || nestingDepth + branch.maxDepth >= MaxNesting)
        return CaseMatches(branch.labels, value);
    for (const auto& [low, high] : branch.ranges)
        if (low <= value && value <= high) return true;
    return false;
}

bool Interpreter::CaseMatches(std::vector<CaseLabel>& labels, int64_t value) {
    for (CaseLabel& label : labels) {
        int64_t low, high;
        if (label.fixed && nestingDepth + label.maxDepth < MaxNesting) {
            low = label.lowValue;
            high = label.highValue;
        } else if (!label.text.empty()) {
            const size_t range = label.text.find("..");
            low = IEExecute(label.text.substr(0, range));
            high = IEExecute(label.text.substr(range + 2));
        } else {
            low = EvalInt(label.low);
            high = label.high ? EvalInt(*label.high) : low;
        }
        if (low <= value && value <= high) return true;
    }
    return false;
}

namespace {

// An entry: translated again when the tables have changed, read by the text interpreter when
// it stands too deep for the compiled form to follow the nesting limit.
template <class Entry, class Text>
auto EvalEntry(Interpreter& k, Entry& entry, Text text) -> decltype(entry.root->Eval(k)) {
    if (entry.epoch != k.Epoch()) k.Compile(entry);
    if (k.nestingDepth + entry.maxDepth >= MaxNesting) {
        TKSLParser parser = k.ProgramParser(entry.range, entry.range.begin);
        Evaluate a{k};
        return text(a, parser);
    }
    if (!entry.root->mayDeopt) return entry.root->Eval(k);
    const EpochScope scope(k.activeEpoch, entry.epoch);
    k.deopt = false;
    auto value = entry.root->Eval(k);
    k.deopt = false;
    return value;
}

} // namespace

int64_t Interpreter::EvalIntInFull(IntEntry& entry) {
    return EvalEntry(*this, entry,
                     [](Evaluate& a, Parser& p) { return Evaluator::IntEntry(a, p); });
}

double Interpreter::EvalRealInFull(RealEntry& entry) {
    return EvalEntry(*this, entry,
                     [](Evaluate& a, Parser& p) { return Evaluator::ProcessRealRelation(a, p); });
}

std::string Interpreter::EvalStrInFull(StrEntry& entry) {
    return EvalEntry(*this, entry,
                     [](Evaluate& a, Parser& p) { return Evaluator::StrEntry(a, p); });
}

namespace {

// One argument: evaluated by its node, or by the text interpreter when something before it in
// the call has changed the tables.
template <class Node, class Text>
auto Argument(Interpreter& k, const CallSite& site, const CallArgument& argument, const Node& node,
              bool byText, Text text) -> decltype(node.Eval(k)) {
    if (byText) {
        const DepthShift shift(k.nestingDepth, site.depth);
        TKSLParser parser = k.ProgramParser(argument.range, argument.range.begin);
        Evaluate a{k};
        return text(a, parser);
    }
    auto value = node.Eval(k);
    k.deopt = false; // what the argument left unread is no one's
    return value;
}

} // namespace

void Interpreter::EvaluateArguments(CallSite& site) {
    bool byText = false;
    for (CallArgument& argument : site.arguments) {
        // Nested calls push theirs beyond this slot and may move the stack: it is found by index.
        const size_t slot = pendingArguments.size();
        pendingArguments.emplace_back().ArgType = argument.type;
        if (argument.type == atReal) {
            const double value = Argument(
                *this, site, argument, *argument.realNode, byText,
                [](Evaluate& a, Parser& p) { return Evaluator::ProcessRealRelation(a, p); });
            pendingArguments[slot].ArgReal = value;
        } else if (argument.type == atString) {
            std::string value =
                Argument(*this, site, argument, *argument.strNode, byText,
                         [](Evaluate& a, Parser& p) { return Evaluator::StrEntry(a, p); });
            CutAtNul(value);
            pendingArguments[slot].ArgString = std::move(value);
        } else {
            const int64_t value =
                Argument(*this, site, argument, *argument.intNode, byText,
                         [](Evaluate& a, Parser& p) { return Evaluator::IntEntry(a, p); });
            pendingArguments[slot].ArgInteger = value;
        }
        if (argument.mayDeopt && Epoch() != activeEpoch) byText = true;
    }
}

namespace {

template <class Dispatch>
auto CallSiteWith(Interpreter& k, CallSite& site, Dispatch dispatch)
    -> decltype(dispatch(std::declval<TArgument*>())) {
    if (!site.openFailure.empty()) throw EKestrelError(site.openFailure);
    const PopArgumentsAtEnd pop(k.pendingArguments);
    k.EvaluateArguments(site);
    auto result = dispatch(k.pendingArguments.data() + pop.Base());
    if (!site.closeFailure.empty()) throw EKestrelError(site.closeFailure);
    if (site.mayDeopt) k.AfterOpaque(site.end);
    return result;
}

} // namespace

int64_t Interpreter::CallInt(CallSite& site) {
    return CallSiteWith(*this, site, [&](TArgument* args) {
        return DispatchInt(site.name, *site.routine, args, site.failToken);
    });
}

double Interpreter::CallReal(CallSite& site) {
    return CallSiteWith(*this, site, [&](TArgument* args) {
        return DispatchReal(site.name, *site.routine, args, site.failToken);
    });
}

std::string Interpreter::CallStr(CallSite& site) {
    return CallSiteWith(*this, site, [&](TArgument* args) {
        return DispatchStr(site.name, *site.routine, args, site.failToken);
    });
}

void Interpreter::CallProc(CallSite& site) {
    CallSiteWith(*this, site, [&](TArgument* args) {
        DispatchProc(site.name, *site.routine, args, site.failToken);
        return 0;
    });
}

void Interpreter::AfterOpaque(uint32_t end) {
    if (Epoch() == activeEpoch) return;
    deopt = true;
    deoptAt = end;
}

namespace {

// The rest of a level, read by the text interpreter from where the compiled form stood.
template <class Value, class Tail>
Value ContinueLevel(Interpreter& k, Value value, const Continuation& at, Tail tail) {
    const DepthShift shift(k.nestingDepth, at.depth);
    TKSLParser parser = k.ProgramParser(at.range, k.deoptAt);
    Evaluate a{k};
    value = tail(a, parser, std::move(value));
    k.deoptAt = uint32_t(parser.Position());
    return value;
}

} // namespace

int64_t Interpreter::Continue(Level level, int64_t value, const Continuation& at) {
    return ContinueLevel(*this, value, at, [level](Evaluate& a, Parser& p, int64_t v) {
        switch (level) {
        case Level::Relation:
            return Evaluator::ContinueRelation(a, p, v);
        case Level::Expression:
            return Evaluator::ContinueIntExpression(a, p, v);
        default:
            return Evaluator::ContinueTerm(a, p, v);
        }
    });
}

double Interpreter::Continue(Level level, double value, const Continuation& at) {
    return ContinueLevel(*this, value, at, [level](Evaluate& a, Parser& p, double v) {
        switch (level) {
        case Level::Relation:
            return Evaluator::ContinueRealRelation(a, p, v);
        case Level::Expression:
            return Evaluator::ContinueRealExpression(a, p, v);
        default:
            return Evaluator::ContinueRealTerm(a, p, v);
        }
    });
}

std::string Interpreter::Continue(Level level, std::string value, const Continuation& at) {
    return ContinueLevel(*this, std::move(value), at,
                         [level](Evaluate& a, Parser& p, std::string v) {
                             if (level == Level::Relation)
                                 return Evaluator::ContinueStrRelation(a, p, std::move(v));
                             return Evaluator::ContinueStrExpression(a, p, std::move(v));
                         });
}

void Interpreter::CloseAfterDeopt(const Continuation& at) {
    TKSLParser parser = ProgramParser(at.range, deoptAt);
    if (!AMatch(parser, Op::Close)) Fail(errRightBracket);
    deoptAt = uint32_t(parser.Position());
}

double Interpreter::ParenthesisedStringText(uint32_t start, uint32_t end, const Continuation& at) {
    const DepthShift shift(nestingDepth, at.depth);
    TKSLParser parser = ProgramParser(at.range, start);
    Evaluate a{*this};
    const double value = a.ParenthesisedString(parser);
    if (parser.Position() != end || Epoch() != activeEpoch) {
        deopt = true;
        deoptAt = uint32_t(parser.Position());
    }
    return value;
}

} // namespace ksl
