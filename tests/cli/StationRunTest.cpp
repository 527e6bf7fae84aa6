// portwell-cli run on many devices at once, against pseudo-terminals that the test plays, with
// the JUnit report read back by junitparser, as a CI server reads it.
#include "ChildProcess.h"
#include "DevicePlayer.h"
#include "FileText.h"
#include "PseudoTerminal.h"
#include "TempDir.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <poll.h>
#include <regex>
#include <set>
#include <sstream>
#include <thread>
#include <unistd.h>

using testsupport::ChildOptions;
using testsupport::ChildResult;
using testsupport::DevicePlayer;
using testsupport::PseudoTerminal;
using testsupport::ReadWholeFile;
using testsupport::RunChild;
using testsupport::TempDir;
using testsupport::WriteWholeFile;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

ChildResult Cli(std::vector<std::string> args, ChildOptions options = {}) {
    args.insert(args.begin(), PORTWELL_CLI_PATH);
    if (options.timeout == ChildOptions{}.timeout) options.timeout = 100s;
    return RunChild(args, options);
}

// What junitparser makes of the report: a line for the suite, one per test case.
std::vector<std::string> ReadBack(const std::filesystem::path& report) {
    const ChildResult r = RunChild({"/usr/bin/python3", JUNIT_READER, report.string()});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    std::vector<std::string> lines;
    std::istringstream in(r.out);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// The lines of standard output that start with the device's label, without it.
std::vector<std::string> LinesOf(const std::string& out, const std::string& label) {
    std::vector<std::string> lines;
    const std::string prefix = "[" + label + "] ";
    for (const std::string& line : Lines(out))
        if (line.compare(0, prefix.size(), prefix) == 0)
            lines.push_back(line.substr(prefix.size()));
    return lines;
}

// The summary table: what follows the blank line after the devices' lines.
std::string Summary(const std::string& out) {
    const size_t blank = out.rfind("\n\nDEVICE");
    return blank == std::string::npos ? "" : out.substr(blank + 2);
}

// The summary table's rows with the times taken out, which vary.
std::string WithoutTimes(std::string summary) {
    return std::regex_replace(summary, std::regex("[0-9]+\\.[0-9]{3} s"), "T s");
}

const std::string IdentifyMacro = R"(// Asks the device who it is and judges the answer.
var
  reply: String;
  tries: Integer;
begin
  ComWrite('ID?'#13);
  while (Pos(#13, reply) = 0) and (tries < 250) do
  begin
    Sleep(20);
    reply := reply + ComRead;
    tries := tries + 1;
  end;
  if Pos('BAD', reply) > 0 then Fail('wrong answer ' + Trim(reply));
  if Pos('ERR', reply) > 0 then undeclared := 1;
  Print('answer ' + Trim(reply));
end.
)";

TEST(StationRun, GivesEachDeviceItsVerdictInTheSummaryTheExitStatusAndTheReport) {
    const std::string answers[] = {"OK\r", "BAD\r", "ERR\r"};
    DevicePlayer player(
        3, [&](size_t device, const std::string&) { return DevicePlayer::Reply{answers[device]}; });
    TempDir dir;
    const std::string macro = (dir / "identify.ksl").string();
    WriteWholeFile(macro, IdentifyMacro);
    WriteWholeFile(dir / "devices.txt", "# the rack\n" + player.Path(1) + "\r\n\n  " +
                                            player.Path(2) + "  \n/dev/no-such-port\n");
    const ChildResult r =
        Cli({"run", "-d", player.Path(0), "--devices", (dir / "devices.txt").string(), "--junit",
             (dir / "report.xml").string(), "--log", (dir / "logs").string(), macro});
    EXPECT_EQ(r.exitCode, 3) << r.err;

    const std::string ok = player.Label(0), bad = player.Label(1), err = player.Label(2);
    EXPECT_EQ(LinesOf(r.out, ok).front(), "Com_SD:49 44 3F 0D");
    EXPECT_EQ(LinesOf(r.out, ok).back(), "answer OK");
    EXPECT_EQ(LinesOf(r.out, bad).back(), "Fail:wrong answer BAD");
    EXPECT_EQ(LinesOf(r.err, err), (std::vector<std::string>{macro + ":14: undeclared := 1",
                                                             "文法エラーです[undeclared]"}));
    EXPECT_EQ(LinesOf(r.err, "no-such-port").back(),
              "Error accessing specified device (Error: 2) ");

    const size_t width = std::string("no-such-port").size() + 2;
    const auto row = [&](const std::string& label, const std::string& rest) {
        return label + std::string(width - label.size(), ' ') + rest + "\n";
    };
    EXPECT_EQ(WithoutTimes(Summary(r.out)),
              row("DEVICE", "RESULT       TIME        FIRST FAILURE") +
                  row(ok, "passed       T s") +
                  row(bad, "failed       T s     " + macro + ":13: wrong answer BAD") +
                  row(err, "error        T s     " + macro + ":14: 文法エラーです[undeclared]") +
                  row("no-such-port",
                      "no port      T s     Error accessing specified device (Error: 2)") +
                  "4 devices: 1 passed, 1 failed, 1 error, 1 no port\n")
        << r.out;

    const std::string m = macro, in = " | " + macro + " | ";
    EXPECT_EQ(
        ReadBack(dir / "report.xml"),
        (std::vector<std::string>{
            "suite " + m + " | tests 4 | failures 1 | errors 2 | skipped 0 | timestamp True",
            m + " [" + ok + "]" + in + "passed |  |  |  | timed | out 3 lines",
            m + " [" + bad + "]" + in + "failure | Fail | wrong answer BAD | " + m +
                ":13: Fail('wrong answer ' + Trim(reply)) | timed | out 3 lines",
            m + " [" + err + "]" + in + "error | script error | 文法エラーです[undeclared] | " + m +
                ":14: undeclared := 1 | timed | out 2 lines",
            m + " [no-such-port]" + in +
                "error | no port | Error accessing specified device (Error: 2)  |  | timed | "
                "out 0 lines",
        }));

    const std::string log = ReadWholeFile(dir / "logs" / ("pts_" + ok.substr(4) + ".log"));
    EXPECT_TRUE(std::regex_search(
        log, std::regex("^[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}\\.[0-9]{3}"
                        "[+-][0-9]{2}:[0-9]{2} Com_SD:49 44 3F 0D\n")))
        << log;
    EXPECT_NE(ReadWholeFile(dir / "logs" / "no-such-port.log").find("Error accessing"),
              std::string::npos);
}

TEST(StationRun, CtrlCStopsEveryDeviceAndStillWritesTheReport) {
    DevicePlayer player(3, [](size_t, const std::string&) { return DevicePlayer::Reply{}; });
    TempDir dir;
    ChildOptions options;
    options.input = "ComWrite('X'#13);\nComWait('never', 0);\nPrint('not reached')";
    options.signal = SIGINT;
    options.signalAfterOutput = "Com_SD:58 0D";
    options.signalDelay = 300ms;
    const auto start = Clock::now();
    const ChildResult r =
        Cli({"run", "-d", player.Path(0), "-d", player.Path(1), "-d", player.Path(2), "--jobs", "2",
             "--junit", (dir / "report.xml").string(), "-"},
            options);
    EXPECT_LT(Clock::now() - start, 30s);
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(r.exitCode, 130) << r.err;
    EXPECT_EQ(r.out.find("not reached"), std::string::npos);
    EXPECT_NE(Summary(r.out).find("3 devices: 2 interrupted, 1 not run"), std::string::npos)
        << r.out;
    const std::vector<std::string> report = ReadBack(dir / "report.xml");
    ASSERT_EQ(report.size(), 4u);
    EXPECT_EQ(report[0], "suite <stdin> | tests 3 | failures 0 | errors 2 | skipped 1 | "
                         "timestamp True");
    EXPECT_NE(report[3].find("| skipped |  | interrupted before it started |"), std::string::npos)
        << report[3];
    // The temporary file the report was written to is gone.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()),
                            std::filesystem::directory_iterator()),
              1);
}

// At most two run at once, and two do: a device counts as running from its request until its
// reply, which its run waits for before it ends. The player counts both, in the order they happen.
TEST(StationRun, JobsLimitsHowManyRunAtOnce) {
    std::atomic<int> busy{0}, mostBusy{0};
    DevicePlayer player(
        6,
        [&](size_t, const std::string&) {
            mostBusy = std::max(mostBusy.load(), ++busy);
            return DevicePlayer::Reply{"ACK\r", 300ms};
        },
        [&](size_t) { --busy; });
    std::vector<std::string> args{"run", "--jobs", "2"};
    for (size_t i = 0; i < 6; ++i)
        args.insert(args.end(), {"-d", player.Path(i)});
    args.push_back("-");
    ChildOptions options;
    options.input = "ComWrite('HELLO'#13);\nif not ComWait('ACK'#13, 20000) then Fail('no ack')";
    const ChildResult r = Cli(args, options);
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_NE(Summary(r.out).find("6 devices: 6 passed"), std::string::npos) << r.out;
    EXPECT_EQ(mostBusy, 2);
}

std::string Hex(const std::string& bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (unsigned char c : bytes)
        text += std::string(text.empty() ? "" : " ") + digits[c >> 4] + digits[c & 15];
    return text;
}

// Thirty-two devices, two hundred exchanges each: every device passes, and every device's lines
// come whole, in order, none lost.
TEST(StationRun, ThirtyTwoDevicesAtOnceLoseAndMixNoLine) {
    constexpr size_t devices = 32;
    constexpr int exchanges = 200;
    DevicePlayer player(devices, [](size_t, const std::string& request) {
        return DevicePlayer::Reply{"ACK" + request.substr(3) + "\r"};
    });
    std::vector<std::string> args{"run"};
    for (size_t i = 0; i < devices; ++i)
        args.insert(args.end(), {"-d", player.Path(i)});
    args.push_back("-");
    ChildOptions options;
    options.input = "var i: Integer;\nbegin\n  for i := 1 to " + std::to_string(exchanges) +
                    " do\n  begin\n    ComWrite('REQ ' + IntToStr(i) + #13);\n"
                    "    if not ComWait('ACK ' + IntToStr(i) + #13, 20000) then\n"
                    "      Fail('no reply to ' + IntToStr(i));\n  end;\nend.\n";
    const ChildResult r = Cli(args, options);
    ASSERT_EQ(r.exitCode, 0) << r.err << Summary(r.out);
    EXPECT_NE(Summary(r.out).find("32 devices: 32 passed"), std::string::npos);

    std::vector<std::string> expected;
    for (int i = 1; i <= exchanges; ++i) {
        expected.push_back("Com_SD:" + Hex("REQ " + std::to_string(i) + "\r"));
        expected.push_back("Com_RD:" + Hex("ACK " + std::to_string(i) + "\r"));
    }
    size_t prefixed = 0;
    for (size_t i = 0; i < devices; ++i) {
        const std::vector<std::string> lines = LinesOf(r.out, player.Label(i));
        EXPECT_EQ(lines, expected) << player.Label(i);
        prefixed += lines.size();
    }
    // Nothing but the devices' lines comes before the summary.
    EXPECT_EQ(Lines(r.out.substr(0, r.out.size() - Summary(r.out).size())).size(), prefixed + 1);
}

// A run that dies takes no other device with it, and its death is the verdict.
TEST(StationRun, ARunThatCrashesIsAnErrorOfItsDeviceAlone) {
    DevicePlayer player(1,
                        [](size_t, const std::string&) { return DevicePlayer::Reply{"CRASH\r"}; });
    ChildOptions options;
    // Reads until the reply's line end, however late a loaded machine brings it.
    options.input = "var reply: String;\nbegin\nComWrite('Q'#13);\n"
                    "repeat reply := reply + ComRead until Pos(#13, reply) > 0;\n"
                    "if Pos('CRASH', reply) > 0 then\nbegin\n"
                    "  RegisterRoutine('libc.so.6', 'abort', '', '');\n  abort;\nend;\n"
                    "Print('alive')\nend.";
    const ChildResult r = Cli({"run", "-d", player.Path(0), "-d", "loop://", "-"}, options);
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_EQ(LinesOf(r.out, "loop://").back(), "alive");
    EXPECT_NE(WithoutTimes(Summary(r.out)).find("error        T s     the run ended by signal 6 ("),
              std::string::npos)
        << r.out;
}

// As a new user would try it: a stored macro on two loopback devices, with a report.
TEST(StationRun, AStoredMacroOnTwoLoopbackDevicesWithAReport) {
    TempDir dir;
    const std::string settings = (dir / "portwell.ini").string();
    ASSERT_EQ(Cli({"import", "--settings", settings, EXAMPLES_DIR "/loopback.ksl"}).exitCode, 0);
    const ChildResult r = Cli({"run", "--settings", settings, "-d", "loop://", "-d", "loop://",
                               "--junit", (dir / "r.xml").string(), "--macro", "loopback"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(LinesOf(r.out, "loop://").front(), "Asking the device three times...");
    EXPECT_EQ(LinesOf(r.out, "loop://#2").back(), "no answer to an unsent question, as expected");
    EXPECT_EQ(ReadBack(dir / "r.xml"),
              (std::vector<std::string>{
                  "suite loopback | tests 2 | failures 0 | errors 0 | skipped 0 | timestamp True",
                  "loopback [loop://] | loopback | passed |  |  |  | timed | out 15 lines",
                  "loopback [loop://#2] | loopback | passed |  |  |  | timed | out 15 lines",
              }));
}

// --timestamps stamps each device's traffic lines as its log file does, with the same times.
TEST(StationRun, TimestampsMatchTheDevicesLogFiles) {
    TempDir dir;
    ChildOptions options;
    options.input = "ComWrite('A');\nPrint('done')";
    const ChildResult r = Cli({"run", "-d", "loop://", "-d", "loop://", "--timestamps", "--log",
                               (dir / "logs").string(), "-"},
                              options);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    const std::string stamp = "[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}\\.[0-9]{3}"
                              "[+-][0-9]{2}:[0-9]{2} ";
    std::set<std::string> logs;
    for (const auto& entry : std::filesystem::directory_iterator(dir / "logs"))
        logs.insert(ReadWholeFile(entry.path()));
    for (const std::string label : {"loop://", "loop://#2"}) {
        const std::vector<std::string> lines = LinesOf(r.out, label);
        ASSERT_EQ(lines.size(), 2u) << r.out;
        EXPECT_TRUE(std::regex_match(lines[0], std::regex(stamp + "Com_SD:41"))) << lines[0];
        EXPECT_TRUE(std::regex_match(lines[1], std::regex(stamp + "done"))) << lines[1];
        EXPECT_EQ(logs.count(lines[0] + "\n" + lines[1] + "\n"), 1u) << r.out;
    }
}

TEST(StationRun, RefusesWhatItCannotDoBeforeAnyDeviceRuns) {
    TempDir dir;
    WriteWholeFile(dir / "empty.txt", "# nothing here\n\n");
    WriteWholeFile(dir / "file", "");
    struct Case {
        std::vector<std::string> args;
        std::string error;
    } cases[] = {
        {{"--devices", (dir / "missing.txt").string()}, "cannot read the device list"},
        {{"--devices", (dir / "empty.txt").string()}, "names no device"},
        {{"-d", "loop://", "--junit", (dir / "no-folder" / "r.xml").string()},
         "cannot write the report"},
        {{"-d", "loop://", "-d", "loop://", "--log", (dir / "file").string()},
         "cannot make the log folder"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args{"run"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        args.push_back("-");
        ChildOptions options;
        options.input = "Print('ran')";
        const ChildResult r = Cli(args, options);
        EXPECT_EQ(r.exitCode, 2) << testing::PrintToString(c.args);
        EXPECT_NE(r.err.find(c.error), std::string::npos) << r.err;
        EXPECT_EQ(r.out.find("ran"), std::string::npos);
    }
}

} // namespace
