#include "portwell/gui/Form2.h"

#include "portwell/gui/CodeEdit.h"
#include "portwell/gui/MacroHighlighter.h"

#include <QApplication>
#include <QClipboard>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QScreen>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTextBlock>
#include <QVBoxLayout>

namespace portwell::gui {
namespace {

constexpr int WindowWidth = 650;
constexpr int WindowHeight = 488;
constexpr int PanelHeight = 28;

const QString ChangedQuestion = QStringLiteral("編集されています。更新しますか？");
const QString EqualsInTitle = QStringLiteral(
    "A macro title cannot contain \"=\": the settings file stores each macro as title=text, so "
    "everything after the \"=\" would become part of the macro's text.\n\nPlease change the "
    "title.");

// A hint is "short|long": the short part is the tool tip, the long one the status tip.
void ApplyHint(QAction* action, const QString& hint) {
    const qsizetype bar = hint.indexOf('|');
    action->setToolTip(bar < 0 ? hint : hint.left(bar));
    action->setStatusTip(bar < 0 ? hint : hint.mid(bar + 1));
}

// The edit actions work on the title field when it has the focus, on the text pane otherwise.
template <class OnLine, class OnText>
void ConnectEdit(TForm2* form, QAction* action, OnLine onLine, OnText onText) {
    QObject::connect(action, &QAction::triggered, form, [form, onLine, onText] {
        if (form->focusWidget() == form->LabeledEdit1)
            onLine(form->LabeledEdit1);
        else
            onText(form->RichEdit2);
    });
}

} // namespace

TForm2::TForm2(QStringList declarePrototype, QWidget* parent)
    : QDialog(parent), declarePrototype(std::move(declarePrototype)) {
    setObjectName("Form2");
    setWindowTitle("Macro Editor");
    setModal(true);
    resize(WindowWidth, WindowHeight);
    CreateActions();
    ConnectActions();
    CreateControls();
    CreateMenus();
    new TMacroHighlighter(RichEdit2->document(), this->declarePrototype);
}

QAction* TForm2::NewAction(const char* objectName, const QString& caption, const QString& hint) {
    auto* action = new QAction(caption, this);
    action->setObjectName(objectName);
    ApplyHint(action, hint);
    addAction(action);
    return action;
}

void TForm2::CreateActions() {
    FileExit =
        NewAction("FileExit", "保存終了(&Q)", "保存終了|編集内容を保存し、編集を終了します。");
    FileAbort = NewAction("FileAbort", "破棄終了(&A)", "破棄終了|編集を破棄し、編集を終了します。");
    EditUndo1 = NewAction("EditUndo1", "元に戻す(&U)", "元に戻す|直前の変更を元に戻す");
    EditCut1 =
        NewAction("EditCut1", "切り取り(&T)", "切り取り|選択部分を切り取り、クリップボードに送る");
    EditCopy1 =
        NewAction("EditCopy1", "コピー(&C)", "コピー|選択部分をコピーし、クリップボードに送る");
    EditPaste1 =
        NewAction("EditPaste1", "貼り付け(&P)", "貼り付け|クリップボードの内容を貼り付ける");
    EditDelete1 = NewAction("EditDelete1", "削除(&D)", "削除|選択部分を削除する");
    EditSelectAll1 =
        NewAction("EditSelectAll1", "すべてを選択(&A)", "すべてを選択|ドキュメント全体を選択する");
    HelpContents1 = NewAction("HelpContents1", "目次(&C)", "ヘルプの目次");
    HelpTopicSearch1 = NewAction("HelpTopicSearch1", "トピックの検索(&T)", "トピックの検索");

    FileExit->setShortcut(QKeySequence("Ctrl+Q"));
    EditUndo1->setShortcut(QKeySequence("Ctrl+Z"));
    EditCut1->setShortcut(QKeySequence("Ctrl+X"));
    EditCopy1->setShortcut(QKeySequence("Ctrl+C"));
    EditPaste1->setShortcut(QKeySequence("Ctrl+V"));
    EditDelete1->setShortcut(QKeySequence("Del"));
    EditSelectAll1->setShortcut(QKeySequence("Ctrl+A"));
    HelpTopicSearch1->setShortcut(QKeySequence("F1"));
    // No help is offered: there is no help file to open.
    HelpContents1->setEnabled(false);
    HelpTopicSearch1->setEnabled(false);
}

void TForm2::ConnectActions() {
    connect(FileExit, &QAction::triggered, this, &TForm2::FileExitExecute);
    connect(FileAbort, &QAction::triggered, this, &TForm2::FileAbortExecute);
    ConnectEdit(
        this, EditUndo1, [](QLineEdit* e) { e->undo(); }, [](QPlainTextEdit* e) { e->undo(); });
    ConnectEdit(
        this, EditCut1, [](QLineEdit* e) { e->cut(); }, [](QPlainTextEdit* e) { e->cut(); });
    ConnectEdit(
        this, EditCopy1, [](QLineEdit* e) { e->copy(); }, [](QPlainTextEdit* e) { e->copy(); });
    ConnectEdit(
        this, EditPaste1, [](QLineEdit* e) { e->paste(); }, [](QPlainTextEdit* e) { e->paste(); });
    ConnectEdit(
        this, EditDelete1,
        [](QLineEdit* e) {
            if (e->hasSelectedText()) e->del();
        },
        [](QPlainTextEdit* e) { e->textCursor().removeSelectedText(); });
    ConnectEdit(
        this, EditSelectAll1, [](QLineEdit* e) { e->selectAll(); },
        [](QPlainTextEdit* e) { e->selectAll(); });
}

void TForm2::CreateControls() {
    Panel1 = new QWidget(this);
    Panel1->setObjectName("Panel1");
    Panel1->setFixedHeight(PanelHeight);
    LabeledEdit1 = new QLineEdit(Panel1);
    LabeledEdit1->setObjectName("LabeledEdit1");
    auto* label = new QLabel("Title", Panel1);
    label->setObjectName("EditLabel");
    label->setBuddy(LabeledEdit1);
    auto* panelLayout = new QHBoxLayout(Panel1);
    panelLayout->setContentsMargins(4, 0, 4, 0);
    panelLayout->addWidget(label);
    panelLayout->addWidget(LabeledEdit1, 1);

    RichEdit2 = new TCodeEdit(this);
    RichEdit2->setObjectName("RichEdit2");
    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName("StatusBar1");
    StatusBar1->setSizeGripEnabled(false);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(Panel1);
    layout->addWidget(RichEdit2, 1);
    layout->addWidget(StatusBar1);
    RichEdit2->setFocus();
}

void TForm2::FillEditMenu(QMenu* menu) {
    menu->setToolTipsVisible(true);
    menu->addAction(EditUndo1);
    menu->addSeparator();
    menu->addAction(EditCut1);
    menu->addAction(EditCopy1);
    menu->addAction(EditPaste1);
    menu->addSeparator();
    menu->addAction(EditDelete1);
    menu->addAction(EditSelectAll1);
    connect(menu, &QMenu::aboutToShow, this, &TForm2::UpdateEditActions);
}

void TForm2::CreateMenus() {
    MainMenu1 = new QMenuBar(this);
    MainMenu1->setObjectName("MainMenu1");
    QMenu* file = MainMenu1->addMenu("ファイル(&F)");
    file->setObjectName("File1");
    file->setToolTipsVisible(true);
    file->addAction(FileExit);
    file->addAction(FileAbort);
    QMenu* edit = MainMenu1->addMenu("編集(&E)");
    edit->setObjectName("Edit1");
    FillEditMenu(edit);
    QMenu* help = MainMenu1->addMenu("ヘルプ(&H)");
    help->setObjectName("Help1");
    help->setToolTipsVisible(true);
    help->addAction(HelpContents1);
    help->addAction(HelpTopicSearch1);
    layout()->setMenuBar(MainMenu1);

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName("PopupMenu1");
    FillEditMenu(PopupMenu1);
    RichEdit2->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(RichEdit2, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        PopupMenu1->popup(RichEdit2->viewport()->mapToGlobal(pos));
    });
}

// Cut, copy and delete need a selection, undo something to undo, paste a text to paste.
void TForm2::UpdateEditActions() {
    const bool onTitle = focusWidget() == LabeledEdit1;
    const bool selection =
        onTitle ? LabeledEdit1->hasSelectedText() : RichEdit2->textCursor().hasSelection();
    EditUndo1->setEnabled(onTitle ? LabeledEdit1->isUndoAvailable()
                                  : RichEdit2->document()->isUndoAvailable());
    EditCut1->setEnabled(selection);
    EditCopy1->setEnabled(selection);
    EditDelete1->setEnabled(selection);
    EditPaste1->setEnabled(!QApplication::clipboard()->text().isEmpty());
}

int TForm2::ShowModal() {
    QApplication::processEvents();
    if (PaneText().isEmpty()) {
        QStringList commented;
        for (const QString& prototype : declarePrototype)
            commented << "//" + prototype;
        SetLines(commented);
    }
    Backup = PaneText();
    move(screen()->availableGeometry().center() - rect().center());
    RichEdit2->setFocus();
    exec();
    return abandoned ? mrAbandoned : Modal;
}

void TForm2::Abandon() {
    abandoned = true;
    QDialog::done(mrAbandoned);
}

bool TForm2::TextChanged() const {
    return PaneText() != Backup;
}

void TForm2::done(int) {
    if (abandoned || !FormCloseQuery()) return;
    if (Modal == mrStore && !TitleStorable()) return;
    QDialog::done(Modal);
}

bool TForm2::FormCloseQuery() {
    Modal = mrStore;
    if (!TextChanged()) return true;
    const auto answer = QMessageBox::question(
        this, windowTitle(), ChangedQuestion,
        QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Yes);
    if (abandoned) return false;
    if (answer == QMessageBox::Yes) return true;
    if (answer != QMessageBox::No) return false;
    Modal = mrDiscard;
    return true;
}

// A title with "=" would not survive the settings file: its macro text would start at the "=".
bool TForm2::TitleStorable() {
    if (!Title().contains('=')) return true;
    QMessageBox::warning(this, windowTitle(), EqualsInTitle);
    if (!abandoned) LabeledEdit1->setFocus();
    return false;
}

void TForm2::FileExitExecute() {
    Backup = PaneText();
    done(QDialog::Accepted);
}

void TForm2::FileAbortExecute() {
    done(QDialog::Rejected);
}

bool TForm2::event(QEvent* e) {
    if (e->type() != QEvent::StatusTip) return QDialog::event(e);
    StatusBar1->showMessage(static_cast<QStatusTipEvent*>(e)->tip());
    return true;
}

// Escape leaves as 破棄終了 does, asking first when the text was changed.
void TForm2::keyPressEvent(QKeyEvent* e) {
    if (e->key() != Qt::Key_Escape) return QDialog::keyPressEvent(e);
    e->accept();
    FileAbortExecute();
}

QString TForm2::Title() const {
    return LabeledEdit1->text();
}

void TForm2::SetTitle(const QString& title) {
    LabeledEdit1->setText(title);
}

// The document's raw text: the plain-text export would turn no-break spaces into spaces.
QString TForm2::PaneText() const {
    QString text = RichEdit2->document()->toRawText();
    text.replace(QChar::ParagraphSeparator, '\n');
    text.replace(QChar::LineSeparator, '\n');
    return text;
}

// The exact inverse of SetLines, so that a macro stored unchanged keeps every line.
QStringList TForm2::Lines() const {
    const QString text = PaneText();
    return text.isEmpty() ? QStringList() : text.split('\n');
}

void TForm2::SetLines(const QStringList& lines) {
    RichEdit2->setPlainText(lines.join('\n'));
}

void TForm2::GoToLine(int line) {
    const int last = RichEdit2->document()->blockCount();
    const QTextBlock block =
        RichEdit2->document()->findBlockByNumber(std::clamp(line, 1, last) - 1);
    RichEdit2->setTextCursor(QTextCursor(block));
    RichEdit2->centerCursor();
    RichEdit2->setFocus();
}

} // namespace portwell::gui
