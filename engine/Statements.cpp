// The statement executor: runs the text of a block statement by statement. BREAK, CONTINUE,
// EXIT and an abort travel through nested executions as flags.
#include "Cache.h"
#include "Errors.h"
#include "Evaluate.h"
#include "Extraction.h"
#include "Interpreter.h"
#include "KSLParser.h"
#include "Location.h"
#include "Nesting.h"
#include "platform/Messages.h"

namespace ksl {

void Interpreter::BSExecute(const std::string& S, int64_t start) {
    RunBlock(S, PrepareBlock(S).get(), start);
}

void Interpreter::RunBlock(const std::string& S, const StatementList* prepared, int64_t start) {
    const NestingGuard level(nestingDepth);
    // The host's Stop control gets its chance here, once per block and loop iteration.
    platform::ProcessMessages();
    BlockFrame frame{nullptr, start, &S, prepared, 0, nullptr, nullptr};
    const FrameScope scope(innermostFrame, frame);
    if (prepared) {
        for (const Statement& statement : *prepared) {
            if (BlockMustStop()) return;
            TKSLParser parser(*statement.tokens, 0);
            ExecuteLocated(parser, frame);
            ++frame.statement;
        }
        return;
    }
    std::vector<std::string> SL;
    ExtractDelimiter(";", S, SL);
    for (const std::string& statement : SL) {
        if (BlockMustStop()) return;
        TKSLParser parser(statement);
        ExecuteLocated(parser, frame);
        ++frame.statement;
    }
}

// The innermost statement that fails notes where it stands; the blocks around it pass it on.
void Interpreter::ExecuteLocated(Parser& parser, const BlockFrame& frame) {
    try {
        ExecuteStatement(parser);
    } catch (...) {
        NoteFailure(frame);
        throw;
    }
}

void Interpreter::ExecuteStatement(Parser& parser) {
    if (parser.Token() != toAnk) Fail(errSyntax, parser.TokenView());
    const bool P_Flg = ExecuteCall(parser);
    const bool V_Flg = ExecuteAssignment(parser);
    const bool S_Flg = ExecuteKeyword(parser);
    if (!P_Flg && !V_Flg && !S_Flg) Fail(errSyntax, parser.TokenView());
}

bool Interpreter::ExecuteCall(Parser& parser) {
    const std::string* name;
    if (TFuncStatus* proc = Lookup(BuiltinProc, Table::Procedure, parser, &name)) {
        parser.NextToken();
        ExecProc(parser, *name, *proc);
        return true;
    }
    if (TFuncStatus* func = Lookup(BuiltinFunc, Table::Function, parser, &name)) {
        parser.NextToken();
        switch (func->ResultType) {
        case rtReal:
            ExecRealFunc(parser, *name, *func);
            break;
        case rtString:
            ExecStrFunc(parser, *name, *func);
            break;
        default:
            ExecIntFunc(parser, *name, *func);
            break;
        }
        return true;
    }
    return false;
}

// The expression is the rest of the statement. Its tokens are those the statement's parser
// walks from here, so a second parser over the same stream reads it; the statement's parser
// stays on the expression's first token.
bool Interpreter::ExecuteAssignment(Parser& parser) {
    const std::string* found;
    TVarState* var = Lookup(Variable, Table::Variable, parser, &found);
    if (!var) return false;
    // A copy: host code run by the expression may add entries, which moves the stored names.
    const std::string storedName = var->Obj ? *found : std::string();
    if (var->Constant) Fail(errConstant, parser.TokenView());
    parser.NextToken();
    if (!parser.Is(":=")) Fail(errSyntax, parser.TokenView());
    parser.NextToken();
    TKSLParser expression = parser.Here();
    Evaluate a{*this};
    int32_t Err_CD = 0;
    switch (var->VarType) {
    case vtInteger: {
        var->ValInteger = Evaluator::Classified(a, expression);
        int64_t value = var->ValInteger;
        if (var->Obj && host.IntObjParam)
            host.IntObjParam(storedName, var->Index, omSet, Err_CD, value);
        break;
    }
    case vtReal: {
        var->ValReal = Evaluator::ProcessRealRelation(a, expression);
        double value = var->ValReal;
        if (var->Obj && host.RealObjParam)
            host.RealObjParam(storedName, var->Index, omSet, Err_CD, value);
        break;
    }
    case vtString: {
        std::string value = Evaluator::ProcessStrRelation(a, expression);
        CutAtNul(value);
        if (var->Obj && host.StrObjParam) {
            var->ValString = value;
            host.StrObjParam(storedName, var->Index, omSet, Err_CD, value);
        } else {
            var->ValString = std::move(value);
        }
        break;
    }
    default:
        Fail(errSyntax, parser.TokenView());
    }
    // A host that refuses the stored value says so the same way as when it is read.
    ReportHostError(Err_CD);
    return true;
}

bool Interpreter::ExecuteKeyword(Parser& parser) {
    if (parser.Is(Kw::Begin)) {
        const int64_t start = SentenceStart(parser, false);
        BSExecute(CutSentence(parser, false), start);
        if (parser.Is(Kw::End)) parser.NextToken();
        if (parser.Is(";")) parser.NextToken();
    } else if (parser.Is(Kw::Break)) {
        Break_Flg = true;
    } else if (parser.Is(Kw::Continue)) {
        Continue_Flg = true;
    } else if (parser.Is(Kw::Exit)) {
        Exit_Flg = true;
    } else if (parser.Is(Kw::If)) {
        ExecuteIf(parser);
    } else if (parser.Is(Kw::For)) {
        ExecuteFor(parser);
    } else if (parser.Is(Kw::While)) {
        ExecuteWhile(parser);
    } else if (parser.Is(Kw::Repeat)) {
        ExecuteRepeat(parser);
    } else if (parser.Is(Kw::Case)) {
        ExecuteCase(parser);
    } else {
        return false;
    }
    return true;
}

void Interpreter::ExecuteIf(Parser& parser) {
    if (std::optional<ChainLink> link = RunIf(parser)) RunElseIfChain(std::move(*link));
}

// The condition is evaluated after the THEN part has been cut out and before it runs; the ELSE
// part is cut out after the THEN part has run. An ELSE part that is itself an IF is not run here
// but handed back, so that a long ELSE IF chain runs as a loop rather than ever deeper.
std::optional<Interpreter::ChainLink> Interpreter::RunIf(Parser& parser) {
    parser.NextToken();
    const std::string ExpStr = CutExpression(parser, bwThen);
    if (parser.Is(Kw::Then)) parser.NextToken();
    if (parser.Token() == toEOF) Fail(errSyntax, "if");
    const int64_t thenStart = SentenceStart(parser, true);
    std::string StcStr = CutSentence(parser, true);
    if (parser.Is(Kw::End)) parser.NextToken();
    const bool ExpFlg = IEExecute(ExpStr) != 0;
    if (ExpFlg) BSExecute(StcStr, thenStart);
    std::optional<ChainLink> next;
    if (parser.Is(Kw::Else)) {
        parser.NextToken();
        const bool chained = parser.Is(Kw::If);
        const int64_t elseStart = SentenceStart(parser, true);
        StcStr = CutSentence(parser, true);
        if (!ExpFlg && chained)
            next = ChainLink{std::move(StcStr), elseStart};
        else if (!ExpFlg)
            BSExecute(StcStr, elseStart);
    }
    if (parser.Is(Kw::End)) parser.NextToken();
    if (parser.Is(";")) parser.NextToken();
    return next;
}

// Each link runs as the one-statement block it is: messages are processed and the flags checked
// before it, as for any block. The chain takes one level of nesting and one frame, whatever its
// length: a long ELSE IF chain is flat code, not deep nesting.
void Interpreter::RunElseIfChain(ChainLink link) {
    const NestingGuard level(nestingDepth);
    BlockFrame frame{nullptr, link.start, &link.text, nullptr, 0, nullptr, nullptr};
    const FrameScope scope(innermostFrame, frame);
    for (;;) {
        const auto prepared = PrepareBlock(link.text);
        frame.prepared = prepared.get();
        platform::ProcessMessages();
        if (BlockMustStop()) return;
        std::vector<std::string> SL;
        if (!prepared) ExtractDelimiter(";", link.text, SL);
        if (prepared ? prepared->empty() : SL.empty()) return;
        TKSLParser parser = prepared ? TKSLParser(*prepared->front().tokens, 0) : TKSLParser(SL[0]);
        std::optional<ChainLink> next;
        try {
            next = RunChainLink(parser);
        } catch (...) {
            NoteFailure(frame);
            throw;
        }
        if (!next) return;
        // The next link's start counts from this link's statement, which starts the frame.
        frame.start += next->start;
        link = std::move(*next);
    }
}

// A link is a statement that starts with IF. Only a routine or a variable named "if" makes it
// something else, and then it runs as any statement would.
std::optional<Interpreter::ChainLink> Interpreter::RunChainLink(Parser& parser) {
    if (Lookup(BuiltinProc, Table::Procedure, parser) ||
        Lookup(BuiltinFunc, Table::Function, parser) || Lookup(Variable, Table::Variable, parser)) {
        ExecuteStatement(parser);
        return std::nullopt;
    }
    return RunIf(parser);
}

// The counter runs over the low 32 bits of both bounds; the number of iterations is fixed before
// the first one, so changing the variable or the bound in the body changes nothing.
void Interpreter::ExecuteFor(Parser& parser) {
    parser.NextToken();
    TVarState* var = Lookup(Variable, Table::Variable, parser);
    if (!var || var->VarType != vtInteger || var->Constant) Fail(errSyntax, "for");
    const int64_t initStart = int64_t(parser.Index());
    std::string StcStr = CutExpression(parser, bwTo | bwDownTo);
    if (StcStr.find(":=") == std::string::npos || parser.Token() == toEOF) Fail(errSyntax, "for");
    const bool down = !parser.Is(Kw::To);
    parser.NextToken();
    BSExecute(StcStr, initStart);
    const int32_t start = int32_t(var->ValInteger);
    const std::string ExpStr = CutExpression(parser, bwDo);
    if (parser.Token() == toEOF) Fail(errSyntax, "for");
    parser.NextToken();
    const int32_t final = int32_t(IEExecute(ExpStr));
    const int64_t bodyStart = SentenceStart(parser, true);
    StcStr = CutSentence(parser, true);
    const auto body = PrepareBlock(StcStr);

    const int64_t span = down ? int64_t(start) - final : int64_t(final) - start;
    const int64_t step = down ? -1 : 1;
    int64_t counter = start;
    for (int64_t i = 0; i <= span; ++i, counter += step) {
        if (Abort_Flg) break;
        var->ValInteger = counter;
        Continue_Flg = false;
        RunBlock(StcStr, body.get(), bodyStart);
        if (LoopMustStop()) break;
    }
    Break_Flg = Continue_Flg = false;
}

void Interpreter::ExecuteWhile(Parser& parser) {
    parser.NextToken();
    const std::string ExpStr = CutExpression(parser, bwDo);
    if (parser.Token() == toEOF) Fail(errSyntax, "while");
    parser.NextToken();
    const int64_t bodyStart = SentenceStart(parser, true);
    const std::string StcStr = CutSentence(parser, true);
    const auto condition = PrepareExpression(ExpStr);
    const auto body = PrepareBlock(StcStr);
    while (!Abort_Flg && IEExecute(ExpStr, condition.get()) != 0) {
        Continue_Flg = false;
        RunBlock(StcStr, body.get(), bodyStart);
        if (LoopMustStop()) break;
    }
    Break_Flg = Continue_Flg = false;
}

void Interpreter::ExecuteRepeat(Parser& parser) {
    const int64_t bodyStart = SentenceStart(parser, false);
    const std::string StcStr = CutSentence(parser, false);
    if (parser.Is(Kw::Until)) parser.NextToken();
    const std::string ExpStr = CutExpression(parser, bwSemiColon);
    parser.NextToken();
    const auto condition = PrepareExpression(ExpStr);
    const auto body = PrepareBlock(StcStr);
    int64_t RetIE = 0;
    while (!Abort_Flg && RetIE == 0) {
        Continue_Flg = false;
        RunBlock(StcStr, body.get(), bodyStart);
        if (LoopMustStop()) break;
        RetIE = IEExecute(ExpStr, condition.get());
    }
    Break_Flg = Continue_Flg = false;
}

// Every branch whose labels match runs, in source order; ELSE runs only when none did.
void Interpreter::ExecuteCase(Parser& parser) {
    bool Match_Flg = false;
    parser.NextToken();
    std::string ExpStr = CutExpression(parser, bwOf);
    if (parser.Token() == toEOF) Fail(errOf, "case");
    parser.NextToken();
    const int64_t RetIE = IEExecute(ExpStr);
    do {
        ExpStr = CutExpression(parser, bwColon);
        if (!parser.Is(":")) Fail(errExpression, "case");
        parser.NextToken();
        const int64_t branchStart = SentenceStart(parser, true);
        const std::string StcStr = CutSentence(parser, true);
        if (CaseSelector(ExpStr, RetIE)) {
            BSExecute(StcStr, branchStart);
            Match_Flg = true;
        }
        if (parser.Is(Kw::End)) parser.NextToken();
        if (parser.Is(";")) parser.NextToken();
    } while (!parser.Is(Kw::Else) && !parser.Is(Kw::End) && parser.Token() != toEOF);
    if (parser.Is(Kw::Else)) {
        const int64_t elseStart = SentenceStart(parser, false);
        const std::string StcStr = CutSentence(parser, false);
        if (!Match_Flg) BSExecute(StcStr, elseStart);
    }
    if (!parser.Is(Kw::End)) Fail(errEnd, "case");
    parser.NextToken();
    if (parser.Is(";")) parser.NextToken();
}

bool Interpreter::CaseSelector(const std::string& S, int64_t Value) {
    TKSLParser parser = ParserFor(S);
    while (parser.Token() != toEOF) {
        std::string item;
        int depth = 0;
        do {
            if (parser.Is("("))
                ++depth;
            else if (parser.Is(")"))
                --depth;
            item += parser.TokenView();
            item += ' ';
            parser.NextToken();
        } while (parser.Token() != toEOF && !(depth == 0 && parser.Is(",")));
        int64_t low, high;
        if (size_t range = item.find(".."); range != std::string::npos) {
            low = IEExecute(item.substr(0, range));
            high = IEExecute(item.substr(range + 2));
        } else {
            low = high = IEExecute(item);
        }
        if (low <= Value && Value <= high) return true;
        parser.NextToken();
    }
    return false;
}

} // namespace ksl
