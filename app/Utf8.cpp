#include "portwell/Utf8.h"

#include <cstdint>

namespace portwell {

size_t Utf8SequenceLength(std::string_view text) {
    if (text.empty()) return 0;
    const uint8_t lead = uint8_t(text[0]);
    if (lead < 0x80) return 1;
    size_t length;
    char32_t least;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        least = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        least = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        least = 0x10000;
    } else {
        return 0;
    }
    if (text.size() < length) return 0;
    char32_t code = lead & (0x3F >> (length - 1));
    for (size_t i = 1; i < length; ++i) {
        const uint8_t byte = uint8_t(text[i]);
        if ((byte & 0xC0) != 0x80) return 0;
        code = code << 6 | (byte & 0x3F);
    }
    const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
    return code >= least && code <= 0x10FFFF && !surrogate ? length : 0;
}

} // namespace portwell
