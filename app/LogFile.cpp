#include "portwell/LogFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>

namespace portwell {

std::string LogTimeStamp(std::chrono::system_clock::time_point time) {
    using namespace std::chrono;
    const auto sinceEpoch = time.time_since_epoch();
    const time_t seconds = time_t(duration_cast<std::chrono::seconds>(sinceEpoch).count());
    const int milliseconds =
        int(duration_cast<std::chrono::milliseconds>(sinceEpoch).count() % 1000);
    tm local{};
    localtime_r(&seconds, &local);
    char text[48];
    const size_t length = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
    const long offset = local.tm_gmtoff / 60;
    std::snprintf(text + length, sizeof text - length, ".%03d%c%02ld:%02ld", milliseconds,
                  offset < 0 ? '-' : '+', std::labs(offset) / 60, std::labs(offset) % 60);
    return text;
}

TLogFile::TLogFile(const std::string& path) : path(path) {
    fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) throw ELogFile("cannot open the log file '" + path + "': " + std::strerror(errno));
}

TLogFile::~TLogFile() {
    ::close(fd);
}

// One write per line: with O_APPEND the line lands whole at the end, however the file is shared.
void TLogFile::Add(const std::string& line, std::chrono::system_clock::time_point time) {
    const std::string text = LogTimeStamp(time) + ' ' + line + '\n';
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            writeFailed = true;
            return;
        }
        done += size_t(n);
    }
}

} // namespace portwell
