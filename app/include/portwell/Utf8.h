#pragma once
// Strict UTF-8, the one reading of it that the settings file, the log and the terminal share.
#include <cstddef>
#include <string_view>

namespace portwell {

// The byte count of the valid UTF-8 sequence that starts `text` (1 for ASCII), or 0 when there is
// none: no overlong form, no surrogate, nothing beyond U+10FFFF, nothing cut short.
size_t Utf8SequenceLength(std::string_view text);

} // namespace portwell
