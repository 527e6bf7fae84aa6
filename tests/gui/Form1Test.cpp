#include "portwell/gui/Form1.h"

#include "GuiTestSupport.h"
#include "PseudoTerminal.h"
#include "TextLines.h"
#include "platform/Messages.h"
#include "portwell/gui/Form2.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QSignalSpy>
#include <QToolButton>
#include <QToolTip>
#include <chrono>
#include <thread>

using namespace portwell;
using namespace portwell::gui;
using guitest::AnswerNextMessageBox;
using guitest::Child;
using guitest::WaitFor;
using testsupport::Bytes;

namespace {

using Lines = std::vector<std::string>;

QStringList Items(QComboBox* list) {
    QStringList items;
    for (int i = 0; i < list->count(); ++i)
        items << list->itemText(i);
    return items;
}

class MainWindow : public testing::Test {
protected:
    QToolButton* Button(const char* name) { return Child<QToolButton>(form, name); }
    QComboBox* List(const char* name) { return Child<QComboBox>(form, name); }
    QCheckBox* Check(const char* name) { return Child<QCheckBox>(form, name); }
    QLineEdit* Interval() { return Child<QLineEdit>(form, "IntervalEdit"); }
    QPlainTextEdit* Log() { return Child<QPlainTextEdit>(form, "RichEdit1"); }

    // A macro of the list, selected, with the device set to the loopback device.
    void Select(const std::string& macro) {
        form.AddMacro("Macro", testsupport::SplitLines(macro));
        List("ComboBox7")->setCurrentIndex(form.MacroCount());
        List("ComboBox1")->setCurrentText("loop://");
    }
    // Runs `act` once the activity started by the next click is under way.
    void During(int milliseconds, std::function<void()> act) {
        QTimer::singleShot(milliseconds, &form, std::move(act));
    }
    Lines LogLines() {
        const auto& lines = form.Host().Log.Lines();
        return Lines(lines.begin(), lines.end());
    }
    Lines PaneLines() {
        WaitFor([this] { return !Log()->toPlainText().isEmpty(); }, 2000);
        Lines lines;
        for (const QString& line : Log()->toPlainText().split('\n'))
            lines.push_back(line.toStdString());
        return lines;
    }
    // Whether all seven lists are enabled (true) or all disabled (false).
    bool ListsAre(bool enabled) {
        for (const char* name : {"ComboBox1", "ComboBox2", "ComboBox3", "ComboBox4", "ComboBox5",
                                 "ComboBox6", "ComboBox7"})
            if (List(name)->isEnabled() != enabled) return false;
        return true;
    }
    // Acts on the editor once it shows, and remembers what it showed.
    void OnEditor(std::function<void(TForm2&)> act) {
        guitest::OnNextModal([this, act](QWidget* modal) {
            auto* editor = qobject_cast<TForm2*>(modal);
            if (!editor) return modal->close(), void();
            editorTitle = editor->Title();
            editorLines = editor->Lines();
            act(*editor);
        });
    }
    static void SaveAndExit(TForm2& editor) { editor.FileExit->trigger(); }

    bool Idle() {
        return Button("StopButton")->isChecked() && !Button("RunButton")->isChecked() &&
               !Button("RecButton")->isChecked() && ListsAre(true) && !form.Host().Busy();
    }

    TForm1 form;
    QString editorTitle;
    QStringList editorLines;
};

QStringList CommentedPrototypes() {
    QStringList lines;
    for (const std::string& prototype : TMacroHost::Prototypes)
        lines << "//" + QString::fromStdString(prototype);
    return lines;
}

ksl::TStrings MacroText(const QStringList& lines) {
    ksl::TStrings text;
    for (const QString& line : lines)
        text.push_back(line.toStdString());
    return text;
}

TEST_F(MainWindow, EditWithNewFileAddsNewMacroAtTheEnd) {
    int changes = 0;
    form.OnMacrosChanged = [&] { ++changes; };
    form.AddMacro("First", {"Print('1');"});
    List("ComboBox7")->setCurrentIndex(0);
    OnEditor(SaveAndExit);
    Button("EditButton")->click();
    EXPECT_EQ(editorTitle, "New Macro");
    ASSERT_EQ(form.MacroCount(), 2);
    EXPECT_EQ(form.MacroTitle(2), "New Macro");
    EXPECT_EQ(form.MacroLines(2), MacroText(CommentedPrototypes()));
    EXPECT_EQ(form.SelectedItem(), 2);
    EXPECT_EQ(changes, 1);
}

TEST_F(MainWindow, EditDiscardedAddsOrChangesNothing) {
    form.OnMacrosChanged = [] { ADD_FAILURE() << "nothing was to be stored"; };
    OnEditor([](TForm2& editor) {
        editor.SetLines({"Print('typed');"});
        guitest::AnswerNextQuestion(QMessageBox::No);
        editor.FileAbort->trigger();
    });
    Button("EditButton")->click();
    EXPECT_EQ(form.MacroCount(), 0);
    form.AddMacro("Kept", {"Print('kept');"});
    List("ComboBox7")->setCurrentIndex(1);
    OnEditor([](TForm2& editor) {
        editor.SetTitle("Renamed");
        editor.SetLines({"Print('typed');"});
        guitest::AnswerNextQuestion(QMessageBox::No);
        editor.FileAbort->trigger();
    });
    Button("EditButton")->click();
    EXPECT_EQ(form.MacroTitle(1), "Kept");
    EXPECT_EQ(form.MacroLines(1), ksl::TStrings{"Print('kept');"});
}

TEST_F(MainWindow, ARenamedTitleIsKeptWithoutATextChange) {
    form.AddMacro("A", {"Print('a');"});
    form.AddMacro("B", {"Print('b');"});
    List("ComboBox7")->setCurrentIndex(1);
    OnEditor([](TForm2& editor) {
        editor.SetTitle("Renamed");
        editor.FileAbort->trigger();
    });
    Button("EditButton")->click();
    EXPECT_EQ(editorLines, QStringList{"Print('a');"});
    EXPECT_EQ(Items(List("ComboBox7")), (QStringList{"（New File）", "Renamed", "B"}));
    EXPECT_EQ(form.MacroLines(1), ksl::TStrings{"Print('a');"});
    EXPECT_EQ(form.SelectedItem(), 1);
}

TEST_F(MainWindow, EditingAnEmptyMacroOffersTheDeclarationsAndStoresThem) {
    form.AddMacro("Empty", {});
    List("ComboBox7")->setCurrentIndex(1);
    OnEditor(SaveAndExit);
    Button("EditButton")->click();
    EXPECT_EQ(form.MacroLines(1), MacroText(CommentedPrototypes()));
}

TEST_F(MainWindow, FirstStartShowsTheLayoutAndItsDefaults) {
    EXPECT_EQ(form.windowTitle(), "Portwell");
    EXPECT_EQ(form.geometry(), QRect(260, 138, 512, 300));
    EXPECT_EQ(form.minimumSize(), QSize(512, 300));
    EXPECT_EQ(Child<QGroupBox>(form, "GroupBox1")->title(), "COM Port Setting");
    EXPECT_EQ(Child<QGroupBox>(form, "GroupBox2")->title(), "Macro");
    const std::pair<const char*, const char*> labels[] = {
        {"Label1", "DeviceName"}, {"Label2", "BaudRate"}, {"Label3", "DataBits"},
        {"Label4", "StopBits"},   {"Label5", "Parity"},   {"Label6", "FlowControl"},
        {"Label7", "Name"},       {"Label8", "(ms)"},     {"IntervalLabel", "Interval"},
    };
    for (const auto& [name, caption] : labels)
        EXPECT_EQ(Child<QLabel>(form, name)->text(), caption) << name;
    struct ListCase {
        const char* name;
        QStringList firstItems;
        int count;
        QString selected;
    };
    const ListCase lists[] = {
        {"ComboBox1", {"COM1", "COM2", "COM3", "COM4", "COM5", "COM6", "COM7", "COM8"}, -1, "COM1"},
        {"ComboBox2",
         {"110", "300", "600", "1200", "2400", "4800", "9600", "14400", "19200", "38400", "56000",
          "57600", "115200", "128000", "256000"},
         15,
         "9600"},
        {"ComboBox3", {"4bit", "5bit", "6bit", "7bit", "8bit"}, 5, "8bit"},
        {"ComboBox4", {"1.0bit", "1.5bit", "2.0bit"}, 3, "1.0bit"},
        {"ComboBox5", {"None", "Odd", "Even", "Mark", "Space"}, 5, "None"},
        {"ComboBox6", {"None", "CTS/RTS", "DTR/ETR", "Software", "Default"}, 5, "None"},
        {"ComboBox7", {"（New File）"}, 1, "（New File）"},
    };
    for (const ListCase& c : lists) {
        const QStringList items = Items(List(c.name));
        EXPECT_EQ(items.mid(0, c.firstItems.size()), c.firstItems) << c.name;
        if (c.count >= 0) {
            EXPECT_EQ(items.size(), c.count) << c.name;
        }
        EXPECT_EQ(List(c.name)->currentText(), c.selected) << c.name;
    }
    EXPECT_TRUE(Items(List("ComboBox1")).contains("loop://"));
    EXPECT_TRUE(List("ComboBox1")->isEditable());
    const std::pair<const char*, const char*> buttons[] = {
        {"EditButton", "Edit"}, {"DeleteButton", "Delete"}, {"RunButton", "Run"},
        {"RecButton", "Rec"},   {"StopButton", "Stop"},
    };
    for (const auto& [name, caption] : buttons)
        EXPECT_EQ(Button(name)->text(), caption) << name;
    EXPECT_EQ(Check("AutoRunCheck")->text(), "AutoRun");
    EXPECT_EQ(Check("LoopCheck")->text(), "Loop");
    EXPECT_FALSE(Check("AutoRunCheck")->isChecked());
    EXPECT_FALSE(Check("LoopCheck")->isChecked());
    EXPECT_EQ(Interval()->text(), "1000");
    EXPECT_TRUE(Idle());
    EXPECT_TRUE(Log()->isReadOnly());
    EXPECT_TRUE(Log()->toPlainText().isEmpty());
}

TEST_F(MainWindow, IntervalFieldKeepsANonNegativeNumber) {
    const std::pair<const char*, const char*> rows[] = {
        {"abc", "1000"}, {"-5", "1000"}, {"", "0"}, {"007", "7"}, {"$10", "16"}, {"250", "250"},
    };
    for (const auto& [typed, shown] : rows) {
        Interval()->setText("1000");
        QFocusEvent focusIn(QEvent::FocusIn);
        QApplication::sendEvent(Interval(), &focusIn);
        Interval()->selectAll();
        Interval()->insert(typed); // as when pasted over the whole text
        EXPECT_EQ(Interval()->text().toStdString(), shown) << "typed \"" << typed << '"';
    }
}

TEST_F(MainWindow, RunAgainstTheLoopbackDeviceLogsTheTraffic) {
    Select("ComWrite('AB');\nif ComWait('AB', 2000) then Print('answered');");
    Button("RunButton")->click();
    EXPECT_EQ(PaneLines(), (Lines{"Com_SD:41 42", "Com_RD:41 42", "answered"}));
    EXPECT_TRUE(Idle());
    EXPECT_FALSE(form.Host().COMPort.Enabled());
}

TEST_F(MainWindow, RunWithNewFileOpensAndClosesThePortOnly) {
    List("ComboBox1")->setCurrentText("loop://");
    Button("RunButton")->click();
    EXPECT_TRUE(LogLines().empty());
    EXPECT_TRUE(Idle());
}

TEST_F(MainWindow, LoopRepeatsUntilStopAndReadsTheIntervalAtEveryCheck) {
    Select("Print('pass');");
    Check("LoopCheck")->setChecked(true);
    Interval()->setText("100000");
    size_t passesDuringTheLongPause = 0;
    During(400, [&] {
        passesDuringTheLongPause = LogLines().size();
        Interval()->setText("0");
    });
    During(1200, [&] { Button("StopButton")->click(); });
    Button("RunButton")->click();
    EXPECT_EQ(passesDuringTheLongPause, 1u);
    EXPECT_GT(LogLines().size(), 2u);
    EXPECT_TRUE(Idle());
}

TEST_F(MainWindow, StopDuringASleepEndsTheRunBeforeTheNextStatement) {
    Select("Sleep(60000);\nComWrite('late');");
    During(300, [&] { Button("StopButton")->click(); });
    const auto start = std::chrono::steady_clock::now();
    Button("RunButton")->click();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
    EXPECT_TRUE(LogLines().empty());
    EXPECT_TRUE(Idle());
}

TEST_F(MainWindow, AnOpenFailureIsShownAndKeepsTheListsLockedUntilStop) {
    form.AddMacro("Macro", {"Print('never')"});
    List("ComboBox7")->setCurrentIndex(1);
    List("ComboBox1")->setCurrentText("/dev/does-not-exist");
    auto message = AnswerNextMessageBox();
    Button("RunButton")->click();
    EXPECT_EQ(message->text, "Error accessing specified device (Error: 2) ");
    EXPECT_TRUE(Button("RunButton")->isChecked());
    EXPECT_FALSE(Button("StopButton")->isChecked());
    EXPECT_TRUE(ListsAre(false));
    EXPECT_TRUE(LogLines().empty());
    Button("StopButton")->click();
    EXPECT_TRUE(Idle());
}

TEST_F(MainWindow, AScriptErrorStopsFirstThenShowsItsMessage) {
    Select("Print('before');\nundeclared := 1;");
    bool stoppedWhenShown = false;
    guitest::OnNextModal([&](QWidget* modal) {
        stoppedWhenShown = Idle();
        auto* box = qobject_cast<QMessageBox*>(modal);
        ASSERT_NE(box, nullptr);
        EXPECT_NE(box->text().toStdString().find("undeclared"), std::string::npos);
        box->accept();
    });
    Button("RunButton")->click();
    EXPECT_TRUE(stoppedWhenShown);
    EXPECT_EQ(LogLines(), Lines{"before"});
    EXPECT_TRUE(Idle());
}

TEST_F(MainWindow, AScriptErrorNamesItsLineAndEditOpensThere) {
    Select("// greeting\nPrint('before');\n\n  undeclared := 1;\nPrint('after');");
    std::string shown;
    guitest::OnNextModal([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        ASSERT_NE(box, nullptr);
        shown = box->text().toStdString();
        box->accept();
    });
    Button("RunButton")->click();
    EXPECT_EQ(shown, "文法エラーです[undeclared]\n\nLine 4: undeclared := 1");

    int cursorLine = 0;
    OnEditor([&](TForm2& editor) {
        cursorLine = editor.RichEdit2->textCursor().blockNumber() + 1;
        editor.FileAbort->trigger();
    });
    Button("EditButton")->click();
    EXPECT_EQ(cursorLine, 4);
}

// Also after loading a settings file that stores the host's declarations as they were before Fail.
TEST_F(MainWindow, AFailedRunIsShownLikeAScriptErrorNamingItsLine) {
    TStoredState older;
    older.DeclarePrototype.pop_back();
    ASSERT_EQ(older.DeclarePrototype.back(),
              "function ComWaitHex(S:String; TimeOut: Integer): Integer; index 7;");
    form.Apply(older);
    Select("Print('checking');\n  Fail('wrong answer');\nPrint('after');");
    std::string shown;
    guitest::OnNextModal([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        ASSERT_NE(box, nullptr);
        shown = box->text().toStdString();
        box->accept();
    });
    Button("RunButton")->click();
    EXPECT_EQ(shown, "Fail:wrong answer\n\nLine 2: Fail('wrong answer')");
    EXPECT_EQ(LogLines(), (Lines{"checking", "Fail:wrong answer"}));
    EXPECT_TRUE(Idle());
}

TEST_F(MainWindow, ASecondActivityIsRefusedWithANotice) {
    Select("ComWait('never', 0);");
    QSignalSpy notices(&form, &TForm1::Notice);
    bool runStillPressed = false, recNotPressed = false;
    QString shownNotice;
    During(300, [&] {
        Button("RunButton")->click();
        runStillPressed = Button("RunButton")->isChecked();
        Button("RecButton")->click();
        recNotPressed = !Button("RecButton")->isChecked() && Button("RunButton")->isChecked();
        shownNotice = QToolTip::text();
        Button("DeleteButton")->click();
        Button("EditButton")->click();
        Button("StopButton")->click();
    });
    Button("RunButton")->click();
    EXPECT_TRUE(runStillPressed);
    EXPECT_TRUE(recNotPressed);
    EXPECT_EQ(notices.count(), 4);
    EXPECT_TRUE(shownNotice.contains("press Stop")) << shownNotice.toStdString();
    EXPECT_EQ(form.MacroCount(), 1);
    EXPECT_TRUE(Idle());
}

TEST_F(MainWindow, ScriptDialogsAreQtDialogs) {
    Select("if MessageBox('Go on?', 'Macro', 4) = 6 then Print('yes');\n"
           "Print(InputBox('Port', 'Device:', 'COM1'));");
    auto question = AnswerNextMessageBox("&Yes");
    During(50,
           [] { guitest::OnNextModal([](QWidget* m) { static_cast<QDialog*>(m)->reject(); }); });
    Button("RunButton")->click();
    EXPECT_EQ(question->text, "Go on?");
    EXPECT_EQ(LogLines(), (Lines{"yes", "COM1"}));
}

TEST_F(MainWindow, DeleteSelectsTheNextMacroOrThePreviousOne) {
    int changes = 0;
    form.OnMacrosChanged = [&] { ++changes; };
    for (const char* title : {"A", "B", "C"})
        form.AddMacro(title, {});
    List("ComboBox7")->setCurrentIndex(2);
    Button("DeleteButton")->click();
    EXPECT_EQ(Items(List("ComboBox7")), (QStringList{"（New File）", "A", "C"}));
    EXPECT_EQ(List("ComboBox7")->currentText(), "C");
    Button("DeleteButton")->click();
    EXPECT_EQ(List("ComboBox7")->currentText(), "A");
    Button("DeleteButton")->click();
    EXPECT_EQ(List("ComboBox7")->currentIndex(), 0);
    Button("DeleteButton")->click();
    EXPECT_EQ(Items(List("ComboBox7")), QStringList{"（New File）"});
    EXPECT_EQ(changes, 3);
}

TEST_F(MainWindow, TheLogKeepsTheLast200LinesAndFollowsTheNewest) {
    form.show();
    Select("var i: Integer;\nbegin\nfor i := 1 to 300 do Print(IntToStr(i));\nend.");
    Button("RunButton")->click();
    const Lines pane = PaneLines();
    ASSERT_EQ(pane.size(), 200u);
    EXPECT_EQ(pane.front(), "101");
    EXPECT_EQ(pane.back(), "300");
    QScrollBar* scroll = Log()->verticalScrollBar();
    EXPECT_EQ(scroll->value(), scroll->maximum());
}

TEST_F(MainWindow, AutoRunRunsTheSelectedMacroOnceAtTheFirstShow) {
    Select("Print('auto');");
    Check("AutoRunCheck")->setChecked(true);
    form.show();
    ASSERT_TRUE(WaitFor([&] { return !LogLines().empty(); }));
    form.hide();
    form.show();
    QTest::qWait(200);
    EXPECT_EQ(LogLines(), Lines{"auto"});
    EXPECT_TRUE(Idle());
}

TEST_F(MainWindow, AutoRunWithNewFileEndsAtOnce) {
    List("ComboBox1")->setCurrentText("loop://");
    Check("AutoRunCheck")->setChecked(true);
    form.show();
    QTest::qWait(200);
    EXPECT_TRUE(LogLines().empty());
    EXPECT_TRUE(Idle());
}

TEST_F(MainWindow, ClosingDuringARunStopsItAndClosesOnceItHasUnwound) {
    form.show();
    Select("ComWait('never', 0);\nComWrite('late');");
    int closings = 0;
    form.OnClosing = [&] { ++closings; };
    bool openRightAfterClose = false;
    During(300, [&] {
        form.close();
        openRightAfterClose = form.isVisible() && closings == 0;
    });
    Button("RunButton")->click();
    EXPECT_TRUE(openRightAfterClose);
    ASSERT_TRUE(WaitFor([&] { return !form.isVisible(); }));
    EXPECT_EQ(closings, 1);
    EXPECT_EQ(LogLines(), Lines{});
}

TEST_F(MainWindow, RecordingIntoNewFileAddsNewMacro) {
    testsupport::PseudoTerminal device;
    List("ComboBox1")->setCurrentText(QString::fromStdString(device.Path()));
    std::thread player([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        device.Send(Bytes{0x06});
        std::this_thread::sleep_for(std::chrono::milliseconds(153));
        device.Send(Bytes{'A', 'B', '\r'});
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        platform::Synchronize([&] { Button("StopButton")->click(); });
    });
    OnEditor(SaveAndExit);
    Button("RecButton")->click();
    player.join();
    ASSERT_EQ(form.MacroCount(), 1);
    EXPECT_EQ(editorTitle, "New Macro");
    EXPECT_EQ(MacroText(editorLines), form.MacroLines(1));
    EXPECT_EQ(form.MacroTitle(1), "New Macro");
    EXPECT_EQ(form.SelectedItem(), 1);
    const ksl::TStrings& lines = form.MacroLines(1);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "ComWriteHex('06');");
    EXPECT_TRUE(lines[1].starts_with("Sleep(")) << lines[1];
    EXPECT_NEAR(std::stoi(lines[1].substr(6)), 153, 150);
    EXPECT_EQ(lines[2], "ComWriteHex('41 42 0D');");
    EXPECT_EQ(LogLines(), (Lines{"Rec_RD:06", "Rec_RD:41 42 0D"}));
    EXPECT_TRUE(Idle());
}

TEST_F(MainWindow, RecordingIntoAMacroAppendsToIt) {
    testsupport::PseudoTerminal device;
    form.AddMacro("Kept", {"Print('first');"});
    List("ComboBox7")->setCurrentIndex(1);
    List("ComboBox1")->setCurrentText(QString::fromStdString(device.Path()));
    std::thread player([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        device.Send(Bytes{'O', 'K'});
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        platform::Synchronize([&] { Button("StopButton")->click(); });
    });
    OnEditor(SaveAndExit);
    Button("RecButton")->click();
    player.join();
    ASSERT_EQ(form.MacroCount(), 1);
    EXPECT_EQ(editorTitle, "Kept");
    EXPECT_EQ(form.MacroLines(1), (ksl::TStrings{"Print('first');", "ComWriteHex('4F 4B');"}));
}

} // namespace

namespace {

TEST_F(MainWindow, StopBeforeAnyByteStillOpensTheEditorOnANewMacro) {
    List("ComboBox1")->setCurrentText("loop://");
    During(300, [&] { Button("StopButton")->click(); });
    OnEditor(SaveAndExit);
    Button("RecButton")->click();
    ASSERT_EQ(form.MacroCount(), 1);
    EXPECT_EQ(form.MacroTitle(1), "New Macro");
    EXPECT_EQ(editorLines, CommentedPrototypes());
    EXPECT_TRUE(Idle());
}

} // namespace
