#pragma once
// Helpers for driving real windows: find controls by object name, answer modal dialogs.
#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <string>

namespace guitest {

template <typename Widget> Widget* Child(QWidget& window, const char* name) {
    Widget* child = window.findChild<Widget*>(name);
    if (!child) ADD_FAILURE() << "no control named " << name;
    return child;
}

// Acts on the next modal dialog as soon as it shows, from a timer, since the dialog's own event
// loop holds the test's stack meanwhile.
inline void OnNextModal(std::function<void(QWidget*)> act) {
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, poll, [poll, act] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal) return;
        poll->stop();
        poll->deleteLater();
        act(modal);
    });
    poll->start(20);
}

// The next message box's text, once it has been answered by clicking the button with `caption`.
struct MessageAnswer {
    std::string text;
    bool shown = false;
};

inline std::shared_ptr<MessageAnswer> AnswerNextMessageBox(const QString& caption = "OK") {
    auto answer = std::make_shared<MessageAnswer>();
    OnNextModal([answer, caption](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (!box) {
            modal->close();
            return;
        }
        answer->shown = true;
        answer->text = box->text().toStdString();
        for (QAbstractButton* button : box->buttons())
            if (button->text() == caption) {
                button->click();
                return;
            }
        box->close();
    });
    return answer;
}

// Answers the next message box with one of its standard buttons.
inline void AnswerNextQuestion(QMessageBox::StandardButton answer) {
    OnNextModal([answer](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (!box) return;
        if (QAbstractButton* button = box->button(answer)) button->click();
    });
}

inline bool WaitFor(const std::function<bool()>& done, int timeoutMs = 10000) {
    return QTest::qWaitFor(done, timeoutMs);
}

} // namespace guitest
