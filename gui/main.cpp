// portwell: the desktop program.
#include "portwell/gui/DesktopSession.h"
#include "portwell/gui/QtDialogs.h"
#include "portwell/gui/QtMessagePump.h"

#include <QApplication>
#include <clocale>
#include <iostream>

using namespace portwell::gui;

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    std::string error;
    const auto options = ParseStartOptions(application.arguments().mid(1), error);
    if (!options) {
        std::cerr << "portwell: " << error << "\nusage: portwell [--settings FILE] [--defaults]\n";
        return 2;
    }
    InterruptOnTerminationSignals();
    TQtMessagePump pump;
    TQtDialogsInstalled dialogs;
    return RunDesktopProgram(*options, QCoreApplication::applicationFilePath().toStdString(), pump);
}
