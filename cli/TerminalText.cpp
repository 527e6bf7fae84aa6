#include "cli/TerminalText.h"

#include <cstdint>

namespace cli {

namespace {

bool IsContinuation(uint8_t byte) {
    return (byte & 0xC0) == 0x80;
}

// The bounds of the second byte after each lead byte rule out overlong forms, surrogates and
// code points beyond U+10FFFF.
struct LeadByte {
    uint8_t first, last;           // the lead bytes this row covers
    size_t length;                 // of the whole sequence
    uint8_t secondLow, secondHigh; // allowed second byte
};

constexpr LeadByte leadBytes[] = {
    {0xC2, 0xDF, 2, 0x80, 0xBF}, {0xE0, 0xE0, 3, 0xA0, 0xBF}, {0xE1, 0xEC, 3, 0x80, 0xBF},
    {0xED, 0xED, 3, 0x80, 0x9F}, {0xEE, 0xEF, 3, 0x80, 0xBF}, {0xF0, 0xF0, 4, 0x90, 0xBF},
    {0xF1, 0xF3, 4, 0x80, 0xBF}, {0xF4, 0xF4, 4, 0x80, 0x8F},
};

// The length of the valid UTF-8 sequence at the start of `text`, 0 when there is none.
size_t ValidSequenceLength(std::string_view text) {
    const uint8_t lead = uint8_t(text[0]);
    if (lead < 0x80) return 1;
    for (const LeadByte& row : leadBytes) {
        if (lead < row.first || lead > row.last) continue;
        if (text.size() < row.length) return 0;
        const uint8_t second = uint8_t(text[1]);
        if (second < row.secondLow || second > row.secondHigh) return 0;
        for (size_t i = 2; i < row.length; ++i)
            if (!IsContinuation(uint8_t(text[i]))) return 0;
        return row.length;
    }
    return 0;
}

std::string Escaped(uint8_t byte) {
    static const char digits[] = "0123456789ABCDEF";
    return {'\\', 'x', digits[byte >> 4], digits[byte & 0xF]};
}

} // namespace

std::string TerminalText(std::string_view text) {
    std::string shown;
    while (!text.empty()) {
        const size_t length = ValidSequenceLength(text);
        if (length == 0) {
            shown += Escaped(uint8_t(text[0]));
            text.remove_prefix(1);
        } else {
            shown += text.substr(0, length);
            text.remove_prefix(length);
        }
    }
    return shown;
}

std::string TerminalLine(std::string_view text) {
    std::string line;
    for (const char c : TerminalText(text)) {
        const auto byte = uint8_t(c);
        if (c == '\n')
            line += "\\n";
        else if (c == '\r')
            line += "\\r";
        else if (c == '\t')
            line += "\\t";
        else if (byte < 0x20 || byte == 0x7F)
            line += Escaped(byte);
        else
            line += c;
    }
    return line;
}

std::string FailureLocation(std::string_view source, int line, std::string_view statement) {
    if (line <= 0) return {};
    return TerminalText(std::string(source) + ':' + std::to_string(line) + ": " +
                        std::string(statement));
}

} // namespace cli
