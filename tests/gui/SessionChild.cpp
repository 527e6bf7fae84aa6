// A desktop session driven by a test in a process of its own, so that the test can kill it: it
// opens the settings file named by its argument, stores a new macro through the Edit button and
// the editor, says "stored" and then idles until it is killed or closed.
#include "portwell/gui/DesktopSession.h"
#include "portwell/gui/Form2.h"
#include "portwell/gui/QtDialogs.h"
#include "portwell/gui/QtMessagePump.h"

#include <QApplication>
#include <QComboBox>
#include <QTimer>
#include <QToolButton>
#include <iostream>

using namespace portwell::gui;

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    TQtMessagePump pump;
    TQtDialogsInstalled dialogs;
    TStartOptions options;
    options.SettingsFile = argv[1];
    TDesktopSession session(options, argv[0]);
    if (!session.Form()) return 1;
    session.Form()->show();
    TForm1& form = *session.Form();
    form.findChild<QComboBox*>("ComboBox7")->setCurrentIndex(0);
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        if (auto* editor = qobject_cast<TForm2*>(QApplication::activeModalWidget()))
            editor->FileExit->trigger();
    });
    answer.start(20);
    form.findChild<QToolButton*>("EditButton")->click();
    answer.stop();
    std::cout << "stored" << std::endl;
    return application.exec();
}
