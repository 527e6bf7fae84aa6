// String expressions and the values of string literals.
#include "Cache.h"
#include "Conversions.h"
#include "Errors.h"
#include "Interpreter.h"
#include "KSLParser.h"
#include "Nesting.h"

namespace ksl {

namespace {

std::string Truth(bool b) {
    return b ? "-1" : "0";
}

void Check(TKSLParser& parser, Op op) {
    if (!AMatch(parser, op)) Fail(errRightBracket);
}

std::string Unquote(std::string_view quoted) {
    std::string value;
    if (quoted.size() >= 2)
        quoted = quoted.substr(1, quoted.size() - 2);
    else
        quoted = {};
    for (size_t i = 0; i < quoted.size(); ++i) {
        value += quoted[i];
        if (quoted[i] == '\'' && i + 1 < quoted.size() && quoted[i + 1] == '\'') ++i;
    }
    return value;
}

// "#65" or "#$41": at most three digits count, so #0065 is the character with code 6.
std::string CharacterCode(std::string_view text) {
    const bool hex = text.find("#$") != std::string_view::npos;
    std::string digits(text.substr(hex ? 2 : 1, 3));
    if (hex) digits = "0x" + digits;
    const auto code = TextToInt(digits);
    if (!code) Fail(errNotInteger, digits);
    return *code >= 0 && *code < 256 ? std::string(1, char(*code)) : std::string();
}

} // namespace

std::string FormatString(std::string_view Str) {
    if (Str.empty()) return {};
    if (Str.front() == '\'' && Str.back() == '\'') return Unquote(Str);
    if (Str.find('#') == std::string_view::npos) return std::string(Str);
    return CharacterCode(Str);
}

std::string Interpreter::SEExecute(const std::string& S, const TokenStream* prepared) {
    TKSLParser parser = ParserFor(S, prepared);
    std::string value;
    if (LoneStrOperand(parser, value)) return value;
    return ProcessStrRelation(parser);
}

// A literal or a String variable standing alone is read without the descent through every
// level; the nesting bound of the factor level still applies.
bool Interpreter::LoneStrOperand(Parser& parser, std::string& value) {
    if (!parser.IsLast()) return false;
    if (parser.Token() == toString) {
        CheckNesting(nestingDepth);
        value = StringLiteral(parser);
        return true;
    }
    if (parser.Token() != toAnk) return false;
    const std::string* stored;
    const TVarState* var = Lookup(Variable, Table::Variable, parser, &stored);
    if (!var || var->VarType != vtString) return false;
    CheckNesting(nestingDepth);
    ReadStrVariable(*stored, *var, value);
    return true;
}

// Byte-wise comparison; the result replaces the left operand as "-1" or "0".
std::string Interpreter::ProcessStrRelation(Parser& parser) {
    std::string value = ProcessStrExpression(parser);
    for (;;) {
        if (AMatch(parser, Op::Equal))
            value = Truth(value == ProcessStrExpression(parser));
        else if (AMatch(parser, Op::NotEqual))
            value = Truth(value != ProcessStrExpression(parser));
        else if (AMatch(parser, Op::Less))
            value = Truth(value < ProcessStrExpression(parser));
        else if (AMatch(parser, Op::LessEqual))
            value = Truth(value <= ProcessStrExpression(parser));
        else if (AMatch(parser, Op::Greater))
            value = Truth(value > ProcessStrExpression(parser));
        else if (AMatch(parser, Op::GreaterEqual))
            value = Truth(value >= ProcessStrExpression(parser));
        else
            return value;
    }
}

// A literal written right after an operand joins it without "+": 'Hello'#13#10.
std::string Interpreter::ProcessStrExpression(Parser& parser) {
    std::string value = ProcessStrFactor(parser);
    for (;;) {
        if (AMatch(parser, Op::Plus) || parser.Token() == toString)
            value += ProcessStrFactor(parser);
        else
            return value;
    }
}

std::string Interpreter::ProcessStrFactor(Parser& parser) {
    const NestingGuard level(nestingDepth);
    if (AMatch(parser, Op::Open)) {
        std::string value = ProcessStrRelation(parser);
        Check(parser, Op::Close);
        return value;
    }
    if (parser.Operator() == Op::Close) {
        parser.NextToken();
        Fail(errSyntax, parser.TokenView());
    }
    return ProcessString(parser);
}

std::string Interpreter::ProcessString(Parser& parser) {
    if (parser.Token() == toString) {
        std::string value = StringLiteral(parser);
        parser.NextToken();
        return value;
    }
    if (parser.Token() != toAnk) Fail(errSyntax, parser.TokenView());
    const std::string* stored;
    if (TVarState* var = Lookup(Variable, Table::Variable, parser, &stored)) {
        if (var->VarType != vtString) Fail(errVarType, parser.TokenView());
        parser.NextToken();
        std::string value;
        // Room for a concatenation that follows, so that it need not move the text once more.
        if (parser.Operator() == Op::Plus || parser.Token() == toString)
            value.reserve(2 * var->ValString.size());
        ReadStrVariable(*stored, *var, value);
        return value;
    }
    if (TFuncStatus* func = Lookup(BuiltinFunc, Table::Function, parser, &stored)) {
        if (func->ResultType != rtString) Fail(errResultType, parser.TokenView());
        parser.NextToken();
        return ExecStrFunc(parser, *stored, *func);
    }
    Fail(errNoDefine, parser.TokenView());
}

// The variable's text, or what the host's callback makes of it for an object variable.
void Interpreter::ReadStrVariable(const std::string& storedName, const TVarState& var,
                                  std::string& value) {
    value = var.ValString;
    if (var.Obj && host.StrObjParam) {
        // A copy: the host may add variables, which moves the names stored in the table.
        const std::string ObjName = storedName;
        int32_t Err_CD = 0;
        host.StrObjParam(ObjName, var.Index, omGet, Err_CD, value);
        ReportHostError(Err_CD);
    }
}

} // namespace ksl
