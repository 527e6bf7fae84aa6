#pragma once
// Byte classes, letter case and trimming for the engine's texts. The engine works byte by byte:
// only ASCII bytes are classified or change case; bytes 128 and above are never blanks, digits or
// letters.
//
// Which bytes are blanks depends on the place:
// - IsBlank, bytes 1 to 32 (the control bytes and the space): the tokenizer, the number readers
//   and the prototype reader of AddFunction.
// - IsBlankOrNul, bytes 0 to 32: the Trim routines scripts call, and the run driver's trimming of
//   host prototype lines and of rebuilt program lines.
// NUL is no blank to the tokenizer because it ends the text; the readers that follow it keep its
// view, while the trimming of whole strings and lines removes every byte up to the space alike.
//
// CompareText and SameText live in kestrel/Kestrel.h: the engine's name tables use them.
#include <algorithm>
#include <string>
#include <string_view>

namespace ksl {

constexpr bool IsBlank(char c) {
    return c >= 1 && c <= 32;
}
constexpr bool IsBlankOrNul(char c) {
    return c >= 0 && c <= 32;
}
constexpr bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}
constexpr bool IsHexDigit(char c) {
    return IsDigit(c) || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}
// The letters of a name: A to Z, a to z and the underscore.
constexpr bool IsLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}

constexpr char UpperChar(char c) {
    return c >= 'a' && c <= 'z' ? char(c - 32) : c;
}
constexpr char LowerChar(char c) {
    return c >= 'A' && c <= 'Z' ? char(c + 32) : c;
}
std::string UpperCase(std::string_view s);
std::string LowerCase(std::string_view s);

// A string value held by the engine ends at its first NUL byte.
inline void CutAtNul(std::string& s) {
    // Most values are short, and for them a plain loop costs less than the library's search.
    size_t nul = 0;
    if (s.size() <= 16)
        while (nul < s.size() && s[nul] != '\0')
            ++nul;
    else
        nul = std::min(s.find('\0'), s.size());
    s.resize(nul);
}

// Which bytes a trim removes: IsBlank or IsBlankOrNul.
using BlankTest = bool (*)(char);
std::string_view TrimLeft(std::string_view s, BlankTest isBlank);
std::string_view TrimRight(std::string_view s, BlankTest isBlank);
std::string_view Trim(std::string_view s, BlankTest isBlank);

} // namespace ksl
