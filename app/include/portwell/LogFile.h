#pragma once
// A traffic log kept on disk: every line appended as it is logged, with the date and time to the
// millisecond, so that nothing is cut at the pane's 200 lines and a crash loses nothing already
// logged. The window's "Log to file…" and portwell-cli's --log write the same lines.
#include "portwell/TrafficLog.h"

#include <stdexcept>
#include <string>

namespace portwell {

// The log file could not be opened or written; the message names the file and the reason.
class ELogFile : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// One line of the file: the ISO 8601 time, a blank, the line as logged, a line feed.
std::string LogFileLine(const std::string& line, TLogTime time);

class TLogFile {
public:
    // Opens `path` for appending, creating it when it does not exist. Raises ELogFile.
    explicit TLogFile(std::string path);
    ~TLogFile();
    TLogFile(const TLogFile&) = delete;
    TLogFile& operator=(const TLogFile&) = delete;

    const std::string& Path() const { return path; }

    // Appends the line at once. Raises ELogFile when the system refuses it (a full disk).
    void Write(const std::string& line, TLogTime time);

private:
    std::string path;
    int fd = -1;
};

} // namespace portwell
