#pragma once
// Text for a terminal: a message may carry bytes of a script that are not UTF-8 (a Latin-1
// letter, a stray byte), which would garble the line they are printed on.
#include <cstdint>
#include <string>
#include <string_view>

namespace cli {

// `text` with every byte that is not part of a valid UTF-8 sequence written as \xNN.
std::string TerminalText(std::string_view text);

// TerminalText on one line: line feeds, carriage returns and tabs written as \n, \r and \t, and
// every other control byte as \xNN.
std::string TerminalLine(std::string_view text);

// "SOURCE:LINE: STATEMENT", the line printed before a script error's message; "" without a line.
std::string FailureLocation(std::string_view source, int line, std::string_view statement);

} // namespace cli
