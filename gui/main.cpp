// portwell: the desktop program.
#include "portwell/gui/Form1.h"
#include "portwell/gui/QtDialogs.h"
#include "portwell/gui/QtMessagePump.h"

#include <QApplication>
#include <clocale>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    portwell::gui::InterruptOnTerminationSignals();
    portwell::gui::TQtMessagePump pump;
    portwell::gui::TQtDialogsInstalled dialogs;
    portwell::gui::TForm1 form;
    QObject::connect(&pump, &portwell::gui::TQtMessagePump::Interrupted, &form, &QWidget::close);
    form.show();
    return application.exec();
}
