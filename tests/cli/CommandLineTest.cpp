#include "cli/CommandLine.h"

#include <gtest/gtest.h>

using namespace cli;
using namespace portwell;

namespace {

std::optional<TCommandLine> Parse(std::vector<std::string> args, std::string& error) {
    args.insert(args.begin(), "run");
    args.push_back("macro.ksl");
    return ParseCommandLine(args, error);
}

TEST(CommandLine, EachPortOptionSetsItsOwnSetting) {
    struct Case {
        std::vector<std::string> args;
        TPortSettings expected;
    } cases[] = {
        {{}, {}},
        {{"-b", "115200"}, {"COM1", serial::cbr115200}},
        {{"--baud", "110"}, {"COM1", serial::cbr110}},
        {{"--databits", "5"}, {"COM1", serial::cbr9600, serial::da5}},
        {{"--stopbits", "1.5"}, {"COM1", serial::cbr9600, serial::da8, serial::sb15}},
        {{"--parity", "mark"},
         {"COM1", serial::cbr9600, serial::da8, serial::sb10, serial::paMark}},
        {{"--flow", "software"},
         {"COM1", serial::cbr9600, serial::da8, serial::sb10, serial::paNone, serial::fcSoftware}},
        {{"-d", "loop://", "--flow", "cts", "-b", "256000", "--stopbits", "2"},
         {"loop://", serial::cbr256000, serial::da8, serial::sb20, serial::paNone, serial::fcCTS}},
    };
    for (const Case& c : cases) {
        std::string error;
        const auto line = Parse(c.args, error);
        ASSERT_TRUE(line) << testing::PrintToString(c.args) << error;
        const TPortSettings& port = line->Port;
        const TPortSettings& want = c.expected;
        EXPECT_EQ(port.DeviceName, want.DeviceName);
        EXPECT_EQ(port.BaudRate, want.BaudRate) << testing::PrintToString(c.args);
        EXPECT_EQ(port.Databits, want.Databits) << testing::PrintToString(c.args);
        EXPECT_EQ(port.Stopbits, want.Stopbits) << testing::PrintToString(c.args);
        EXPECT_EQ(port.Parity, want.Parity) << testing::PrintToString(c.args);
        EXPECT_EQ(port.FlowControl, want.FlowControl) << testing::PrintToString(c.args);
    }
}

TEST(CommandLine, ABadSettingNamesTheOptionAndItsValues) {
    struct Case {
        std::vector<std::string> args;
        std::string error;
    } cases[] = {
        {{"--stopbits", "1.0"}, "--stopbits: '1.0' is not one of 1, 1.5, 2"},
        {{"-b", "9601"},
         "-b: '9601' is not one of 110, 300, 600, 1200, 2400, 4800, 9600, 14400, 19200, 38400, "
         "56000, 57600, 115200, 128000, 256000"},
        {{"--parity", "Even"}, "--parity: 'Even' is not one of none, odd, even, mark, space"},
        {{"--databits", "8bit"}, "--databits: '8bit' is not one of 4, 5, 6, 7, 8"},
    };
    for (const Case& c : cases) {
        std::string error;
        EXPECT_FALSE(Parse(c.args, error));
        EXPECT_EQ(error, c.error);
    }
    std::string error;
    EXPECT_FALSE(ParseCommandLine({"run", "x.ksl", "--flow"}, error));
    EXPECT_EQ(error, "--flow needs a value");
}

TEST(CommandLine, TheStoredMacroCommandsTakeTheirOperandsAndTheSettingsFile) {
    std::string error;
    auto line =
        ParseCommandLine({"import", "a.ksl", "--settings", "s.ini", "--replace", "b.ksl"}, error);
    ASSERT_TRUE(line) << error;
    EXPECT_EQ(line->Command, TCommand::Import);
    EXPECT_EQ(line->ImportFiles, (std::vector<std::string>{"a.ksl", "b.ksl"}));
    EXPECT_TRUE(line->Replace);
    EXPECT_EQ(line->SettingsFile, "s.ini");
    line = ParseCommandLine({"export", "--settings", "s.ini", "out"}, error);
    ASSERT_TRUE(line) << error;
    EXPECT_EQ(line->ExportDir, "out");
    line = ParseCommandLine({"run", "--macro", "Self test", "-d", "loop://"}, error);
    ASSERT_TRUE(line) << error;
    EXPECT_EQ(line->StoredMacro, "Self test");
    EXPECT_EQ(line->PortGiven, (std::array<bool, PortListCount>{true}));
    line = ParseCommandLine({"macros"}, error);
    ASSERT_TRUE(line) << error;
    EXPECT_EQ(line->SettingsFile, std::nullopt);
}

TEST(CommandLine, SeveralDevicesOrAReportMakeAStationRun) {
    struct Case {
        std::vector<std::string> args;
        bool station;
        std::vector<std::string> devices;
    } cases[] = {
        {{"run", "-d", "a", "x.ksl"}, false, {"a"}},
        {{"run", "-d", "a", "--log", "a.log", "x.ksl"}, false, {"a"}},
        {{"run", "-d", "a", "--device", "b", "x.ksl"}, true, {"a", "b"}},
        {{"run", "--devices", "rack.txt", "x.ksl"}, true, {}},
        {{"run", "-d", "a", "--jobs", "4", "x.ksl"}, true, {"a"}},
        {{"run", "--junit", "r.xml", "--macro", "Self test"}, true, {}},
    };
    for (const Case& c : cases) {
        std::string error;
        const auto line = ParseCommandLine(c.args, error);
        ASSERT_TRUE(line) << testing::PrintToString(c.args) << error;
        EXPECT_EQ(line->StationRun(), c.station) << testing::PrintToString(c.args);
        EXPECT_EQ(line->Devices, c.devices);
    }
}

TEST(CommandLine, StationOptionsRefuseBadValues) {
    struct Case {
        std::vector<std::string> args;
        std::string error;
    } cases[] = {
        {{"run", "--jobs", "0", "x.ksl"}, "--jobs: '0' is not a number from 1 to 1024"},
        {{"run", "--jobs", "2x", "x.ksl"}, "--jobs: '2x' is not a number from 1 to 1024"},
        {{"run", "--jobs", "1025", "x.ksl"}, "--jobs: '1025' is not a number from 1 to 1024"},
        {{"run", "--junit", "", "x.ksl"}, "--junit needs a name"},
        {{"run", "x.ksl", "--devices"}, "--devices needs a value"},
        {{"record", "-d", "a", "-d", "b"}, "record takes one device (-d)"},
        {{"record", "--junit", "r.xml"}, "unexpected argument '--junit'"},
    };
    for (const Case& c : cases) {
        std::string error;
        EXPECT_FALSE(ParseCommandLine(c.args, error)) << testing::PrintToString(c.args);
        EXPECT_EQ(error, c.error);
    }
}

// A station hands each device's run the line settings it resolved, in options run reads back.
TEST(CommandLine, LineSettingArgumentsReadBackAsTheSameSettings) {
    const TPortSettings port{"x",          serial::cbr57600, serial::da7,
                             serial::sb15, serial::paMark,   serial::fcCTS};
    std::vector<std::string> args{"run", "-d", "x"};
    for (const std::string& arg : LineSettingArguments(port))
        args.push_back(arg);
    args.push_back("m.ksl");
    std::string error;
    const auto line = ParseCommandLine(args, error);
    ASSERT_TRUE(line) << error;
    EXPECT_EQ(line->Port, port);
}

TEST(CommandLine, RunAndRecordTakeTheLogOptions) {
    std::string error;
    for (const char* command : {"run", "record"}) {
        std::vector<std::string> args{command, "--log", "t.log", "--timestamps"};
        if (args[0] == "run") args.push_back("m.ksl");
        const auto line = ParseCommandLine(args, error);
        ASSERT_TRUE(line) << error;
        EXPECT_EQ(line->LogPath, "t.log");
        EXPECT_TRUE(line->Timestamps);
    }
    EXPECT_FALSE(ParseCommandLine({"run", "--log", "", "m.ksl"}, error));
    EXPECT_EQ(error, "--log needs a name");
    EXPECT_FALSE(ParseCommandLine({"macros", "--timestamps"}, error));
}

TEST(CommandLine, UsageListsEveryValueWithItsDefault) {
    const std::string usage = UsageText();
    EXPECT_NE(usage.find(R"(
  -b, --baud RATE     110 300 600 1200 2400 4800 9600 14400 19200 38400 56000 57600
                      115200 128000 256000                                       [9600]
  --databits N        4 5 6 7 8                                                  [8]
  --stopbits N        1 1.5 2                                                    [1]
  --parity P          none odd even mark space                                   [none]
  --flow F            none cts dtr software default                              [none]

Exit status:)"),
              std::string::npos)
        << usage;
}

} // namespace
