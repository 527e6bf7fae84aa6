#include "portwell/settings/CodePage.h"

#include "portwell/Utf8.h"

#include <iconv.h>

namespace portwell::settings {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

char16_t UnitAt(std::string_view bytes, size_t unit) {
    return char16_t((unsigned char)bytes[2 * unit] | ((unsigned char)bytes[2 * unit + 1] << 8));
}

bool IsHighSurrogate(char16_t u) {
    return u >= 0xD800 && u <= 0xDBFF;
}

bool IsLowSurrogate(char16_t u) {
    return u >= 0xDC00 && u <= 0xDFFF;
}

class TIconv {
public:
    TIconv(const char* to, const char* from) : handle(iconv_open(to, from)) {}
    ~TIconv() {
        if (Ok()) iconv_close(handle);
    }
    TIconv(const TIconv&) = delete;
    TIconv& operator=(const TIconv&) = delete;
    bool Ok() const { return handle != iconv_t(-1); }
    iconv_t Handle() const { return handle; }

private:
    iconv_t handle;
};

} // namespace

bool IsValidUtf8(std::string_view bytes) {
    for (size_t i = 0; i < bytes.size();) {
        const size_t length = Utf8SequenceLength(bytes.substr(i));
        if (length == 0) return false;
        i += length;
    }
    return true;
}

std::string Utf16LeToUtf8(std::string_view bytes) {
    const size_t units = bytes.size() / 2;
    std::string out;
    out.reserve(units);
    for (size_t i = 0; i < units; ++i) {
        const char16_t u = UnitAt(bytes, i);
        if (IsHighSurrogate(u) && i + 1 < units && IsLowSurrogate(UnitAt(bytes, i + 1))) {
            const char16_t low = UnitAt(bytes, ++i);
            AppendUtf8(out, 0x10000 + ((char32_t(u) - 0xD800) << 10) + (low - 0xDC00));
        } else if (IsHighSurrogate(u) || IsLowSurrogate(u)) {
            AppendUtf8(out, kReplacement);
        } else {
            AppendUtf8(out, u);
        }
    }
    return out;
}

std::optional<std::string> ShiftJisToUtf8(std::string_view bytes) {
    TIconv converter("UTF-8", "CP932");
    if (!converter.Ok()) return std::nullopt;
    // No character of code page 932 needs more than three UTF-8 bytes.
    std::string out(bytes.size() * 3, '\0');
    char* in = const_cast<char*>(bytes.data());
    size_t inLeft = bytes.size();
    char* outPtr = out.data();
    size_t outLeft = out.size();
    if (iconv(converter.Handle(), &in, &inLeft, &outPtr, &outLeft) == size_t(-1))
        return std::nullopt;
    if (iconv(converter.Handle(), nullptr, nullptr, &outPtr, &outLeft) == size_t(-1))
        return std::nullopt;
    out.resize(out.size() - outLeft);
    return out;
}

} // namespace portwell::settings
