#pragma once
// The interval field's rule, free of the toolkit: what the field shows after each change.
#include <cstdint>
#include <optional>
#include <string>

namespace portwell::gui {

// The text read as a 32-bit integer: decimal, or hexadecimal after "$" or "0x"; nothing when it is
// not one.
std::optional<int32_t> ParseInteger(const std::string& text);

// What the field should show once `text` was typed: the value in plain decimal ("007" gives "7",
// "$10" gives "16", "" gives "0"), or `backup`, the text it had when it got the focus, for a
// negative number or anything that is not a number.
std::string ValidatedInterval(const std::string& text, const std::string& backup);

// The pause between loop passes the field gives: 0 when its text is not a valid interval.
int64_t IntervalMilliseconds(const std::string& text);

} // namespace portwell::gui
