// The console part of the main window: Connect, the send bar under the traffic log, the log's
// right-click menu and the log file. The substance (sending, the connection, the look of a line,
// the file) is in app/; this only wires it to the controls.
#include "platform/Dialogs.h"
#include "portwell/gui/Form1.h"
#include "serial/Comm.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QSaveFile>
#include <QTextCursor>
#include <QToolButton>
#include <QVBoxLayout>

namespace portwell::gui {

namespace {

constexpr uint32_t MB_ICONERROR = 0x10;

void TellError(const std::string& text) {
    platform::Dialogs().MessageBox(text, "Portwell", MB_ICONERROR);
}

template <typename Widget> Widget* Named(Widget* widget, const char* name) {
    widget->setObjectName(name);
    return widget;
}

QAction* Action(QMenu* menu, const char* name, const QString& caption, bool checkable = false) {
    QAction* action = Named(menu->addAction(caption), name);
    action->setCheckable(checkable);
    return action;
}

QString AskWithDialog(QWidget* parent, const QString& caption, bool append) {
    // A log file is appended to, so an existing one is no reason to ask.
    const QFileDialog::Options options =
        append ? QFileDialog::DontConfirmOverwrite : QFileDialog::Options();
    return QFileDialog::getSaveFileName(parent, caption, QString(), QString(), nullptr, options);
}

} // namespace

// Under the log: Connect, the line, its mode and line end, Send; under them, what went wrong with
// the line and where the log goes.
void TForm1::BuildConsole() {
    auto* bar = Named(new QWidget(this), "ConsoleBar");
    ConnectButton = Named(new QToolButton(bar), "ConnectButton");
    ConnectButton->setText("Connect");
    ConnectButton->setCheckable(true);
    ConnectButton->setAutoRaise(true);
    ConnectButton->setMinimumWidth(72);
    SendEdit = Named(new QLineEdit(bar), "SendEdit");
    SendEdit->setPlaceholderText("Text to send: \\r \\n \\t \\xNN \\\\ in Text mode");
    SendEdit->installEventFilter(this);
    // The window's Japanese font draws a backslash as a yen sign; escapes must read as typed.
    SendEdit->setFont(RichEdit1->font());
    SendModeBox = Named(new QComboBox(bar), "SendModeBox");
    SendModeBox->addItems({"Text", "Hex"});
    LineEndBox = Named(new QComboBox(bar), "LineEndBox");
    LineEndBox->addItems({"None", "CR", "LF", "CR LF"});
    LineEndBox->setToolTip("Line end added to what is sent");
    SendButton = Named(new QToolButton(bar), "SendButton");
    SendButton->setText("Send");
    SendButton->setAutoRaise(true);
    SendButton->setMinimumWidth(44);
    SendProblem = Named(new QLabel(bar), "SendProblem");
    SendProblem->setStyleSheet("color: #b00000");
    SendProblem->setFont(RichEdit1->font());
    SendProblem->hide();
    LogFileLabel = Named(new QLabel(bar), "LogFileLabel");
    LogFileLabel->hide();

    auto* sendRow = new QHBoxLayout;
    sendRow->addWidget(ConnectButton);
    sendRow->addWidget(SendEdit, 1);
    sendRow->addWidget(SendModeBox);
    sendRow->addWidget(LineEndBox);
    sendRow->addWidget(SendButton);
    auto* rows = new QVBoxLayout(bar);
    rows->setContentsMargins(4, 2, 4, 2);
    rows->setSpacing(1);
    rows->addLayout(sendRow);
    rows->addWidget(SendProblem);
    rows->addWidget(LogFileLabel);
    BuildLogMenu();
    ApplyConsole({});
}

void TForm1::BuildLogMenu() {
    LogMenu = Named(new QMenu(this), "LogMenu");
    ClearAction = Action(LogMenu, "ClearAction", "Clear");
    CopyAction = Action(LogMenu, "CopyAction", "Copy");
    SaveAsAction = Action(LogMenu, "SaveAsAction", "Save As…");
    LogMenu->addSeparator();
    TimeStampsAction = Action(LogMenu, "TimeStampsAction", "Time stamps", true);
    DataAsTextAction = Action(LogMenu, "DataAsTextAction", "Show data as text", true);
    LogMenu->addSeparator();
    LogToFileAction = Action(LogMenu, "LogToFileAction", "Log to file…");
    RichEdit1->setContextMenuPolicy(Qt::CustomContextMenu);
}

void TForm1::ConnectConsole() {
    AskFileName = [this](const QString& caption, bool append) {
        return AskWithDialog(this, caption, append);
    };
    host.OnStopped = [this] {
        if (!deferredStart) Press(StopButton);
    };
    host.OnConnectionChanged = [this](bool connected) { ConnectionChanged(connected); };
    // Told from inside the port's hand-over: the message waits until that has returned.
    host.OnConnectionLost = [this](const std::string& message) {
        QTimer::singleShot(0, this, [message] { TellError(message); });
    };
    connectionServe.setSingleShot(true);
    connect(&connectionServe, &QTimer::timeout, this, [this] { host.ServeConnection(); });
    host.OnServeConnectionIn = [this](int ms) { connectionServe.start(ms); };

    connect(ConnectButton, &QToolButton::clicked, this, &TForm1::ConnectButtonClick);
    connect(SendButton, &QToolButton::clicked, this, &TForm1::SendButtonClick);
    connect(SendEdit, &QLineEdit::returnPressed, this, &TForm1::SendButtonClick);
    connect(SendEdit, &QLineEdit::textEdited, this, [this] { ShowSendProblem({}); });
    connect(RichEdit1, &QWidget::customContextMenuRequested, this, &TForm1::ShowLogMenu);
    connect(ClearAction, &QAction::triggered, this, [this] {
        host.Log.Clear();
        ShowLog();
    });
    connect(CopyAction, &QAction::triggered, this, [this] {
        QString text = RichEdit1->textCursor().selectedText();
        text = text.isEmpty() ? RichEdit1->toPlainText()
                              : text.replace(QChar::ParagraphSeparator, '\n');
        QApplication::clipboard()->setText(text);
    });
    connect(SaveAsAction, &QAction::triggered, this, [this] {
        const QString path = AskFileName("Save the log as", false);
        if (!path.isEmpty()) SaveLogAs(path);
    });
    connect(TimeStampsAction, &QAction::toggled, this, [this](bool on) {
        SetLineLook({on, lineLook.DataAsText});
    });
    connect(DataAsTextAction, &QAction::toggled, this, [this](bool on) {
        SetLineLook({lineLook.TimeStamps, on});
    });
    connect(LogToFileAction, &QAction::triggered, this, [this] {
        if (logFile) return StopLoggingToFile();
        const QString path = AskFileName("Log to file", true);
        if (!path.isEmpty()) LogToFile(path);
    });
}

void TForm1::ShowLogMenu(const QPoint& at) {
    CopyAction->setEnabled(!RichEdit1->document()->isEmpty());
    LogMenu->popup(RichEdit1->viewport()->mapToGlobal(at));
}

// The button follows the host, whoever changed the connection.
void TForm1::ConnectionChanged(bool connected) {
    ConnectButton->setChecked(connected);
    ConnectButton->setText(connected ? "Disconnect" : "Connect");
}

// The click has toggled the button already; the host's answer sets it right.
void TForm1::ConnectButtonClick() {
    if (!ConnectButton->isChecked()) return host.Disconnect();
    try {
        host.Connect(PortSettings());
    } catch (const serial::ECommError& failure) {
        ConnectionChanged(host.Connected());
        ShowOpenFailure(failure);
        return;
    } catch (const std::exception& failure) {
        ConnectionChanged(host.Connected());
        TellError(failure.what());
        return;
    }
    ConnectionChanged(host.Connected());
}

void TForm1::SendButtonClick() {
    const QString typed = SendEdit->text();
    const TSendBytes bytes =
        BytesToSend(typed.toStdString(), TSendMode(SendModeBox->currentIndex()),
                    TLineEnd(LineEndBox->currentIndex()));
    if (!bytes.Error.empty()) return ShowSendProblem(QString::fromStdString(bytes.Error));
    try {
        host.Send(bytes.Bytes);
    } catch (const std::exception& failure) {
        return ShowSendProblem(failure.what());
    }
    sendHistory.Add(typed.toStdString());
    SendEdit->clear();
    ShowSendProblem({});
}

void TForm1::ShowSendProblem(const QString& problem) {
    SendProblem->setText(problem);
    SendProblem->setVisible(!problem.isEmpty());
}

// Up and Down walk through what was sent; the line being typed comes back at the end.
bool TForm1::BrowseHistory(int key) {
    const std::optional<std::string> entry =
        key == Qt::Key_Up ? sendHistory.Older(SendEdit->text().toStdString()) : sendHistory.Newer();
    if (entry) SendEdit->setText(QString::fromStdString(*entry));
    return true;
}

void TForm1::SetLineLook(const TLineLook& look) {
    TimeStampsAction->setChecked(look.TimeStamps);
    DataAsTextAction->setChecked(look.DataAsText);
    if (look == lineLook) return;
    lineLook = look;
    ShowLog();
}

bool TForm1::LogToFile(const QString& path) {
    try {
        logFile = std::make_unique<TLogFile>(path.toStdString());
    } catch (const ELogFile& failure) {
        TellError(failure.what());
        return false;
    }
    LogFileLabel->setText("Logging to " + path);
    LogFileLabel->setToolTip(path);
    LogFileLabel->show();
    LogToFileAction->setText("Stop logging to file");
    return true;
}

void TForm1::StopLoggingToFile() {
    logFile.reset();
    LogFileLabel->hide();
    LogToFileAction->setText("Log to file…");
}

// A file that stops taking lines (a full disk) ends the logging, and the user hears of it once.
void TForm1::KeepInLogFile(const std::string& line, TLogTime time) {
    if (!logFile) return;
    try {
        logFile->Write(line, time);
    } catch (const ELogFile& failure) {
        StopLoggingToFile();
        const std::string message = std::string(failure.what()) + "\nLogging to the file stopped.";
        QTimer::singleShot(0, this, [message] { TellError(message); });
    }
}

bool TForm1::SaveLogAs(const QString& path) {
    FlushLog();
    QSaveFile file(path);
    QByteArray text = RichEdit1->toPlainText().toUtf8();
    if (!text.isEmpty()) text += '\n';
    if (file.open(QIODevice::WriteOnly) && file.write(text) == text.size() && file.commit())
        return true;
    TellError("cannot write '" + path.toStdString() + "': " + file.errorString().toStdString());
    return false;
}

void TForm1::ApplyConsole(const TConsoleState& console) {
    sendHistory = TSendHistory(console.SendHistory);
    SendModeBox->setCurrentIndex(int(console.SendMode));
    LineEndBox->setCurrentIndex(int(console.LineEnd));
    SetLineLook(console.Look);
}

TConsoleState TForm1::ConsoleState() const {
    return {sendHistory.Entries(), TSendMode(SendModeBox->currentIndex()),
            TLineEnd(LineEndBox->currentIndex()), lineLook};
}

// Stop has been pressed but the activity has not yet left the stack: the press is kept, and
// acted on once it has (StartDeferred).
bool TForm1::DeferWhileUnwinding(QAbstractButton* clicked) {
    if (!host.Unwinding()) return false;
    deferredStart = clicked;
    Press(clicked);
    return true;
}

void TForm1::StartDeferred() {
    QAbstractButton* start = std::exchange(deferredStart, nullptr);
    if (!start) return;
    QTimer::singleShot(0, this, [this, start] {
        if (start == RunButton)
            RunButtonClick();
        else
            RecButtonClick();
    });
}

} // namespace portwell::gui
