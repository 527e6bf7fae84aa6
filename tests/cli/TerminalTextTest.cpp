#include "cli/TerminalText.h"

#include <gtest/gtest.h>

namespace {

TEST(TerminalText, KeepsUtf8AndEscapesEveryOtherByte) {
    struct Case {
        std::string text, shown;
    } cases[] = {
        {"", ""},
        {"plain ASCII\t[x]", "plain ASCII\t[x]"},
        {"文法エラーです[é]", "文法エラーです[é]"},
        {"\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"},     // four bytes
        {"\xF4\x8F\xBF\xBF", "\xF4\x8F\xBF\xBF"},     // U+10FFFF
        {"[\xE9]", "[\\xE9]"},                        // Latin-1
        {"\xEF", "\\xEF"},                            // a lead byte at the end
        {"\xE6\x96", "\\xE6\\x96"},                   // a sequence cut short
        {"\xE6\x96x", "\\xE6\\x96x"},                 // a sequence broken off
        {"\x80\xBF", "\\x80\\xBF"},                   // continuations alone
        {"\xC0\x80", "\\xC0\\x80"},                   // overlong NUL
        {"\xE0\x80\xAF", "\\xE0\\x80\\xAF"},          // overlong slash
        {"\xED\xA0\x80", "\\xED\\xA0\\x80"},          // a surrogate
        {"\xF4\x90\x80\x80", "\\xF4\\x90\\x80\\x80"}, // beyond U+10FFFF
        {"\xF5\xFE\xFF", "\\xF5\\xFE\\xFF"},          // never in UTF-8
        {"a\xFF"
         "b\xE3\x81\x82",
         "a\\xFFbあ"}, // mixed
    };
    for (const Case& c : cases)
        EXPECT_EQ(cli::TerminalText(c.text), c.shown) << c.shown;
}

TEST(TerminalText, OneLineEscapesLineBreaksAndControlBytes) {
    const std::pair<std::string, std::string> cases[] = {
        {"plain", "plain"},
        {"two\nlines", "two\\nlines"},
        {"a\r\nb", "a\\r\\nb"},
        {"tab\tstop", "tab\\tstop"},
        {"\x01\x1F\x7F", "\\x01\\x1F\\x7F"},
        {"ポート\xFF", "ポート\\xFF"},
    };
    for (const auto& [text, shown] : cases)
        EXPECT_EQ(cli::TerminalLine(text), shown) << shown;
}

} // namespace
