// Macro files as people save them, read by both programs run as real processes.
#include "ChildProcess.h"

#include <fstream>
#include <gtest/gtest.h>

using testsupport::ChildResult;
using testsupport::LastLine;
using testsupport::RunChild;

namespace {

struct Program {
    const char* name;
    std::vector<std::string> argsBeforeFile;
};

const Program programs[] = {
    {"ksl", {KSL_PATH}},
    {"portwell-cli", {PORTWELL_CLI_PATH, "run", "-d", "loop://"}},
};

std::string WriteMacro(const std::string& name, const std::string& bytes) {
    const std::string path = testing::TempDir() + "/" + name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
}

ChildResult RunFile(const Program& program, const std::string& path) {
    std::vector<std::string> args = program.argsBeforeFile;
    args.push_back(path);
    return RunChild(args);
}

TEST(MacroFile, AByteOrderMarkAndWindowsLineEndsAreReadAsPlainText) {
    const std::string bom = "\xEF\xBB\xBF";
    struct Case {
        const char* what;
        std::string bytes;
    } cases[] = {
        {"mark", bom + "Print('a');\nPrint('b')\n"},
        {"crlf", "Print('a');\r\nPrint('b')\r\n"},
        {"mark-crlf", bom + "Print('a');\r\nPrint('b')\r\n"},
        {"mark-begin", bom + "begin\r\n  Print('a');\r\n  Print('b');\r\nend.\r\n"},
        {"no-final-break", bom + "Print('a');\r\nPrint('b')"},
    };
    for (const Program& program : programs)
        for (const Case& c : cases) {
            const ChildResult r =
                RunFile(program, WriteMacro(std::string(c.what) + ".ksl", c.bytes));
            EXPECT_EQ(r.exitCode, 0) << program.name << ' ' << c.what << '\n' << r.err;
            EXPECT_EQ(r.out, "a\nb\n") << program.name << ' ' << c.what;
        }
}

TEST(MacroFile, AMarkOnlyCountsAtTheStartOfTheFile) {
    const std::string path = WriteMacro("late-mark.ksl", "Print('a');\n\xEF\xBB\xBFPrint('b')\n");
    for (const Program& program : programs) {
        const ChildResult r = RunFile(program, path);
        EXPECT_EQ(r.exitCode, 1) << program.name << '\n' << r.err;
    }
}

TEST(MacroFile, ADirectoryOrAMissingFileIsAUsageErrorWithTheReason) {
    struct Case {
        std::string path;
        std::string reason;
    } cases[] = {
        {testing::TempDir(), "Is a directory"},
        {"/no/such/macro.ksl", "No such file or directory"},
    };
    for (const Program& program : programs)
        for (const Case& c : cases) {
            const ChildResult r = RunFile(program, c.path);
            EXPECT_EQ(r.exitCode, 2) << program.name << ' ' << c.path;
            EXPECT_EQ(LastLine(r.err),
                      std::string(program.name) + ": cannot read '" + c.path + "': " + c.reason);
            EXPECT_EQ(r.out, "") << program.name << ' ' << c.path;
        }
}

TEST(MacroFile, AByteThatIsNotUtf8ShowsAsAnEscapeInTheMessage) {
    const std::string path = WriteMacro("latin1.ksl", "Print('ok');\n\xE9t\xE9 := 1\n");
    for (const Program& program : programs) {
        const ChildResult r = RunFile(program, path);
        EXPECT_EQ(r.exitCode, 1) << program.name;
        EXPECT_EQ(r.out, "ok\n") << program.name;
        EXPECT_EQ(LastLine(r.err), "文法エラーです[\\xE9]") << program.name;
    }
}

} // namespace
