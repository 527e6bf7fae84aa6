#include "portwell/gui/Form1.h"

#include "FileText.h"
#include "GuiTestSupport.h"
#include "PseudoTerminal.h"
#include "TempDir.h"
#include "TextLines.h"
#include "platform/Messages.h"
#include "portwell/gui/DeviceComboBox.h"
#include "portwell/gui/Form2.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScreen>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStyleOptionComboBox>
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
    EXPECT_EQ(message->text, "Error accessing specified device (Error: 2) \n"
                             "Press Stop to change the port settings.");
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
    auto message = AnswerNextMessageBox();
    Button("RunButton")->click();
    EXPECT_TRUE(message->shown);
    EXPECT_EQ(message->text, "文法エラーです[undeclared]\n\nLine 4: undeclared := 1");

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
    auto message = AnswerNextMessageBox();
    Button("RunButton")->click();
    EXPECT_TRUE(message->shown);
    EXPECT_EQ(message->text, "Fail:wrong answer\n\nLine 2: Fail('wrong answer')");
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

namespace {

// The port's message stays as it was, for those who know it; the lines after it say what to do.
TEST_F(MainWindow, ARefusedSettingIsNamedForRunRecAndConnect) {
    testsupport::PseudoTerminal device;
    List("ComboBox1")->setCurrentText(QString::fromStdString(device.Path()));
    List("ComboBox3")->setCurrentIndex(serial::da4);
    for (const char* button : {"RunButton", "RecButton"}) {
        auto message = AnswerNextMessageBox();
        Button(button)->click();
        EXPECT_EQ(message->text, "Error updating DataControlBlock (Error: 22) \n"
                                 "The device refused DataBits 4bit: serial lines on Linux carry 5 "
                                 "to 8 data bits.\n"
                                 "Press Stop to change the port settings.")
            << button;
        Button("StopButton")->click();
        EXPECT_TRUE(Idle()) << button;
    }
    auto message = AnswerNextMessageBox(); // Connect leaves the settings unlocked
    Button("ConnectButton")->click();
    EXPECT_EQ(message->text, "Error updating DataControlBlock (Error: 22) \n"
                             "The device refused DataBits 4bit: serial lines on Linux carry 5 "
                             "to 8 data bits.");
    EXPECT_TRUE(List("ComboBox1")->isEnabled());
}

// An edit nobody confirmed, because the program must end, is kept beside the stored macro.
TEST_F(MainWindow, AnAbandonedEditKeepsTheMacroAndAddsTheEditAsUnsaved) {
    int changes = 0;
    form.OnMacrosChanged = [&] { ++changes; };
    form.AddMacro("Kept", {"Print('kept');"});
    form.AddMacro("Kept (unsaved)", {"Print('older');"});
    List("ComboBox7")->setCurrentIndex(1);
    OnEditor([](TForm2& editor) {
        QTest::keyClicks(editor.RichEdit2, "x");
        editor.Abandon();
    });
    Button("EditButton")->click();
    ASSERT_EQ(form.MacroCount(), 3);
    EXPECT_EQ(form.MacroLines(1), ksl::TStrings{"Print('kept');"});
    EXPECT_EQ(form.MacroTitle(3), "Kept (unsaved) (2)");
    EXPECT_EQ(form.MacroLines(3), ksl::TStrings{"xPrint('kept');"});
    EXPECT_EQ(form.SelectedItem(), 1);
    EXPECT_EQ(changes, 1);

    OnEditor([](TForm2& editor) { editor.Abandon(); }); // nothing changed: nothing to keep
    Button("EditButton")->click();
    EXPECT_EQ(form.MacroCount(), 3);
    List("ComboBox7")->setCurrentIndex(0);
    OnEditor([](TForm2& editor) {
        editor.SetTitle("a=b");
        editor.Abandon();
    });
    Button("EditButton")->click();
    ASSERT_EQ(form.MacroCount(), 4);
    EXPECT_EQ(form.MacroTitle(4), "a_b (unsaved)");
    EXPECT_EQ(changes, 2);
}

TEST_F(MainWindow, EscapeInTheEditorActsAsDiscardAndExit) {
    form.AddMacro("Kept", {"Print('kept');"});
    List("ComboBox7")->setCurrentIndex(1);
    OnEditor([](TForm2& editor) {
        QTest::keyClicks(editor.RichEdit2, "x");
        guitest::AnswerNextQuestion(QMessageBox::No);
        QTest::keyClick(editor.RichEdit2, Qt::Key_Escape);
        if (!editor.isVisible()) return;
        ADD_FAILURE() << "Escape left the editor open";
        editor.QDialog::done(TForm2::mrDiscard);
    });
    Button("EditButton")->click();
    EXPECT_EQ(form.MacroLines(1), ksl::TStrings{"Print('kept');"});
}

// Bytes that are not UTF-8 cannot be shown, but must not be lost by showing them.
TEST_F(MainWindow, TitlesAndLinesKeepTheirBytesUnlessEdited) {
    TStoredState state;
    state.Macros = {{"bad\xFF title", {"Print('\xE9');"}}, {"other\xFE", {"x"}}};
    state.MacroIndex = 1;
    form.Apply(state);
    EXPECT_EQ(form.State().Macros, state.Macros);
    OnEditor(SaveAndExit);
    Button("EditButton")->click();
    EXPECT_EQ(form.State().Macros, state.Macros);
    OnEditor([](TForm2& editor) {
        editor.SetTitle("renamed");
        editor.FileExit->trigger();
    });
    Button("EditButton")->click();
    const TStoredState after = form.State();
    EXPECT_EQ(after.Macros[0].Title, "renamed");
    EXPECT_EQ(after.Macros[0].Lines, state.Macros[0].Lines);
    EXPECT_EQ(after.Macros[1], state.Macros[1]);
}

TEST_F(MainWindow, DeleteKeepsACopyFirstAndSaysWhere) {
    std::vector<TMacro> kept;
    form.OnDeleting = [&](const TMacro& macro) {
        kept.push_back(macro);
        return std::filesystem::path("/deleted/A.ksl");
    };
    QSignalSpy notices(&form, &TForm1::Notice);
    form.AddMacro("A", {"Print('a');"});
    form.AddMacro("B", {});
    List("ComboBox7")->setCurrentIndex(1);
    Button("DeleteButton")->click();
    EXPECT_EQ(kept, (std::vector<TMacro>{{"A", {"Print('a');"}}}));
    EXPECT_EQ(Items(List("ComboBox7")), (QStringList{"（New File）", "B"}));
    ASSERT_EQ(notices.count(), 1);
    const QString notice = notices.front().front().toString();
    EXPECT_TRUE(notice.contains("/deleted/A.ksl")) << notice.toStdString();
    EXPECT_TRUE(notice.contains("portwell-cli import")) << notice.toStdString();

    form.OnDeleting = [](const TMacro&) -> std::filesystem::path {
        throw std::runtime_error("cannot write '/deleted/B.ksl': No space left on device");
    };
    int changes = 0;
    form.OnMacrosChanged = [&] { ++changes; };
    auto message = AnswerNextMessageBox();
    Button("DeleteButton")->click();
    EXPECT_EQ(Items(List("ComboBox7")), (QStringList{"（New File）", "B"}));
    EXPECT_NE(message->text.find("No space left"), std::string::npos) << message->text;
    EXPECT_NE(message->text.find("not deleted"), std::string::npos) << message->text;
    EXPECT_EQ(changes, 0);
}

TEST_F(MainWindow, AStoredPlaceOffEveryScreenOpensOnTheNearestOne) {
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    TStoredState state;
    state.Left = screen.right() + 3000;
    state.Top = screen.bottom() + 2000;
    form.Apply(state);
    EXPECT_TRUE(screen.contains(form.geometry())) << form.x() << "," << form.y();
    state.Left = screen.left() + 10;
    state.Top = screen.top() + 20;
    form.Apply(state);
    EXPECT_EQ(form.pos(), QPoint(state.Left, state.Top));
}

// The longest item of each list, measured against the room its field gives.
int TextRoom(QComboBox* list) {
    QStyleOptionComboBox option;
    option.initFrom(list);
    return list->style()
        ->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, list)
        .width();
}

int LongestItem(QComboBox* list) {
    int longest = 0;
    for (const QString& item : Items(list))
        longest = std::max(longest, list->fontMetrics().horizontalAdvance(item));
    return longest;
}

// Checked with the window's own font and with a larger desktop font, which the window takes on.
TEST(PortGroup, LabelsKeepApartAndEveryListShowsItsLongestItem) {
    const QFont desktop = QApplication::font();
    for (int pixels : {0, 20}) {
        QFont larger = desktop;
        if (pixels > 0) larger.setPixelSize(pixels);
        QApplication::setFont(larger);
        TForm1 form;
        QApplication::setFont(desktop);
        form.show();
        const char* labels[] = {"Label1", "Label2", "Label3", "Label4", "Label5", "Label6"};
        const char* lists[] = {"ComboBox1", "ComboBox2", "ComboBox3",
                               "ComboBox4", "ComboBox5", "ComboBox6"};
        for (int i = 0; i < 6; ++i) {
            auto* label = Child<QLabel>(form, labels[i]);
            auto* list = Child<QComboBox>(form, lists[i]);
            EXPECT_EQ(label->x(), list->x()) << labels[i]; // each label above its list
            EXPECT_LT(label->geometry().bottom(), list->y()) << labels[i];
            if (i > 0) {
                EXPECT_GE(TextRoom(list), LongestItem(list)) << lists[i] << " at " << pixels;
                EXPECT_LT(Child<QComboBox>(form, lists[i - 1])->geometry().right(), list->x());
            }
            if (i == 5) break;
            auto* next = Child<QLabel>(form, labels[i + 1]);
            const int textEnd = label->x() + label->fontMetrics().horizontalAdvance(label->text());
            EXPECT_GE(next->x() - textEnd, label->fontMetrics().averageCharWidth())
                << labels[i] << " at " << pixels;
        }
        auto* group = Child<QGroupBox>(form, "GroupBox1");
        EXPECT_GE(form.minimumWidth(), group->minimumSizeHint().width());
        EXPECT_GE(group->height(), group->minimumSizeHint().height());
        if (pixels == 0) {
            EXPECT_EQ(form.minimumSize(), QSize(512, 300));
        } else {
            EXPECT_GT(form.minimumWidth(), 512);
        }
    }
}

TEST(PortGroup, TheDeviceFieldGrowsWithTheWindowAndShowsTheStartOfAPath) {
    TForm1 form;
    form.show();
    auto* device = Child<TDeviceComboBox>(form, "ComboBox1");
    const int narrow = device->width();
    form.resize(form.width() + 300, form.height());
    ASSERT_TRUE(WaitFor([&] { return device->width() >= narrow + 300; }, 2000))
        << narrow << " -> " << device->width();
    const QString path = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A700fXYZ-if00-port0";
    device->SelectDevice(path);
    EXPECT_EQ(device->currentText(), path);
    EXPECT_EQ(device->lineEdit()->cursorPosition(), 0);
    EXPECT_EQ(device->toolTip(), path);
}

TEST(DeviceList, ADeviceFoundIsListedOnceWhateverItsName) {
    testsupport::TempDir dir;
    std::filesystem::create_directories(dir / "dev" / "serial" / "by-id");
    testsupport::WriteWholeFile(dir / "dev" / "ttyUSB0", "");
    std::filesystem::create_symlink("../../ttyUSB0", dir / "dev" / "serial" / "by-id" / "usb-X");
    const QString byId = QString::fromStdString((dir / "dev/serial/by-id/usb-X").string());
    const QString usb = QString::fromStdString((dir / "dev/ttyUSB0").string());
    const std::vector<serial::TSerialPortInfo> found = {
        {"/dev/ttyS0", "serial port (UART)"},
        {byId.toStdString(), ""},
        {usb.toStdString(), "USB serial adapter"},
        {"/dev/ttyS9", "serial port (UART)"},
    };
    EXPECT_EQ(DeviceItems(NumberedPorts(), found),
              NumberedPorts() + QStringList({byId, "/dev/ttyS9", "loop://"}));
    EXPECT_EQ(DeviceItems(NumberedPorts() + QStringList({usb}), found),
              NumberedPorts() + QStringList({usb, "/dev/ttyS9", "loop://"}));
}

} // namespace
