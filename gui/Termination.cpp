#include "portwell/gui/Termination.h"

#include "portwell/gui/Form2.h"

#include <QApplication>
#include <QDialog>

namespace portwell::gui {

namespace {
bool terminating = false;
} // namespace

// The editor goes first: a question it asks is a dialog of its own, and rejecting that question
// before the editor is abandoned would let the editor go on as if the user had cancelled.
void BeginTermination() {
    terminating = true;
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget* window : windows)
        if (auto* editor = qobject_cast<TForm2*>(window); editor && editor->isVisible())
            editor->Abandon();
    for (QWidget* window : windows)
        if (auto* dialog = qobject_cast<QDialog*>(window); dialog && dialog->isVisible())
            dialog->reject();
}

bool TerminationRequested() {
    return terminating;
}

} // namespace portwell::gui
