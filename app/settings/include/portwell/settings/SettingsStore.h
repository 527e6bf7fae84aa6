#pragma once
// The settings file: where it lives, reading it into the stored state and writing it back so that
// nothing the user stored is lost, and the lock that keeps to one writer at a time.
#include "portwell/StoredState.h"

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>

namespace portwell::settings {

// The settings file could not be read, written or locked. The message names the file and says
// why.
class ESettingsFile : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// What decides where the settings file is. Filled from the process by SettingsLocationOf.
struct TSettingsLocation {
    std::filesystem::path ProgramDir;       // the folder of the running program
    bool ProgramDirWritable = true;         // whether a file may be created there
    std::optional<std::string> Option;      // --settings FILE
    std::optional<std::string> Environment; // $PORTWELL_SETTINGS
    std::optional<std::string> XdgConfigHome;
    std::optional<std::string> Home;
};

// --settings wins, then $PORTWELL_SETTINGS, then "portwell.ini" beside the program when that folder
// is writable, else $XDG_CONFIG_HOME/portwell/portwell.ini (~/.config when it is unset, empty or
// not absolute).
std::filesystem::path LocateSettingsFile(const TSettingsLocation& location);

// The file `file` finally names, as an absolute path: symbolic links are followed, also to a file
// that does not exist yet, and the folders are made canonical. The lock, the temporary file and the
// rename all use this one path, so that two writers through different names meet at the same lock.
std::filesystem::path ResolveSettingsPath(const std::filesystem::path& file);

// The location for the program at `programPath` and this process's environment.
TSettingsLocation SettingsLocationOf(const std::filesystem::path& programPath,
                                     const std::optional<std::string>& option);

// The state in the file; the defaults when there is no file. Throws ESettingsFile when the file
// exists but cannot be read or is not a settings file; it is left as it is.
TStoredState LoadSettings(const std::filesystem::path& file);

enum class TLoadOutcome { Loaded, Missing, SetAside };

struct TLoadResult {
    TStoredState State;
    TLoadOutcome Outcome = TLoadOutcome::Loaded;
    std::filesystem::path SetAsidePath; // where an unreadable file went
    std::string Reason;                 // why it could not be read
};

// As LoadSettings, but an unreadable file is renamed to NAME.bad (NAME.bad.1, .2, ... when that
// exists) and the defaults are returned, so that the next start is not stopped by it. Throws
// ESettingsFile only when the file can be neither read nor moved aside.
TLoadResult LoadSettingsOrSetAside(const std::filesystem::path& file);

// Writes the state to a temporary file (NAME.tmpPID-N) in the folder of the file the path resolves
// to, flushes it to disk and renames it over the file, which keeps its permissions. A missing
// folder is created. Throws ESettingsFile on
// failure; the previous file is then whole.
void SaveSettings(const std::filesystem::path& file, const TStoredState& state);

// Copies the file to NAME.bak (NAME.bak.1, ... when that exists) before a reset to the defaults
// overwrites it. Returns the copy's path, or nothing when there is no file. Throws ESettingsFile.
std::optional<std::filesystem::path> KeepResetCopy(const std::filesystem::path& file);

// The path beside `file` with `suffix` appended that names nothing yet: NAME.bad, NAME.bad.1, ...
std::filesystem::path FreeSiblingPath(const std::filesystem::path& file, const std::string& suffix);

// An advisory lock (flock) on NAME.lock beside the file the settings path resolves to, held for the
// object's life. The lock is not on the file itself because a save renames a new file over it.
// Once it holds the lock, it removes the temporary files of saves that were killed.
class TSettingsLock {
public:
    // Throws ESettingsFile when another process holds the lock or the lock file cannot be made.
    explicit TSettingsLock(const std::filesystem::path& settingsFile);
    ~TSettingsLock();
    TSettingsLock(const TSettingsLock&) = delete;
    TSettingsLock& operator=(const TSettingsLock&) = delete;

    // NAME.lock beside the file `settingsFile` resolves to.
    static std::filesystem::path LockPathOf(const std::filesystem::path& settingsFile);

private:
    int fd = -1;
};

} // namespace portwell::settings
