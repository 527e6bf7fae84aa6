// The entries of expressions as the text interpreter evaluates them, and the reading of
// variables whose value may live in the host.
#include "Evaluate.h"

namespace ksl {

template struct Grammar<Evaluate>;

int64_t Interpreter::IEExecute(const std::string& S, const TokenStream* prepared) {
    TKSLParser parser = ParserFor(S, prepared);
    Evaluate a{*this};
    return Evaluator::IntEntry(a, parser);
}

double Interpreter::REExecute(const std::string& S, const TokenStream* prepared) {
    TKSLParser parser = ParserFor(S, prepared);
    Evaluate a{*this};
    return Evaluator::ProcessRealRelation(a, parser);
}

std::string Interpreter::SEExecute(const std::string& S, const TokenStream* prepared) {
    TKSLParser parser = ParserFor(S, prepared);
    Evaluate a{*this};
    return Evaluator::StrEntry(a, parser);
}

// The name is copied before an object callback: the host may add variables, which moves the
// names stored in the table.
int64_t Interpreter::ReadIntVariable(const std::string& storedName, const TVarState& var) {
    int64_t value = var.ValInteger;
    if (var.Obj && host.IntObjParam) {
        const std::string ObjName = storedName;
        int32_t Err_CD = 0;
        host.IntObjParam(ObjName, var.Index, omGet, Err_CD, value);
        ReportHostError(Err_CD);
    }
    return value;
}

double Interpreter::ReadRealVariable(const std::string& storedName, const TVarState& var) {
    double value = var.ValReal;
    if (var.Obj && host.RealObjParam) {
        const std::string ObjName = storedName;
        int32_t Err_CD = 0;
        host.RealObjParam(ObjName, var.Index, omGet, Err_CD, value);
        ReportHostError(Err_CD);
    }
    return value;
}

void Interpreter::ReadStrVariable(const std::string& storedName, const TVarState& var,
                                  std::string& value) {
    value = var.ValString;
    if (var.Obj && host.StrObjParam) {
        const std::string ObjName = storedName;
        int32_t Err_CD = 0;
        host.StrObjParam(ObjName, var.Index, omGet, Err_CD, value);
        ReportHostError(Err_CD);
    }
}

} // namespace ksl
