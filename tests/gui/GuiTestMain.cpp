// Runs the desktop program's tests inside a QApplication on the offscreen platform, with the
// message pump and the Qt dialogs installed as the program installs them.
#include "portwell/gui/QtDialogs.h"
#include "portwell/gui/QtMessagePump.h"

#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    testing::InitGoogleTest(&argc, argv);
    QApplication application(argc, argv);
    portwell::gui::TQtMessagePump pump;
    portwell::gui::TQtDialogsInstalled dialogs;
    return RUN_ALL_TESTS();
}
