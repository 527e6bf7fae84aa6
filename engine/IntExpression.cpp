// Integer (and boolean) expressions, by recursive descent straight from the tokens. The first
// token of an expression decides its type.
#include "Cache.h"
#include "Conversions.h"
#include "Errors.h"
#include "Interpreter.h"
#include "KSLParser.h"
#include "Nesting.h"

namespace ksl {

namespace {

int64_t Truth(bool b) {
    return b ? -1 : 0;
}

// Arithmetic wraps modulo 2^64; doing it unsigned keeps that defined.
int64_t Add(int64_t a, int64_t b) {
    return int64_t(uint64_t(a) + uint64_t(b));
}
int64_t Subtract(int64_t a, int64_t b) {
    return int64_t(uint64_t(a) - uint64_t(b));
}
int64_t Multiply(int64_t a, int64_t b) {
    return int64_t(uint64_t(a) * uint64_t(b));
}
int64_t Negate(int64_t a) {
    return int64_t(0 - uint64_t(a));
}

int64_t Divide(int64_t a, int64_t b) {
    if (b == 0) Fail(errZeroDivide);
    return b == -1 ? Negate(a) : a / b;
}

int64_t Modulo(int64_t a, int64_t b) {
    if (b == 0) Fail(errZeroDivide);
    return b == -1 ? 0 : a % b;
}

// The count is the low byte of the right operand read as signed: 0 to 63 shift, 64 to 127 clear
// everything, a negative byte shifts by its low five bits.
int ShiftCount(int64_t operand, bool& clears) {
    const int8_t count = int8_t(uint8_t(operand));
    clears = count >= 64;
    return count < 0 ? count & 31 : count;
}

int64_t ShiftLeft(int64_t a, int64_t b) {
    bool clears;
    const int count = ShiftCount(b, clears);
    return clears ? 0 : int64_t(uint64_t(a) << count);
}

int64_t ShiftRight(int64_t a, int64_t b) {
    bool clears;
    const int count = ShiftCount(b, clears);
    return clears ? 0 : int64_t(uint64_t(a) >> count);
}

void Check(TKSLParser& parser, Op op) {
    if (!AMatch(parser, op)) Fail(errRightBracket);
}

// A string in integer context converts; a text that is no number counts as -1 (true).
int64_t StringAsInteger(const std::string& s) {
    return TextToInt(s).value_or(-1);
}

} // namespace

int64_t Interpreter::IEExecute(const std::string& S, const TokenStream* prepared) {
    TKSLParser parser = ParserFor(S, prepared);
    int64_t value;
    if (LoneIntOperand(parser, value)) return value;
    return EvaluateClassified(parser);
}

// A literal or an Integer variable standing alone, as arguments often do, is read without the
// descent through every level; the nesting bound of the factor level still applies.
bool Interpreter::LoneIntOperand(Parser& parser, int64_t& value) {
    if (!parser.IsLast()) return false;
    if (parser.Token() == toInteger) {
        CheckNesting(nestingDepth);
        value = IntegerLiteral(parser);
        return true;
    }
    if (parser.Token() != toAnk) return false;
    const std::string* stored;
    const TVarState* var = Lookup(Variable, Table::Variable, parser, &stored);
    if (!var || var->VarType != vtInteger) return false;
    CheckNesting(nestingDepth);
    value = ReadIntVariable(*stored, *var);
    return true;
}

int64_t Interpreter::EvaluateClassified(Parser& parser) {
    switch (CheckType(parser)) {
    case ctReal:
        return TruncateToInt64(ProcessRealRelation(parser));
    case ctString:
        return StringAsInteger(ProcessStrRelation(parser));
    default:
        return ProcessRelation(parser);
    }
}

int Interpreter::CheckType(const Parser& XParser) const {
    switch (XParser.Token()) {
    case toString:
        return ctString;
    case toInteger:
        return ctInteger;
    case toFloat:
        return ctReal;
    case toAnk:
        break;
    default:
        return ctUnKnown;
    }
    if (const TVarState* var = Lookup(Variable, Table::Variable, XParser)) return var->VarType;
    if (const TFuncStatus* func = Lookup(BuiltinFunc, Table::Function, XParser))
        return func->ResultType == rtLongInt ? ctUnKnown : func->ResultType;
    return ctUnKnown;
}

int64_t Interpreter::ProcessRelation(Parser& parser) {
    int64_t value = ProcessIntExpression(parser);
    for (;;) {
        if (AMatch(parser, Op::Equal))
            value = Truth(value == ProcessIntExpression(parser));
        else if (AMatch(parser, Op::NotEqual))
            value = Truth(value != ProcessIntExpression(parser));
        else if (AMatch(parser, Op::Less))
            value = Truth(value < ProcessIntExpression(parser));
        else if (AMatch(parser, Op::LessEqual))
            value = Truth(value <= ProcessIntExpression(parser));
        else if (AMatch(parser, Op::Greater))
            value = Truth(value > ProcessIntExpression(parser));
        else if (AMatch(parser, Op::GreaterEqual))
            value = Truth(value >= ProcessIntExpression(parser));
        else
            return value;
    }
}

int64_t Interpreter::ProcessIntExpression(Parser& parser) {
    int64_t value = ProcessTerm(parser);
    for (;;) {
        if (AMatch(parser, Op::Plus))
            value = Add(value, ProcessTerm(parser));
        else if (AMatch(parser, Op::Minus))
            value = Subtract(value, ProcessTerm(parser));
        else if (AMatch(parser, Op::Or))
            value |= ProcessTerm(parser);
        else if (AMatch(parser, Op::Xor))
            value ^= ProcessTerm(parser);
        else
            return value;
    }
}

int64_t Interpreter::ProcessTerm(Parser& parser) {
    int64_t value = AMatch(parser, Op::Not) ? ~ProcessFactor(parser) : ProcessFactor(parser);
    for (;;) {
        if (AMatch(parser, Op::Times))
            value = Multiply(value, ProcessFactor(parser));
        else if (AMatch(parser, Op::Div))
            value = Divide(value, ProcessFactor(parser));
        else if (AMatch(parser, Op::Mod))
            value = Modulo(value, ProcessFactor(parser));
        else if (AMatch(parser, Op::And))
            value &= ProcessFactor(parser);
        else if (AMatch(parser, Op::Shl))
            value = ShiftLeft(value, ProcessFactor(parser));
        else if (AMatch(parser, Op::Shr))
            value = ShiftRight(value, ProcessFactor(parser));
        else
            return value;
    }
}

// A unary sign takes the whole rest of its term: -a * b is -(a * b).
int64_t Interpreter::ProcessFactor(Parser& parser) {
    const NestingGuard level(nestingDepth);
    if (AMatch(parser, Op::Open)) {
        const int64_t value = EvaluateClassified(parser);
        Check(parser, Op::Close);
        return value;
    }
    if (parser.Operator() == Op::Close) {
        parser.NextToken();
        Fail(errSyntax, parser.TokenView());
    }
    if (AMatch(parser, Op::Plus)) return ProcessTerm(parser);
    if (AMatch(parser, Op::Minus)) return Negate(ProcessTerm(parser));
    return ProcessNumeric(parser);
}

int64_t Interpreter::ProcessNumeric(Parser& parser) {
    if (parser.Token() == toInteger) {
        const int64_t value = IntegerLiteral(parser);
        parser.NextToken();
        return value;
    }
    if (parser.Token() != toAnk) Fail(errSyntax, parser.TokenView());
    const std::string* stored;
    if (TVarState* var = Lookup(Variable, Table::Variable, parser, &stored)) {
        if (var->VarType != vtInteger) Fail(errVarType, parser.TokenView());
        const int64_t value = ReadIntVariable(*stored, *var);
        parser.NextToken();
        return value;
    }
    if (TFuncStatus* func = Lookup(BuiltinFunc, Table::Function, parser, &stored)) {
        if (func->ResultType != rtInteger && func->ResultType != rtLongInt)
            Fail(errResultType, parser.TokenView());
        parser.NextToken();
        return ExecIntFunc(parser, *stored, *func);
    }
    Fail(errNoDefine, parser.TokenView());
}

int64_t Interpreter::ReadIntVariable(const std::string& storedName, const TVarState& var) {
    int64_t value = var.ValInteger;
    if (var.Obj && host.IntObjParam) {
        // A copy: the host may add variables, which moves the names stored in the table.
        const std::string ObjName = storedName;
        int32_t Err_CD = 0;
        host.IntObjParam(ObjName, var.Index, omGet, Err_CD, value);
        ReportHostError(Err_CD);
    }
    return value;
}

} // namespace ksl
