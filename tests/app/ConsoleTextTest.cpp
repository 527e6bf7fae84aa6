// The console's text: what the send bar makes of a typed line, its history, how received bytes
// are cut into lines, and how a log line is shown and kept on disk.
#include "FileText.h"
#include "TempDir.h"
#include "portwell/LogFile.h"
#include "portwell/LogText.h"
#include "portwell/ReceivedLines.h"
#include "portwell/SendText.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <regex>

using namespace portwell;

namespace {

using Lines = std::vector<std::string>;

TEST(BytesToSend, TextEscapesHexFormsAndLineEnds) {
    struct Case {
        std::string typed;
        TSendMode mode;
        TLineEnd end;
        std::string bytes;
    } cases[] = {
        {"AT", TSendMode::Text, TLineEnd::None, "AT"},
        {"AT", TSendMode::Text, TLineEnd::CR, "AT\r"},
        {"AT", TSendMode::Text, TLineEnd::LF, "AT\n"},
        {"AT", TSendMode::Text, TLineEnd::CRLF, "AT\r\n"},
        {"a\\r\\n\\t\\\\b", TSendMode::Text, TLineEnd::None, "a\r\n\t\\b"},
        {"\\x00\\xfF\\x41", TSendMode::Text, TLineEnd::None,
         std::string("\x00\xFF"
                     "A",
                     3)},
        {"日本", TSendMode::Text, TLineEnd::None, "日本"},
        {"", TSendMode::Text, TLineEnd::CR, "\r"},
        {"41 42 0d", TSendMode::Hex, TLineEnd::None, "AB\r"},
        {"4142", TSendMode::Hex, TLineEnd::LF, "AB\n"},
        {"a", TSendMode::Hex, TLineEnd::None, "\x0A"},
        {"123", TSendMode::Hex, TLineEnd::None, "\x12\x03"},
        {"1,2;3:4-5\t6", TSendMode::Hex, TLineEnd::None, "\x01\x02\x03\x04\x05\x06"},
        {"", TSendMode::Hex, TLineEnd::None, ""},
    };
    for (const Case& c : cases) {
        const TSendBytes result = BytesToSend(c.typed, c.mode, c.end);
        EXPECT_EQ(result.Error, "") << c.typed;
        EXPECT_EQ(result.Bytes, c.bytes) << c.typed;
    }
}

TEST(BytesToSend, BadTextSendsNothingAndSaysWhere) {
    struct Case {
        std::string typed;
        TSendMode mode;
        std::string error;
    } cases[] = {
        {"0x41", TSendMode::Hex, "not hexadecimal: 'x' at column 2"},
        {"41 zz", TSendMode::Hex, "not hexadecimal: 'z' at column 4"},
        {"AT\\", TSendMode::Text, "a lone \\ at column 3"},
        {"\\q", TSendMode::Text, "unknown escape \\q at column 1"},
        {"\\x4", TSendMode::Text, "\\x needs two hexadecimal digits at column 1"},
        {"ab\\xg0", TSendMode::Text, "\\x needs two hexadecimal digits at column 3"},
    };
    for (const Case& c : cases) {
        const TSendBytes result = BytesToSend(c.typed, c.mode, TLineEnd::CR);
        EXPECT_TRUE(result.Error.starts_with(c.error)) << c.typed << ": " << result.Error;
        EXPECT_EQ(result.Bytes, "") << c.typed;
    }
}

// What the text display shows, typed back into the send bar, gives the same bytes.
TEST(EscapedText, ShowsControlBytesAsEscapesThatReadBackTheSame) {
    std::string every;
    for (int byte = 0; byte < 256; ++byte)
        every += char(byte);
    const std::string samples[] = {every,      "OK\r\n",   "a\\b",        "日本語\x01",
                                   "\xE6\x97", "\xC0\xAF", "\xED\xA0\x80"};
    for (const std::string& bytes : samples) {
        const std::string shown = EscapedText(bytes);
        for (char c : shown)
            EXPECT_FALSE(uint8_t(c) < 0x20 || c == 0x7F) << "a control byte shows in " << shown;
        EXPECT_EQ(BytesToSend(shown, TSendMode::Text, TLineEnd::None).Bytes, bytes) << shown;
    }
    EXPECT_EQ(EscapedText("OK\r\n\t\x1B\\"), "OK\\r\\n\\t\\x1B\\\\");
    EXPECT_EQ(EscapedText("日本\xFF"), "日本\\xFF");
}

TEST(ShownLine, TimeStampsAndDataAsTextChangeOnlyTheLook) {
    std::tm noon{};
    noon.tm_year = 124;
    noon.tm_mon = 4;
    noon.tm_mday = 1;
    noon.tm_hour = 12;
    noon.tm_min = 3;
    noon.tm_sec = 7;
    noon.tm_isdst = -1;
    const TLogTime time =
        TLogClock::from_time_t(std::mktime(&noon)) + std::chrono::milliseconds(45);
    struct Case {
        std::string line;
        TLineLook look;
        std::string shown;
    } cases[] = {
        {"Com_RD:4F 4B 0D 0A", {}, "Com_RD:4F 4B 0D 0A"},
        {"Com_RD:4F 4B 0D 0A", {false, true}, "Com_RD:OK\\r\\n"},
        {"Com_SD:41 54 0D", {true, true}, "12:03:07.045 Com_SD:AT\\r"},
        {"Rec_RD:00", {false, true}, "Rec_RD:\\x00"},
        {"Timeout:4F 4B", {false, true}, "Timeout:OK"},
        {"Com_RD:", {false, true}, "Com_RD:"},
        {"Printed 41 42", {true, true}, "12:03:07.045 Printed 41 42"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ShownLine(c.line, time, c.look), c.shown) << c.line;
}

TEST(IsoTimeStamp, HasTheOffsetAndMilliseconds) {
    const TLogTime time = TLogClock::from_time_t(0) + std::chrono::milliseconds(7);
    ASSERT_EQ(setenv("TZ", "Asia/Tokyo", 1), 0);
    tzset();
    EXPECT_EQ(IsoTimeStamp(time), "1970-01-01T09:00:00.007+09:00");
    EXPECT_EQ(ClockTimeStamp(time), "09:00:00.007");
    ASSERT_EQ(setenv("TZ", "UTC", 1), 0);
    tzset();
    EXPECT_EQ(IsoTimeStamp(time - std::chrono::milliseconds(8)), "1969-12-31T23:59:59.999+00:00");
    unsetenv("TZ");
    tzset();
}

TEST(LogFile, AppendsEveryLineWithItsTimeAndRefusesWhatItCannotOpen) {
    testsupport::TempDir dir;
    const std::string path = dir / "traffic.log";
    testsupport::WriteWholeFile(path, "earlier\n");
    {
        TLogFile file(path);
        for (int i = 0; i < 300; ++i)
            file.Write("Com_RD:" + std::to_string(i), TLogClock::now());
    }
    const std::string text = testsupport::ReadWholeFile(path);
    EXPECT_TRUE(text.starts_with("earlier\n"));
    const std::regex line(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d Com_RD:(\d+))");
    int count = 0;
    std::istringstream lines(text.substr(8));
    for (std::string l; std::getline(lines, l); ++count) {
        std::smatch match;
        ASSERT_TRUE(std::regex_match(l, match, line)) << l;
        EXPECT_EQ(match[1], std::to_string(count));
    }
    EXPECT_EQ(count, 300);

    for (const std::string& bad : {(dir / "no/such/folder.log").string(), dir.Path().string()}) {
        try {
            TLogFile file(bad);
            ADD_FAILURE() << bad << " was opened";
        } catch (const ELogFile& e) {
            EXPECT_TRUE(
                std::string(e.what()).starts_with("cannot open the log file '" + bad + "': "))
                << e.what();
        }
    }
}

TEST(LogFile, AFullDiskIsReportedNotIgnored) {
    TLogFile file("/dev/full");
    EXPECT_THROW(file.Write("Com_RD:41", TLogClock::now()), ELogFile);
}

TEST(SendHistory, KeepsTheLastFiftyAndWalksUpAndDown) {
    TSendHistory history;
    for (int i = 1; i <= 55; ++i)
        history.Add("cmd" + std::to_string(i));
    history.Add("");
    history.Add("cmd54");
    ASSERT_EQ(history.Entries().size(), 50u);
    EXPECT_EQ(history.Entries().front(), "cmd6");
    EXPECT_EQ(history.Entries().back(), "cmd54");

    EXPECT_EQ(history.Newer(), std::nullopt);
    EXPECT_EQ(history.Older("typing"), "cmd54");
    EXPECT_EQ(history.Older("cmd54"), "cmd55");
    EXPECT_EQ(history.Newer(), "cmd54");
    EXPECT_EQ(history.Newer(), "typing");
    EXPECT_EQ(history.Newer(), std::nullopt);
    for (int i = 0; i < 50; ++i)
        history.Older("");
    EXPECT_EQ(history.Older(""), std::nullopt);

    const TSendHistory stored(std::vector<std::string>{"a", "", "b", "a"});
    EXPECT_EQ(stored.Entries(), (Lines{"b", "a"}));
}

TEST(ReceivedLines, CutsAtLineEndsSilenceAndLength) {
    struct Case {
        const char* what;
        std::vector<std::string> chunks; // one tick apart
        Lines lines;
        std::string pending;
    } cases[] = {
        {"a reply in pieces", {"O", "K\r", "\n"}, {"OK\r\n"}, ""},
        {"lone line feeds", {"a\nb\n"}, {"a\n", "b\n"}, ""},
        {"a carriage return then more", {"a\r", "b"}, {"a\r"}, "b"},
        {"a carriage return at the end waits", {"a\r"}, {}, "a\r"},
        {"a long line",
         {std::string(300, 'x')},
         {std::string(128, 'x'), std::string(128, 'x')},
         std::string(44, 'x')},
        {"several in one chunk", {"a\r\nb\rc\n\r"}, {"a\r\n", "b\r", "c\n"}, "\r"},
        {"two carriage returns", {"\r\r\n"}, {"\r", "\r\n"}, ""},
        {"a line end at the limit",
         {std::string(127, 'x') + "\r\nz"},
         {std::string(127, 'x') + "\r", "\n"},
         "z"},
        {"a long line in pieces",
         {std::string(100, 'x'), std::string(100, 'y') + "\n"},
         {std::string(100, 'x') + std::string(28, 'y'), std::string(72, 'y') + "\n"},
         ""},
    };
    for (const Case& c : cases) {
        TReceivedLines received;
        Lines lines;
        uint32_t tick = 100;
        for (const std::string& chunk : c.chunks)
            received.Add(chunk, tick++, lines);
        EXPECT_EQ(lines, c.lines) << c.what;
        EXPECT_EQ(received.Flush(), c.pending) << c.what;
    }

    TReceivedLines received;
    Lines lines;
    EXPECT_EQ(received.MsUntilSilence(0), -1);
    received.Add("prompt> ", 0xFFFFFFF0u, lines);
    EXPECT_EQ(received.MsUntilSilence(0xFFFFFFF0u + 5), 15);
    EXPECT_EQ(received.AfterSilence(0xFFFFFFF0u + 19), "");
    EXPECT_EQ(received.AfterSilence(0xFFFFFFF0u + 20), "prompt> ");
    EXPECT_FALSE(received.Pending());
}

} // namespace
