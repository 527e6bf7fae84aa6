#pragma once
// Answers the message boxes a window under test asks, from inside their modal loops.
#include <QMessageBox>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <deque>

namespace portwell::gui::test {

class TModalAnswerer {
public:
    TModalAnswerer();
    // Queues the button that the next message box to come up is answered with.
    void Answer(QMessageBox::StandardButton button);
    // The texts of the boxes answered so far.
    const QStringList& Asked() const { return asked; }
    bool AllAnswered() const { return pending.empty(); }

private:
    QTimer timer;
    std::deque<QMessageBox::StandardButton> pending;
    QStringList asked;

    void AnswerOpenBox();
};

} // namespace portwell::gui::test
