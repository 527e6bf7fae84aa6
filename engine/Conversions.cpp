#include "Conversions.h"

#include "Errors.h"
#include "Text.h"

#include <charconv>
#include <cmath>

namespace ksl {

namespace {

// Digits of `base` and nothing else, as a 64-bit pattern: at most 16 significant hexadecimal
// digits, which give any two's-complement value.
std::optional<uint64_t> Digits(std::string_view s, int base) {
    if (s.empty()) return std::nullopt;
    uint64_t value = 0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value, base);
    if (ec != std::errc() || end != s.data() + s.size()) return std::nullopt;
    return value;
}

bool StartsWithHexPrefix(std::string_view s, size_t& prefix) {
    if (!s.empty() && (s[0] == '$' || s[0] == 'x' || s[0] == 'X')) {
        prefix = 1;
        return true;
    }
    if (s.size() >= 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        prefix = 2;
        return true;
    }
    return false;
}

// The power of ten of the first significant digit of a well-formed unsigned decimal number;
// tells an overflow from an underflow.
long DecimalExponent(std::string_view body) {
    long exponent = 0;
    size_t e = body.find_first_of("Ee");
    if (e != std::string_view::npos) {
        std::string_view digits = body.substr(e + 1);
        if (!digits.empty() && digits[0] == '+') digits.remove_prefix(1);
        if (std::from_chars(digits.data(), digits.data() + digits.size(), exponent).ec ==
            std::errc::result_out_of_range)
            exponent = digits[0] == '-' ? -1000000 : 1000000;
        body = body.substr(0, e);
    }
    size_t point = body.find('.');
    if (point == std::string_view::npos) point = body.size();
    size_t first = body.find_first_not_of("0.");
    if (first == std::string_view::npos) return 0;
    return exponent + (first < point ? long(point - first) - 1 : -long(first - point));
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

std::optional<int64_t> TextToInt(std::string_view text) {
    std::string_view s = TrimLeft(text, IsBlank);
    bool negative = false;
    if (!s.empty() && (s[0] == '+' || s[0] == '-')) {
        negative = s[0] == '-';
        s.remove_prefix(1);
    }
    size_t prefix = 0;
    if (StartsWithHexPrefix(s, prefix)) {
        auto bits = Digits(s.substr(prefix), 16);
        if (!bits) return std::nullopt;
        return int64_t(negative ? 0 - *bits : *bits);
    }
    if (s.empty() || !IsDigit(s[0])) return std::nullopt;
    auto magnitude = Digits(s, 10);
    if (!magnitude) return std::nullopt;
    const uint64_t limit = negative ? uint64_t(INT64_MAX) + 1 : uint64_t(INT64_MAX);
    if (*magnitude > limit) return std::nullopt;
    return negative ? int64_t(0 - *magnitude) : int64_t(*magnitude);
}

std::optional<int64_t> LiteralToInt(std::string_view text) {
    if (!text.empty() && text[0] == '$') {
        auto bits = Digits(text.substr(1), 16);
        return bits ? std::optional<int64_t>(int64_t(*bits)) : std::nullopt;
    }
    auto value = Digits(text, 10);
    if (!value || *value > uint64_t(INT64_MAX)) return std::nullopt;
    return int64_t(*value);
}

std::optional<double> TextToFloat(std::string_view text) {
    std::string_view s = Trim(text, IsBlank);
    std::string_view body = s;
    if (!body.empty() && (body[0] == '+' || body[0] == '-')) body.remove_prefix(1);
    // Only digits, one ".", and an exponent with digits: no "inf", "nan" or hexadecimal floats.
    size_t i = 0, digits = 0;
    while (i < body.size() && IsDigit(body[i]))
        ++i, ++digits;
    if (i < body.size() && body[i] == '.') {
        ++i;
        while (i < body.size() && IsDigit(body[i]))
            ++i, ++digits;
    }
    if (digits == 0) return std::nullopt;
    if (i < body.size() && (body[i] == 'E' || body[i] == 'e')) {
        ++i;
        if (i < body.size() && (body[i] == '+' || body[i] == '-')) ++i;
        size_t expDigits = 0;
        while (i < body.size() && IsDigit(body[i]))
            ++i, ++expDigits;
        if (expDigits == 0) return std::nullopt;
    }
    if (i != body.size()) return std::nullopt;
    std::string plain(s);
    if (!plain.empty() && plain[0] == '+') plain.erase(0, 1);
    double value = 0.0;
    auto [end, ec] = std::from_chars(plain.data(), plain.data() + plain.size(), value);
    if (end != plain.data() + plain.size()) return std::nullopt;
    if (ec == std::errc::result_out_of_range)
        return DecimalExponent(body) > 0 ? std::nullopt : std::optional<double>(0.0);
    return value;
}

std::string FloatToStr(double value) {
    if (std::isnan(value)) return "NAN";
    if (std::isinf(value)) return value > 0 ? "INF" : "-INF";
    if (value == 0.0) return "0"; // also -0.0, as Int(-0.5) gives
    char buffer[64];
    auto [end, ec] =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 15);
    std::string text(buffer, end);
    // "1e+20" -> "1E20", "5e-05" -> "5E-5".
    size_t e = text.find('e');
    if (e == std::string::npos) return text;
    std::string mantissa = text.substr(0, e);
    std::string exponent = text.substr(e + 1);
    std::string sign;
    if (exponent[0] == '-') sign = "-";
    exponent.erase(0, 1);
    exponent.erase(0, exponent.find_first_not_of('0'));
    return mantissa + "E" + sign + exponent;
}

std::string IntToText(int64_t value) {
    char buffer[24];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, end);
}

int64_t TruncateToInt64(double x) {
    if (!(x >= -9223372036854775808.0 && x < 9223372036854775808.0)) Fail(errInvalidOp);
    return int64_t(x);
}

std::string FormatString(std::string_view Str) {
    if (Str.empty()) return {};
    if (Str.front() == '\'' && Str.back() == '\'') return Unquote(Str);
    if (Str.find('#') == std::string_view::npos) return std::string(Str);
    return CharacterCode(Str);
}

} // namespace ksl
