#pragma once
// The 10-byte x87 extended real, converted to and from double bit by bit, so that it works
// whatever `long double` is on the machine.
#include <array>
#include <cstdint>

namespace portwell::settings {

using TExtendedBytes = std::array<uint8_t, 10>; // little-endian: 64-bit mantissa, sign and exponent

// Rounds to the nearest double; beyond double's range gives an infinity, below it zero.
double ExtendedToDouble(const TExtendedBytes& bytes);

// Exact: every double, NaN payloads included, has an extended form.
TExtendedBytes DoubleToExtended(double value);

} // namespace portwell::settings
