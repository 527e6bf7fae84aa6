#pragma once
// What the operators of expressions do to their values, for the evaluators and the compiled form
// alike. Integer arithmetic wraps modulo 2^64; real arithmetic checks its own failures, so that
// no floating-point trap ever decides what happens.
#include "Errors.h"
#include "TokenStream.h"

#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>

namespace ksl {

inline int64_t IntTruth(bool b) {
    return b ? -1 : 0;
}
inline double RealTruth(bool b) {
    return b ? -1.0 : 0.0;
}
inline std::string StrTruth(bool b) {
    return b ? "-1" : "0";
}

inline bool IsRelation(Op op) {
    return op >= Op::Equal && op <= Op::GreaterEqual;
}
// The operators of each level of the integer grammar.
inline bool IsIntAdding(Op op) {
    return op == Op::Plus || op == Op::Minus || op == Op::Or || op == Op::Xor;
}
inline bool IsIntMultiplying(Op op) {
    return op == Op::Times || op == Op::Div || op == Op::Mod || op == Op::And || op == Op::Shl ||
           op == Op::Shr;
}
inline bool IsRealAdding(Op op) {
    return op == Op::Plus || op == Op::Minus;
}
inline bool IsRealMultiplying(Op op) {
    return op == Op::Times || op == Op::Slash;
}

template <class T> bool Compare(Op op, const T& a, const T& b) {
    switch (op) {
    case Op::Equal:
        return a == b;
    case Op::NotEqual:
        return a != b;
    case Op::Less:
        return a < b;
    case Op::LessEqual:
        return a <= b;
    case Op::Greater:
        return a > b;
    default:
        return a >= b;
    }
}

inline int64_t Negate(int64_t a) {
    return int64_t(0 - uint64_t(a));
}

// The count is the low byte of the right operand read as signed: 0 to 63 shift, 64 to 127 clear
// everything, a negative byte shifts by its low five bits.
inline int64_t Shift(int64_t a, int64_t b, bool left) {
    const int8_t count = int8_t(uint8_t(b));
    if (count >= 64) return 0;
    const int by = count < 0 ? count & 31 : count;
    return int64_t(left ? uint64_t(a) << by : uint64_t(a) >> by);
}

inline int64_t ApplyInt(Op op, int64_t a, int64_t b) {
    switch (op) {
    case Op::Plus:
        return int64_t(uint64_t(a) + uint64_t(b));
    case Op::Minus:
        return int64_t(uint64_t(a) - uint64_t(b));
    case Op::Or:
        return a | b;
    case Op::Xor:
        return a ^ b;
    case Op::Times:
        return int64_t(uint64_t(a) * uint64_t(b));
    case Op::Div:
        if (b == 0) Fail(errZeroDivide);
        return b == -1 ? Negate(a) : a / b;
    case Op::Mod:
        if (b == 0) Fail(errZeroDivide);
        return b == -1 ? 0 : a % b;
    case Op::And:
        return a & b;
    case Op::Shl:
        return Shift(a, b, true);
    case Op::Shr:
        return Shift(a, b, false);
    default:
        return IntTruth(Compare(op, a, b));
    }
}

inline double CheckedReal(double result) {
    if (std::isnan(result)) Fail(errInvalidOp);
    if (std::isinf(result)) Fail(errOverflow);
    return result;
}

inline double ApplyReal(Op op, double a, double b) {
    switch (op) {
    case Op::Plus:
        return CheckedReal(a + b);
    case Op::Minus:
        return CheckedReal(a - b);
    case Op::Times:
        return CheckedReal(a * b);
    case Op::Slash:
        if (b == 0.0) Fail(a == 0.0 || std::isnan(a) ? errInvalidOp : errZeroDivideReal);
        return CheckedReal(a / b);
    default:
        // Comparing an invalid value is an invalid operation.
        if (std::isnan(a) || std::isnan(b)) Fail(errInvalidOp);
        return RealTruth(Compare(op, a, b));
    }
}

// Joins `right` to `left`, unless the result would pass `cap` bytes.
inline void Concatenate(std::string& left, std::string_view right, size_t cap) {
    if (right.size() > cap || left.size() > cap - right.size()) Fail(errStringTooLong);
    left += right;
}

} // namespace ksl
