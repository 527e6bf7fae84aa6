#include "portwell/HexText.h"

#include "portwell/TrafficLog.h"

#include <gtest/gtest.h>

using namespace portwell;

namespace {

TEST(HexToStr, ReadsPairsOfDigitsAndSkipsTheRest) {
    struct Case {
        std::string text;
        std::string bytes;
    } cases[] = {
        {"41 42", "AB"},
        {"4142", "AB"},
        {"a", "\x0A"},
        {"123", "\x12\x03"},
        {"1,2", std::string("\x01\x02", 2)},
        {"0x41", std::string("\x00\x41", 2)},
        {"zz", ""},
        {"", ""},
        {"  0d 0a  ", "\r\n"},
        {"ff FF fF", "\xFF\xFF\xFF"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(HexToStr(c.text), c.bytes) << c.text;
}

TEST(StrToHex, WritesTwoUpperCaseDigitsPerByteSeparatedByBlanks) {
    EXPECT_EQ(StrToHex(""), "");
    EXPECT_EQ(StrToHex("AB\r"), "41 42 0D");
    EXPECT_EQ(StrToHex(std::string("\x00\xFF", 2)), "00 FF");
    std::string all;
    for (int b = 0; b < 256; ++b)
        all += char(b);
    EXPECT_EQ(HexToStr(StrToHex(all)), all);
}

TEST(TrafficLog, KeepsTheNewest200Lines) {
    TTrafficLog log;
    std::vector<std::string> seen;
    log.OnLine = [&](const std::string& line) { seen.push_back(line); };
    for (int i = 1; i <= 201; ++i)
        log.Add("line " + std::to_string(i));
    ASSERT_EQ(log.Lines().size(), 200u);
    EXPECT_EQ(log.Lines().front(), "line 2");
    EXPECT_EQ(log.Lines().back(), "line 201");
    EXPECT_EQ(seen.size(), 201u);
}

TEST(TrafficLog, ATextWithLineBreaksAddsALinePerPart) {
    TTrafficLog log;
    log.Add("a\r\nb\nc");
    EXPECT_EQ(std::vector<std::string>(log.Lines().begin(), log.Lines().end()),
              (std::vector<std::string>{"a", "b", "c"}));
}

} // namespace
