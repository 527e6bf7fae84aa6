// Real expressions. The arithmetic checks its own failures, so no floating-point trap ever decides
// what happens.
#include "Cache.h"
#include "Conversions.h"
#include "Errors.h"
#include "Interpreter.h"
#include "KSLParser.h"
#include "Nesting.h"

#include <cmath>

namespace ksl {

namespace {

double Truth(bool b) {
    return b ? -1.0 : 0.0;
}

double Checked(double result) {
    if (std::isnan(result)) Fail(errInvalidOp);
    if (std::isinf(result)) Fail(errOverflow);
    return result;
}

double Divide(double a, double b) {
    if (b == 0.0) Fail(a == 0.0 || std::isnan(a) ? errInvalidOp : errZeroDivideReal);
    return Checked(a / b);
}

// Comparing an invalid value is an invalid operation.
void CheckComparable(double a, double b) {
    if (std::isnan(a) || std::isnan(b)) Fail(errInvalidOp);
}

void Check(TKSLParser& parser, Op op) {
    if (!AMatch(parser, op)) Fail(errRightBracket);
}

} // namespace

double Interpreter::REExecute(const std::string& S, const TokenStream* prepared) {
    TKSLParser parser = ParserFor(S, prepared);
    return ProcessRealRelation(parser);
}

double Interpreter::ProcessRealRelation(Parser& parser) {
    double value = ProcessRealExpression(parser);
    for (;;) {
        int op;
        if (AMatch(parser, Op::Equal))
            op = 0;
        else if (AMatch(parser, Op::NotEqual))
            op = 1;
        else if (AMatch(parser, Op::Less))
            op = 2;
        else if (AMatch(parser, Op::LessEqual))
            op = 3;
        else if (AMatch(parser, Op::Greater))
            op = 4;
        else if (AMatch(parser, Op::GreaterEqual))
            op = 5;
        else
            return value;
        const double right = ProcessRealExpression(parser);
        CheckComparable(value, right);
        const bool results[] = {value == right, value != right,
                                value<right, value <= right, value> right, value >= right};
        value = Truth(results[op]);
    }
}

double Interpreter::ProcessRealExpression(Parser& parser) {
    double value = ProcessRealTerm(parser);
    for (;;) {
        if (AMatch(parser, Op::Plus))
            value = Checked(value + ProcessRealTerm(parser));
        else if (AMatch(parser, Op::Minus))
            value = Checked(value - ProcessRealTerm(parser));
        else
            return value;
    }
}

double Interpreter::ProcessRealTerm(Parser& parser) {
    double value = ProcessRealFactor(parser);
    for (;;) {
        if (AMatch(parser, Op::Times))
            value = Checked(value * ProcessRealFactor(parser));
        else if (AMatch(parser, Op::Slash))
            value = Divide(value, ProcessRealFactor(parser));
        else
            return value;
    }
}

double Interpreter::ProcessRealFactor(Parser& parser) {
    const NestingGuard level(nestingDepth);
    if (AMatch(parser, Op::Open)) {
        double value;
        switch (CheckType(parser)) {
        case ctInteger:
            value = double(ProcessRelation(parser));
            break;
        case ctString:
            value = ParenthesisedStringAsReal(parser);
            break;
        default:
            value = ProcessRealRelation(parser);
            break;
        }
        Check(parser, Op::Close);
        return value;
    }
    if (parser.Operator() == Op::Close) {
        parser.NextToken();
        Fail(errSyntax, parser.TokenView());
    }
    if (AMatch(parser, Op::Plus)) return ProcessRealTerm(parser);
    if (AMatch(parser, Op::Minus)) return -ProcessRealTerm(parser);
    return ProcessRealNumeric(parser);
}

// A string in parentheses that fails to evaluate or to convert counts as -1.0; the parser stays
// where the failure left it.
double Interpreter::ParenthesisedStringAsReal(Parser& parser) {
    try {
        return TextToFloat(ProcessStrRelation(parser)).value_or(-1.0);
    } catch (const EKestrelError&) {
        return -1.0;
    }
}

double Interpreter::ProcessRealNumeric(Parser& parser) {
    if (parser.Token() == toInteger || parser.Token() == toFloat) {
        const double value = TextToFloat(parser.TokenView()).value_or(0.0);
        parser.NextToken();
        return value;
    }
    if (parser.Token() != toAnk) Fail(errSyntax, parser.TokenView());
    const std::string* stored;
    if (TVarState* var = Lookup(Variable, Table::Variable, parser, &stored)) {
        if (var->VarType == vtString) Fail(errVarType, parser.TokenView());
        const double value = var->VarType == vtInteger ? double(ReadIntVariable(*stored, *var))
                                                       : ReadRealVariable(*stored, *var);
        parser.NextToken();
        return value;
    }
    if (TFuncStatus* func = Lookup(BuiltinFunc, Table::Function, parser, &stored)) {
        if (func->ResultType == rtString) Fail(errResultType, parser.TokenView());
        parser.NextToken();
        return func->ResultType == rtReal ? ExecRealFunc(parser, *stored, *func)
                                          : double(ExecIntFunc(parser, *stored, *func));
    }
    Fail(errNoDefine, parser.TokenView());
}

double Interpreter::ReadRealVariable(const std::string& storedName, const TVarState& var) {
    double value = var.ValReal;
    if (var.Obj && host.RealObjParam) {
        // A copy: the host may add variables, which moves the names stored in the table.
        const std::string ObjName = storedName;
        int32_t Err_CD = 0;
        host.RealObjParam(ObjName, var.Index, omGet, Err_CD, value);
        ReportHostError(Err_CD);
    }
    return value;
}

} // namespace ksl
