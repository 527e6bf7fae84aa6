#include "portwell/LogFile.h"

#include "portwell/LogText.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace portwell {

namespace {

[[noreturn]] void Fail(const char* what, const std::string& path, int error) {
    throw ELogFile(std::string(what) + " the log file '" + path + "': " + std::strerror(error));
}

} // namespace

std::string LogFileLine(const std::string& line, TLogTime time) {
    std::string text = IsoTimeStamp(time);
    text.reserve(text.size() + line.size() + 2);
    ((text += ' ') += line) += '\n';
    return text;
}

TLogFile::TLogFile(std::string path) : path(std::move(path)) {
    fd = open(this->path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY, 0644);
    if (fd < 0) Fail("cannot open", this->path, errno);
}

TLogFile::~TLogFile() {
    if (fd >= 0) close(fd);
}

void TLogFile::Write(const std::string& line, TLogTime time) {
    const std::string text = LogFileLine(line, time);
    size_t written = 0;
    while (written < text.size()) {
        const ssize_t n = ::write(fd, text.data() + written, text.size() - written);
        if (n > 0) {
            written += size_t(n);
        } else if (n < 0 && errno != EINTR) {
            Fail("cannot write", path, errno);
        } else if (n == 0) {
            Fail("cannot write", path, ENOSPC);
        }
    }
}

} // namespace portwell
