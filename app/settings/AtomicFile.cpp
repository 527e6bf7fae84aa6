#include "portwell/settings/AtomicFile.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <utility>

namespace portwell::settings {

namespace fs = std::filesystem;

namespace {

[[noreturn]] void ThrowErrno(const std::string& doing) {
    throw std::system_error(errno, std::generic_category(), doing);
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
        if (n < 0) ThrowErrno("write");
        bytes.remove_prefix(size_t(n));
    }
}

// A regular file that is replaced keeps its permissions; a new one (or one that replaces a link)
// gets the usual ones, under the umask.
void KeepMode(int fd, const fs::path& file) {
    struct stat old {};
    if (::lstat(file.c_str(), &old) != 0 || !S_ISREG(old.st_mode)) return;
    if (::fchmod(fd, old.st_mode & 07777) != 0) ThrowErrno("chmod");
}

std::string TemporaryPrefix(const fs::path& temporaryBase) {
    return temporaryBase.filename().string() + ".tmp";
}

// A new file that nobody else writes, opened for writing.
int CreateTemporary(const fs::path& temporaryBase, fs::path& path) {
    const std::string prefix = temporaryBase.string() + ".tmp" + std::to_string(::getpid()) + "-";
    for (int attempt = 0;; ++attempt) {
        path = prefix + std::to_string(attempt);
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST || attempt == 100) return fd;
    }
}

void SyncFolder(const fs::path& folder) {
    TDescriptor dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.Get() >= 0) ::fsync(dir.Get());
}

fs::path FolderOf(const fs::path& file) {
    return file.parent_path().empty() ? fs::path(".") : file.parent_path();
}

void WriteAndClose(TDescriptor& fd, std::string_view bytes, const fs::path& file) {
    WriteAll(fd.Get(), bytes);
    KeepMode(fd.Get(), file);
    if (::fsync(fd.Get()) != 0) ThrowErrno("flush");
    if (::close(fd.Release()) != 0) ThrowErrno("close");
}

bool AllDigits(std::string_view text) {
    if (text.empty()) return false;
    for (char c : text)
        if (c < '0' || c > '9') return false;
    return true;
}

// The process id in PREFIX + PID-N, or 0 when the name is not of that form.
pid_t WriterOf(const std::string& name, const std::string& prefix) {
    if (!name.starts_with(prefix)) return 0;
    const std::string_view rest = std::string_view(name).substr(prefix.size());
    const size_t dash = rest.find('-');
    if (dash == std::string_view::npos || !AllDigits(rest.substr(0, dash)) ||
        !AllDigits(rest.substr(dash + 1)) || dash > 9)
        return 0;
    return pid_t(std::stol(std::string(rest.substr(0, dash))));
}

// A process that exists but belongs to someone else answers EPERM: it is not gone.
bool ProcessGone(pid_t pid) {
    if (pid == ::getpid()) return true;
    return ::kill(pid, 0) != 0 && errno == ESRCH;
}

} // namespace

void WriteFileAtomically(const fs::path& file, std::string_view bytes,
                         const fs::path& temporaryBase) {
    fs::path temporary;
    TDescriptor fd(CreateTemporary(temporaryBase, temporary));
    if (fd.Get() < 0) ThrowErrno("create a temporary file");
    try {
        WriteAndClose(fd, bytes, file);
        if (std::rename(temporary.c_str(), file.c_str()) != 0) ThrowErrno("rename");
    } catch (const std::system_error&) {
        ::unlink(temporary.c_str());
        throw;
    }
    SyncFolder(FolderOf(file));
}

std::vector<fs::path> RemoveStaleTemporaries(const fs::path& temporaryBase) {
    const std::string prefix = TemporaryPrefix(temporaryBase);
    std::vector<fs::path> removed;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(FolderOf(temporaryBase), error)) {
        const pid_t writer = WriterOf(entry.path().filename().string(), prefix);
        if (writer <= 0 || !ProcessGone(writer)) continue;
        if (entry.symlink_status(error).type() == fs::file_type::regular &&
            fs::remove(entry.path(), error))
            removed.push_back(entry.path());
    }
    return removed;
}

} // namespace portwell::settings
