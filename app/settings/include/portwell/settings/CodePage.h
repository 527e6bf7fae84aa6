#pragma once
// Conversions of text into UTF-8, the code page Portwell uses for every text.
#include <optional>
#include <string>
#include <string_view>

namespace portwell::settings {

// Strict UTF-8: no overlong forms, no surrogates, nothing beyond U+10FFFF.
bool IsValidUtf8(std::string_view bytes);

// UTF-16 code units, little-endian, two bytes each (an odd last byte is ignored). Surrogate pairs
// join; a surrogate without its partner becomes U+FFFD.
std::string Utf16LeToUtf8(std::string_view bytes);

// Shift-JIS as Windows writes it (code page 932); nothing when the bytes are not valid in it.
std::optional<std::string> ShiftJisToUtf8(std::string_view bytes);

} // namespace portwell::settings
