#include "portwell/gui/DesktopSession.h"

#include "platform/Dialogs.h"
#include "portwell/MacroLibrary.h"
#include "portwell/gui/Termination.h"

#include <QApplication>
#include <QGuiApplication>
#include <iostream>

namespace portwell::gui {

namespace {

constexpr uint32_t MB_ICONERROR = 0x10, MB_ICONWARNING = 0x30;

void Tell(const std::string& text, uint32_t icon) {
    std::cerr << "portwell: " << text << std::endl;
    platform::Dialogs().MessageBox(text, "Portwell", icon);
}

bool ShiftAndControlHeld() {
    const Qt::KeyboardModifiers held = QGuiApplication::queryKeyboardModifiers();
    return held.testFlag(Qt::ShiftModifier) && held.testFlag(Qt::ControlModifier);
}

} // namespace

std::optional<TStartOptions> ParseStartOptions(const QStringList& arguments, std::string& error) {
    TStartOptions options;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (argument == "--defaults") {
            options.Defaults = true;
        } else if (argument == "--settings" && i + 1 < arguments.size()) {
            options.SettingsFile = arguments[++i].toStdString();
        } else if (argument.startsWith("--settings=")) {
            options.SettingsFile = argument.mid(11).toStdString();
        } else {
            error = argument == "--settings" ? "--settings needs a file name"
                                             : "unknown argument '" + argument.toStdString() + "'";
            return std::nullopt;
        }
    }
    if (options.SettingsFile && options.SettingsFile->empty()) {
        error = "--settings needs a file name";
        return std::nullopt;
    }
    return options;
}

TDesktopSession::TDesktopSession(const TStartOptions& options,
                                 const std::filesystem::path& programPath)
    : file(settings::ResolveSettingsPath(settings::LocateSettingsFile(
          settings::SettingsLocationOf(programPath, options.SettingsFile)))) {
    try {
        lock = std::make_unique<settings::TSettingsLock>(file);
    } catch (const settings::ESettingsFile& e) {
        Tell(std::string(e.what()) + "\nPortwell ends without touching it.", MB_ICONERROR);
        return;
    }
    form = std::make_unique<TForm1>();
    form->Apply(StartState(options.Defaults || ShiftAndControlHeld()));
    form->OnMacrosChanged = [this] { Save(); };
    form->OnClosing = [this] { Save(); };
    form->OnDeleting = [this](const TMacro& macro) {
        return KeepDeletedMacro(macro, DeletedMacrosFolder(file));
    };
}

// A reset to the defaults keeps a copy of the file it will overwrite; an unreadable file is set
// aside, and the user is told where it went.
TStoredState TDesktopSession::StartState(bool defaults) {
    try {
        if (defaults) {
            settings::KeepResetCopy(file);
            return {};
        }
        settings::TLoadResult loaded = settings::LoadSettingsOrSetAside(file);
        if (loaded.Outcome == settings::TLoadOutcome::SetAside)
            Tell(loaded.Reason + "\nIt has been kept as " + loaded.SetAsidePath.string() +
                     "; Portwell starts with the defaults.",
                 MB_ICONWARNING);
        return loaded.State;
    } catch (const settings::ESettingsFile& e) {
        Tell(std::string(e.what()) + "\nPortwell starts with the defaults.", MB_ICONWARNING);
        return {};
    }
}

void TDesktopSession::Save() {
    try {
        settings::SaveSettings(file, form->State());
        saveFailed = false;
    } catch (const settings::ESettingsFile& e) {
        saveFailed = true;
        Tell(e.what(), MB_ICONERROR);
    }
}

// The signal may come while the session starts, with a message box open: the window then closes,
// and saves, at once.
int RunDesktopProgram(const TStartOptions& options, const std::filesystem::path& programPath,
                      TQtMessagePump& pump, const std::function<void(TForm1&)>& started) {
    TForm1* form = nullptr;
    const QObject connection; // ends the connection with this function
    QObject::connect(&pump, &TQtMessagePump::Interrupted, &connection, [&form] {
        BeginTermination();
        if (form) form->close();
    });
    TDesktopSession session(options, programPath);
    form = session.Form();
    if (!form) return 1;
    if (TerminationRequested()) {
        form->close();
        return session.SaveFailed() ? 1 : 0;
    }
    form->show();
    if (started) started(*form);
    const int status = QApplication::exec();
    return status != 0 ? status : session.SaveFailed() ? 1 : 0;
}

} // namespace portwell::gui
