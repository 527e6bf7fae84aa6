#include "portwell/HexText.h"

namespace portwell {

namespace {

bool IsHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
}

int DigitValue(char c) {
    return c <= '9' ? c - '0' : c - 'A' + 10;
}

char Upper(char c) {
    return c >= 'a' && c <= 'z' ? char(c - 32) : c;
}

std::string UpperTrimmed(std::string_view s) {
    size_t b = 0, e = s.size();
    while (b < e && (unsigned char)s[b] <= 32)
        ++b;
    while (e > b && (unsigned char)s[e - 1] <= 32)
        --e;
    std::string t(s.substr(b, e - b));
    for (char& c : t)
        c = Upper(c);
    return t;
}

} // namespace

std::string StrToHex(std::string_view S) {
    static const char digits[] = "0123456789ABCDEF";
    if (S.empty()) return {};
    // Sized once and filled in place: every received byte passes through here.
    std::string hex(S.size() * 3 - 1, ' ');
    char* out = hex.data();
    for (unsigned char byte : S) {
        out[0] = digits[byte >> 4];
        out[1] = digits[byte & 0xF];
        out += 3;
    }
    return hex;
}

// A digit whose partner is missing or no digit stands alone, as "0" and itself; the
// non-digit after it is skipped with it.
std::string HexToStr(std::string_view S) {
    const std::string temp = UpperTrimmed(S);
    std::string bytes;
    size_t i = 0;
    while (i < temp.size()) {
        if (!IsHexDigit(temp[i])) {
            ++i;
            continue;
        }
        const bool pair = i + 1 < temp.size() && IsHexDigit(temp[i + 1]);
        const int value =
            pair ? DigitValue(temp[i]) * 16 + DigitValue(temp[i + 1]) : DigitValue(temp[i]);
        bytes += char(value);
        i += 2;
    }
    return bytes;
}

} // namespace portwell
