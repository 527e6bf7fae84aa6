#pragma once
// One start of the desktop program: the settings file found and locked, the window built from it,
// and the state stored after every change to the macro list and when the window closes.
#include "portwell/gui/Form1.h"
#include "portwell/gui/QtMessagePump.h"
#include "portwell/settings/SettingsStore.h"

#include <QStringList>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace portwell::gui {

// portwell [--settings FILE] [--defaults]
struct TStartOptions {
    std::optional<std::string> SettingsFile;
    bool Defaults = false; // start from the defaults, as when Shift and Control are held
};

// The options, or nothing with `error` set for an unknown option or a missing file name.
std::optional<TStartOptions> ParseStartOptions(const QStringList& arguments, std::string& error);

// Every message box the session shows is also written to standard error, for a person who
// started the program from a terminal.
class TDesktopSession {
public:
    // Finds and locks the settings file and builds the window from it. A file in use by another
    // Portwell, or that cannot be locked, is told in a message box; Form() is then nothing. A macro
    // the window deletes is kept in the settings file's deleted-macro folder first.
    TDesktopSession(const TStartOptions& options, const std::filesystem::path& programPath);

    TForm1* Form() { return form.get(); }
    const std::filesystem::path& SettingsFile() const { return file; }
    // Whether the last save failed: what the window holds is then not in the file.
    bool SaveFailed() const { return saveFailed; }

private:
    TStoredState StartState(bool defaults);
    void Save();

    bool saveFailed = false;

    std::filesystem::path file;
    std::unique_ptr<settings::TSettingsLock> lock;
    std::unique_ptr<TForm1> form;
};

// The desktop program from the session's start to its end, in Qt's event loop; returns its exit
// status: 0, or 1 when the settings file could not be locked or the last save failed. A
// terminating signal that `pump` reports closes every dialog and the window, which saves what it
// holds. `started` is told the window once it is shown.
int RunDesktopProgram(const TStartOptions& options, const std::filesystem::path& programPath,
                      TQtMessagePump& pump, const std::function<void(TForm1&)>& started = {});

} // namespace portwell::gui
