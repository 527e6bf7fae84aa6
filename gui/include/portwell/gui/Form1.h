#pragma once
// The main window: port settings, the macro list with Edit and Delete, AutoRun, Run, Rec and
// Stop, Loop and Interval, the traffic log and, under it, the console: Connect and the send bar.
// It is thin: running, looping, recording, stopping and the connection are the host's
// (TMacroHost); the window hands it the settings and shows what it logs.
#include "portwell/LogFile.h"
#include "portwell/LogText.h"
#include "portwell/MacroHost.h"
#include "portwell/SendText.h"
#include "portwell/StoredState.h"

#include <QTimer>
#include <QWidget>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QAbstractButton;
class QAction;
class QMenu;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QToolButton;

namespace portwell::gui {

class TDeviceComboBox;
class TForm2;

class TForm1 : public QWidget {
    Q_OBJECT
public:
    static constexpr const char* NewMacroTitle = "New Macro";

    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;

    TMacroHost& Host() { return host; }

    // The window's state as the settings file keeps it, and back. Apply leaves the log pane empty.
    TStoredState State() const;
    void Apply(const TStoredState& state);

    // The macros of the list, item 1 on; item 0 is "（New File）".
    int MacroCount() const { return int(macros.size()); }
    QString MacroTitle(int item) const;
    const ksl::TStrings& MacroLines(int item) const { return macros.at(size_t(item - 1)).Lines; }
    void AddMacro(const QString& title, const ksl::TStrings& lines);
    // The title's bytes are kept as they are, also those that are not UTF-8.
    void AddMacro(const TMacro& macro);
    // The selected item of the macro list; 0 is "（New File）".
    int SelectedItem() const;

    // Told after every change to the macro list, so that it can be stored at once.
    std::function<void()> OnMacrosChanged;
    // Told once the window has agreed to close, before it goes.
    std::function<void()> OnClosing;
    // Told before Delete removes a macro; returns where a copy of it is kept. When it throws, the
    // macro stays, and the reason is shown.
    std::function<std::filesystem::path(const TMacro&)> OnDeleting;

    void RunButtonClick();
    void RecButtonClick();
    void StopButtonClick();
    void EditButtonClick();
    void DeleteButtonClick();
    void ConnectButtonClick();
    void SendButtonClick();

    // The log's menu without its file dialogs: every traffic-log line from now on is appended to
    // `path` (false, after telling the user, when it cannot be opened); the pane's lines as shown.
    bool LogToFile(const QString& path);
    void StopLoggingToFile();
    bool SaveLogAs(const QString& path);
    // The pane's look; the lines themselves stay as logged.
    void SetLineLook(const TLineLook& look);
    // Asks for a file name for Save As… and Log to file…; a test may answer instead.
    std::function<QString(const QString& caption, bool append)> AskFileName;

signals:
    // A short notice for the user, such as why a button press was refused.
    void Notice(const QString& text);

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildPortGroup();
    void LayOutPortGroup();
    void BuildMacroGroup();
    void BuildLog();
    void ConnectHost();
    void ConnectButtons();

    void Press(QAbstractButton* pressed);
    bool RefuseWhileBusy(QAbstractButton* clicked);
    void ActivityEnded();
    void ShowFailure(const std::string& message);
    void ShowScriptFailure(int item, const std::string& message);
    void StoreRecording(int item, const ksl::TStrings& recorded);
    void EditNewMacro(TForm2& editor);
    void EditMacro(TForm2& editor, int item);
    void KeepUnsavedEdit(const TForm2& editor, const TMacro& stored);
    bool KeepDeletedCopy(int item, std::filesystem::path& copy);
    void ShowOpenFailure(const serial::ECommError& failure);
    bool SettingsLockedUntilStop() const;
    void FitMinimumSize();
    void MoveOntoAScreen();
    void MacrosChanged();
    void IntervalEditChange();
    void LockSettings(bool locked);
    TPortSettings PortSettings() const;
    std::vector<QComboBox*> PortLists() const;
    void QueueLogLine(const std::string& line, TLogTime time);
    void FlushLog();
    void MakeRoomInPane(size_t incoming);
    void ShowLog();

    // The console: Connect, the send bar, the log's menu and its file (gui/Console.cpp).
    void BuildConsole();
    void BuildLogMenu();
    void ConnectConsole();
    void ConnectionChanged(bool connected);
    void ShowLogMenu(const QPoint& at);
    void KeepInLogFile(const std::string& line, TLogTime time);
    bool BrowseHistory(int key);
    void ShowSendProblem(const QString& problem);
    void ApplyConsole(const TConsoleState& console);
    TConsoleState ConsoleState() const;
    bool DeferWhileUnwinding(QAbstractButton* clicked);
    void StartDeferred();

    TMacroHost host;
    // What the file holds that the window does not show, kept to be written back unchanged.
    TStoredState carried;
    std::vector<TMacro> macros;
    QString intervalBackup;
    bool First = true;
    bool closeRequested = false;
    bool editing = false; // the editor is open on the stack
    // Where the last run's script error stood: the macro's item and its line.
    struct {
        int item = 0;
        int line = 0;
    } failedLine;
    // What the pane has yet to show: only the newest lines matter to it, so no more are kept
    // than it holds; `paneBehind` says that older ones were dropped and the pane starts afresh.
    struct TPendingLine {
        std::string Text;
        TLogTime Time;
    };
    std::deque<TPendingLine> pendingLog;
    bool paneBehind = false;
    QTimer logFlush;
    TLineLook lineLook;
    TSendHistory sendHistory;
    std::unique_ptr<TLogFile> logFile;
    QTimer connectionServe;
    // A Run or Rec pressed while a stopped activity still unwinds: started once it has.
    QAbstractButton* deferredStart = nullptr;

    QGroupBox* GroupBox1;
    QGroupBox* GroupBox2;
    std::vector<QLabel*> portLabels;
    TDeviceComboBox* ComboBox1;
    QComboBox* ComboBox2;
    QComboBox* ComboBox3;
    QComboBox* ComboBox4;
    QComboBox* ComboBox5;
    QComboBox* ComboBox6;
    QComboBox* ComboBox7;
    QLabel* Label7;
    QToolButton* EditButton;
    QToolButton* DeleteButton;
    QCheckBox* AutoRunCheck;
    QToolButton* RunButton;
    QToolButton* RecButton;
    QToolButton* StopButton;
    QCheckBox* LoopCheck;
    QLabel* IntervalLabel;
    QLineEdit* IntervalEdit;
    QLabel* Label8;
    QPlainTextEdit* RichEdit1;
    QToolButton* ConnectButton;
    QLineEdit* SendEdit;
    QComboBox* SendModeBox;
    QComboBox* LineEndBox;
    QToolButton* SendButton;
    QLabel* SendProblem;
    QLabel* LogFileLabel;
    QMenu* LogMenu;
    QAction* ClearAction;
    QAction* CopyAction;
    QAction* SaveAsAction;
    QAction* TimeStampsAction;
    QAction* DataAsTextAction;
    QAction* LogToFileAction;
};

} // namespace portwell::gui
