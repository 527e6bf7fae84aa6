#include "cli/TerminalText.h"

#include "portwell/Utf8.h"

#include <cstdint>

namespace cli {

namespace {

std::string Escaped(uint8_t byte) {
    static const char digits[] = "0123456789ABCDEF";
    return {'\\', 'x', digits[byte >> 4], digits[byte & 0xF]};
}

} // namespace

std::string TerminalText(std::string_view text) {
    std::string shown;
    while (!text.empty()) {
        const size_t length = portwell::Utf8SequenceLength(text);
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
