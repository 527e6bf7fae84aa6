#include "ModalAnswerer.h"

#include <QAbstractButton>
#include <QApplication>

namespace portwell::gui::test {

TModalAnswerer::TModalAnswerer() {
    timer.setInterval(10);
    QObject::connect(&timer, &QTimer::timeout, [this] { AnswerOpenBox(); });
}

void TModalAnswerer::Answer(QMessageBox::StandardButton button) {
    pending.push_back(button);
    timer.start();
}

void TModalAnswerer::AnswerOpenBox() {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box || pending.empty()) return;
    asked << box->text();
    QAbstractButton* button = box->button(pending.front());
    pending.pop_front();
    if (pending.empty()) timer.stop();
    // A button the box lacks still ends it, so that a wrong expectation fails instead of hanging.
    if (button)
        button->click();
    else
        box->done(QMessageBox::NoButton);
}

} // namespace portwell::gui::test
