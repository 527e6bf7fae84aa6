#include "portwell/settings/ExtendedReal.h"

#include <bit>
#include <cmath>

namespace portwell::settings {

namespace {

constexpr int kExtendedBias = 16383;
constexpr int kExtendedMaxExponent = 0x7FFF;
constexpr int kMantissaBits = 64;
constexpr int kDoubleFractionBits = 52;
constexpr uint64_t kDoubleFractionMask = (uint64_t(1) << kDoubleFractionBits) - 1;
constexpr uint64_t kDoubleQuietBit = uint64_t(1) << (kDoubleFractionBits - 1);
constexpr uint64_t kIntegerBit = uint64_t(1) << 63;
constexpr int kDoubleMinExponent = -1022; // of normal doubles; below it precision shrinks
constexpr int kDoublePrecision = 53;

double WithSign(bool negative, double magnitude) {
    return negative ? -magnitude : magnitude;
}

// m * 2^exponent rounded to `bits` significant bits, ties to even.
double RoundMantissa(uint64_t m, int exponent, int bits) {
    if (bits <= 0) {
        // Only m exactly above half of the least subnormal rounds up to it.
        const bool up = bits == 0 && m > kIntegerBit;
        return up ? std::ldexp(1.0, exponent + kMantissaBits) : 0.0;
    }
    const int shift = kMantissaBits - bits;
    uint64_t kept = m >> shift;
    const uint64_t rest = m & ((uint64_t(1) << shift) - 1);
    const uint64_t half = uint64_t(1) << (shift - 1);
    if (rest > half || (rest == half && (kept & 1))) ++kept;
    return std::ldexp(double(kept), exponent + shift);
}

double NotFinite(bool negative, uint64_t m) {
    const uint64_t fraction = m & ~kIntegerBit;
    if (fraction == 0) return WithSign(negative, INFINITY);
    uint64_t payload = (m >> (kMantissaBits - 1 - kDoubleFractionBits)) & kDoubleFractionMask;
    if (payload == 0) payload = kDoubleQuietBit;
    const uint64_t sign = uint64_t(negative) << 63;
    return std::bit_cast<double>(sign | (uint64_t(0x7FF) << kDoubleFractionBits) | payload);
}

TExtendedBytes Pack(bool negative, int exponent, uint64_t m) {
    TExtendedBytes bytes{};
    for (int i = 0; i < 8; ++i)
        bytes[i] = uint8_t(m >> (8 * i));
    const unsigned top = (unsigned(negative) << 15) | unsigned(exponent);
    bytes[8] = uint8_t(top);
    bytes[9] = uint8_t(top >> 8);
    return bytes;
}

} // namespace

double ExtendedToDouble(const TExtendedBytes& bytes) {
    uint64_t m = 0;
    for (int i = 0; i < 8; ++i)
        m |= uint64_t(bytes[i]) << (8 * i);
    const unsigned top = bytes[8] | (unsigned(bytes[9]) << 8);
    const bool negative = top >> 15;
    const int biased = int(top & kExtendedMaxExponent);
    if (biased == kExtendedMaxExponent) return NotFinite(negative, m);
    if (m == 0) return WithSign(negative, 0.0);
    // The value is m * 2^exponent; the exponent field 0 stands for 1 without an integer bit.
    int exponent = (biased == 0 ? 1 : biased) - kExtendedBias - (kMantissaBits - 1);
    const int leading = std::countl_zero(m);
    m <<= leading;
    exponent -= leading;
    const int binaryExponent = exponent + kMantissaBits - 1;
    const int bits = binaryExponent >= kDoubleMinExponent
                         ? kDoublePrecision
                         : kDoublePrecision - (kDoubleMinExponent - binaryExponent);
    return WithSign(negative, RoundMantissa(m, exponent, bits));
}

TExtendedBytes DoubleToExtended(double value) {
    const uint64_t bits = std::bit_cast<uint64_t>(value);
    const bool negative = bits >> 63;
    const int biased = int((bits >> kDoubleFractionBits) & 0x7FF);
    const uint64_t fraction = bits & kDoubleFractionMask;
    const int toMantissa = kMantissaBits - 1 - kDoubleFractionBits;
    if (biased == 0x7FF)
        return Pack(negative, kExtendedMaxExponent, kIntegerBit | fraction << toMantissa);
    if (biased == 0 && fraction == 0) return Pack(negative, 0, 0);
    if (biased == 0) {
        // A subnormal double is a normal extended: shift its fraction up to the integer bit.
        const int leading = std::countl_zero(fraction);
        const int exponent = -1074 - leading + kExtendedBias + kMantissaBits - 1;
        return Pack(negative, exponent, fraction << leading);
    }
    return Pack(negative, biased - 1023 + kExtendedBias, kIntegerBit | fraction << toMantissa);
}

} // namespace portwell::settings
