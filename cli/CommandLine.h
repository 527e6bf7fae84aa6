#pragma once
// The command line of portwell-cli, parsed into what each command needs.
#include "portwell/PortSettings.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace portwell {

enum class TCommand { Run, Record, Ports, Help };

struct TCommandLine {
    TCommand Command = TCommand::Help;
    TPortSettings Port;
    // run
    bool Loop = false;
    int64_t IntervalMs = 1000;
    std::vector<std::string> Defines;
    std::string MacroFile; // "-" for standard input
    // record
    std::optional<int64_t> DurationMs;
    std::string OutputFile; // empty for standard output
};

// Parses the arguments after the program name. On a usage error returns nothing and sets
// `error` to a message that names the allowed values.
std::optional<TCommandLine> ParseCommandLine(const std::vector<std::string>& args,
                                             std::string& error);

// The help text, with the values every port option takes.
std::string UsageText();

} // namespace portwell
