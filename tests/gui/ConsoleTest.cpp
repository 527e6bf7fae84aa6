// The console under the traffic log, driven as a user drives it: Connect, typing and sending,
// the log's menu, its file, and the window under a flood.
#include "FileText.h"
#include "GuiTestSupport.h"
#include "PseudoTerminal.h"
#include "TempDir.h"
#include "TextLines.h"
#include "platform/Clock.h"
#include "portwell/HexText.h"
#include "portwell/gui/Form1.h"

#include <QAction>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QToolButton>
#include <atomic>
#include <cstring>
#include <fstream>
#include <regex>
#include <thread>

using namespace portwell;
using namespace portwell::gui;
using guitest::AnswerNextMessageBox;
using guitest::Child;
using guitest::WaitFor;
using testsupport::B;
using testsupport::Bytes;
using namespace std::chrono_literals;

namespace {

using Lines = std::vector<std::string>;

#if defined(__SANITIZE_ADDRESS__)
constexpr qint64 ClickBoundMs = 400;
#else
constexpr qint64 ClickBoundMs = 100;
#endif

class Console : public testing::Test {
protected:
    Console() { List("ComboBox1")->setCurrentText(QString::fromStdString(device.Path())); }

    QToolButton* Button(const char* name) { return Child<QToolButton>(form, name); }
    QComboBox* List(const char* name) { return Child<QComboBox>(form, name); }
    QLineEdit* Line() { return Child<QLineEdit>(form, "SendEdit"); }
    QAction* Menu(const char* name) { return Child<QAction>(form, name); }
    QString Problem() {
        QLabel* label = Child<QLabel>(form, "SendProblem");
        return label->isVisibleTo(&form) ? label->text() : QString();
    }
    Lines Pane() {
        Lines lines;
        const QString text = Child<QPlainTextEdit>(form, "RichEdit1")->toPlainText();
        if (text.isEmpty()) return lines;
        for (const QString& line : text.split('\n'))
            lines.push_back(line.toStdString());
        return lines;
    }
    Lines Logged() { return Lines(form.Host().Log.Lines().begin(), form.Host().Log.Lines().end()); }
    bool PaneEndsWith(const std::string& line) {
        return WaitFor([&] {
            const Lines pane = Pane();
            return !pane.empty() && pane.back() == line;
        });
    }
    void Type(const QString& text, const char* mode = "Text", const char* lineEnd = "CR") {
        List("SendModeBox")->setCurrentText(mode);
        List("LineEndBox")->setCurrentText(lineEnd);
        Line()->setText(text);
        QTest::keyClick(Line(), Qt::Key_Return);
    }
    void Connect() {
        Button("ConnectButton")->click();
        ASSERT_TRUE(form.Host().Connected());
    }
    void Select(const std::string& macro) {
        form.AddMacro("Macro", testsupport::SplitLines(macro));
        List("ComboBox7")->setCurrentIndex(form.MacroCount());
    }
    bool ListsLocked() {
        return !List("ComboBox1")->isEnabled() && !List("ComboBox7")->isEnabled();
    }

    testsupport::PseudoTerminal device;
    TForm1 form;
};

TEST_F(Console, TypedLinesGoOutInTextAndHexWithEveryLineEnd) {
    Connect();
    EXPECT_EQ(Button("ConnectButton")->text(), "Disconnect");
    EXPECT_TRUE(ListsLocked());
    struct Case {
        QString typed;
        const char* mode;
        const char* lineEnd;
        std::string bytes;
    } cases[] = {
        {"AT", "Text", "CR", "AT\r"},
        {"AT", "Text", "LF", "AT\n"},
        {"AT", "Text", "CR LF", "AT\r\n"},
        {"AT", "Text", "None", "AT"},
        {"a\\tb\\\\\\x00\\xff\\n", "Text", "None", std::string("a\tb\\\x00\xFF\n", 7)},
        {"41 42 0d", "Hex", "None", "AB\r"},
        {"7e", "Hex", "LF", "~\n"},
    };
    for (const Case& c : cases) {
        Type(c.typed, c.mode, c.lineEnd);
        EXPECT_EQ(device.Receive(c.bytes.size()), B(c.bytes)) << c.typed.toStdString();
        EXPECT_TRUE(Line()->text().isEmpty());
        EXPECT_EQ(Problem(), "");
    }
    device.Send(B("OK\r\n"));
    ASSERT_TRUE(PaneEndsWith("Com_RD:4F 4B 0D 0A")) << testing::PrintToString(Pane());
    EXPECT_EQ(Logged()[0], "Com_SD:41 54 0D");
}

TEST_F(Console, BadTextIsToldUnderTheLineAndNothingIsSent) {
    Connect();
    for (const char* mode : {"Hex", "Text"}) {
        Type(mode == std::string("Hex") ? "0x41" : "\\q", mode);
        EXPECT_TRUE(Problem().startsWith(mode == std::string("Hex") ? "not hexadecimal"
                                                                    : "unknown escape"));
        EXPECT_FALSE(Line()->text().isEmpty()) << "the text stays to be corrected";
    }
    EXPECT_TRUE(Logged().empty());
    EXPECT_TRUE(device.Drain().empty());
    form.Host().Disconnect();
    Type("AT");
    EXPECT_TRUE(Problem().startsWith("The port is not open"));
}

TEST_F(Console, UpAndDownWalkThroughWhatWasSent) {
    Connect();
    for (const char* typed : {"one", "two", "three"})
        Type(typed);
    device.Drain();
    Line()->setText("draft");
    const std::pair<Qt::Key, const char*> steps[] = {
        {Qt::Key_Up, "three"},   {Qt::Key_Up, "two"},   {Qt::Key_Up, "one"},
        {Qt::Key_Up, "one"},     {Qt::Key_Down, "two"}, {Qt::Key_Down, "three"},
        {Qt::Key_Down, "draft"},
    };
    for (const auto& [key, shown] : steps) {
        QTest::keyClick(Line(), key);
        EXPECT_EQ(Line()->text(), shown);
    }
    EXPECT_EQ(form.State().Console.SendHistory, (Lines{"one", "two", "three"}));
}

// Connect, Run, Stop: the run uses the open port and leaves it open; what the device sends after
// the run still reaches the log.
TEST_F(Console, ARunWhileConnectedLeavesThePortOpen) {
    Connect();
    Select("ComWrite('go');\nComWait('never', 0);\nPrint('not reached');");
    QTimer::singleShot(300, &form, [this] { Button("StopButton")->click(); });
    Button("RunButton")->click();
    EXPECT_EQ(device.Receive(2), B("go"));
    EXPECT_TRUE(form.Host().COMPort.Enabled());
    EXPECT_TRUE(Button("StopButton")->isChecked());
    EXPECT_TRUE(Button("ConnectButton")->isChecked());
    EXPECT_TRUE(ListsLocked());
    device.Send(B("after\n"));
    EXPECT_TRUE(PaneEndsWith("Com_RD:61 66 74 65 72 0A"));
    Button("ConnectButton")->click();
    EXPECT_FALSE(form.Host().COMPort.Enabled());
    EXPECT_FALSE(ListsLocked());
    EXPECT_EQ(Button("ConnectButton")->text(), "Connect");
}

TEST_F(Console, DisconnectDuringARunEndsTheRun) {
    Connect();
    Select("ComWrite('go');\nComWait('never', 0);\nPrint('not reached');");
    QTimer::singleShot(300, &form, [this] {
        Line()->setText("typed during the wait");
        QTest::keyClick(Line(), Qt::Key_Return);
        Button("ConnectButton")->click();
    });
    Button("RunButton")->click();
    EXPECT_FALSE(form.Host().Busy());
    EXPECT_FALSE(form.Host().COMPort.Enabled());
    EXPECT_FALSE(ListsLocked());
    EXPECT_TRUE(Button("StopButton")->isChecked());
    EXPECT_EQ(device.Receive(24), B("gotyped during the wait\r"));
}

TEST_F(Console, ADeviceThatVanishesIsReportedAndTheWindowDisconnects) {
    Connect();
    auto message = AnswerNextMessageBox();
    device.HangUp();
    ASSERT_TRUE(WaitFor([&] { return message->shown; }));
    EXPECT_TRUE(message->text.starts_with("Device disconnected: " + device.Path()))
        << message->text;
    EXPECT_FALSE(Button("ConnectButton")->isChecked());
    EXPECT_FALSE(ListsLocked());
}

// Both choices only change the look: the lines kept and saved stay as logged.
TEST_F(Console, TimeStampsAndTextDisplayChangeOnlyThePane) {
    Connect();
    Type("AT");
    device.Send(B("OK\r\n"));
    ASSERT_TRUE(PaneEndsWith("Com_RD:4F 4B 0D 0A"));
    Menu("DataAsTextAction")->trigger();
    EXPECT_EQ(Pane(), (Lines{"Com_SD:AT\\r", "Com_RD:OK\\r\\n"}));
    Menu("TimeStampsAction")->trigger();
    const std::regex stamped(R"(\d\d:\d\d:\d\d\.\d{3} Com_(SD:AT\\r|RD:OK\\r\\n))");
    for (const std::string& line : Pane())
        EXPECT_TRUE(std::regex_match(line, stamped)) << line;
    EXPECT_EQ(Logged(), (Lines{"Com_SD:41 54 0D", "Com_RD:4F 4B 0D 0A"}));
    const TStoredState state = form.State();
    EXPECT_EQ(state.Console.Look, (TLineLook{true, true}));
    EXPECT_EQ(state.LogLines, Logged());

    TForm1 restarted;
    restarted.Apply(state);
    EXPECT_TRUE(Child<QAction>(restarted, "TimeStampsAction")->isChecked());
    EXPECT_TRUE(Child<QAction>(restarted, "DataAsTextAction")->isChecked());
    Menu("TimeStampsAction")->trigger();
    Menu("DataAsTextAction")->trigger();
    EXPECT_EQ(Pane(), (Lines{"Com_SD:41 54 0D", "Com_RD:4F 4B 0D 0A"}));
    Menu("ClearAction")->trigger();
    EXPECT_TRUE(Pane().empty());
    EXPECT_TRUE(Logged().empty());
}

// A device that talks fast: the file holds all of its 10,000 lines, the pane the last 200. A
// sender stalled for 20 ms by a loaded machine cuts a line in two, as silence does; so the bytes
// are compared, not the count of lines.
TEST_F(Console, ALogFileKeepsEveryLineOfALongExchange) {
    testsupport::TempDir dir;
    const QString path = QString::fromStdString(dir / "exchange.log");
    ASSERT_TRUE(form.LogToFile(path));
    EXPECT_TRUE(Child<QLabel>(form, "LogFileLabel")->text().endsWith(path));
    EXPECT_EQ(Menu("LogToFileAction")->text(), "Stop logging to file");
    Connect();
    std::string text;
    for (int i = 1; i <= 10000; ++i)
        text += std::to_string(i) + "\r\n";
    std::thread talk([&] { device.Send(B(text)); });
    const std::string last = "Com_RD:31 30 30 30 30 0D 0A";
    EXPECT_TRUE(PaneEndsWith(last));
    talk.join();
    form.StopLoggingToFile();
    EXPECT_FALSE(Child<QLabel>(form, "LogFileLabel")->isVisibleTo(&form));

    std::istringstream file(testsupport::ReadWholeFile(path.toStdString()));
    Lines lines;
    for (std::string line; std::getline(file, line);)
        lines.push_back(line.substr(line.find(' ') + 1));
    ASSERT_GE(lines.size(), 10000u);
    std::string received;
    for (const std::string& line : lines) {
        ASSERT_TRUE(line.starts_with("Com_RD:")) << line;
        received += HexToStr(line.substr(7));
    }
    EXPECT_EQ(received, text);
    EXPECT_EQ(lines.back(), last);
    EXPECT_EQ(Pane(), Lines(lines.end() - 200, lines.end()));

    const QString saved = QString::fromStdString(dir / "pane.txt");
    ASSERT_TRUE(form.SaveLogAs(saved));
    EXPECT_EQ(QString::fromStdString(testsupport::ReadWholeFile(saved.toStdString())),
              Child<QPlainTextEdit>(form, "RichEdit1")->toPlainText() + "\n");

    auto message = AnswerNextMessageBox();
    EXPECT_FALSE(form.LogToFile(QString::fromStdString(dir / "no/such/folder.log")));
    EXPECT_TRUE(message->text.starts_with("cannot open the log file")) << message->text;
}

// A device that never stops sending: Stop is served within 100 ms, and a Run pressed right after
// it starts once the stopped run has ended, instead of being refused.
TEST_F(Console, UnderAFloodStopAnswersAndARunPressedAfterItStarts) {
    std::atomic<bool> flooding{true};
    std::thread flood([&] {
        const Bytes chunk(4096, 'z');
        const uint32_t start = platform::TickCount();
        while (flooding && platform::TicksSince(start) < 15000) {
            device.Offer(chunk);
            std::this_thread::sleep_for(1ms);
        }
    });
    Select("Print('run');\nComWait('never', 0);");
    int runs = 0;
    form.Host().Log.OnLine = [&](const std::string& line) { runs += line == "run"; };
    qint64 late = -1;
    QElapsedTimer clock;
    clock.start();
    QTimer::singleShot(300, &form, [&] {
        late = clock.elapsed() - 300;
        Button("StopButton")->click();
        Button("RunButton")->click();
    });
    QTimer::singleShot(1500, &form, [&] { Button("StopButton")->click(); });
    Button("RunButton")->click();
    ASSERT_TRUE(WaitFor([&] { return runs == 2 && !form.Host().Busy(); }, 20000)) << runs;
    flooding = false;
    flood.join();
    EXPECT_GE(late, 0);
    EXPECT_LT(late, ClickBoundMs);
    EXPECT_TRUE(Button("StopButton")->isChecked());
}

// Each run's lines join those already in the pane, which keeps the last 200 of them all.
TEST_F(Console, ThePaneKeepsTheLast200LinesOfRunAfterRun) {
    const auto printing = [](int from, int to) {
        return "var i: Integer;\nbegin\nfor i := " + std::to_string(from) + " to " +
               std::to_string(to) + " do Print(IntToStr(i));\nend.";
    };
    const std::vector<int> runs[] = {{150, 100}, {199, 1}, {200, 1}, {1, 200}, {50, 250}, {10, 5}};
    for (const std::vector<int>& counts : runs) {
        Menu("ClearAction")->trigger();
        int printed = 0;
        for (int count : counts) {
            Select(printing(printed + 1, printed + count));
            Button("RunButton")->click();
            printed += count;
        }
        Lines expected;
        for (int i = std::max(1, printed - 199); i <= printed; ++i)
            expected.push_back(std::to_string(i));
        EXPECT_EQ(Pane(), expected) << testing::PrintToString(counts);
    }
}

// The process's resident memory and its peak, in kilobytes, from the kernel's figures; the peak
// starts afresh from what is resident when "5" is written to clear_refs.
long MemoryKb(const char* field) {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.starts_with(field)) return std::stol(line.substr(std::strlen(field)));
    return -1;
}

bool ResetPeakMemory() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5" << std::flush;
    return bool(clear);
}

// A macro that prints far more than the pane can show: whatever the number of lines, the window
// needs no more memory for them than for a few; the pane holds the last 200, and the log file
// every one, ending with the last line printed.
TEST_F(Console, AMacroPrintingALotKeepsMemoryBoundedAndTheLogFileWhole) {
    testsupport::TempDir dir;
    const std::string path = dir / "printed.log";
    ASSERT_TRUE(form.LogToFile(QString::fromStdString(path)));
    // Long enough that a line kept per line printed would show in the peak.
    const std::string padding(64, '.');
    const auto printed = [&](long i) { return "line " + std::to_string(i) + " " + padding; };
    const auto run = [&](long count) {
        Select("var i: Integer;\nbegin\nfor i := 1 to " + std::to_string(count) +
               " do Print('line ' + IntToStr(i) + ' " + padding + "');\nend.");
        Button("RunButton")->click();
        ASSERT_FALSE(form.Host().Busy());
        EXPECT_EQ(Pane().size(), 200u);
        EXPECT_EQ(Pane().back(), printed(count));
    };
    run(20000); // the pane, its fonts and the engine's caches are made here
    const bool peakKnown = ResetPeakMemory();
    const long before = MemoryKb("VmRSS:");
    const long count = 300000;
    run(count);
    const long growthKb = MemoryKb("VmHWM:") - before;
    form.StopLoggingToFile();

    Lines expected;
    for (long i = count - 199; i <= count; ++i)
        expected.push_back(printed(i));
    EXPECT_EQ(Pane(), expected);
    std::ifstream file(path);
    long lines = 0;
    std::string line, last;
    while (std::getline(file, line)) {
        ++lines;
        last = line;
    }
    EXPECT_EQ(lines, 20000 + count);
    EXPECT_TRUE(last.ends_with(" " + printed(count))) << last;
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "memory is not measured under ASan, which keeps freed blocks in quarantine";
#endif
    if (!peakKnown) GTEST_SKIP() << "the kernel's peak memory cannot be reset here";
    // Lines piling up for the pane between two repaints take megabytes (12 MB when they did);
    // what the pane can show takes next to nothing.
    EXPECT_LT(growthKb, 4 * 1024) << "the peak grew by " << growthKb << " kB";
}

} // namespace
