#pragma once
// Runs a program for a test: feeds its standard input, collects its output and exit status, and
// can interrupt it once it has printed something or after a delay.
#include <chrono>
#include <csignal>
#include <optional>
#include <string>
#include <vector>

namespace testsupport {

struct ChildResult {
    int exitCode = -1; // 128 + signal when killed by a signal
    std::string out;
    std::string err;
    bool timedOut = false;
    // From the signal to the end of the child's output, when a signal was sent.
    std::optional<std::chrono::milliseconds> endedAfterSignal;
};

struct ChildOptions {
    std::string input;
    std::vector<std::string> environment; // added to the test's own, "NAME=value"
    // Send `signal` once standard output contains `signalAfterOutput` (or at once when empty),
    // standard error contains `signalAfterErrorOutput`, and `signalDelay` has passed.
    std::optional<int> signal;
    std::string signalAfterOutput;
    std::string signalAfterErrorOutput;
    std::chrono::milliseconds signalDelay{0};
    // Signal the child's whole process group, as a terminal's Ctrl-C does, so that the programs
    // it started get the signal too. The child then runs in a process group of its own.
    bool signalGroup = false;
    std::chrono::milliseconds timeout{20000}; // killed after this; the result says so
};

ChildResult RunChild(const std::vector<std::string>& argv, const ChildOptions& options = {});

// The last line of a text, without its line break.
std::string LastLine(const std::string& text);

} // namespace testsupport
