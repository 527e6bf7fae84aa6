#include "portwell/settings/SettingsStore.h"

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
#include <utility>

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

// Closes a descriptor on every way out.
class TDescriptor {
public:
    explicit TDescriptor(int fd) : fd(fd) {}
    ~TDescriptor() {
        if (fd >= 0) ::close(fd);
    }
    TDescriptor(const TDescriptor&) = delete;
    TDescriptor& operator=(const TDescriptor&) = delete;
    int Get() const { return fd; }
    int Release() { return std::exchange(fd, -1); }

private:
    int fd;
};

void WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw std::system_error(errno, std::generic_category());
        bytes.remove_prefix(size_t(n));
    }
}

// Keeps the old file's permissions; a new file gets the usual ones, under the umask.
void KeepMode(int fd, const fs::path& file) {
    struct stat old {};
    if (::stat(file.c_str(), &old) != 0) return;
    if (::fchmod(fd, old.st_mode & 07777) != 0)
        throw std::system_error(errno, std::generic_category());
}

// A new file beside `file` that nobody else writes, opened for writing.
int CreateTemporary(const fs::path& file, std::string& path) {
    for (int attempt = 0;; ++attempt) {
        path = file.string() + ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(attempt);
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST || attempt == 100) return fd;
    }
}

void SyncFolder(const fs::path& folder) {
    TDescriptor dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.Get() >= 0) ::fsync(dir.Get());
}

// Writes `bytes` to a new file beside `file` and returns its path.
fs::path WriteTemporary(const fs::path& file, std::string_view bytes) {
    std::string temporary;
    TDescriptor fd(CreateTemporary(file, temporary));
    if (fd.Get() < 0) FailErrno(file, "write");
    try {
        WriteAll(fd.Get(), bytes);
        KeepMode(fd.Get(), file);
        if (::fsync(fd.Get()) != 0) throw std::system_error(errno, std::generic_category());
        if (::close(fd.Release()) != 0) throw std::system_error(errno, std::generic_category());
    } catch (const std::system_error& e) {
        ::unlink(temporary.c_str());
        Fail(file, "write", e.code().message());
    }
    return temporary;
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

// A symbolic link is followed, so that the rename replaces the file it points to, not the link.
fs::path RealTarget(const fs::path& file) {
    std::error_code error;
    if (!fs::is_symlink(file, error)) return file;
    const fs::path target = fs::weakly_canonical(file, error);
    return error ? file : target;
}

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

TLoadResult LoadSettingsOrSetAside(const fs::path& file) {
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

void SaveSettings(const fs::path& link, const TStoredState& state) {
    const fs::path file = RealTarget(link);
    std::string bytes;
    try {
        bytes = WriteComponentStream(StateToComponents(state));
    } catch (const ESettingsFormat& e) {
        Fail(file, "write", e.what());
    }
    CreateFolder(file);
    const fs::path temporary = WriteTemporary(file, bytes);
    if (std::rename(temporary.c_str(), file.c_str()) != 0) {
        const int code = errno;
        ::unlink(temporary.c_str());
        Fail(file, "write", std::strerror(code));
    }
    SyncFolder(file.parent_path().empty() ? "." : file.parent_path());
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
    return settingsFile.string() + ".lock";
}

TSettingsLock::TSettingsLock(const fs::path& settingsFile) {
    CreateFolder(settingsFile);
    const fs::path lockPath = LockPathOf(settingsFile);
    TDescriptor lock(::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666));
    if (lock.Get() < 0) FailErrno(settingsFile, "lock");
    if (::flock(lock.Get(), LOCK_EX | LOCK_NB) != 0) {
        if (errno == EWOULDBLOCK)
            Fail(settingsFile, "lock",
                 "another Portwell program is using it (" + lockPath.string() + " is locked)");
        FailErrno(settingsFile, "lock");
    }
    fd = lock.Release();
}

TSettingsLock::~TSettingsLock() {
    ::close(fd);
}

} // namespace portwell::settings
