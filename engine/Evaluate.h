#pragma once
// The evaluating policy of the expression grammar: values are computed while the tokens are read.
// The text interpreter evaluates every expression this way; the compiled form falls back to it
// for what it does not translate, and finishes an expression with it when a host routine has
// changed the tables in the middle of one.
#include "Arithmetic.h"
#include "Cache.h"
#include "Conversions.h"
#include "Grammar.h"
#include "Interpreter.h"
#include "Nesting.h"

namespace ksl {

struct Evaluate {
    using Int = int64_t;
    using Real = double;
    using Str = std::string;
    using Parser = TKSLParser;

    Interpreter& k;

    static constexpr bool Stopped() { return false; }
    bool TooDeep() const { return k.nestingDepth >= MaxNesting; }
    DepthCount EnterFactor() { return DepthCount(k.nestingDepth); }
    template <class T> [[noreturn]] T Fail(std::string_view message, std::string_view arg = {}) {
        ksl::Fail(message, arg);
    }

    Int IntLiteral(const Parser& p) { return IntegerLiteral(p); }
    Real RealLiteral(const Parser& p) { return TextToFloat(p.TokenView()).value_or(0.0); }
    Str StrLiteral(const Parser& p) { return StringLiteral(p); }

    // Variables are read with the parser past their name.
    Int IntVariable(const Parser&, const std::string& stored, const TVarState& var) {
        return k.ReadIntVariable(stored, var);
    }
    Real RealVariable(const Parser&, const std::string& stored, const TVarState& var) {
        return k.ReadRealVariable(stored, var);
    }
    Str StrVariable(const Parser& p, const std::string& stored, const TVarState& var) {
        std::string value;
        // Room for a concatenation that follows, so that it need not move the text once more.
        if (p.Operator() == Op::Plus || p.Token() == toString)
            value.reserve(2 * var.ValString.size());
        k.ReadStrVariable(stored, var, value);
        return value;
    }

    Int IntCall(Parser& p, const std::string& stored, TFuncStatus& f) {
        return k.ExecIntFunc(p, stored, f);
    }
    Real RealCall(Parser& p, const std::string& stored, TFuncStatus& f) {
        return k.ExecRealFunc(p, stored, f);
    }
    Str StrCall(Parser& p, const std::string& stored, TFuncStatus& f) {
        return k.ExecStrFunc(p, stored, f);
    }

    Int IntFromReal(Real r) { return TruncateToInt64(r); }
    // A string in integer context converts; a text that is no number counts as -1 (true).
    Int IntFromStr(const Str& s) { return TextToInt(s).value_or(-1); }
    Real RealFromInt(Int i) { return double(i); }
    Real ParenthesisedString(Parser& p) {
        try {
            return TextToFloat(Grammar<Evaluate>::ProcessStrRelation(*this, p)).value_or(-1.0);
        } catch (const EKestrelError&) {
            return -1.0;
        }
    }
    template <class T> T Parenthesised(T value, const Parser&, bool closed) {
        if (!closed) ksl::Fail(errRightBracket);
        return value;
    }

    Int Not(Int value) { return ~value; }
    Int Negate(Int value) { return ksl::Negate(value); }
    Real Negate(Real value) { return -value; }

    template <class T> struct Accumulator { T value; };
    template <class T> Accumulator<T> Chain(Level, T first) { return {std::move(first)}; }
    void Extend(Accumulator<Int>& chain, Op op, Int right) {
        chain.value = ApplyInt(op, chain.value, right);
    }
    void Extend(Accumulator<Real>& chain, Op op, Real right) {
        chain.value = ApplyReal(op, chain.value, right);
    }
    void Extend(Accumulator<Str>& chain, Op op, const Str& right) {
        if (op == Op::Plus)
            Concatenate(chain.value, right, k.FMaxStringLength);
        else
            chain.value = StrTruth(Compare(op, chain.value, right));
    }
    template <class T> T End(Accumulator<T>& chain) { return std::move(chain.value); }
};

using Evaluator = Grammar<Evaluate>;

} // namespace ksl
