#include "portwell/gui/Form1.h"

#include "platform/Dialogs.h"
#include "platform/Messages.h"
#include "portwell/RefusedSetting.h"
#include "portwell/gui/DeviceComboBox.h"
#include "portwell/gui/Form2.h"
#include "portwell/gui/IntervalText.h"
#include "portwell/gui/Termination.h"
#include "portwell/gui/WindowPlacement.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCursor>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QTextBlock>
#include <QTextCursor>
#include <QToolButton>
#include <QToolTip>
#include <QVBoxLayout>
#include <algorithm>

namespace portwell::gui {

namespace {

// At most about 30 repaints of the log a second, however fast a macro prints.
constexpr int LogFlushMs = 33;

constexpr uint32_t MB_ICONERROR = 0x10;

const QString WindowCaption = "Portwell";
const QString BusyNotice = "Another run or recording is in progress: press Stop first.";
const std::string PressStopLine = "Press Stop to change the port settings.";

// The original's smallest size; the window grows beyond it only when its font needs more.
constexpr int MinimumWidth = 512, MinimumHeight = 300;
constexpr int OriginalFontPixels = 12;
// The device field is at least as wide as this device's name; it grows with the window.
const QString NarrowestDevice = "COM8";

// The original's 12-pixel font, or the desktop's size when that is larger.
QFont WindowFont() {
    QFont font;
    font.setFamilies({"ＭＳ Ｐゴシック", "IPAPGothic"});
    font.setPixelSize(std::max(OriginalFontPixels, QFontInfo(QApplication::font()).pixelSize()));
    return font;
}

QFont FixedPitchFont() {
    QFont font;
    font.setFamilies({"DejaVu Sans Mono", "Monospace", "IPAGothic"});
    font.setStyleHint(QFont::Monospace);
    font.setFixedPitch(true);
    font.setPixelSize(12);
    return font;
}

// The width a list needs to show `text` whole, by its style.
int WidthShowing(const QComboBox& list, const QString& text) {
    QStyleOptionComboBox option;
    option.initFrom(&list);
    option.editable = list.isEditable();
    const QSize contents(list.fontMetrics().horizontalAdvance(text), list.fontMetrics().height());
    return list.style()->sizeFromContents(QStyle::CT_ComboBox, &option, contents, &list).width();
}

template <typename Widget> Widget* Named(Widget* widget, const char* name) {
    widget->setObjectName(name);
    return widget;
}

QComboBox* DropDownList(QWidget* parent, const char* name, const QStringList& items, int selected) {
    QComboBox* list = Named(new QComboBox(parent), name);
    list->addItems(items);
    list->setCurrentIndex(selected);
    return list;
}

QToolButton* FlatButton(QWidget* parent, const char* name, const QString& caption, bool toggle) {
    QToolButton* button = Named(new QToolButton(parent), name);
    button->setText(caption);
    button->setAutoRaise(true);
    button->setCheckable(toggle);
    button->setMinimumWidth(44);
    return button;
}

} // namespace

TForm1::TForm1(QWidget* parent) : QWidget(parent) {
    setObjectName("Form1");
    setWindowTitle(WindowCaption);
    setFont(WindowFont());
    move(260, 138);
    resize(MinimumWidth, MinimumHeight);
    BuildPortGroup();
    BuildMacroGroup();
    BuildLog();
    BuildConsole();
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(GroupBox1);
    layout->addWidget(GroupBox2);
    layout->addWidget(RichEdit1, 1);
    layout->addWidget(findChild<QWidget*>("ConsoleBar"));
    FitMinimumSize();
    ConnectHost();
    ConnectButtons();
    ConnectConsole();
}

TForm1::~TForm1() {
    host.Log.OnStampedLine = nullptr;
    host.OnSettingsLocked = nullptr;
    host.OnStopped = nullptr;
    host.OnConnectionChanged = nullptr;
    host.OnConnectionLost = nullptr;
    host.OnServeConnectionIn = nullptr;
}

// The original order, left to right, each label above its list, in a grid measured from the
// font: every list is as wide as its longest item, labels keep a gap of two characters, and the
// device field takes what room the window gives.
void TForm1::BuildPortGroup() {
    GroupBox1 = Named(new QGroupBox("COM Port Setting", this), "GroupBox1");
    GroupBox1->setMinimumHeight(65);
    GroupBox1->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    const char* captions[] = {"DeviceName", "BaudRate", "DataBits",
                              "StopBits",   "Parity",   "FlowControl"};
    for (int i = 0; i < 6; ++i) {
        const std::string name = "Label" + std::to_string(i + 1);
        portLabels.push_back(Named(new QLabel(captions[i], GroupBox1), name.c_str()));
    }
    ComboBox1 = Named(new TDeviceComboBox(GroupBox1), "ComboBox1");
    ComboBox2 = DropDownList(GroupBox1, "ComboBox2",
                             {"110", "300", "600", "1200", "2400", "4800", "9600", "14400", "19200",
                              "38400", "56000", "57600", "115200", "128000", "256000"},
                             serial::cbr9600);
    ComboBox3 =
        DropDownList(GroupBox1, "ComboBox3", {"4bit", "5bit", "6bit", "7bit", "8bit"}, serial::da8);
    ComboBox4 = DropDownList(GroupBox1, "ComboBox4", {"1.0bit", "1.5bit", "2.0bit"}, serial::sb10);
    ComboBox5 = DropDownList(GroupBox1, "ComboBox5", {"None", "Odd", "Even", "Mark", "Space"},
                             serial::paNone);
    ComboBox6 = DropDownList(GroupBox1, "ComboBox6",
                             {"None", "CTS/RTS", "DTR/ETR", "Software", "Default"}, serial::fcNone);
    LayOutPortGroup();
}

void TForm1::LayOutPortGroup() {
    const QFontMetrics metrics(GroupBox1->font());
    // The device field's items may be long paths: it takes its width from the window instead.
    ComboBox1->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    ComboBox1->setMinimumWidth(std::max(WidthShowing(*ComboBox1, NarrowestDevice),
                                        portLabels.front()->sizeHint().width()));
    auto* grid = new QGridLayout(GroupBox1);
    grid->setContentsMargins(8, 0, 8, metrics.descent() + 2);
    grid->setHorizontalSpacing(2 * metrics.averageCharWidth());
    grid->setVerticalSpacing(1);
    const std::vector<QComboBox*> lists = PortLists();
    for (int i = 0; i < PortListCount; ++i) {
        grid->addWidget(portLabels[size_t(i)], 0, i);
        grid->addWidget(lists[size_t(i)], 1, i);
        if (i > 0) lists[size_t(i)]->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    }
    grid->setColumnStretch(0, 1);
}

// The original's smallest size, or what the font needs.
void TForm1::FitMinimumSize() {
    setMinimumSize(QSize(MinimumWidth, MinimumHeight).expandedTo(layout()->minimumSize()));
    resize(size().expandedTo(minimumSize()));
}

void TForm1::BuildMacroGroup() {
    GroupBox2 = Named(new QGroupBox("Macro", this), "GroupBox2");
    GroupBox2->setMinimumHeight(67);
    GroupBox2->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    Label7 = Named(new QLabel("Name", GroupBox2), "Label7");
    ComboBox7 = DropDownList(GroupBox2, "ComboBox7", {portwell::NewFileItem}, 0);
    ComboBox7->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    EditButton = FlatButton(GroupBox2, "EditButton", "Edit", false);
    DeleteButton = FlatButton(GroupBox2, "DeleteButton", "Delete", false);
    AutoRunCheck = Named(new QCheckBox("AutoRun", GroupBox2), "AutoRunCheck");
    RunButton = FlatButton(GroupBox2, "RunButton", "Run", true);
    RecButton = FlatButton(GroupBox2, "RecButton", "Rec", true);
    StopButton = FlatButton(GroupBox2, "StopButton", "Stop", true);
    StopButton->setChecked(true);
    LoopCheck = Named(new QCheckBox("Loop", GroupBox2), "LoopCheck");
    IntervalLabel = Named(new QLabel("Interval", GroupBox2), "IntervalLabel");
    IntervalEdit = Named(new QLineEdit("1000", GroupBox2), "IntervalEdit");
    // Room for seven digits, as the original's 56 pixels give at 12 pixels.
    IntervalEdit->setFixedWidth(
        std::max(56, IntervalEdit->fontMetrics().horizontalAdvance("0000000") + 8));
    IntervalEdit->installEventFilter(this);
    intervalBackup = IntervalEdit->text();
    Label8 = Named(new QLabel("(ms)", GroupBox2), "Label8");

    auto* nameRow = new QHBoxLayout;
    nameRow->addWidget(Label7);
    nameRow->addWidget(ComboBox7, 1);
    nameRow->addWidget(EditButton);
    nameRow->addWidget(DeleteButton);
    auto* controlRow = new QHBoxLayout;
    for (QWidget* widget :
         std::initializer_list<QWidget*>{AutoRunCheck, RunButton, RecButton, StopButton, LoopCheck,
                                         IntervalLabel, IntervalEdit, Label8})
        controlRow->addWidget(widget);
    controlRow->addStretch(1);
    auto* rows = new QVBoxLayout(GroupBox2);
    rows->setContentsMargins(8, 2, 8, 2);
    rows->setSpacing(2);
    rows->addLayout(nameRow);
    rows->addLayout(controlRow);
}

void TForm1::BuildLog() {
    RichEdit1 = Named(new QPlainTextEdit(this), "RichEdit1");
    RichEdit1->setReadOnly(true);
    RichEdit1->setFont(FixedPitchFont());
    RichEdit1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    RichEdit1->setMaximumBlockCount(int(TTrafficLog::MaxLines));
    RichEdit1->setLineWrapMode(QPlainTextEdit::NoWrap);
    logFlush.setSingleShot(true);
    logFlush.setInterval(LogFlushMs);
    connect(&logFlush, &QTimer::timeout, this, &TForm1::FlushLog);
}

void TForm1::ConnectHost() {
    host.Log.OnStampedLine = [this](const std::string& line, TLogTime time) {
        QueueLogLine(line, time);
        KeepInLogFile(line, time);
    };
    host.LoopChecked = [this] { return LoopCheck->isChecked(); };
    host.IntervalMs = [this] { return IntervalMilliseconds(IntervalEdit->text().toStdString()); };
    host.OnSettingsLocked = [this](bool locked) { LockSettings(locked); };
}

void TForm1::ConnectButtons() {
    connect(RunButton, &QToolButton::clicked, this, [this] {
        if (!DeferWhileUnwinding(RunButton) && !RefuseWhileBusy(RunButton)) RunButtonClick();
    });
    connect(RecButton, &QToolButton::clicked, this, [this] {
        if (!DeferWhileUnwinding(RecButton) && !RefuseWhileBusy(RecButton)) RecButtonClick();
    });
    connect(StopButton, &QToolButton::clicked, this, &TForm1::StopButtonClick);
    connect(EditButton, &QToolButton::clicked, this, [this] {
        if (!RefuseWhileBusy(EditButton)) EditButtonClick();
    });
    connect(DeleteButton, &QToolButton::clicked, this, [this] {
        if (!RefuseWhileBusy(DeleteButton)) DeleteButtonClick();
    });
    connect(IntervalEdit, &QLineEdit::textChanged, this, &TForm1::IntervalEditChange);
    // A refusal is told where the user just clicked, without a dialog to dismiss.
    connect(this, &TForm1::Notice, this,
            [this](const QString& text) { QToolTip::showText(QCursor::pos(), text, this); });
}

QString TForm1::MacroTitle(int item) const {
    return ComboBox7->itemText(item);
}

int TForm1::SelectedItem() const {
    return ComboBox7->currentIndex();
}

void TForm1::AddMacro(const QString& title, const ksl::TStrings& lines) {
    AddMacro(TMacro{title.toStdString(), lines});
}

void TForm1::AddMacro(const TMacro& macro) {
    macros.push_back(macro);
    ComboBox7->addItem(QString::fromStdString(macro.Title));
}

// Pressing one button of the group releases the other two.
void TForm1::Press(QAbstractButton* pressed) {
    for (QAbstractButton* button : {RunButton, RecButton, StopButton})
        button->setChecked(button == pressed);
}

// A click has already toggled the button; while an activity runs it is put back as it was, and
// the user is told why.
bool TForm1::RefuseWhileBusy(QAbstractButton* clicked) {
    if (!host.Busy()) return false;
    if (clicked->isCheckable()) clicked->setChecked(!clicked->isChecked());
    emit Notice(BusyNotice);
    return true;
}

void TForm1::RunButtonClick() {
    if (host.Busy()) return emit Notice(BusyNotice);
    Press(RunButton);
    const int item = SelectedItem();
    failedLine = {};
    try {
        host.Run(PortSettings(), item > 0 ? &MacroLines(item) : nullptr);
    } catch (const EMacroFailed& failure) {
        ShowScriptFailure(item, failure.what());
    } catch (const ksl::EKestrelError& failure) {
        ShowScriptFailure(item, failure.what());
    } catch (const serial::ECommError& failure) {
        ShowOpenFailure(failure);
    } catch (const std::exception& failure) {
        ShowFailure(failure.what());
    }
    ActivityEnded();
}

// The recording goes into a list of its own and joins the macro list once it has ended, so that
// nothing the user does meanwhile can take its target away.
void TForm1::RecButtonClick() {
    if (host.Busy()) return emit Notice(BusyNotice);
    Press(RecButton);
    const int item = SelectedItem();
    ksl::TStrings recorded;
    try {
        if (host.Record(PortSettings(), recorded) == TActivityEnd::DeviceLost)
            host.Log.Add("Rec: the device went away; the recording ends there");
    } catch (const serial::ECommError& failure) {
        ShowOpenFailure(failure);
        return ActivityEnded();
    } catch (const std::exception& failure) {
        ShowFailure(failure.what());
        return ActivityEnded();
    }
    StoreRecording(item, recorded);
    // A recording ended by closing the window is stored without asking the user anything more.
    if (!closeRequested) EditButtonClick();
    ActivityEnded();
}

void TForm1::StoreRecording(int item, const ksl::TStrings& recorded) {
    if (item > 0) {
        ksl::TStrings& lines = macros.at(size_t(item - 1)).Lines;
        lines.insert(lines.end(), recorded.begin(), recorded.end());
    } else {
        AddMacro(NewMacroTitle, recorded);
        ComboBox7->setCurrentIndex(MacroCount());
    }
    MacrosChanged();
}

void TForm1::StopButtonClick() {
    deferredStart = nullptr;
    host.Stop();
}

// A close asked for during an activity waits until the activity's loop has left the stack.
void TForm1::ActivityEnded() {
    FlushLog();
    if (closeRequested) return QTimer::singleShot(0, this, &QWidget::close);
    StartDeferred();
}

void TForm1::ShowFailure(const std::string& message) {
    FlushLog();
    platform::Dialogs().MessageBox(message, WindowCaption.toStdString(), MB_ICONERROR);
}

// The port's message stays as it is, for those who know it; what to change follows, and, when the
// port settings stay locked, how to unlock them.
void TForm1::ShowOpenFailure(const serial::ECommError& failure) {
    std::string message = failure.what();
    const std::string refused = RefusedSetting(PortSettings(), failure, serial::TNameKind::Caption);
    if (!refused.empty()) message += "\nThe device refused " + refused + ".";
    if (SettingsLockedUntilStop()) message += "\n" + PressStopLine;
    ShowFailure(message);
}

bool TForm1::SettingsLockedUntilStop() const {
    return !ComboBox1->isEnabled();
}

// The message stays as the engine gave it; the line it failed on follows, and Edit opens there.
void TForm1::ShowScriptFailure(int item, const std::string& message) {
    const int line = host.Kestrel1.ErrorLine();
    if (line <= 0) return ShowFailure(message);
    if (item > 0) failedLine = {item, line};
    ShowFailure(message + "\n\nLine " + std::to_string(line) + ": " +
                host.Kestrel1.ErrorStatement());
}

namespace {

QStringList QtLines(const ksl::TStrings& lines) {
    QStringList converted;
    for (const std::string& line : lines)
        converted << QString::fromStdString(line);
    return converted;
}

ksl::TStrings MacroLinesOf(const TForm2& editor) {
    ksl::TStrings lines;
    for (const QString& line : editor.Lines())
        lines.push_back(line.toStdString());
    return lines;
}

} // namespace

// A close asked for while the editor is open waits until it has closed (ActivityEnded).
void TForm1::EditButtonClick() {
    if (TerminationRequested()) return;
    TForm2 editor(QtLines(host.Kestrel1.DeclarePrototype()), this);
    platform::ProcessMessages();
    const int item = SelectedItem();
    editing = true;
    if (item <= 0)
        EditNewMacro(editor);
    else
        EditMacro(editor, item);
    editing = false;
    ActivityEnded();
}

// A new macro is added at the end of the list, and selected.
void TForm1::EditNewMacro(TForm2& editor) {
    editor.SetTitle(NewMacroTitle);
    const int result = editor.ShowModal();
    if (result == TForm2::mrAbandoned) return KeepUnsavedEdit(editor, {NewMacroTitle, {}});
    if (result != TForm2::mrStore) return;
    AddMacro(editor.Title(), MacroLinesOf(editor));
    ComboBox7->setCurrentIndex(MacroCount());
    MacrosChanged();
}

namespace {

// What the editor shows, in the stored bytes where it shows them unchanged: a title or a line
// that is not UTF-8 would otherwise come back with U+FFFD in its place.
TMacro EditedMacro(const TForm2& editor, const TMacro& stored) {
    TMacro edited = stored;
    if (editor.Title() != QString::fromStdString(stored.Title))
        edited.Title = editor.Title().toStdString();
    if (editor.Lines() != QtLines(stored.Lines)) edited.Lines = MacroLinesOf(editor);
    return edited;
}

// "TITLE (unsaved)", then "TITLE (unsaved) (2)", ... until no macro has it; "=" cannot be stored.
std::string UnsavedTitle(std::string title, const std::vector<TMacro>& macros) {
    std::replace(title.begin(), title.end(), '=', '_');
    const std::string base = title + " (unsaved)";
    std::string candidate = base;
    const auto taken = [&](const std::string& t) {
        return std::any_of(macros.begin(), macros.end(),
                           [&](const TMacro& macro) { return macro.Title == t; });
    };
    for (int n = 2; taken(candidate); ++n)
        candidate = base + " (" + std::to_string(n) + ")";
    return candidate;
}

} // namespace

void TForm1::EditMacro(TForm2& editor, int item) {
    const TMacro stored = macros.at(size_t(item - 1));
    editor.SetTitle(MacroTitle(item));
    editor.SetLines(QtLines(stored.Lines));
    if (failedLine.item == item) editor.GoToLine(failedLine.line);
    const int result = editor.ShowModal();
    if (result == TForm2::mrAbandoned) return KeepUnsavedEdit(editor, stored);
    if (result != TForm2::mrStore) return;
    macros.at(size_t(item - 1)) = EditedMacro(editor, stored);
    ComboBox7->setItemText(item, editor.Title());
    ComboBox7->setCurrentIndex(item);
    MacrosChanged();
}

// The editor was abandoned because the program must end: nobody said whether to store the edit,
// so the stored macro stays as it was and the edit, if any, becomes a macro of its own.
void TForm1::KeepUnsavedEdit(const TForm2& editor, const TMacro& stored) {
    const TMacro edited = EditedMacro(editor, stored);
    if (!editor.TextChanged() && edited.Title == stored.Title) return;
    AddMacro(TMacro{UnsavedTitle(edited.Title, macros), edited.Lines});
    MacrosChanged();
}

// Delete asks nothing, so the macro is kept aside first; when that fails, it is not deleted.
void TForm1::DeleteButtonClick() {
    int item = SelectedItem();
    if (item <= 0) return;
    std::filesystem::path copy;
    if (!KeepDeletedCopy(item, copy)) return;
    const QString title = MacroTitle(item);
    macros.erase(macros.begin() + (item - 1));
    ComboBox7->removeItem(item);
    if (item > MacroCount()) item = MacroCount();
    ComboBox7->setCurrentIndex(item);
    MacrosChanged();
    if (!copy.empty())
        emit Notice("\"" + title + "\" was deleted.\nA copy is kept as " +
                    QString::fromStdString(copy.string()) +
                    "; portwell-cli import brings it back.");
}

bool TForm1::KeepDeletedCopy(int item, std::filesystem::path& copy) {
    if (!OnDeleting) return true;
    try {
        copy = OnDeleting(macros.at(size_t(item - 1)));
        return true;
    } catch (const std::exception& failure) {
        ShowFailure(std::string(failure.what()) + "\nThe macro was not deleted.");
        return false;
    }
}

void TForm1::MacrosChanged() {
    // The list's numbers may have moved, and the failed text may be gone.
    failedLine = {};
    if (OnMacrosChanged) OnMacrosChanged();
}

void TForm1::IntervalEditChange() {
    const QString validated = QString::fromStdString(
        ValidatedInterval(IntervalEdit->text().toStdString(), intervalBackup.toStdString()));
    if (validated != IntervalEdit->text()) IntervalEdit->setText(validated);
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    if (watched == IntervalEdit && event->type() == QEvent::FocusIn)
        intervalBackup = IntervalEdit->text();
    if (watched == SendEdit && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Up || key == Qt::Key_Down) return BrowseHistory(key);
    }
    return QWidget::eventFilter(watched, event);
}

// Stop releases Run and Rec and presses Stop, as it unlocks the lists.
void TForm1::LockSettings(bool locked) {
    for (QComboBox* list : {static_cast<QComboBox*>(ComboBox1), ComboBox2, ComboBox3, ComboBox4,
                            ComboBox5, ComboBox6, ComboBox7})
        list->setEnabled(!locked);
    if (!locked) Press(StopButton);
}

std::vector<QComboBox*> TForm1::PortLists() const {
    return {ComboBox1, ComboBox2, ComboBox3, ComboBox4, ComboBox5, ComboBox6};
}

namespace {

TStoredList StoredList(const QComboBox* list) {
    TStoredList stored;
    for (int i = 0; i < list->count(); ++i)
        stored.Items.push_back(list->itemText(i).toStdString());
    stored.ItemIndex = list->currentIndex();
    return stored;
}

// The lists keep their own items, whose order gives the settings' ordinals; only the selection
// comes from the file.
void SelectStored(QComboBox* list, const TStoredList& stored) {
    if (stored.ItemIndex >= 0 && stored.ItemIndex < list->count())
        list->setCurrentIndex(stored.ItemIndex);
}

} // namespace

// A device typed into the list is kept as an item, so that the file can select it.
TStoredState TForm1::State() const {
    TStoredState state = carried;
    state.Left = x();
    state.Top = y();
    state.Width = width();
    state.Height = height();
    const std::vector<QComboBox*> lists = PortLists();
    for (int i = 0; i < PortListCount; ++i)
        state.PortLists[size_t(i)] = StoredList(lists[size_t(i)]);
    TStoredList& devices = state.PortLists[plDeviceName];
    devices.Items.clear();
    for (const QString& item : ComboBox1->KeptItems())
        devices.Items.push_back(item.toStdString());
    const std::string device = ComboBox1->currentText().toStdString();
    const auto found = std::find(devices.Items.begin(), devices.Items.end(), device);
    devices.ItemIndex = int(found - devices.Items.begin());
    if (found == devices.Items.end()) devices.Items.push_back(device);
    state.Macros = macros;
    state.MacroIndex = SelectedItem();
    state.AutoRun = AutoRunCheck->isChecked();
    state.Loop = LoopCheck->isChecked();
    state.IntervalText = IntervalEdit->text().toStdString();
    state.RunDown = RunButton->isChecked();
    state.RecDown = RecButton->isChecked();
    state.StopDown = StopButton->isChecked();
    state.LogLines.assign(host.Log.Lines().begin(), host.Log.Lines().end());
    state.Console = ConsoleState();
    return state;
}

void TForm1::Apply(const TStoredState& state) {
    carried = state;
    move(state.Left, state.Top);
    resize(std::max(state.Width, minimumWidth()), std::max(state.Height, minimumHeight()));
    MoveOntoAScreen();
    const std::vector<QComboBox*> lists = PortLists();
    for (int i = 1; i < PortListCount; ++i)
        SelectStored(lists[size_t(i)], state.PortLists[size_t(i)]);
    const TStoredList& devices = state.PortLists[plDeviceName];
    QStringList deviceItems;
    for (const std::string& item : devices.Items)
        deviceItems << QString::fromStdString(item);
    ComboBox1->SetKeptItems(deviceItems);
    if (devices.ItemIndex >= 0 && devices.ItemIndex < deviceItems.size())
        ComboBox1->SelectDevice(deviceItems[devices.ItemIndex]);
    while (ComboBox7->count() > 1)
        ComboBox7->removeItem(1);
    macros.clear();
    for (const TMacro& macro : state.Macros)
        AddMacro(macro);
    ComboBox7->setCurrentIndex(std::clamp(state.MacroIndex, 0, MacroCount()));
    AutoRunCheck->setChecked(state.AutoRun);
    LoopCheck->setChecked(state.Loop);
    IntervalEdit->setText(QString::fromStdString(state.IntervalText));
    intervalBackup = IntervalEdit->text();
    RunButton->setChecked(state.RunDown);
    RecButton->setChecked(state.RecDown);
    StopButton->setChecked(state.StopDown);
    ApplyConsole(state.Console);
    host.Log.Clear();
    pendingLog.clear();
    RichEdit1->clear();
}

// The file keeps the stored position until the next save.
void TForm1::MoveOntoAScreen() {
    QList<QRect> screens;
    for (const QScreen* screen : QGuiApplication::screens())
        screens << screen->availableGeometry();
    move(ReachablePosition(QRect(pos(), size()), screens));
}

TPortSettings TForm1::PortSettings() const {
    TPortSettings settings;
    settings.DeviceName = ComboBox1->currentText().toStdString();
    settings.BaudRate = serial::TBaudRate(std::max(ComboBox2->currentIndex(), 0));
    settings.Databits = serial::TDatabits(std::max(ComboBox3->currentIndex(), 0));
    settings.Stopbits = serial::TStopbits(std::max(ComboBox4->currentIndex(), 0));
    settings.Parity = serial::TParity(std::max(ComboBox5->currentIndex(), 0));
    settings.FlowControl = serial::TFlowControl(std::max(ComboBox6->currentIndex(), 0));
    return settings;
}

// A macro may print far faster than the pane can show; lines the pane would drop at once are
// not kept for it (the log file and the host's log still get every one).
void TForm1::QueueLogLine(const std::string& line, TLogTime time) {
    pendingLog.push_back({line, time});
    if (pendingLog.size() > TTrafficLog::MaxLines) {
        pendingLog.pop_front();
        paneBehind = true;
    }
    if (!logFlush.isActive()) logFlush.start();
}

// Follows the newest line unless the user has scrolled up to read.
void TForm1::FlushLog() {
    logFlush.stop();
    if (pendingLog.empty()) return;
    QScrollBar* scroll = RichEdit1->verticalScrollBar();
    const bool follow = paneBehind || scroll->value() == scroll->maximum();
    MakeRoomInPane(pendingLog.size());
    QStringList lines;
    for (const TPendingLine& line : pendingLog)
        lines << QString::fromStdString(ShownLine(line.Text, line.Time, lineLook));
    pendingLog.clear();
    paneBehind = false;
    RichEdit1->appendPlainText(lines.join('\n'));
    if (follow) scroll->setValue(scroll->maximum());
}

// The lines the new ones push out of the pane go first, in one piece: the document's own limit
// drops them one by one and lays each out on the way, which under a flood took most of the
// window's time.
void TForm1::MakeRoomInPane(size_t incoming) {
    QTextDocument* document = RichEdit1->document();
    const int keep = int(TTrafficLog::MaxLines) - int(incoming);
    if (paneBehind || keep <= 0) return RichEdit1->clear();
    const int excess = document->isEmpty() ? 0 : document->blockCount() - keep;
    if (excess <= 0) return;
    QTextCursor cursor(document);
    cursor.beginEditBlock();
    cursor.setPosition(document->findBlockByNumber(excess).position(), QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
    cursor.endEditBlock();
}

// The pane shown afresh from the host's log, in the current look.
void TForm1::ShowLog() {
    pendingLog.clear();
    paneBehind = false;
    RichEdit1->clear();
    const auto& lines = host.Log.Lines();
    const auto& times = host.Log.Times();
    for (size_t i = 0; i < lines.size(); ++i)
        pendingLog.push_back({lines[i], times[i]});
    FlushLog();
}

void TForm1::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!First) return;
    First = false;
    if (AutoRunCheck->isChecked() && !RunButton->isChecked())
        QTimer::singleShot(0, this, &TForm1::RunButtonClick);
}

// Closing presses Stop. An activity or the editor still on the stack unwinds first; the window
// closes when it has (ActivityEnded).
void TForm1::closeEvent(QCloseEvent* event) {
    StopButtonClick();
    if (host.Busy() || editing) {
        closeRequested = true;
        event->ignore();
        return;
    }
    FlushLog();
    if (OnClosing) OnClosing();
    event->accept();
}

} // namespace portwell::gui
