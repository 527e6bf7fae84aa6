// The statement executor: runs the text of a block statement by statement. BREAK, CONTINUE,
// EXIT and an abort travel through nested executions as flags.
#include "Errors.h"
#include "Extraction.h"
#include "KSLParser.h"
#include "Nesting.h"
#include "kestrel/Kestrel.h"
#include "platform/Messages.h"

namespace ksl {

void TKestrel::BSExecute(const std::string& S) {
    const NestingGuard level(Nesting_Depth);
    // The host's Stop control gets its chance here, once per block and loop iteration.
    platform::ProcessMessages();
    std::vector<std::string> SL;
    ExtractDelimiter(";", S, SL);
    for (const std::string& statement : SL) {
        if (Abort_Flg || Break_Flg || Continue_Flg || Exit_Flg) return;
        ExecuteStatement(statement);
    }
}

void TKestrel::ExecuteStatement(const std::string& statement) {
    TKSLParser parser(statement);
    if (parser.Token() != toAnk) Fail(errSyntax, parser.TokenView());
    const bool P_Flg = ExecuteCall(parser);
    const bool V_Flg = ExecuteAssignment(parser, statement);
    const bool S_Flg = ExecuteKeyword(parser);
    if (!P_Flg && !V_Flg && !S_Flg) Fail(errSyntax, parser.TokenView());
}

bool TKestrel::ExecuteCall(Parser& parser) {
    const std::string* name;
    if (TFuncStatus* proc = BuiltinProc.Find(parser.TokenView(), &name)) {
        parser.NextToken();
        ExecProc(parser, *name, *proc);
        return true;
    }
    if (TFuncStatus* func = BuiltinFunc.Find(parser.TokenView(), &name)) {
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

bool TKestrel::ExecuteAssignment(Parser& parser, const std::string& statement) {
    const std::string* found;
    TVarState* var = Variable.Find(parser.TokenView(), &found);
    if (!var) return false;
    // A copy: host code run by the expression may add entries, which moves the stored names.
    const std::string storedName = var->Obj ? *found : std::string();
    if (var->Constant) Fail(errConstant, parser.TokenView());
    parser.NextToken();
    if (!parser.Is(":=")) Fail(errSyntax, parser.TokenView());
    parser.NextToken();
    const std::string expression = statement.substr(size_t(parser.SourcePos()));
    int32_t Err_CD = 0;
    switch (var->VarType) {
    case vtInteger: {
        var->ValInteger = IEExecute(expression);
        int64_t value = var->ValInteger;
        if (var->Obj && IntObjParam) IntObjParam(storedName, var->Index, omSet, Err_CD, value);
        break;
    }
    case vtReal: {
        var->ValReal = REExecute(expression);
        double value = var->ValReal;
        if (var->Obj && RealObjParam) RealObjParam(storedName, var->Index, omSet, Err_CD, value);
        break;
    }
    case vtString: {
        std::string value = SEExecute(expression);
        var->ValString = value.substr(0, value.find('\0'));
        value = var->ValString;
        if (var->Obj && StrObjParam) StrObjParam(storedName, var->Index, omSet, Err_CD, value);
        break;
    }
    default:
        Fail(errSyntax, parser.TokenView());
    }
    // A host that refuses the stored value says so the same way as when it is read.
    ReportHostError(Err_CD);
    return true;
}

bool TKestrel::ExecuteKeyword(Parser& parser) {
    if (parser.IsSym("BEGIN")) {
        BSExecute(Get_Sentence(parser));
        if (parser.IsSym("END")) parser.NextToken();
        if (parser.Is(";")) parser.NextToken();
    } else if (parser.IsSym("BREAK")) {
        Break_Flg = true;
    } else if (parser.IsSym("CONTINUE")) {
        Continue_Flg = true;
    } else if (parser.IsSym("EXIT")) {
        Exit_Flg = true;
    } else if (parser.IsSym("IF")) {
        ExecuteIf(parser);
    } else if (parser.IsSym("FOR")) {
        ExecuteFor(parser);
    } else if (parser.IsSym("WHILE")) {
        ExecuteWhile(parser);
    } else if (parser.IsSym("REPEAT")) {
        ExecuteRepeat(parser);
    } else if (parser.IsSym("CASE")) {
        ExecuteCase(parser);
    } else {
        return false;
    }
    return true;
}

// The condition is evaluated after the THEN part has been cut out and before it runs; the ELSE
// part is cut out after the THEN part has run.
void TKestrel::ExecuteIf(Parser& parser) {
    parser.NextToken();
    const std::string ExpStr = Get_ExpString(parser, bwThen);
    if (parser.IsSym("THEN")) parser.NextToken();
    if (parser.Token() == toEOF) Fail(errSyntax, "if");
    std::string StcStr = Get_Sentence(parser, true);
    if (parser.IsSym("END")) parser.NextToken();
    const bool ExpFlg = IEExecute(ExpStr) != 0;
    if (ExpFlg) BSExecute(StcStr);
    if (parser.IsSym("ELSE")) {
        parser.NextToken();
        StcStr = Get_Sentence(parser, true);
        if (!ExpFlg) BSExecute(StcStr);
    }
    if (parser.IsSym("END")) parser.NextToken();
    if (parser.Is(";")) parser.NextToken();
}

// The counter runs over the low 32 bits of both bounds; the number of iterations is fixed before
// the first one, so changing the variable or the bound in the body changes nothing.
void TKestrel::ExecuteFor(Parser& parser) {
    parser.NextToken();
    TVarState* var = Variable.Find(parser.TokenView());
    if (!var || var->VarType != vtInteger || var->Constant) Fail(errSyntax, "for");
    std::string StcStr = Get_ExpString(parser, bwTo | bwDownTo);
    if (StcStr.find(":=") == std::string::npos || parser.Token() == toEOF) Fail(errSyntax, "for");
    const bool down = !parser.IsSym("TO");
    parser.NextToken();
    BSExecute(StcStr);
    const int32_t start = int32_t(var->ValInteger);
    const std::string ExpStr = Get_ExpString(parser, bwDo);
    if (parser.Token() == toEOF) Fail(errSyntax, "for");
    parser.NextToken();
    const int32_t final = int32_t(IEExecute(ExpStr));
    StcStr = Get_Sentence(parser, true);

    const int64_t span = down ? int64_t(start) - final : int64_t(final) - start;
    const int64_t step = down ? -1 : 1;
    int64_t counter = start;
    for (int64_t i = 0; i <= span; ++i, counter += step) {
        if (Abort_Flg) break;
        var->ValInteger = counter;
        Continue_Flg = false;
        BSExecute(StcStr);
        if (LoopMustStop()) break;
    }
    Break_Flg = Continue_Flg = false;
}

void TKestrel::ExecuteWhile(Parser& parser) {
    parser.NextToken();
    const std::string ExpStr = Get_ExpString(parser, bwDo);
    if (parser.Token() == toEOF) Fail(errSyntax, "while");
    parser.NextToken();
    const std::string StcStr = Get_Sentence(parser, true);
    while (!Abort_Flg && IEExecute(ExpStr) != 0) {
        Continue_Flg = false;
        BSExecute(StcStr);
        if (LoopMustStop()) break;
    }
    Break_Flg = Continue_Flg = false;
}

void TKestrel::ExecuteRepeat(Parser& parser) {
    const std::string StcStr = Get_Sentence(parser);
    if (parser.IsSym("UNTIL")) parser.NextToken();
    const std::string ExpStr = Get_ExpString(parser, bwSemiColon);
    parser.NextToken();
    int64_t RetIE = 0;
    while (!Abort_Flg && RetIE == 0) {
        Continue_Flg = false;
        BSExecute(StcStr);
        if (LoopMustStop()) break;
        RetIE = IEExecute(ExpStr);
    }
    Break_Flg = Continue_Flg = false;
}

// Every branch whose labels match runs, in source order; ELSE runs only when none did.
void TKestrel::ExecuteCase(Parser& parser) {
    bool Match_Flg = false;
    parser.NextToken();
    std::string ExpStr = Get_ExpString(parser, bwOf);
    if (parser.Token() == toEOF) Fail(errOf, "case");
    parser.NextToken();
    const int64_t RetIE = IEExecute(ExpStr);
    do {
        ExpStr = Get_ExpString(parser, bwColon);
        if (!parser.Is(":")) Fail(errExpression, "case");
        parser.NextToken();
        const std::string StcStr = Get_Sentence(parser, true);
        if (CaseSelector(ExpStr, RetIE)) {
            BSExecute(StcStr);
            Match_Flg = true;
        }
        if (parser.IsSym("END")) parser.NextToken();
        if (parser.Is(";")) parser.NextToken();
    } while (!parser.IsSym("ELSE") && !parser.IsSym("END") && parser.Token() != toEOF);
    if (parser.IsSym("ELSE")) {
        const std::string StcStr = Get_Sentence(parser);
        if (!Match_Flg) BSExecute(StcStr);
    }
    if (!parser.IsSym("END")) Fail(errEnd, "case");
    parser.NextToken();
    if (parser.Is(";")) parser.NextToken();
}

bool TKestrel::CaseSelector(const std::string& S, int64_t Value) {
    TKSLParser parser(S);
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
