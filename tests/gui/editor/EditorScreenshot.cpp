// Shows the macro editor on an example macro with its Edit menu open, prints the window id and
// stays up until it is killed or a minute passes: scripts/screenshot-editor photographs it.
#include "portwell/MacroHost.h"
#include "portwell/gui/CodeEdit.h"
#include "portwell/gui/Form2.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QTimer>
#include <cstdio>

using portwell::gui::TForm2;

namespace {

QStringList HostPrototypes() {
    QStringList lines;
    for (const std::string& line : portwell::TMacroHost::Prototypes)
        lines << QString::fromStdString(line);
    return lines;
}

QStringList MacroLines(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) return {};
    return QString::fromUtf8(file.readAll()).split('\n');
}

void OpenEditMenu(TForm2& form) {
    QAction* edit = form.MainMenu1->actions().at(1);
    form.MainMenu1->setActiveAction(edit);
    QTimer::singleShot(300, &form, [&form, edit] {
        edit->menu()->setActiveAction(form.EditCopy1);
        std::printf("%llu\n", static_cast<unsigned long long>(form.winId()));
        std::fflush(stdout);
    });
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: editor_screenshot MACRO_FILE\n");
        return 2;
    }
    TForm2 form(HostPrototypes());
    form.SetTitle("Loopback");
    form.SetLines(MacroLines(QString::fromLocal8Bit(argv[1])));
    form.show();
    form.GoToLine(10);
    // A selection, so that the Edit menu offers cut and copy.
    QTextCursor selection = form.RichEdit2->textCursor();
    selection.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    form.RichEdit2->setTextCursor(selection);
    QTimer::singleShot(500, &form, [&form] { OpenEditMenu(form); });
    QTimer::singleShot(60000, &app, &QApplication::quit);
    return app.exec();
}
