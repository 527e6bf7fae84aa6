// Routines declared by prototype, and routines of external shared libraries.
#include "Conversions.h"
#include "Errors.h"
#include "Interpreter.h"
#include "KSLParser.h"
#include "Text.h"

#include <algorithm>

namespace ksl {

namespace {

// INTEGER, REAL or STRING as the kind code shared by parameters and results; -1 otherwise.
int TypeCode(const TKSLParser& parser) {
    if (parser.Is(Kw::Integer)) return atInteger;
    if (parser.Is(Kw::Real)) return atReal;
    if (parser.Is(Kw::String)) return atString;
    return -1;
}

bool Holds(const TArgumentList& list, std::string_view name) {
    for (const TNamedArgument& a : list)
        if (SameText(a.Name, name)) return true;
    return false;
}

std::string ReadParameterName(TKSLParser& parser, const TArgumentList& earlierGroups) {
    if (parser.Token() != toAnk) Fail(errSyntax, parser.TokenView());
    std::string name = parser.TokenString();
    if (Holds(earlierGroups, name)) Fail(errDupDmyArg, name);
    parser.NextToken();
    return name;
}

int32_t IndexClause(TKSLParser& parser) {
    if (!parser.Is(";")) return 0;
    parser.NextToken();
    if (!AMatch(parser, Kw::Index)) return 0;
    auto value = LiteralToInt(parser.TokenView());
    return value && *value >= INT32_MIN && *value <= INT32_MAX ? int32_t(*value) : 0;
}

uint8_t KindOfLetter(char letter) {
    switch (letter) {
    case 'L':
    case 'l':
        return atLongInt;
    case 'R':
    case 'r':
        return atReal;
    case 'S':
    case 's':
        return atString;
    default:
        return atInteger;
    }
}

} // namespace

void Interpreter::AddFunction(const std::string& Definition, bool Mode) {
    std::string DN = UpperCase(Trim(Definition, IsBlank));
    bool isFunction;
    if (DN.starts_with("PROCEDURE ")) {
        isFunction = false;
        DN = std::string(TrimLeft(std::string_view(DN).substr(10), IsBlank));
    } else if (DN.starts_with("FUNCTION ")) {
        isFunction = true;
        DN = std::string(TrimLeft(std::string_view(DN).substr(9), IsBlank));
    } else {
        Fail(errDefine);
    }
    if (DN.empty() || DN.back() != ';') Fail(errDefine);
    DN.pop_back();
    DN.resize(TrimRight(DN, IsBlank).size());

    TKSLParser parser(DN);
    if (parser.Token() != toAnk) Fail(errDefine);
    std::string name = parser.TokenString();
    parser.NextToken();
    if (BuiltinProc.Contains(name) || BuiltinFunc.Contains(name))
        Fail(errDupFunc, parser.TokenView());

    auto routine = std::make_unique<TFuncStatus>();
    if (parser.Is("(")) {
        if (DN.find(')') == std::string::npos) Fail(errDefine);
        do {
            parser.NextToken();
            ProcessDmyArgument(parser, routine->Argument);
        } while (!parser.Is(")") && parser.Token() != toEOF);
        parser.NextToken();
    }
    if (isFunction) {
        if (!AMatch(parser, ":")) Fail(errDefine);
        int kind = TypeCode(parser);
        if (kind < 0) Fail(errDefine);
        routine->ResultType = uint8_t(kind);
        parser.NextToken();
    } else {
        routine->ResultType = 0;
    }
    routine->Index = IndexClause(parser);
    routine->BuiltIn = Mode;
    (isFunction ? BuiltinFunc : BuiltinProc).Add(name, std::move(routine));
}

void Interpreter::ProcessDmyArgument(Parser& parser, TArgumentList& DmyArg) {
    std::vector<std::string> names{ReadParameterName(parser, DmyArg)};
    while (AMatch(parser, ","))
        names.push_back(ReadParameterName(parser, DmyArg));
    if (!AMatch(parser, ":")) Fail(errSyntax, parser.TokenView());
    int kind = TypeCode(parser);
    if (kind < 0) Fail(errSyntax, parser.TokenView());
    for (std::string& name : names) {
        TArgument arg;
        arg.ArgType = uint8_t(kind);
        DmyArg.push_back({std::move(name), arg});
    }
    parser.NextToken();
    if (!parser.Is(";") && !parser.Is(")")) Fail(errSyntax, parser.TokenView());
}

void Interpreter::YieldRoutine(std::string_view name) {
    const bool yielding = std::any_of(FYieldingRoutines.begin(), FYieldingRoutines.end(),
                                      [&](const std::string& n) { return SameText(n, name); });
    if (!yielding) return;
    for (TRoutineTable* table : {&BuiltinProc, &BuiltinFunc}) {
        const TFuncStatus* routine = table->Find(name);
        if (routine && !routine->BuiltIn && !routine->DLL)
            yieldedRoutines.push_back(table->Remove(name));
    }
}

void Interpreter::YieldToDeclaredVariables() {
    for (const std::string& name : FYieldingRoutines) {
        const TVarState* variable = Variable.Find(name);
        if (variable && !variable->BuiltIn) YieldRoutine(name);
    }
}

bool Interpreter::RegisterRoutine(const std::string& FileName, const std::string& APIName,
                                  const std::string& Argument, const std::string& Return) {
    YieldRoutine(APIName);
    if (BuiltinProc.Contains(APIName) || BuiltinFunc.Contains(APIName)) return false;
    // The argument slots hold 32 words; a longer routine could not be called.
    if (Argument.size() > MaxExternalArguments) return false;
    auto routine = std::make_unique<TFuncStatus>();
    routine->DLL = true;
    routine->DLLName = FileName;
    routine->Index = DLL_Index;
    for (size_t k = 0; k < Argument.size(); ++k) {
        TArgument arg;
        arg.ArgType = KindOfLetter(Argument[k]);
        routine->Argument.push_back({"Arg" + std::to_string(k + 1), arg});
    }
    if (Return.empty()) {
        BuiltinProc.Add(APIName, std::move(routine));
    } else {
        routine->ResultType = KindOfLetter(Return[0]);
        BuiltinFunc.Add(APIName, std::move(routine));
    }
    ++DLL_Index;
    return true;
}

} // namespace ksl
