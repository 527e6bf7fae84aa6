#include "portwell/gui/IntervalText.h"

#include <algorithm>
#include <charconv>

namespace portwell::gui {

namespace {

std::optional<int64_t> ParseMagnitude(std::string_view digits, int base) {
    if (digits.empty()) return std::nullopt;
    uint64_t value = 0;
    const auto [end, error] =
        std::from_chars(digits.data(), digits.data() + digits.size(), value, base);
    if (error != std::errc() || end != digits.data() + digits.size() || value > uint64_t(1) << 32)
        return std::nullopt;
    return int64_t(value);
}

} // namespace

std::optional<int32_t> ParseInteger(const std::string& text) {
    std::string_view rest = text;
    bool negative = false;
    if (!rest.empty() && (rest.front() == '-' || rest.front() == '+')) {
        negative = rest.front() == '-';
        rest.remove_prefix(1);
    }
    int base = 10;
    if (rest.starts_with('$')) {
        rest.remove_prefix(1);
        base = 16;
    } else if (rest.starts_with("0x") || rest.starts_with("0X")) {
        rest.remove_prefix(2);
        base = 16;
    }
    const std::optional<int64_t> magnitude = ParseMagnitude(rest, base);
    if (!magnitude) return std::nullopt;
    const int64_t value = negative ? -*magnitude : *magnitude;
    if (value < INT32_MIN || value > INT32_MAX) return std::nullopt;
    return int32_t(value);
}

std::string ValidatedInterval(const std::string& text, const std::string& backup) {
    const int64_t value = text.empty() ? 0 : ParseInteger(text).value_or(-1);
    return value < 0 ? backup : std::to_string(value);
}

int64_t IntervalMilliseconds(const std::string& text) {
    return std::max<int64_t>(ParseInteger(text).value_or(0), 0);
}

} // namespace portwell::gui
