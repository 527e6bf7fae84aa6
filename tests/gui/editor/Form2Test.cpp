#include "portwell/gui/Form2.h"

#include "ModalAnswerer.h"
#include "QtPrinters.h"
#include "portwell/MacroHost.h"
#include "portwell/gui/CodeEdit.h"

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QTest>
#include <QTextBlock>
#include <functional>
#include <gtest/gtest.h>

namespace portwell::gui {
namespace {

using test::TModalAnswerer;

const QString ChangedQuestion = "編集されています。更新しますか？";

QStringList HostPrototypes() {
    QStringList lines;
    for (const std::string& line : TMacroHost::Prototypes)
        lines << QString::fromStdString(line);
    return lines;
}

QStringList Commented(const QStringList& lines) {
    QStringList commented;
    for (const QString& line : lines)
        commented << "//" + line;
    return commented;
}

// Runs `whileOpen` once the editor is shown, inside its modal loop, and returns what ShowModal
// returns. An editor the steps leave open fails the test instead of hanging it.
int RunModal(TForm2& form, const std::function<void()>& whileOpen) {
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (!form.isVisible()) return;
        poll.stop();
        whileOpen();
        if (!form.isVisible()) return;
        ADD_FAILURE() << "the editor is still open";
        form.QDialog::done(0);
    });
    poll.start();
    return form.ShowModal();
}

void Type(TForm2& form, const QString& text) {
    QTest::keyClicks(form.RichEdit2, text);
}

class Form2Test : public testing::Test {
protected:
    TForm2 form{HostPrototypes()};
    TModalAnswerer answerer;
};

TEST_F(Form2Test, AnEmptyMacroStartsWithTheHostDeclarationsAsComments) {
    ASSERT_EQ(HostPrototypes().size(), 8);
    const int result = RunModal(form, [&] { form.FileExit->trigger(); });
    EXPECT_EQ(result, TForm2::mrStore);
    EXPECT_EQ(form.Lines(), Commented(HostPrototypes()));
    EXPECT_EQ(form.Lines().front(), "//procedure Print(S:String); index 1;");
    EXPECT_TRUE(answerer.Asked().isEmpty());
}

TEST_F(Form2Test, AMacroWithTextIsShownAsItIs) {
    form.SetLines({"Print('a');", "Print('b');"});
    RunModal(form, [&] {
        EXPECT_EQ(form.RichEdit2->toPlainText(), "Print('a');\nPrint('b');");
        form.FileExit->trigger();
    });
    EXPECT_EQ(form.Lines(), QStringList({"Print('a');", "Print('b');"}));
}

// Every way out, with and without a change to the text, and each answer to the question.
struct TClosingCase {
    const char* name;
    bool typed;
    std::function<void(TForm2&)> close;
    std::optional<QMessageBox::StandardButton> answer; // the question is asked when set
    int expected;
};

void PrintTo(const TClosingCase& c, std::ostream* os) {
    *os << c.name;
}

void PressFileExit(TForm2& form) {
    form.FileExit->trigger();
}
void PressFileAbort(TForm2& form) {
    form.FileAbort->trigger();
}
void PressCloseBox(TForm2& form) {
    form.close();
}
void PressEscape(TForm2& form) {
    QTest::keyClick(form.RichEdit2, Qt::Key_Escape);
}

class ClosingTest : public Form2Test, public testing::WithParamInterface<TClosingCase> {};

TEST_P(ClosingTest, ReturnsWhetherToStore) {
    const TClosingCase& c = GetParam();
    if (c.answer) answerer.Answer(*c.answer);
    const int result = RunModal(form, [&] {
        if (c.typed) Type(form, "Print('typed');");
        c.close(form);
    });
    EXPECT_EQ(result, c.expected);
    EXPECT_EQ(answerer.Asked(), c.answer ? QStringList{ChangedQuestion} : QStringList{});
    EXPECT_TRUE(answerer.AllAnswered());
}

const TClosingCase closingCases[] = {
    {"ExitUntouched", false, PressFileExit, std::nullopt, TForm2::mrStore},
    {"AbortUntouched", false, PressFileAbort, std::nullopt, TForm2::mrStore},
    {"CloseBoxUntouched", false, PressCloseBox, std::nullopt, TForm2::mrStore},
    {"ExitTyped", true, PressFileExit, std::nullopt, TForm2::mrStore},
    {"AbortTypedYes", true, PressFileAbort, QMessageBox::Yes, TForm2::mrStore},
    {"AbortTypedNo", true, PressFileAbort, QMessageBox::No, TForm2::mrDiscard},
    {"CloseBoxTypedYes", true, PressCloseBox, QMessageBox::Yes, TForm2::mrStore},
    {"CloseBoxTypedNo", true, PressCloseBox, QMessageBox::No, TForm2::mrDiscard},
    {"EscapeUntouched", false, PressEscape, std::nullopt, TForm2::mrStore},
    {"EscapeTypedYes", true, PressEscape, QMessageBox::Yes, TForm2::mrStore},
    {"EscapeTypedNo", true, PressEscape, QMessageBox::No, TForm2::mrDiscard},
};
INSTANTIATE_TEST_SUITE_P(Editor, ClosingTest, testing::ValuesIn(closingCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Form2Test, CancelKeepsTheEditorOpenWithTheText) {
    answerer.Answer(QMessageBox::Cancel);
    const int result = RunModal(form, [&] {
        Type(form, "Print('kept');");
        const QString typed = form.RichEdit2->toPlainText();
        form.FileAbort->trigger();
        EXPECT_TRUE(form.isVisible());
        EXPECT_EQ(form.RichEdit2->toPlainText(), typed);
        answerer.Answer(QMessageBox::No);
        form.close();
    });
    EXPECT_EQ(result, TForm2::mrDiscard);
    EXPECT_EQ(answerer.Asked(), QStringList({ChangedQuestion, ChangedQuestion}));
}

TEST_F(Form2Test, ARenamedTitleAloneAsksNothing) {
    form.SetTitle("Old");
    form.SetLines({"Print('a');"});
    const int result = RunModal(form, [&] {
        form.LabeledEdit1->setText("New");
        form.FileAbort->trigger();
    });
    EXPECT_EQ(result, TForm2::mrStore);
    EXPECT_EQ(form.Title(), "New");
    EXPECT_TRUE(answerer.Asked().isEmpty());
}

TEST_F(Form2Test, ATitleWithAnEqualsSignIsRefusedAndTheEditorStaysOpen) {
    form.SetTitle("a=b");
    answerer.Answer(QMessageBox::Ok);
    const int result = RunModal(form, [&] {
        form.FileExit->trigger();
        EXPECT_TRUE(form.isVisible());
        form.LabeledEdit1->setText("a-b");
        form.FileExit->trigger();
    });
    EXPECT_EQ(result, TForm2::mrStore);
    ASSERT_EQ(answerer.Asked().size(), 1);
    EXPECT_TRUE(answerer.Asked().front().contains("\"=\""));
    EXPECT_EQ(form.Title(), "a-b");
}

TEST_F(Form2Test, ATitleWithAnEqualsSignMayStillBeDiscarded) {
    form.SetTitle("a=b");
    answerer.Answer(QMessageBox::No);
    const int result = RunModal(form, [&] {
        Type(form, "x");
        form.FileAbort->trigger();
    });
    EXPECT_EQ(result, TForm2::mrDiscard);
    EXPECT_EQ(answerer.Asked(), QStringList{ChangedQuestion});
}

TEST_F(Form2Test, EscapeOnAChangedTextAsksAndCancelKeepsTheEditorOpen) {
    answerer.Answer(QMessageBox::Cancel);
    RunModal(form, [&] {
        Type(form, "x");
        QTest::keyClick(form.RichEdit2, Qt::Key_Escape);
        EXPECT_TRUE(form.isVisible());
        form.FileExit->trigger();
    });
    EXPECT_EQ(answerer.Asked(), QStringList{ChangedQuestion});
}

// A program that must end asks nothing, not even when its question is open already.
TEST_F(Form2Test, AbandonClosesWithoutAskingAndKeepsTheTextForTheCaller) {
    struct Case {
        bool typed, questionOpen;
    } cases[] = {{false, false}, {true, false}, {true, true}};
    for (const Case& c : cases) {
        TForm2 editor{HostPrototypes()};
        editor.SetLines({"Print('stored');"});
        QTimer abandonTheQuestion;
        QObject::connect(&abandonTheQuestion, &QTimer::timeout, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box) return;
            abandonTheQuestion.stop();
            editor.Abandon();
            box->reject(); // as every dialog is closed when the program ends
        });
        const int result = RunModal(editor, [&] {
            if (c.typed) Type(editor, "x");
            if (!c.questionOpen) return editor.Abandon();
            abandonTheQuestion.start(10);
            editor.FileAbort->trigger();
        });
        EXPECT_EQ(result, TForm2::mrAbandoned) << c.typed << c.questionOpen;
        EXPECT_EQ(editor.TextChanged(), c.typed);
        EXPECT_FALSE(editor.isVisible());
    }
    EXPECT_TRUE(answerer.Asked().isEmpty());
}

TEST_F(Form2Test, OpensAsSpecifiedWithTheFocusOnTheText) {
    RunModal(form, [&] {
        EXPECT_EQ(form.windowTitle(), "Macro Editor");
        EXPECT_EQ(form.size(), QSize(650, 488));
        EXPECT_TRUE(form.isModal());
        EXPECT_EQ(form.focusWidget(), form.RichEdit2);
        form.FileExit->trigger();
    });
}

TEST_F(Form2Test, TabInsertsATab) {
    form.SetLines({"ab"});
    form.RichEdit2->moveCursor(QTextCursor::Right);
    QTest::keyClick(form.RichEdit2, Qt::Key_Tab);
    EXPECT_EQ(form.Lines(), QStringList{"a\tb"});
}

TEST_F(Form2Test, LinesGiveBackExactlyWhatWasSet) {
    const QStringList table[] = {
        {},
        {"one"},
        {"a", "", "b"},
        {"trailing empty line", ""},
        {"  indented\ttab", QString("no-break") + QChar(0xA0) + "space", "日本語 'テキスト'"},
    };
    for (const QStringList& lines : table) {
        form.SetLines(lines);
        EXPECT_EQ(form.Lines(), lines) << lines.join('|').toStdString();
    }
}

TEST_F(Form2Test, GoToLinePutsTheCursorOnTheLineAndClamps) {
    form.SetLines({"1", "2", "3", "4"});
    const std::pair<int, int> table[] = {{3, 2}, {1, 0}, {4, 3}, {0, 0}, {-5, 0}, {99, 3}};
    for (const auto& [line, block] : table) {
        form.GoToLine(line);
        EXPECT_EQ(form.RichEdit2->textCursor().blockNumber(), block) << line;
        EXPECT_EQ(form.RichEdit2->textCursor().positionInBlock(), 0) << line;
    }
}

TEST_F(Form2Test, DeleteRemovesTheSelectionOnly) {
    form.SetLines({"abcdef"});
    QTextCursor cursor = form.RichEdit2->textCursor();
    cursor.setPosition(0);
    form.RichEdit2->setTextCursor(cursor);
    form.EditDelete1->trigger();
    EXPECT_EQ(form.Lines(), QStringList{"abcdef"});
    cursor.setPosition(1);
    cursor.setPosition(3, QTextCursor::KeepAnchor);
    form.RichEdit2->setTextCursor(cursor);
    form.EditDelete1->trigger();
    EXPECT_EQ(form.Lines(), QStringList{"adef"});
}

TEST_F(Form2Test, EditActionsWorkOnTheTitleWhenItHasTheFocus) {
    form.SetTitle("Title");
    form.SetLines({"text"});
    form.LabeledEdit1->setFocus();
    form.EditSelectAll1->trigger();
    form.EditDelete1->trigger();
    EXPECT_EQ(form.Title(), "");
    EXPECT_EQ(form.Lines(), QStringList{"text"});
    form.EditUndo1->trigger();
    EXPECT_EQ(form.Title(), "Title");
}

TEST_F(Form2Test, TheEditMenuOffersWhatTheFocusedEditCanDo) {
    form.SetLines({"text"});
    emit form.PopupMenu1->aboutToShow();
    EXPECT_FALSE(form.EditCopy1->isEnabled());
    EXPECT_FALSE(form.EditCut1->isEnabled());
    EXPECT_FALSE(form.EditDelete1->isEnabled());
    form.EditSelectAll1->trigger();
    emit form.PopupMenu1->aboutToShow();
    EXPECT_TRUE(form.EditCopy1->isEnabled());
    EXPECT_TRUE(form.EditCut1->isEnabled());
    EXPECT_TRUE(form.EditDelete1->isEnabled());
    EXPECT_TRUE(form.EditSelectAll1->isEnabled());
}

struct TActionCase {
    const char* name;
    const char* caption;
    const char* shortcut;
    const char* toolTip;
    const char* statusTip;
    bool enabled;
};

TEST_F(Form2Test, ActionsCarryTheirCaptionsShortcutsAndHints) {
    const TActionCase table[] = {
        {"FileExit", "保存終了(&Q)", "Ctrl+Q", "保存終了", "編集内容を保存し、編集を終了します。",
         true},
        {"FileAbort", "破棄終了(&A)", "", "破棄終了", "編集を破棄し、編集を終了します。", true},
        {"EditUndo1", "元に戻す(&U)", "Ctrl+Z", "元に戻す", "直前の変更を元に戻す", true},
        {"EditCut1", "切り取り(&T)", "Ctrl+X", "切り取り",
         "選択部分を切り取り、クリップボードに送る", true},
        {"EditCopy1", "コピー(&C)", "Ctrl+C", "コピー", "選択部分をコピーし、クリップボードに送る",
         true},
        {"EditPaste1", "貼り付け(&P)", "Ctrl+V", "貼り付け", "クリップボードの内容を貼り付ける",
         true},
        {"EditDelete1", "削除(&D)", "Del", "削除", "選択部分を削除する", true},
        {"EditSelectAll1", "すべてを選択(&A)", "Ctrl+A", "すべてを選択",
         "ドキュメント全体を選択する", true},
        {"HelpContents1", "目次(&C)", "", "ヘルプの目次", "ヘルプの目次", false},
        {"HelpTopicSearch1", "トピックの検索(&T)", "F1", "トピックの検索", "トピックの検索", false},
    };
    for (const TActionCase& c : table) {
        const auto* action = form.findChild<QAction*>(c.name);
        ASSERT_NE(action, nullptr) << c.name;
        EXPECT_EQ(action->text(), QString(c.caption)) << c.name;
        EXPECT_EQ(action->shortcut(), QKeySequence(c.shortcut)) << c.name;
        EXPECT_EQ(action->toolTip(), QString(c.toolTip)) << c.name;
        EXPECT_EQ(action->statusTip(), QString(c.statusTip)) << c.name;
        EXPECT_EQ(action->isEnabled(), c.enabled) << c.name;
    }
}

QStringList MenuTexts(const QMenu* menu) {
    QStringList texts;
    for (const QAction* action : menu->actions())
        texts << (action->isSeparator() ? "-" : action->objectName());
    return texts;
}

TEST_F(Form2Test, MenusListTheActionsInOrder) {
    ASSERT_EQ(form.findChild<QMenuBar*>("MainMenu1"), form.MainMenu1);
    QStringList bar;
    for (const QAction* menu : form.MainMenu1->actions())
        bar << menu->text();
    EXPECT_EQ(bar, QStringList({"ファイル(&F)", "編集(&E)", "ヘルプ(&H)"}));
    const QStringList edit = {"EditUndo1",  "-", "EditCut1",    "EditCopy1",
                              "EditPaste1", "-", "EditDelete1", "EditSelectAll1"};
    const QList<QAction*> menus = form.MainMenu1->actions();
    EXPECT_EQ(MenuTexts(menus[0]->menu()), QStringList({"FileExit", "FileAbort"}));
    EXPECT_EQ(MenuTexts(menus[1]->menu()), edit);
    EXPECT_EQ(MenuTexts(menus[2]->menu()), QStringList({"HelpContents1", "HelpTopicSearch1"}));
    EXPECT_EQ(MenuTexts(form.findChild<QMenu*>("PopupMenu1")), edit);
}

TEST_F(Form2Test, AnActionsStatusTipShowsInTheStatusBar) {
    form.EditCopy1->showStatusText(&form);
    EXPECT_EQ(form.StatusBar1->currentMessage(), "選択部分をコピーし、クリップボードに送る");
}

TEST_F(Form2Test, ControlsCarryTheirDesignerNames) {
    for (const char* name : {"Panel1", "LabeledEdit1", "RichEdit2", "StatusBar1"})
        EXPECT_NE(form.findChild<QWidget*>(name), nullptr) << name;
    EXPECT_EQ(form.Panel1->height(), 28);
    EXPECT_TRUE(form.RichEdit2->font().fixedPitch());
}

} // namespace
} // namespace portwell::gui
