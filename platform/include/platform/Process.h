#pragma once
// Starting programs without a shell in between.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// Splits a command line into arguments the way a POSIX shell quotes: blanks separate, single
// quotes keep everything, double quotes keep everything but \" \\ \$ and \`, a backslash outside
// quotes keeps the next character. Nothing is expanded.
std::vector<std::string> SplitCommandLine(const std::string& commandLine);

struct Started {
    bool started = false;
    std::optional<uint32_t> exitCode; // set when waited for
};

// Starts argv[0] (searched on PATH) with the caller's environment. With `wait`, blocks until it
// ends and reports its exit code (128 + the signal for a program killed by a signal), or until an
// interrupt is requested (no exit code then; the program runs on), and then processes pending
// messages once. Otherwise the program is reaped in the background when it ends.
Started StartProgram(const std::vector<std::string>& argv, bool wait);

// Asks the desktop to open `path` with its default application (xdg-open). Returns a result in
// the Windows shell's convention: above 32 on success, 2 for a file that does not exist, 31 when
// no opener could be started.
uint32_t ShellOpen(const std::string& path);

} // namespace platform
