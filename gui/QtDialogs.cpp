#include "portwell/gui/QtDialogs.h"

#include "portwell/gui/Termination.h"

#include <QApplication>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>
#include <map>

namespace portwell::gui {

namespace {

QString ButtonCaption(int32_t id) {
    static const std::map<int32_t, QString> captions = {
        {platform::IDOK, "OK"},
        {platform::IDCANCEL, "Cancel"},
        {platform::IDABORT, "&Abort"},
        {platform::IDRETRY, "&Retry"},
        {platform::IDIGNORE, "&Ignore"},
        {platform::IDYES, "&Yes"},
        {platform::IDNO, "&No"},
        {platform::IDTRYAGAIN, "&Try Again"},
        {platform::IDCONTINUE, "&Continue"},
    };
    return captions.at(id);
}

QMessageBox::ButtonRole ButtonRole(int32_t id) {
    switch (id) {
    case platform::IDOK:
    case platform::IDYES:
        return QMessageBox::AcceptRole;
    case platform::IDCANCEL:
    case platform::IDNO:
    case platform::IDABORT:
        return QMessageBox::RejectRole;
    default:
        return QMessageBox::ActionRole;
    }
}

// The icon bits of a message-box style: 0x10 stop, 0x20 question, 0x30 exclamation, 0x40
// information.
QMessageBox::Icon IconOf(uint32_t flags) {
    switch (flags & 0xF0) {
    case 0x10:
        return QMessageBox::Critical;
    case 0x20:
        return QMessageBox::Question;
    case 0x30:
        return QMessageBox::Warning;
    case 0x40:
        return QMessageBox::Information;
    default:
        return QMessageBox::NoIcon;
    }
}

// Closing the box without a button answers as Cancel would, or as the only button when there is
// no Cancel.
int32_t EscapeAnswer(const std::vector<int32_t>& buttons) {
    for (int32_t id : buttons)
        if (id == platform::IDCANCEL) return id;
    return buttons.size() == 1 ? buttons.front() : platform::IDCANCEL;
}

} // namespace

// A program that is ending answers at once, as if the box were closed without a button.
int32_t TQtDialogs::MessageBox(const std::string& text, const std::string& caption,
                               uint32_t flags) {
    const std::vector<int32_t> buttons = platform::MessageBoxButtons(flags);
    if (TerminationRequested()) return EscapeAnswer(buttons);
    QMessageBox box(IconOf(flags), QString::fromStdString(caption), QString::fromStdString(text),
                    QMessageBox::NoButton, QApplication::activeWindow());
    std::map<QAbstractButton*, int32_t> answers;
    const int32_t preferred = platform::MessageBoxDefaultButton(flags);
    const int32_t escape = EscapeAnswer(buttons);
    for (int32_t id : buttons) {
        QPushButton* button = box.addButton(ButtonCaption(id), ButtonRole(id));
        answers[button] = id;
        if (id == preferred) box.setDefaultButton(button);
        if (id == escape) box.setEscapeButton(button);
    }
    box.exec();
    const auto answer = answers.find(box.clickedButton());
    return answer == answers.end() ? escape : answer->second;
}

std::string TQtDialogs::InputBox(const std::string& caption, const std::string& prompt,
                                 const std::string& preset) {
    if (TerminationRequested()) return preset;
    bool accepted = false;
    const QString text =
        QInputDialog::getText(QApplication::activeWindow(), QString::fromStdString(caption),
                              QString::fromStdString(prompt), QLineEdit::Normal,
                              QString::fromStdString(preset), &accepted);
    return accepted ? text.toStdString() : preset;
}

} // namespace portwell::gui
