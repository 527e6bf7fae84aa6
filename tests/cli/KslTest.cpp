#include "ChildProcess.h"

#include <chrono>
#include <gtest/gtest.h>

using testsupport::ChildOptions;
using testsupport::ChildResult;
using testsupport::LastLine;
using testsupport::RunChild;

namespace {

ChildResult Ksl(std::vector<std::string> args, const ChildOptions& options = {}) {
    args.insert(args.begin(), KSL_PATH);
    return RunChild(args, options);
}

ChildResult RunText(const std::string& program, std::vector<std::string> args = {}) {
    args.push_back("-");
    ChildOptions options;
    options.input = program;
    return Ksl(args, options);
}

TEST(Ksl, NestedLoopsWithBreakContinueAndExit) {
    const ChildResult r = RunText(R"(
var i, j, hits: integer;
begin
  hits := 0;
  for i := 1 to 5 do
  begin
    if i = 2 then continue;
    j := 0;
    while true do
    begin
      j := j + 1;
      if j > i then break;
      if (i = 4) and (j = 2) then continue;
      hits := hits + 1;
    end;
    if i = 5 then exit;
    Print('row ' + IntToStr(i) + ' hits ' + IntToStr(hits));
  end;
  Print('not reached');
end.
)",
                                  {"--vars"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "row 1 hits 1\nrow 3 hits 4\nrow 4 hits 7\nhits=12\ni=5\nj=6\n");
}

TEST(Ksl, CaseWithRangesAndElse) {
    const ChildResult r = RunText(R"(
var n: integer; s: string;
begin
  for n := 0 to 12 do
    case n of
      0: s := s + 'z';
      1..3, 5: s := s + 'a';
      4, 6..8: begin s := s + 'b'; end;
    else
      s := s + '.';
    end;
end.
)",
                                  {"--vars"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "n=12\ns='zaaababbb....'\n");
}

TEST(Ksl, ForLoopsAtTheEndsOfThe32BitRangeNeitherOverflowNorLoopForever) {
    struct Case {
        std::string loop;
        std::string vars;
    } cases[] = {
        {"for i := 2147483645 to 2147483647 do n := n + 1", "i=2147483647\nn=3\n"},
        {"for i := -2147483646 downto -2147483648 do n := n + 1", "i=-2147483648\nn=3\n"},
        {"for i := 2147483647 to 2147483647 do n := n + 1", "i=2147483647\nn=1\n"},
        {"for i := 2147483647 to -2147483648 do n := n + 1", "i=2147483647\nn=0\n"},
        {"for i := 0 to 4294967297 do n := n + 1", "i=1\nn=2\n"},
    };
    for (const Case& c : cases) {
        const ChildResult r = RunText("var i, n: integer; begin " + c.loop + " end.", {"--vars"});
        EXPECT_EQ(r.exitCode, 0) << c.loop << r.err;
        EXPECT_EQ(r.out, c.vars) << c.loop;
    }
}

TEST(Ksl, VarsListsDeclaredVariablesInTableOrderEvenAfterAFailure) {
    const ChildResult r = RunText("var Zed: integer; alpha: real; Mid: string;\n"
                                  "begin Zed := -5; alpha := 1/3; Mid := 'it''s'; Zed := 1 div 0 "
                                  "end.",
                                  {"--vars"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(LastLine(r.err), "ゼロによる除算");
    EXPECT_EQ(r.out, "alpha=0.333333333333333\nMid='it''s'\nZed=-5\n");
}

TEST(Ksl, ExitStatusTellsHowTheRunEnded) {
    struct Case {
        std::vector<std::string> args;
        int exitCode;
        std::string lastErrorLine;
    } cases[] = {
        {{"-e", "begin exit; x end"}, 0, ""},
        {{"-e", "break; x := 1"}, 0, ""},
        {{"-e", "x := 1"}, 1, "文法エラーです[x]"},
        {{"-e", "var x: integer; begin x := (1 end."}, 1, "右括弧がありません"},
        {{}, 2, ""},
        {{"-e", "x", "file.ksl"}, 2, ""},
        {{"--frobnicate", "file.ksl"}, 2, ""},
        {{"--max-string", "16", "-e", "Print('abcdefghijklmnop')"}, 0, ""},
        {{"--max-string", "16", "-e", "Print('abcdefghijklmnop' + 'q')"}, 1, "文字列が長すぎます"},
        {{"--max-string", "1K", "-e", "var s: string; begin s := 'ab'; while 1 do s := s + s end"},
         1,
         "文字列が長すぎます"},
        {{"--max-string", "1T", "-e", "x"}, 2, ""},
        {{"--max-string", "-e", "x"}, 2, ""},
        {{"--no-compile", "-e", "Print('a')"}, 0, ""},
        {{"/nonexistent/macro.ksl"},
         2,
         "ksl: cannot read '/nonexistent/macro.ksl': No such file or directory"},
    };
    for (const Case& c : cases) {
        const ChildResult r = Ksl(c.args);
        EXPECT_EQ(r.exitCode, c.exitCode) << testing::PrintToString(c.args) << r.err;
        if (!c.lastErrorLine.empty()) {
            EXPECT_EQ(LastLine(r.err), c.lastErrorLine);
        }
    }
}

// The line before the message names the script, the line and the statement as written there; a
// byte-order mark and Windows line ends do not move the count.
TEST(Ksl, AScriptErrorNamesItsLineBeforeTheMessage) {
    std::string lines = "\xEF\xBB\xBF// twelve lines\r\nvar count: Integer;\r\nbegin\r\n";
    for (int line = 4; line < 12; ++line)
        lines += "  count := count + 1;\r\n";
    lines += "  Prnt(count);   // the typo\r\nend.\r\n";
    const std::string path = testing::TempDir() + "/typo.ksl";
    FILE* f = fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    fputs(lines.c_str(), f);
    fclose(f);

    struct Case {
        std::vector<std::string> args;
        std::string input, err;
    } cases[] = {
        {{path}, "", path + ":12: Prnt(count)\n文法エラーです[Prnt]\n"},
        {{"-"}, "Print('a');\n\n  x := 1;", "<stdin>:3: x := 1\n文法エラーです[x]\n"},
        {{"-e", "Print('a'); Print(1 div 0)"}, "", "<text>:1: Print(1 div 0)\n文法エラーです[1]\n"},
        {{"-e", "var a: Integer;"}, "", "endがありません[Block]\n"},
    };
    for (const Case& c : cases) {
        ChildOptions options;
        options.input = c.input;
        const ChildResult r = Ksl(c.args, options);
        EXPECT_EQ(r.exitCode, 1) << testing::PrintToString(c.args);
        EXPECT_EQ(r.err, c.err) << testing::PrintToString(c.args);
    }
}

// The limit the language guide states: 254 levels, the program's own block included.
TEST(Ksl, NestingEndsAtTheDocumentedDepth) {
    const auto nested = [](int depth) {
        std::string opened, closed;
        for (int i = 0; i < depth; ++i) {
            opened += "begin ";
            closed += " end";
        }
        return "var x: integer; begin " + opened + "x := 1" + closed + " end.";
    };
    EXPECT_EQ(Ksl({"-e", nested(253)}).exitCode, 0);
    const ChildResult tooDeep = Ksl({"-e", nested(254)});
    EXPECT_EQ(tooDeep.exitCode, 1);
    EXPECT_EQ(LastLine(tooDeep.err), "入れ子が深すぎます");
}

TEST(Ksl, DefinesReachIsDefine) {
    const ChildResult r = Ksl({"-D", "DEBUG", "-D", "Board2", "-e",
                               "if IsDefine('debug') and IsDefine('BOARD2') and "
                               "(not IsDefine('x')) then Print('yes')"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "yes\n");
}

TEST(Ksl, ReadsAFileWithWindowsLineEnds) {
    const std::string path = testing::TempDir() + "/crlf.ksl";
    FILE* f = fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    fputs("var s: string;\r\nbegin\r\n  s := 'a';\r\n  Print(s + 'b');\r\nend.\r\n", f);
    fclose(f);
    const ChildResult r = Ksl({path});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "ab\n");
}

TEST(Ksl, CtrlCAbortsARunWhereverItWaits) {
    for (const char* program : {"Print('go'); while 1 do x := x + 1", "Print('go'); Pause",
                                "Print('go'); Sleep(60000)"}) {
        ChildOptions options;
        options.input = std::string("var x: integer; begin ") + program + " end.";
        options.signal = SIGINT;
        options.signalAfterOutput = "go";
        const ChildResult r = Ksl({"-"}, options);
        EXPECT_FALSE(r.timedOut) << program;
        EXPECT_EQ(r.exitCode, 130) << program;
    }
}

// Ctrl-C reaches the program Exec waits for as well; the run must end before the next statement,
// as after a Sleep. A SIGTERM sent to ksl alone must not wait for that program either.
TEST(Ksl, ASignalDuringExecEndsTheRunBeforeTheNextStatement) {
    const std::string stayUntilKslEnds =
        "'-c \"exec >/dev/null 2>&1; while kill -0 $PPID; do sleep 0.05; done\"'";
    struct Case {
        int signal;
        bool group;
        std::string child;
    } cases[] = {
        {SIGINT, true, "'sleep', '30'"},
        {SIGTERM, true, "'sleep', '30'"},
        {SIGTERM, false, "'sh', " + stayUntilKslEnds},
    };
    for (const Case& c : cases) {
        ChildOptions options;
        options.input = "begin Print('go'); Exec(" + c.child + ", -1); Print('next') end.";
        options.signal = c.signal;
        options.signalGroup = c.group;
        options.signalAfterOutput = "go";
        options.signalDelay = std::chrono::milliseconds(200);
        const auto start = std::chrono::steady_clock::now();
        const ChildResult r = Ksl({"-"}, options);
        EXPECT_FALSE(r.timedOut) << c.child;
        EXPECT_EQ(r.exitCode, 130) << c.child << r.err;
        EXPECT_EQ(r.out, "go\n") << c.child;
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(15)) << c.child;
    }
}

} // namespace
