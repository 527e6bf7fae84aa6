#pragma once
// The grammar of expressions, written once. Each level reads its operands by recursive descent
// straight from the tokens; what it does with them is the policy's: the evaluator (Evaluate.h)
// computes values as it reads, the compiler (Compiler.h) builds the nodes of the compiled form.
// Both therefore decide alike what a text means: where it ends, which names it takes as what,
// and which error it stops at.
//
// A policy A provides the value types A::Int, A::Real and A::Str, the literals, variables and
// calls, the conversions between kinds, the chains of one level's operators, and Fail. With the
// compiler, a failure becomes a node and stops the reading of further tokens (A::Stopped), while
// the levels around it still get their nodes; the evaluator throws.
#include "Cache.h"
#include "Interpreter.h"
#include "KSLParser.h"
#include "Nesting.h"

namespace ksl {

// The levels whose operators form chains.
enum class Level : uint8_t { Relation, Expression, Term };

// The kind of an expression, decided by its first token alone.
inline int CheckType(const Interpreter& k, const TKSLParser& XParser) {
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
    if (const TVarState* var = Lookup(k.Variable, Table::Variable, XParser)) return var->VarType;
    if (const TFuncStatus* func = Lookup(k.BuiltinFunc, Table::Function, XParser))
        return func->ResultType == rtLongInt ? ctUnKnown : func->ResultType;
    return ctUnKnown;
}

template <class A> struct Grammar {
    using Int = typename A::Int;
    using Real = typename A::Real;
    using Str = typename A::Str;
    using Parser = TKSLParser;

    // The entry of integer expressions: a literal or an Integer variable standing alone is read
    // without the descent, else the first token decides the kind.
    static Int IntEntry(A& a, Parser& p) {
        if (p.IsLast() && p.Token() == toInteger) {
            if (a.TooDeep()) return a.template Fail<Int>(errNesting);
            return a.IntLiteral(p);
        }
        if (p.IsLast() && p.Token() == toAnk) {
            const std::string* stored;
            TVarState* var = Lookup(a.k.Variable, Table::Variable, p, &stored);
            if (var && var->VarType == vtInteger) {
                if (a.TooDeep()) return a.template Fail<Int>(errNesting);
                p.NextToken();
                return a.IntVariable(p, *stored, *var);
            }
        }
        return Classified(a, p);
    }

    static Int Classified(A& a, Parser& p) {
        switch (CheckType(a.k, p)) {
        case ctReal:
            return a.IntFromReal(ProcessRealRelation(a, p));
        case ctString:
            return a.IntFromStr(ProcessStrRelation(a, p));
        default:
            return ProcessRelation(a, p);
        }
    }

    static Int ProcessRelation(A& a, Parser& p) {
        return ContinueRelation(a, p, ProcessIntExpression(a, p));
    }
    static Int ContinueRelation(A& a, Parser& p, Int first) {
        auto chain = a.Chain(Level::Relation, std::move(first));
        while (!a.Stopped() && IsRelation(p.Operator())) {
            const Op op = p.Operator();
            p.NextToken();
            a.Extend(chain, op, ProcessIntExpression(a, p));
        }
        return a.End(chain);
    }

    static Int ProcessIntExpression(A& a, Parser& p) {
        return ContinueIntExpression(a, p, ProcessTerm(a, p));
    }
    static Int ContinueIntExpression(A& a, Parser& p, Int first) {
        auto chain = a.Chain(Level::Expression, std::move(first));
        while (!a.Stopped() && IsIntAdding(p.Operator())) {
            const Op op = p.Operator();
            p.NextToken();
            a.Extend(chain, op, ProcessTerm(a, p));
        }
        return a.End(chain);
    }

    // "not" is recognised only first in a term and covers only its first factor.
    static Int ProcessTerm(A& a, Parser& p) {
        Int first = AMatch(p, Op::Not) ? a.Not(ProcessFactor(a, p)) : ProcessFactor(a, p);
        return ContinueTerm(a, p, std::move(first));
    }
    static Int ContinueTerm(A& a, Parser& p, Int first) {
        auto chain = a.Chain(Level::Term, std::move(first));
        while (!a.Stopped() && IsIntMultiplying(p.Operator())) {
            const Op op = p.Operator();
            p.NextToken();
            a.Extend(chain, op, ProcessFactor(a, p));
        }
        return a.End(chain);
    }

    // A unary sign takes the whole rest of its term: -a * b is -(a * b).
    static Int ProcessFactor(A& a, Parser& p) {
        if (a.TooDeep()) return a.template Fail<Int>(errNesting);
        const auto level = a.EnterFactor();
        if (AMatch(p, Op::Open)) {
            Int value = Classified(a, p);
            const bool closed = !a.Stopped() && AMatch(p, Op::Close);
            return a.Parenthesised(std::move(value), p, closed);
        }
        if (p.Operator() == Op::Close) {
            p.NextToken();
            return a.template Fail<Int>(errSyntax, p.TokenView());
        }
        if (AMatch(p, Op::Plus)) return ProcessTerm(a, p);
        if (AMatch(p, Op::Minus)) return a.Negate(ProcessTerm(a, p));
        return ProcessNumeric(a, p);
    }

    static Int ProcessNumeric(A& a, Parser& p) {
        if (p.Token() == toInteger) {
            Int value = a.IntLiteral(p);
            p.NextToken();
            return value;
        }
        if (p.Token() != toAnk) return a.template Fail<Int>(errSyntax, p.TokenView());
        const std::string* stored;
        if (TVarState* var = Lookup(a.k.Variable, Table::Variable, p, &stored)) {
            if (var->VarType != vtInteger) return a.template Fail<Int>(errVarType, p.TokenView());
            p.NextToken();
            return a.IntVariable(p, *stored, *var);
        }
        if (TFuncStatus* func = Lookup(a.k.BuiltinFunc, Table::Function, p, &stored)) {
            if (func->ResultType != rtInteger && func->ResultType != rtLongInt)
                return a.template Fail<Int>(errResultType, p.TokenView());
            p.NextToken();
            return a.IntCall(p, *stored, *func);
        }
        return a.template Fail<Int>(errNoDefine, p.TokenView());
    }

    // Real expressions: no classification at their start, integer values mix in freely.
    static Real ProcessRealRelation(A& a, Parser& p) {
        return ContinueRealRelation(a, p, ProcessRealExpression(a, p));
    }
    static Real ContinueRealRelation(A& a, Parser& p, Real first) {
        auto chain = a.Chain(Level::Relation, std::move(first));
        while (!a.Stopped() && IsRelation(p.Operator())) {
            const Op op = p.Operator();
            p.NextToken();
            a.Extend(chain, op, ProcessRealExpression(a, p));
        }
        return a.End(chain);
    }

    static Real ProcessRealExpression(A& a, Parser& p) {
        return ContinueRealExpression(a, p, ProcessRealTerm(a, p));
    }
    static Real ContinueRealExpression(A& a, Parser& p, Real first) {
        auto chain = a.Chain(Level::Expression, std::move(first));
        while (!a.Stopped() && IsRealAdding(p.Operator())) {
            const Op op = p.Operator();
            p.NextToken();
            a.Extend(chain, op, ProcessRealTerm(a, p));
        }
        return a.End(chain);
    }

    static Real ProcessRealTerm(A& a, Parser& p) {
        return ContinueRealTerm(a, p, ProcessRealFactor(a, p));
    }
    static Real ContinueRealTerm(A& a, Parser& p, Real first) {
        auto chain = a.Chain(Level::Term, std::move(first));
        while (!a.Stopped() && IsRealMultiplying(p.Operator())) {
            const Op op = p.Operator();
            p.NextToken();
            a.Extend(chain, op, ProcessRealFactor(a, p));
        }
        return a.End(chain);
    }

    // Parentheses are classified again by their own first token.
    static Real ProcessRealFactor(A& a, Parser& p) {
        if (a.TooDeep()) return a.template Fail<Real>(errNesting);
        const auto level = a.EnterFactor();
        if (AMatch(p, Op::Open)) {
            Real value = ParenthesisedReal(a, p);
            const bool closed = !a.Stopped() && AMatch(p, Op::Close);
            return a.Parenthesised(std::move(value), p, closed);
        }
        if (p.Operator() == Op::Close) {
            p.NextToken();
            return a.template Fail<Real>(errSyntax, p.TokenView());
        }
        if (AMatch(p, Op::Plus)) return ProcessRealTerm(a, p);
        if (AMatch(p, Op::Minus)) return a.Negate(ProcessRealTerm(a, p));
        return ProcessRealNumeric(a, p);
    }

    static Real ParenthesisedReal(A& a, Parser& p) {
        switch (CheckType(a.k, p)) {
        case ctInteger:
            return a.RealFromInt(ProcessRelation(a, p));
        case ctString:
            // A string that fails to evaluate or to convert counts as -1.0, the parser staying
            // where the failure left it: a policy of its own.
            return a.ParenthesisedString(p);
        default:
            return ProcessRealRelation(a, p);
        }
    }

    static Real ProcessRealNumeric(A& a, Parser& p) {
        if (p.Token() == toInteger || p.Token() == toFloat) {
            Real value = a.RealLiteral(p);
            p.NextToken();
            return value;
        }
        if (p.Token() != toAnk) return a.template Fail<Real>(errSyntax, p.TokenView());
        const std::string* stored;
        if (TVarState* var = Lookup(a.k.Variable, Table::Variable, p, &stored)) {
            if (var->VarType == vtString) return a.template Fail<Real>(errVarType, p.TokenView());
            p.NextToken();
            if (var->VarType == vtInteger) return a.RealFromInt(a.IntVariable(p, *stored, *var));
            return a.RealVariable(p, *stored, *var);
        }
        if (TFuncStatus* func = Lookup(a.k.BuiltinFunc, Table::Function, p, &stored)) {
            if (func->ResultType == rtString)
                return a.template Fail<Real>(errResultType, p.TokenView());
            p.NextToken();
            if (func->ResultType == rtReal) return a.RealCall(p, *stored, *func);
            return a.RealFromInt(a.IntCall(p, *stored, *func));
        }
        return a.template Fail<Real>(errNoDefine, p.TokenView());
    }

    // The entry of string expressions: a literal or a String variable standing alone is read
    // without the descent.
    static Str StrEntry(A& a, Parser& p) {
        if (p.IsLast() && p.Token() == toString) {
            if (a.TooDeep()) return a.template Fail<Str>(errNesting);
            return a.StrLiteral(p);
        }
        if (p.IsLast() && p.Token() == toAnk) {
            const std::string* stored;
            TVarState* var = Lookup(a.k.Variable, Table::Variable, p, &stored);
            if (var && var->VarType == vtString) {
                if (a.TooDeep()) return a.template Fail<Str>(errNesting);
                p.NextToken();
                return a.StrVariable(p, *stored, *var);
            }
        }
        return ProcessStrRelation(a, p);
    }

    // Comparisons replace the left operand by "-1" or "0".
    static Str ProcessStrRelation(A& a, Parser& p) {
        return ContinueStrRelation(a, p, ProcessStrExpression(a, p));
    }
    static Str ContinueStrRelation(A& a, Parser& p, Str first) {
        auto chain = a.Chain(Level::Relation, std::move(first));
        while (!a.Stopped() && IsRelation(p.Operator())) {
            const Op op = p.Operator();
            p.NextToken();
            a.Extend(chain, op, ProcessStrExpression(a, p));
        }
        return a.End(chain);
    }

    // A literal written right after an operand joins it without "+": 'Hello'#13#10.
    static Str ProcessStrExpression(A& a, Parser& p) {
        return ContinueStrExpression(a, p, ProcessStrFactor(a, p));
    }
    static Str ContinueStrExpression(A& a, Parser& p, Str first) {
        auto chain = a.Chain(Level::Expression, std::move(first));
        while (!a.Stopped() && (AMatch(p, Op::Plus) || p.Token() == toString))
            a.Extend(chain, Op::Plus, ProcessStrFactor(a, p));
        return a.End(chain);
    }

    // Parentheses in a string context always hold a string; there are no signs.
    static Str ProcessStrFactor(A& a, Parser& p) {
        if (a.TooDeep()) return a.template Fail<Str>(errNesting);
        const auto level = a.EnterFactor();
        if (AMatch(p, Op::Open)) {
            Str value = ProcessStrRelation(a, p);
            const bool closed = !a.Stopped() && AMatch(p, Op::Close);
            return a.Parenthesised(std::move(value), p, closed);
        }
        if (p.Operator() == Op::Close) {
            p.NextToken();
            return a.template Fail<Str>(errSyntax, p.TokenView());
        }
        return ProcessString(a, p);
    }

    static Str ProcessString(A& a, Parser& p) {
        if (p.Token() == toString) {
            Str value = a.StrLiteral(p);
            p.NextToken();
            return value;
        }
        if (p.Token() != toAnk) return a.template Fail<Str>(errSyntax, p.TokenView());
        const std::string* stored;
        if (TVarState* var = Lookup(a.k.Variable, Table::Variable, p, &stored)) {
            if (var->VarType != vtString) return a.template Fail<Str>(errVarType, p.TokenView());
            p.NextToken();
            return a.StrVariable(p, *stored, *var);
        }
        if (TFuncStatus* func = Lookup(a.k.BuiltinFunc, Table::Function, p, &stored)) {
            if (func->ResultType != rtString)
                return a.template Fail<Str>(errResultType, p.TokenView());
            p.NextToken();
            return a.StrCall(p, *stored, *func);
        }
        return a.template Fail<Str>(errNoDefine, p.TokenView());
    }
};

} // namespace ksl
