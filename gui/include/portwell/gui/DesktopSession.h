#pragma once
// One start of the desktop program: the settings file found and locked, the window built from it,
// and the state stored after every change to the macro list and when the window closes.
#include "portwell/gui/Form1.h"
#include "portwell/settings/SettingsStore.h"

#include <QStringList>
#include <filesystem>
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

class TDesktopSession {
public:
    // Finds and locks the settings file and builds the window from it. A file in use by another
    // Portwell, or that cannot be locked, is told in a message box; Form() is then nothing.
    TDesktopSession(const TStartOptions& options, const std::filesystem::path& programPath);

    TForm1* Form() { return form.get(); }
    const std::filesystem::path& SettingsFile() const { return file; }

private:
    TStoredState StartState(bool defaults);
    void Save();

    std::filesystem::path file;
    std::unique_ptr<settings::TSettingsLock> lock;
    std::unique_ptr<TForm1> form;
};

} // namespace portwell::gui
