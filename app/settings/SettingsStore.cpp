#include "portwell/settings/SettingsStore.h"

#include "portwell/settings/AtomicFile.h"
#include "portwell/settings/ComponentReader.h"
#include "portwell/settings/ComponentWriter.h"
#include "portwell/settings/StateMapping.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace portwell::settings {

namespace fs = std::filesystem;

namespace {

const char* const FileName = "portwell.ini";

[[noreturn]] void Fail(const fs::path& file, const std::string& doing, const std::string& why) {
    throw ESettingsFile("cannot " + doing + " the settings file '" + file.string() + "': " + why);
}

[[noreturn]] void FailErrno(const fs::path& file, const std::string& doing) {
    Fail(file, doing, std::strerror(errno));
}

std::optional<std::string> EnvironmentValue(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::optional<std::string>(value) : std::nullopt;
}

bool NonEmpty(const std::optional<std::string>& value) {
    return value && !value->empty();
}

fs::path ConfigHome(const TSettingsLocation& location) {
    if (NonEmpty(location.XdgConfigHome) && fs::path(*location.XdgConfigHome).is_absolute())
        return *location.XdgConfigHome;
    return fs::path(location.Home.value_or("")) / ".config";
}

void CreateFolder(const fs::path& file) {
    std::error_code error;
    const fs::path folder = file.parent_path();
    if (!folder.empty()) fs::create_directories(folder, error);
    if (error) Fail(file, "write", "cannot create its folder: " + error.message());
}

bool Missing(const fs::path& file) {
    std::error_code error;
    return fs::symlink_status(file, error).type() == fs::file_type::not_found;
}

// False too when the path cannot be examined; whoever uses it then meets the reason.
bool Exists(const fs::path& path) {
    std::error_code error;
    const fs::file_type type = fs::symlink_status(path, error).type();
    return !error && type != fs::file_type::not_found;
}

TStoredState ReadState(const fs::path& file) {
    return StateFromComponents(ReadComponentFile(file));
}

// Where a symbolic link leads, relative to the link's folder when the link is relative.
fs::path LinkTarget(const fs::path& link) {
    std::error_code error;
    const fs::path target = fs::read_symlink(link, error);
    if (error) return link;
    return target.is_absolute() ? target : link.parent_path() / target;
}

constexpr int MaxLinkHops = 40;

} // namespace

TSettingsLocation SettingsLocationOf(const fs::path& programPath,
                                     const std::optional<std::string>& option) {
    TSettingsLocation location;
    location.ProgramDir = programPath.parent_path();
    location.ProgramDirWritable = ::access(location.ProgramDir.c_str(), W_OK) == 0;
    location.Option = option;
    location.Environment = EnvironmentValue("PORTWELL_SETTINGS");
    location.XdgConfigHome = EnvironmentValue("XDG_CONFIG_HOME");
    location.Home = EnvironmentValue("HOME");
    return location;
}

fs::path ResolveSettingsPath(const fs::path& given) {
    std::error_code error;
    fs::path file = fs::absolute(given, error);
    if (error) return given;
    for (int hop = 0; hop < MaxLinkHops && fs::is_symlink(file, error); ++hop)
        file = LinkTarget(file);
    const fs::path resolved = fs::weakly_canonical(file, error);
    return error ? file : resolved;
}

fs::path LocateSettingsFile(const TSettingsLocation& location) {
    if (NonEmpty(location.Option)) return *location.Option;
    if (NonEmpty(location.Environment)) return *location.Environment;
    if (location.ProgramDirWritable) return location.ProgramDir / FileName;
    return ConfigHome(location) / "portwell" / FileName;
}

TStoredState LoadSettings(const fs::path& file) {
    if (Missing(file)) return {};
    try {
        return ReadState(file);
    } catch (const std::exception& e) {
        Fail(file, "read", e.what());
    }
}

fs::path FreeSiblingPath(const fs::path& file, const std::string& suffix) {
    const std::string base = file.string() + suffix;
    fs::path candidate = base;
    for (int n = 1; Exists(candidate); ++n)
        candidate = base + "." + std::to_string(n);
    return candidate;
}

TLoadResult LoadSettingsOrSetAside(const fs::path& given) {
    const fs::path file = ResolveSettingsPath(given);
    TLoadResult result;
    if (Missing(file)) {
        result.Outcome = TLoadOutcome::Missing;
        return result;
    }
    try {
        result.State = ReadState(file);
        return result;
    } catch (const std::exception& e) {
        result.Reason = e.what();
    }
    result.SetAsidePath = FreeSiblingPath(file, ".bad");
    if (std::rename(file.c_str(), result.SetAsidePath.c_str()) != 0)
        Fail(file, "read", result.Reason + "; nor can it be moved aside: " + std::strerror(errno));
    result.Outcome = TLoadOutcome::SetAside;
    return result;
}

void SaveSettings(const fs::path& given, const TStoredState& state) {
    const fs::path file = ResolveSettingsPath(given);
    std::string bytes;
    try {
        bytes = WriteComponentStream(StateToComponents(state));
    } catch (const ESettingsFormat& e) {
        Fail(file, "write", e.what());
    }
    CreateFolder(file);
    try {
        WriteFileAtomically(file, bytes, file);
    } catch (const std::system_error& e) {
        Fail(file, "write", e.code().message());
    }
}

std::optional<fs::path> KeepResetCopy(const fs::path& file) {
    std::error_code error;
    if (Missing(file)) return std::nullopt;
    const fs::path copy = FreeSiblingPath(file, ".bak");
    if (!fs::copy_file(file, copy, error))
        Fail(file, "keep a copy of", copy.string() + ": " + error.message());
    return copy;
}

fs::path TSettingsLock::LockPathOf(const fs::path& settingsFile) {
    return ResolveSettingsPath(settingsFile).string() + ".lock";
}

// Taking the lock makes this process the only writer, so what killed writers left behind can go.
TSettingsLock::TSettingsLock(const fs::path& given) {
    const fs::path settingsFile = ResolveSettingsPath(given);
    CreateFolder(settingsFile);
    const fs::path lockPath = LockPathOf(settingsFile);
    fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) FailErrno(settingsFile, "lock");
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int code = errno;
        ::close(fd);
        if (code == EWOULDBLOCK)
            Fail(settingsFile, "lock",
                 "another Portwell program is using it (" + lockPath.string() + " is locked)");
        Fail(settingsFile, "lock", std::strerror(code));
    }
    RemoveStaleTemporaries(settingsFile);
}

TSettingsLock::~TSettingsLock() {
    ::close(fd);
}

} // namespace portwell::settings
