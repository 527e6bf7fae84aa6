// A desktop session driven by a test in a process of its own, so that the test can kill it: it
// opens the settings file named by its argument, deletes the selected macro through the window's
// Delete button, says "stored" and then idles until it is killed or closed.
#include "portwell/gui/DesktopSession.h"
#include "portwell/gui/QtDialogs.h"
#include "portwell/gui/QtMessagePump.h"

#include <QApplication>
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
    session.Form()->findChild<QToolButton*>("DeleteButton")->click();
    std::cout << "stored" << std::endl;
    return application.exec();
}
