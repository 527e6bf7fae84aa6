// portwell-cli's commands on the stored macros, run as real processes on settings files of a
// test's own.
#include "ChildProcess.h"
#include "FileText.h"
#include "TempDir.h"
#include "cli/CommandLine.h"
#include "portwell/settings/SettingsStore.h"

#include <algorithm>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

using namespace cli;
using namespace portwell;
using namespace portwell::settings;
using testsupport::ChildOptions;
using testsupport::ChildResult;
using testsupport::ReadWholeFile;
using testsupport::RunChild;
using testsupport::TempDir;
using testsupport::WriteWholeFile;
namespace fs = std::filesystem;
using namespace std::string_literals;

namespace {

ChildResult Cli(std::vector<std::string> args, const ChildOptions& options = {}) {
    args.insert(args.begin(), PORTWELL_CLI_PATH);
    return RunChild(args, options);
}

TStoredState TwoMacros() {
    TStoredState state;
    state.Macros = {{"Ping", {"ComWrite('PING');", "if ComWait('PING', 2000) then Print('ok');"}},
                    {"日本語", {"Print('こんにちは');"}},
                    {"Ping", {"Print('the second Ping');"}}};
    state.PortLists[plDeviceName] = {{"COM1", "loop://"}, 1};
    return state;
}

TEST(StoredMacroNames, PortOptionsOverrideOnlyWhatTheyName) {
    std::string error;
    const auto line = ParseCommandLine({"run", "-b", "115200", "--macro", "x"}, error);
    ASSERT_TRUE(line) << error;
    TPortSettings stored{"/dev/ttyUSB0", serial::cbr1200, serial::da7,
                         serial::sb20,   serial::paEven,  serial::fcCTS};
    const TPortSettings port = line->PortOver(stored);
    EXPECT_EQ(port.DeviceName, "/dev/ttyUSB0");
    EXPECT_EQ(port.BaudRate, serial::cbr115200);
    EXPECT_EQ(port.Databits, serial::da7);
    EXPECT_EQ(port.Parity, serial::paEven);
}

TEST(StoredMacroCommands, UsageErrorsOfTheNewCommands) {
    const std::vector<std::string> cases[] = {{"run", "--macro", "a", "file.ksl"},
                                              {"run", "--macro"},
                                              {"run", "--macro", ""},
                                              {"export"},
                                              {"export", "a", "b"},
                                              {"import"},
                                              {"import", "--frobnicate", "x.ksl"},
                                              {"macros", "extra"},
                                              {"macros", "-d", "loop://"},
                                              {"macros", "--settings"}};
    for (const auto& args : cases)
        EXPECT_EQ(Cli(args).exitCode, 2) << testing::PrintToString(args);
}

TEST(StoredMacroCommands, MacrosListsNumberTabTitleAndNothingElse) {
    TempDir dir;
    const fs::path file = dir / "portwell.ini";
    SaveSettings(file, TwoMacros());
    const ChildResult r = Cli({"macros", "--settings", file});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "1\tPing\n2\t日本語\n3\tPing\n");
    EXPECT_EQ(r.err, "");
}

TEST(StoredMacroCommands, MacrosListsEveryTitleOnOneLine) {
    TempDir dir;
    const fs::path file = dir / "portwell.ini";
    TStoredState state;
    state.Macros = {{"two\nlines", {}}, {"cr\r", {}},          {"tab\there", {}},
                    {"bell\x07", {}},   {"bad \xFF byte", {}}, {"ok", {}}};
    SaveSettings(file, state);
    const ChildResult r = Cli({"macros", "--settings", file});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "1\ttwo\\nlines\n2\tcr\\r\n3\ttab\\there\n4\tbell\\x07\n"
                     "5\tbad \\xFF byte\n6\tok\n");
}

TEST(StoredMacroCommands, TheEnvironmentNamesTheFileAndTheOptionWins) {
    TempDir dir;
    SaveSettings(dir / "env.ini", TwoMacros());
    ChildOptions options;
    options.environment = {"PORTWELL_SETTINGS=" + (dir / "env.ini").string()};
    EXPECT_EQ(Cli({"macros"}, options).out, "1\tPing\n2\t日本語\n3\tPing\n");
    EXPECT_EQ(Cli({"macros", "--settings", dir / "none.ini"}, options).out, "");
}

TEST(StoredMacroCommands, RunsAStoredMacroWithTheStoredPortSettings) {
    TempDir dir;
    const fs::path file = dir / "portwell.ini";
    SaveSettings(file, TwoMacros());
    struct Case {
        std::vector<std::string> args;
        int exitCode;
        std::string out;
    } cases[] = {
        {{"--macro", "Ping"}, 0, "Com_SD:50 49 4E 47\nCom_RD:50 49 4E 47\nok\n"},
        {{"--macro", "2"}, 0, "こんにちは\n"},
        {{"--macro", "3"}, 0, "the second Ping\n"},
        {{"--macro", "Ping", "-d", "/dev/no-such-port"}, 3, ""},
        {{"--macro", "Nope"}, 2, ""},
        {{"--macro", "4"}, 2, ""},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args{"run", "--settings", file};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const ChildResult r = Cli(args);
        EXPECT_EQ(r.exitCode, c.exitCode) << testing::PrintToString(c.args) << r.err;
        EXPECT_EQ(r.out, c.out) << testing::PrintToString(c.args);
        if (c.exitCode == 2) {
            EXPECT_NE(r.err.find(c.args[1]), std::string::npos) << r.err;
        }
    }
}

TEST(StoredMacroCommands, ReadingCommandsNeverChangeTheFile) {
    TempDir dir;
    const fs::path file = dir / "portwell.ini", missing = dir / "missing.ini";
    SaveSettings(file, TwoMacros());
    const std::string before = ReadWholeFile(file);
    const auto modified = fs::last_write_time(file);
    const std::vector<std::string> commands[] = {
        {"macros"}, {"run", "--macro", "2"}, {"export", dir / "out"}};
    for (const auto& command : commands) {
        for (const fs::path& settings : {file, missing}) {
            std::vector<std::string> args = command;
            args.insert(args.end(), {"--settings", settings});
            Cli(args);
        }
    }
    EXPECT_EQ(ReadWholeFile(file), before);
    EXPECT_EQ(fs::last_write_time(file), modified);
    EXPECT_FALSE(fs::exists(missing));
    EXPECT_FALSE(fs::exists(dir / "portwell.ini.lock"));
    EXPECT_FALSE(fs::exists(dir / "missing.ini.lock"));
}

TEST(StoredMacroCommands, AnUnreadableSettingsFileIsExit4AndStaysAsItIs) {
    TempDir dir;
    const fs::path file = dir / "portwell.ini";
    WriteWholeFile(file, "not a settings file");
    WriteWholeFile(dir / "new.ksl", "Print('x');\n");
    const std::vector<std::string> commands[] = {
        {"macros"}, {"run", "--macro", "1"}, {"export", dir / "out"}, {"import", dir / "new.ksl"}};
    for (auto args : commands) {
        args.insert(args.end(), {"--settings", file});
        const ChildResult r = Cli(args);
        EXPECT_EQ(r.exitCode, 4) << testing::PrintToString(args);
        EXPECT_NE(r.err.find(file.string()), std::string::npos) << r.err;
    }
    EXPECT_EQ(ReadWholeFile(file), "not a settings file");
    EXPECT_FALSE(fs::exists(dir / "portwell.ini.bad"));
}

TEST(StoredMacroCommands, ImportAddsOrReplacesAndCreatesTheFile) {
    TempDir dir;
    const fs::path file = dir / "sub" / "portwell.ini";
    WriteWholeFile(dir / "Ping.ksl", "\xEF\xBB\xBFPrint('new ping');\r\nPrint('two');\r\n");
    WriteWholeFile(dir / "extra.macro.ksl", "Print('extra');\n");
    ChildResult r = Cli({"import", "--settings", file, dir / "Ping.ksl"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(LoadSettings(file).Macros,
              (std::vector<TMacro>{{"Ping", {"Print('new ping');", "Print('two');"}}}));
    SaveSettings(file, TwoMacros());
    r = Cli({"import", "--replace", "--settings", file, dir / "Ping.ksl", dir / "extra.macro.ksl"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    std::vector<TMacro> expected = TwoMacros().Macros;
    expected[0].Lines = {"Print('new ping');", "Print('two');"};
    expected.push_back({"extra.macro", {"Print('extra');"}});
    const TStoredState after = LoadSettings(file);
    EXPECT_EQ(after.Macros, expected);
    EXPECT_EQ(after.PortLists, TwoMacros().PortLists); // the rest is kept
}

TEST(StoredMacroCommands, ImportRefusesBadFilesAndChangesNothing) {
    TempDir dir;
    const fs::path file = dir / "portwell.ini";
    SaveSettings(file, TwoMacros());
    const std::string before = ReadWholeFile(file);
    WriteWholeFile(dir / "good.ksl", "Print('x');\n");
    WriteWholeFile(dir / "a=b.ksl", "Print('x');\n");
    fs::create_directory(dir / "folder.ksl");
    struct Case {
        fs::path bad;
        std::string message;
    } cases[] = {{dir / "a=b.ksl", "\"=\""},
                 {dir / "folder.ksl", "Is a directory"},
                 {dir / "missing.ksl", "No such file"}};
    for (const Case& c : cases) {
        const ChildResult r = Cli({"import", "--settings", file, dir / "good.ksl", c.bad});
        EXPECT_EQ(r.exitCode, 2) << c.bad;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_EQ(ReadWholeFile(file), before);
    }
}

TEST(StoredMacroCommands, ImportRefusesWhileTheLockIsHeld) {
    TempDir dir;
    const fs::path file = dir / "portwell.ini";
    SaveSettings(file, TwoMacros());
    const std::string before = ReadWholeFile(file);
    WriteWholeFile(dir / "new.ksl", "Print('x');\n");
    {
        const TSettingsLock desktop(file);
        const ChildResult r = Cli({"import", "--settings", file, dir / "new.ksl"});
        EXPECT_EQ(r.exitCode, 4);
        EXPECT_NE(r.err.find("lock"), std::string::npos) << r.err;
        EXPECT_EQ(ReadWholeFile(file), before);
        EXPECT_EQ(Cli({"macros", "--settings", file}).exitCode, 0); // reading needs no lock
    }
    EXPECT_EQ(Cli({"import", "--settings", file, dir / "new.ksl"}).exitCode, 0);
}

// The desktop program names the file through a link, the import names the file itself.
TEST(StoredMacroCommands, ImportRefusesWhileTheLockIsHeldThroughALink) {
    TempDir dir;
    fs::create_directory(dir / "real");
    const fs::path real = dir / "real" / "s.ini", link = dir / "link.ini";
    fs::create_symlink("real/s.ini", link);
    WriteWholeFile(dir / "New.ksl", "Print('x');\n");
    const TSettingsLock desktop(link);
    const ChildResult r = Cli({"import", "--settings", real, dir / "New.ksl"});
    EXPECT_EQ(r.exitCode, 4) << r.out;
    EXPECT_NE(r.err.find("another Portwell"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(real));
}

TEST(StoredMacroCommands, ExportShortensLongTitlesGoesOnAndTellsWhatFailed) {
    TempDir dir;
    const fs::path file = dir / "portwell.ini";
    TStoredState state;
    const std::string longTitle(300, 'L');
    state.Macros = {{"First", {"a"}}, {longTitle, {"b"}}, {"Blocked", {"c"}}, {"Last", {"d"}}};
    SaveSettings(file, state);
    fs::create_directories(dir / "out" / "Blocked.ksl");
    const ChildResult r = Cli({"export", "--settings", file, dir / "out"});
    EXPECT_EQ(r.exitCode, 2);
    const fs::path shortened = dir / "out" / (std::string(251, 'L') + ".ksl");
    EXPECT_EQ(r.out, (dir / "out" / "First.ksl").string() + "\n" + shortened.string() + "\n" +
                         (dir / "out" / "Last.ksl").string() + "\n");
    EXPECT_EQ(ReadWholeFile(shortened), "b\n");
    EXPECT_EQ(ReadWholeFile(dir / "out" / "Last.ksl"), "d\n");
    EXPECT_NE(r.err.find("shortened"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("Blocked.ksl': Is a directory"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("1 of 4 macros"), std::string::npos) << r.err;
}

TEST(StoredMacroCommands, ExportNeverWritesThroughALinkInTheFolder) {
    TempDir dir;
    const fs::path file = dir / "portwell.ini";
    SaveSettings(file, TwoMacros());
    WriteWholeFile(dir / "victim.txt", "precious");
    fs::create_directory(dir / "out");
    fs::create_symlink("../victim.txt", dir / "out" / "Ping.ksl");
    const ChildResult r = Cli({"export", "--settings", file, dir / "out"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(ReadWholeFile(dir / "victim.txt"), "precious");
    EXPECT_FALSE(fs::is_symlink(dir / "out" / "Ping.ksl"));
    EXPECT_EQ(ReadWholeFile(dir / "out" / "Ping.ksl"),
              "ComWrite('PING');\n"
              "if ComWait('PING', 2000) then Print('ok');\n");
}

TEST(StoredMacroCommands, ImportFailsWithExit4WhenTheFileCannotBeWritten) {
    TempDir dir;
    WriteWholeFile(dir / "plain", "a file where a folder should be");
    WriteWholeFile(dir / "new.ksl", "Print('x');\n");
    const ChildResult r =
        Cli({"import", "--settings", dir / "plain" / "portwell.ini", dir / "new.ksl"});
    EXPECT_EQ(r.exitCode, 4) << r.err;
}

// A new user's first steps: import the examples, list them, run one, export them again.
TEST(StoredMacroCommands, ExamplesSurviveImportAndExport) {
    TempDir dir;
    const fs::path file = dir / "portwell.ini";
    std::vector<std::string> import{"import", "--settings", file};
    std::vector<fs::path> examples;
    for (const auto& entry : fs::directory_iterator(EXAMPLES_DIR))
        if (entry.path().extension() == ".ksl") examples.push_back(entry.path());
    std::sort(examples.begin(), examples.end());
    for (const fs::path& example : examples)
        import.push_back(example);
    ASSERT_EQ(Cli(import).exitCode, 0);
    const ChildResult list = Cli({"macros", "--settings", file});
    EXPECT_NE(list.out.find("\thello\n"), std::string::npos) << list.out;
    const ChildResult run =
        Cli({"run", "--settings", file, "-d", "loop://", "--macro", "loopback"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("read back: 02 41 42 03"), std::string::npos) << run.out;
    const ChildResult exported = Cli({"export", "--settings", file, dir / "out"});
    EXPECT_EQ(exported.exitCode, 0) << exported.err;
    for (const fs::path& example : examples) {
        EXPECT_EQ(ReadWholeFile(dir / "out" / example.filename()), ReadWholeFile(example))
            << example;
        EXPECT_NE(exported.out.find((dir / "out" / example.filename()).string()),
                  std::string::npos);
    }
}

} // namespace
