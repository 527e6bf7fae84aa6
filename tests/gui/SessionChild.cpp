// A desktop program driven by a test in a process of its own, so that the test can signal or kill
// it: it runs as the real program does, on the settings file named by its first argument, and then
// acts out a scenario, the second argument:
//   store  (the default) stores a new macro through the Edit button and the editor, says "stored"
//          and then idles until it is killed or closed;
//   edit   opens the editor on the first macro, types "x" and says "editing", the editor open.
// Every message box it shows is told as "dialog: TEXT", so that a test can wait for it.
#include "portwell/gui/DesktopSession.h"
#include "portwell/gui/Form2.h"
#include "portwell/gui/QtDialogs.h"
#include "portwell/gui/QtMessagePump.h"

#include <QApplication>
#include <QComboBox>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <iostream>
#include <string>

using namespace portwell::gui;

namespace {

// Acts on the editor once it is up.
void OnEditor(const std::function<void(TForm2&)>& act) {
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [poll, act] {
        auto* editor = qobject_cast<TForm2*>(QApplication::activeModalWidget());
        if (!editor) return;
        poll->stop();
        poll->deleteLater();
        act(*editor);
    });
    poll->start(20);
}

void Store(TForm1& form) {
    form.findChild<QComboBox*>("ComboBox7")->setCurrentIndex(0);
    OnEditor([](TForm2& editor) { editor.FileExit->trigger(); });
    form.findChild<QToolButton*>("EditButton")->click();
    std::cout << "stored" << std::endl;
}

void Edit(TForm1& form) {
    form.findChild<QComboBox*>("ComboBox7")->setCurrentIndex(1);
    OnEditor([](TForm2& editor) {
        QTest::keyClicks(editor.RichEdit2, "x");
        std::cout << "editing" << std::endl;
    });
    form.findChild<QToolButton*>("EditButton")->click();
}

void TellMessageBoxes(QTimer& watch) {
    QObject::connect(&watch, &QTimer::timeout, [] {
        static QWidget* told = nullptr;
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || box == told) return;
        told = box;
        std::cout << "dialog: " << box->text().toStdString() << std::endl;
    });
    watch.start(20);
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    InterruptOnTerminationSignals();
    TQtMessagePump pump;
    TQtDialogsInstalled dialogs;
    QTimer watch;
    TellMessageBoxes(watch);
    TStartOptions options;
    options.SettingsFile = argv[1];
    const std::string scenario = argc > 2 ? argv[2] : "store";
    return RunDesktopProgram(options, argv[0], pump, [&scenario](TForm1& form) {
        QTimer::singleShot(0, &form, [&scenario, &form] {
            if (scenario == "edit")
                Edit(form);
            else
                Store(form);
        });
    });
}
