#include "ChildProcess.h"
#include "FileText.h"
#include "PseudoTerminal.h"
#include "Ser2net.h"

#include <atomic>
#include <chrono>
#include <fstream>
#include <gtest/gtest.h>
#include <regex>
#include <sstream>
#include <thread>

using testsupport::ChildOptions;
using testsupport::ChildResult;
using testsupport::LastLine;
using testsupport::PseudoTerminal;
using testsupport::RunChild;
using namespace std::chrono_literals;

namespace {

ChildResult Cli(std::vector<std::string> args, const ChildOptions& options = {}) {
    args.insert(args.begin(), PORTWELL_CLI_PATH);
    return RunChild(args, options);
}

ChildResult RunMacro(const std::string& macro, std::vector<std::string> args = {}) {
    ChildOptions options;
    options.input = macro;
    args.insert(args.begin(), "run");
    args.push_back("-");
    return Cli(args, options);
}

TEST(PortwellCli, RunsAMacroAgainstTheLoopbackDevice) {
    const ChildResult r =
        RunMacro("ComWrite('PING'#13);\nif ComWait('PING'#13, 2000) then Print('echoed');\n"
                 "if IsDefine('fast') then Print('defined')",
                 {"-d", "loop://", "-b", "115200", "-D", "FAST"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "Com_SD:50 49 4E 47 0D\nCom_RD:50 49 4E 47 0D\nechoed\ndefined\n");
}

TEST(PortwellCli, ExitStatusTellsHowTheRunEnded) {
    struct Case {
        std::vector<std::string> args;
        std::string macro;
        int exitCode;
        std::string lastErrorLine;
    } cases[] = {
        {{"run", "-d", "loop://", "-"}, "Print('a'); x := 1", 1, "文法エラーです[x]"},
        {{"run", "-d", "loop://", "-"}, "Print('a');\nFail('bad answer')", 1, "Fail:bad answer"},
        {{"run", "-d", "/dev/no-such-port", "-"},
         "Print('a')",
         3,
         "Error accessing specified device (Error: 2) "},
        {{"run", "-b", "1234", "-"}, "", 2, ""},
        {{"run", "--parity", "odd-ish", "-"}, "", 2, ""},
        {{"run", "-d", "loop://"}, "", 2, ""},
        {{"frobnicate"}, "", 2, ""},
        {{"run", "-d", "loop://", "/no/such/macro.ksl"}, "", 2, ""},
        {{"--help"}, "", 0, ""},
    };
    for (const Case& c : cases) {
        ChildOptions options;
        options.input = c.macro;
        const ChildResult r = Cli(c.args, options);
        EXPECT_EQ(r.exitCode, c.exitCode) << testing::PrintToString(c.args) << r.err;
        if (!c.lastErrorLine.empty()) {
            EXPECT_EQ(LastLine(r.err), c.lastErrorLine) << testing::PrintToString(c.args);
        }
    }
}

TEST(PortwellCli, AScriptErrorNamesItsLineBeforeTheMessage) {
    const std::string path = testing::TempDir() + "/typo-cli.ksl";
    std::ofstream(path, std::ios::binary) << "\xEF\xBB\xBF"
                                             "begin\r\n  ComWrite('A');\r\n"
                                             "  ComWrit('B');\r\nend.\r\n";
    const ChildResult fromFile = Cli({"run", "-d", "loop://", path});
    EXPECT_EQ(fromFile.exitCode, 1);
    EXPECT_EQ(fromFile.err, path + ":3: ComWrit('B')\n文法エラーです[ComWrit]\n");
    const ChildResult fromInput = RunMacro("Print('a');\nx := 1", {"-d", "loop://"});
    EXPECT_EQ(fromInput.err, "<stdin>:2: x := 1\n文法エラーです[x]\n");
}

TEST(PortwellCli, APortThatCannotBeOpenedIsNamedBeforeTheMessage) {
    struct Case {
        std::string device, namedAs;
    } cases[] = {
        {"/dev/no-such-port", "portwell-cli: cannot open the device '/dev/no-such-port'"},
        {"no-such-tty", "portwell-cli: cannot open the device 'no-such-tty' (/dev/no-such-tty)"},
    };
    for (const Case& c : cases) {
        const ChildResult r = RunMacro("Print('a')", {"-d", c.device});
        EXPECT_EQ(r.exitCode, 3) << r.err;
        EXPECT_EQ(r.err, c.namedAs + "\nError accessing specified device (Error: 2) \n");
    }
}

// A network device that cannot be reached fails like any device that cannot be opened; Ctrl-C
// while it connects ends the run at once.
TEST(PortwellCli, ANetworkDeviceThatCannotBeReachedFailsToOpen) {
    const std::string refused = "tcp://127.0.0.1:" + std::to_string(testsupport::FreePort());
    const ChildResult r = RunMacro("Print('a')", {"-d", refused});
    EXPECT_EQ(r.exitCode, 3) << r.err;
    EXPECT_EQ(r.err, "portwell-cli: cannot open the device '" + refused +
                         "'\nError accessing specified device (Error: 111) " + refused +
                         ": Connection refused\n");

    testsupport::UnansweringPort unanswering;
    ChildOptions options;
    options.input = "Print('a')";
    options.signal = SIGINT;
    options.signalDelay = 300ms;
    const auto start = std::chrono::steady_clock::now();
    const ChildResult interrupted = Cli(
        {"run", "-d", "tcp://127.0.0.1:" + std::to_string(unanswering.Port()) + "?timeout=60", "-"},
        options);
    EXPECT_EQ(interrupted.exitCode, 130) << interrupted.err;
    EXPECT_EQ(interrupted.out, "");
    EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
}

TEST(PortwellCli, RunsAMacroAgainstSer2net) {
    if (!testsupport::Ser2net::Installed()) GTEST_SKIP() << testsupport::Ser2net::NotInstalled;
    PseudoTerminal device;
    testsupport::Ser2net server(device.Path(), true);
    std::thread player([&] {
        if (device.Receive(3) == testsupport::Bytes{'A', 'T', '\r'}) device.Send({'O', 'K', '\r'});
    });
    const ChildResult r = RunMacro("ComWrite('AT'#13); if ComWait('OK'#13, 10000) then Print('ok')",
                                   {"-d", server.DeviceName(), "-b", "115200"});
    player.join();
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "Com_SD:41 54 0D\nCom_RD:4F 4B 0D\nok\n");
}

TEST(PortwellCli, AValueOutsideTheListsNamesTheAllowedValues) {
    const ChildResult r = Cli({"run", "--flow", "rts", "x.ksl"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("none, cts, dtr, software, default"), std::string::npos) << r.err;
}

// The message stays the port's, last, for scripts; the line before it names what to change.
TEST(PortwellCli, ARefusedSettingIsNamedBeforeTheMessage) {
    struct Case {
        std::vector<std::string> options;
        std::string named;
    } cases[] = {
        {{"--databits", "4"}, "--databits 4: serial lines on Linux carry 5 to 8 data bits"},
        {{"--stopbits", "1.5"}, "--stopbits 1.5: 1.5 stop bits go with 5 data bits only"},
        {{"--flow", "dtr", "-b", "300"}, "--flow dtr: Linux has no DTR/DSR flow control"},
    };
    for (const Case& c : cases) {
        for (const char* command : {"run", "record"}) {
            PseudoTerminal device;
            std::vector<std::string> args{command, "-d", device.Path()};
            args.insert(args.end(), c.options.begin(), c.options.end());
            if (std::string(command) == "run") args.push_back("-");
            ChildOptions options;
            options.input = "Print('never')";
            const ChildResult r = Cli(args, options);
            EXPECT_EQ(r.exitCode, 3) << command << r.err;
            EXPECT_EQ(r.err, "portwell-cli: cannot open the device '" + device.Path() +
                                 "'\nportwell-cli: the device refused " + c.named +
                                 "\nError updating DataControlBlock (Error: 22) \n")
                << command;
        }
    }
}

TEST(PortwellCli, ALoopWithAnIntervalStopsOnASignal) {
    for (int signal : {SIGINT, SIGTERM}) {
        ChildOptions options;
        options.input = "Print('pass')";
        options.signal = signal;
        options.signalAfterOutput = "pass\npass\n";
        const auto start = std::chrono::steady_clock::now();
        const ChildResult r =
            Cli({"run", "-d", "loop://", "--loop", "--interval", "50", "-"}, options);
        EXPECT_FALSE(r.timedOut);
        EXPECT_EQ(r.exitCode, 130) << r.err;
        EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
    }
}

TEST(PortwellCli, ASignalEndsAWaitWithoutLimit) {
    ChildOptions options;
    options.input = "Print('waiting'); ComWait('never', 0); Print('not reached')";
    options.signal = SIGINT;
    options.signalAfterOutput = "waiting";
    const ChildResult r = Cli({"run", "-d", "loop://", "-"}, options);
    EXPECT_EQ(r.exitCode, 130) << r.err;
    EXPECT_EQ(r.out, "waiting\n");
}

// A signal during any wait ends the run before the next statement: nothing reaches the device.
TEST(PortwellCli, ASignalDuringAnyWaitSendsNothingMore) {
    struct Case {
        std::string macro;
        std::vector<std::string> options;
    } cases[] = {
        {"Print('start'); Sleep(100000); ComWrite('FIRE')", {}},
        {"Print('start'); Pause; ComWrite('FIRE')", {}},
        {"Print('start'); ComWait('never', 100000); ComWrite('FIRE')", {}},
        {"Print('start')", {"--loop", "--interval", "100000"}},
    };
    for (int signal : {SIGINT, SIGTERM}) {
        for (const Case& c : cases) {
            PseudoTerminal device;
            ChildOptions options;
            options.input = c.macro;
            options.signal = signal;
            options.signalAfterOutput = "start";
            options.signalDelay = 100ms;
            std::vector<std::string> args{"run", "-d", device.Path()};
            args.insert(args.end(), c.options.begin(), c.options.end());
            args.push_back("-");
            const ChildResult r = Cli(args, options);
            EXPECT_FALSE(r.timedOut) << c.macro;
            EXPECT_EQ(r.exitCode, 130) << c.macro << r.err;
            EXPECT_EQ(r.out, "start\n") << c.macro;
            EXPECT_TRUE(device.Drain().empty()) << c.macro;
        }
    }
}

TEST(PortwellCli, CtrlCDuringExecEndsTheRunBeforeTheNextStatement) {
    PseudoTerminal device;
    ChildOptions options;
    options.input = "Print('start'); Exec('sleep', '30', -1); ComWrite('FIRE')";
    options.signal = SIGINT;
    options.signalGroup = true;
    options.signalAfterOutput = "start";
    options.signalDelay = 200ms;
    const ChildResult r = Cli({"run", "-d", device.Path(), "-"}, options);
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(r.exitCode, 130) << r.err;
    EXPECT_EQ(r.out, "start\n");
    EXPECT_TRUE(device.Drain().empty());
}

TEST(PortwellCli, ADeviceThatVanishesDuringAWaitEndsTheRunWithAnError) {
    PseudoTerminal device;
    std::thread player([&] {
        device.Receive(2);
        device.HangUp();
    });
    ChildOptions options;
    options.input = "ComWrite('go'); ComWait('never', 0)";
    const ChildResult r = Cli({"run", "-d", device.Path(), "-"}, options);
    player.join();
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_NE(LastLine(r.err).find("Device disconnected"), std::string::npos) << r.err;
}

size_t CountOf(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

std::string FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// The run stops for good and says so; the macro file is left as it was.
TEST(PortwellCli, ADeviceUnpluggedDuringALoopEndsTheRunWithTheDeviceLostError) {
    PseudoTerminal device;
    const std::string file = testing::TempDir() + "/request-reply.ksl";
    const std::string macro =
        "ComWrite('ping'#13);\r\nif ComWait('pong'#13, 20000) then Print('pass');\r\n";
    std::ofstream(file, std::ios::binary) << macro;
    std::atomic<std::chrono::steady_clock::time_point> hungUpAt{};
    std::thread player([&] {
        for (int pass = 0; pass < 3; ++pass) {
            device.Receive(5);
            device.Send({'p', 'o', 'n', 'g', '\r'});
        }
        device.Receive(5);
        hungUpAt = std::chrono::steady_clock::now();
        device.HangUp();
    });
    const ChildResult r = Cli({"run", "-d", device.Path(), "--loop", "--interval", "0", file});
    const auto endedAt = std::chrono::steady_clock::now();
    player.join();
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_LT(endedAt - hungUpAt.load(), 3s); // generous for a loaded machine
    // The device is found gone by the write or by the wait, whichever comes first.
    const std::string located[] = {file + ":1: ComWrite('ping'#13)",
                                   file + ":2: if ComWait('pong'#13, 20000) then Print('pass')"};
    const std::string advice = "portwell-cli: the device went away, so the loop stopped; start it "
                               "again once the device is back\n";
    const std::string message = "Device disconnected: " + device.Path() + " (Error: 5)\n";
    EXPECT_TRUE(r.err == advice + located[0] + "\n" + message ||
                r.err == advice + located[1] + "\n" + message)
        << r.err;
    EXPECT_EQ(CountOf(r.out, "Com_SD:"), 4u) << r.out;
    EXPECT_EQ(FileBytes(file), macro);
}

TEST(PortwellCli, RecordsTrafficIntoAMacroFile) {
    PseudoTerminal device;
    const std::string file = testing::TempDir() + "/recorded.ksl";
    std::thread player([&] {
        std::this_thread::sleep_for(300ms);
        device.Send({0x06});
        std::this_thread::sleep_for(100ms);
        device.Send({'A', 'B', '\r'});
    });
    const ChildResult r = Cli({"record", "-d", device.Path(), "--duration", "1200", "-o", file});
    player.join();
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "Rec_RD:06\nRec_RD:41 42 0D\n");
    const std::string macro = FileBytes(file);
    EXPECT_TRUE(macro.starts_with("ComWriteHex('06');\nSleep(")) << macro;
    EXPECT_TRUE(macro.ends_with(");\nComWriteHex('41 42 0D');\n")) << macro;
}

TEST(PortwellCli, RecordingToStandardOutputLogsToStandardError) {
    PseudoTerminal device;
    std::thread player([&] {
        std::this_thread::sleep_for(300ms);
        device.Send({0x31});
    });
    const ChildResult r = Cli({"record", "-d", device.Path(), "--duration", "800"});
    player.join();
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "ComWriteHex('31');\n");
    EXPECT_EQ(r.err, "Rec_RD:31\n");
}

TEST(PortwellCli, PortsListsOneDevicePerLine) {
    const ChildResult r = Cli({"ports"});
    EXPECT_EQ(r.exitCode, 0);
    std::istringstream lines(r.out);
    for (std::string line; std::getline(lines, line);)
        EXPECT_NE(line.find('\t'), std::string::npos) << line;
}

} // namespace

namespace {

// --log keeps every line of a long exchange, stamped, while standard output shows them too;
// --timestamps puts the same stamp before each printed line. A record writes its Rec_RD lines
// there as well.
TEST(PortwellCliLog, KeepsEveryLineWithItsTimeAndPrintsTheSameStamp) {
    const std::string path = testing::TempDir() + "/cli-traffic.log";
    std::remove(path.c_str());
    const std::string macro = "var i: Integer; begin for i := 1 to 3000 do begin "
                              "ComWrite(IntToStr(i) + #13); ComWait(IntToStr(i) + #13, 2000) "
                              "end; Print('done') end.";
    const ChildResult r = RunMacro(macro, {"-d", "loop://", "--log", path, "--timestamps"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string stamp = R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d )";
    const std::regex stamped(stamp + "(.*)");
    std::vector<std::string> printed, kept;
    for (auto [text, lines] :
         {std::pair{r.out, &printed}, std::pair{testsupport::ReadWholeFile(path), &kept}}) {
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);) {
            std::smatch match;
            ASSERT_TRUE(std::regex_match(line, match, stamped)) << line;
            lines->push_back(match[1]);
        }
    }
    ASSERT_EQ(kept.size(), 6001u);
    EXPECT_EQ(kept, printed);
    EXPECT_EQ(kept[0], "Com_SD:31 0D");
    EXPECT_EQ(kept[5999], "Com_RD:33 30 30 30 0D");
    EXPECT_EQ(kept.back(), "done");
}

TEST(PortwellCliLog, ALogThatCannotBeOpenedIsAUsageErrorAndNothingRuns) {
    PseudoTerminal device;
    for (const std::vector<std::string>& command :
         {std::vector<std::string>{"run", "-d", device.Path(), "--log", "/no/such/dir/x.log", "-"},
          std::vector<std::string>{"record", "-d", device.Path(), "--log", "/no/such/dir/x.log"}}) {
        ChildOptions options;
        options.input = "ComWrite('sent')";
        const ChildResult r = Cli(command, options);
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_EQ(r.err,
                  "portwell-cli: cannot open the log file '/no/such/dir/x.log': No such file or "
                  "directory\n");
        EXPECT_TRUE(device.Drain().empty());
    }
}

} // namespace
