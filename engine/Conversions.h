#pragma once
// Conversions between text and numbers, free of the process locale: "." is always the decimal
// separator.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ksl {

// Optional leading blanks, optional sign, then decimal digits, or hexadecimal digits after "$",
// "x" or "0x"; nothing may follow. Values beyond the 64-bit range do not convert.
std::optional<int64_t> TextToInt(std::string_view text);

// An integer literal token: decimal digits, or "$" and hexadecimal digits.
std::optional<int64_t> LiteralToInt(std::string_view text);

// Optional blanks around, optional sign, digits with "." as decimal separator, optional exponent.
std::optional<double> TextToFloat(std::string_view text);

std::string IntToText(int64_t value);

// x truncated toward zero; a value outside the 64-bit range is an invalid operation.
int64_t TruncateToInt64(double x);

// The value of a string literal token: a quoted string or a character code ("#65", "#$41").
std::string FormatString(std::string_view Str);

} // namespace ksl
