#pragma once
// The macro editor: a modal window showing one macro's title and text. ShowModal tells the caller
// whether to store what it shows (1) or to discard it (2); the caller copies Title() and Lines()
// into the macro list when it stores. A program that must end abandons it (3): the caller then
// decides what becomes of an unsaved edit, since nobody was asked.
#include "portwell/gui/CodeEdit.h"

#include <QDialog>
#include <QString>
#include <QStringList>

class QAction;
class QLineEdit;
class QMenu;
class QMenuBar;
class QStatusBar;
class QWidget;

namespace portwell::gui {

class TForm2 : public QDialog {
    Q_OBJECT

public:
    static constexpr int mrStore = 1;
    static constexpr int mrDiscard = 2;
    static constexpr int mrAbandoned = 3;

    // `declarePrototype` is the engine's DeclarePrototype list: an empty macro starts with these
    // lines as comments, and the routines they declare are highlighted as host routines.
    explicit TForm2(QStringList declarePrototype, QWidget* parent = nullptr);

    // Shows the window modally; returns mrStore, mrDiscard or mrAbandoned.
    int ShowModal();
    // Closes the window at once, asking nothing, also from inside its own question; ShowModal then
    // returns mrAbandoned.
    void Abandon();
    // Whether the text differs from what it was when the window opened or was last saved.
    bool TextChanged() const;

    QString Title() const;
    void SetTitle(const QString& title);
    // The macro's text, one entry per line; an empty pane has no line.
    QStringList Lines() const;
    void SetLines(const QStringList& lines);
    // Puts the cursor at the start of `line` (1 = first) and shows it; out-of-range lines clamp.
    void GoToLine(int line);

    QWidget* Panel1;
    QLineEdit* LabeledEdit1;
    TCodeEdit* RichEdit2;
    QMenuBar* MainMenu1;
    QMenu* PopupMenu1;
    QStatusBar* StatusBar1;

    QAction* FileExit;
    QAction* FileAbort;
    QAction* EditUndo1;
    QAction* EditCut1;
    QAction* EditCopy1;
    QAction* EditPaste1;
    QAction* EditDelete1;
    QAction* EditSelectAll1;
    QAction* HelpContents1;
    QAction* HelpTopicSearch1;

public slots:
    // Every way out (either action, the close box) ends here: the closing check runs first.
    void done(int result) override;

protected:
    bool event(QEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;

private:
    QStringList declarePrototype;
    QString Backup; // the text as opened or last saved
    int Modal = mrStore;
    bool abandoned = false;

    QAction* NewAction(const char* objectName, const QString& caption, const QString& hint);
    void CreateActions();
    void ConnectActions();
    void CreateControls();
    void CreateMenus();
    void FillEditMenu(QMenu* menu);
    QString PaneText() const;
    void UpdateEditActions();
    bool FormCloseQuery();
    bool TitleStorable();
    void FileExitExecute();
    void FileAbortExecute();
};

} // namespace portwell::gui
