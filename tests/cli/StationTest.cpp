#include "cli/Station.h"

#include "FileText.h"
#include "TempDir.h"
#include "cli/JUnitReport.h"

#include <gtest/gtest.h>

using namespace cli;

namespace {

TEST(Station, VerdictsTravelWholeWhateverTheirTextHolds) {
    const TDeviceVerdict verdicts[] = {
        {TVerdict::Passed, "", 0, ""},
        {TVerdict::Failed, "tab\there, line\nbreak, back\\slash \\t", 12, "Fail('a'#9'b')"},
        {TVerdict::NoPort, "Error accessing specified device (Error: 2) ", 0, ""},
        {TVerdict::Error, "文法エラーです[x]", 3, "x := 1"},
    };
    for (const TDeviceVerdict& verdict : verdicts) {
        const std::string line = EncodeVerdict(verdict);
        EXPECT_EQ(std::count(line.begin(), line.end(), '\n'), 1) << line;
        EXPECT_EQ(DecodeVerdict(line), verdict) << line;
    }
    for (const char* broken : {"", "passed\t0\t\t", "passed\t0\t\n", "won\t0\t\t\n",
                               "failed\tx\t\t\n", "failed\t-1\t\t\n", "failed\t1\t\\q\t\n"})
        EXPECT_EQ(DecodeVerdict(broken), std::nullopt) << broken;
}

TEST(Station, LabelsAreShortAndUnique) {
    struct Case {
        std::vector<std::string> devices, labels;
    } cases[] = {
        {{"/dev/ttyUSB3", "COM1", "/dev/serial/by-id/usb-FTDI_A1-if00-port0", "/tmp/pty"},
         {"ttyUSB3", "COM1", "usb-FTDI_A1-if00-port0", "/tmp/pty"}},
        {{"loop://", "loop://", "loop://"}, {"loop://", "loop://#2", "loop://#3"}},
        {{"loop://#2", "loop://", "loop://"}, {"loop://#2", "loop://", "loop://#3"}},
        {{"/dev/ttyS0", "ttyS0"}, {"ttyS0", "ttyS0#2"}},
        {{"/dev/"}, {"/dev/"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(DeviceLabels(c.devices), c.labels) << testing::PrintToString(c.devices);
}

TEST(Station, LabelsBecomeFileNamesThatStayInTheirFolder) {
    const std::pair<std::string, std::string> cases[] = {
        {"ttyUSB3", "ttyUSB3"}, {"pts/5", "pts_5"}, {"loop://#2", "loop_2"},
        {"loop://", "loop"},    {"..", "device.."}, {"/", "device"},
        {"a b", "a_b"},         {"é", "device"},    {"tcp://10.0.0.1:2000", "tcp_10.0.0.1_2000"},
    };
    for (const auto& [label, name] : cases)
        EXPECT_EQ(LabelFileName(label), name) << label;
}

TEST(Station, TheDeviceListSkipsBlanksAndComments) {
    EXPECT_EQ(ParseDeviceList("# rack 1\r\n/dev/ttyUSB0\r\n\n  /dev/ttyUSB1 \n\t\n#/dev/ttyUSB2\n"
                              "loop://"),
              (std::vector<std::string>{"/dev/ttyUSB0", "/dev/ttyUSB1", "loop://"}));
    EXPECT_TRUE(ParseDeviceList("\n# none\n").empty());
}

TEST(Station, ExitStatusIsTheWorstResult) {
    struct Case {
        std::vector<TVerdict> verdicts;
        bool interrupted;
        int status;
    } cases[] = {
        {{TVerdict::Passed, TVerdict::Passed}, false, 0},
        {{TVerdict::Passed, TVerdict::Failed}, false, 1},
        {{TVerdict::Error, TVerdict::Passed}, false, 1},
        {{TVerdict::NoPort, TVerdict::Failed}, false, 3},
        {{TVerdict::Failed, TVerdict::NoPort, TVerdict::Error}, false, 3},
        {{TVerdict::Passed, TVerdict::Interrupted, TVerdict::NotRun}, true, 130},
        {{TVerdict::Passed}, true, 130},
    };
    for (const Case& c : cases) {
        TStationResults results;
        for (TVerdict verdict : c.verdicts)
            results.Devices.push_back({"d", "d", {verdict, "", 0, ""}, 0, "", ""});
        EXPECT_EQ(StationExitStatus(results, c.interrupted), c.status);
    }
}

TEST(Station, TheReportKeepsTheLatestOutputWithinItsBudget) {
    TBoundedText text(11);
    EXPECT_EQ(text.Text(), "");
    for (const char* line : {"one", "two", "three", "four"})
        text.Add(line);
    EXPECT_EQ(text.Text(), "[2 earlier lines left out]\nthree\nfour\n");
    TBoundedText wide(4);
    wide.Add("longer than the budget");
    EXPECT_EQ(wide.Text(), "longer than the budget\n") << "the last line is always kept";
}

TEST(JUnitReport, TextThatXmlCannotCarryIsEscapedAndTheRestKept) {
    const std::pair<std::string, std::string> cases[] = {
        {"a<b>&c", "a&lt;b&gt;&amp;c"},
        {"受信 \"OK\"\t\r\n", "受信 \"OK\"\t&#13;\n"},
        {std::string("\x01\x1F\x7F", 3), "\\x01\\x1F\x7F"},
        {std::string("nul\0end", 7), "nul\\x00end"},
        {"\xFF\xC0\xAF", "\\xFF\\xC0\\xAF"},                         // not UTF-8; an overlong "/"
        {"\xED\xA0\x80", "\\xED\\xA0\\x80"},                         // a surrogate
        {"\xEF\xBF\xBE\xEF\xBF\xBD", "\\xEF\\xBF\\xBE\xEF\xBF\xBD"}, // U+FFFE, then U+FFFD
        {"\xF4\x90\x80\x80", "\\xF4\\x90\\x80\\x80"},                // beyond U+10FFFF
        {"\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"},                    // an emoji
        {"\xE3\x81", "\\xE3\\x81"},                                  // cut short
    };
    for (const auto& [text, xml] : cases)
        EXPECT_EQ(XmlText(text), xml) << testing::PrintToString(text);
    EXPECT_EQ(XmlText("say \"hi\"\n\tnow", true), "say &quot;hi&quot;&#10;&#9;now");
}

TEST(JUnitReport, WritingReplacesTheFileWholeOrNotAtAll) {
    testsupport::TempDir dir;
    const std::string path = (dir / "r.xml").string();
    WriteFileAtomically(path, "old");
    WriteFileAtomically(path, "new");
    EXPECT_EQ(testsupport::ReadWholeFile(path), "new");
    EXPECT_THROW(WriteFileAtomically((dir / "missing" / "r.xml").string(), "x"),
                 std::runtime_error);
    // A folder where the file should be cannot be replaced; nothing is left behind.
    std::filesystem::create_directory(dir / "taken");
    EXPECT_THROW(WriteFileAtomically((dir / "taken").string(), "x"), std::runtime_error);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()),
                            std::filesystem::directory_iterator()),
              2);
}

} // namespace
