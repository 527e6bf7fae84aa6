#pragma once
// A traffic log kept on disk: every line is appended with the local time to the millisecond in
// front, "2024-05-02T14:03:07.512+02:00 Com_SD:41 42", and handed to the system at once, so that a
// crash loses nothing already logged. The window, portwell-cli and its station runs all write
// this one format.
#include <chrono>
#include <stdexcept>
#include <string>

namespace portwell {

class ELogFile : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The ISO 8601 local time with milliseconds and the offset from UTC.
std::string LogTimeStamp(std::chrono::system_clock::time_point time);

class TLogFile {
public:
    // Opens `path` for appending, creating it when needed; throws ELogFile with the reason when
    // it cannot.
    explicit TLogFile(const std::string& path);
    ~TLogFile();
    TLogFile(const TLogFile&) = delete;
    TLogFile& operator=(const TLogFile&) = delete;

    void Add(const std::string& line, std::chrono::system_clock::time_point time);
    void Add(const std::string& line) { Add(line, std::chrono::system_clock::now()); }

    const std::string& Path() const { return path; }
    // Whether a line could not be written whole (a full disk, a removed drive).
    bool WriteFailed() const { return writeFailed; }

private:
    std::string path;
    int fd = -1;
    bool writeFailed = false;
};

} // namespace portwell
