#pragma once
// The command line of portwell-cli, parsed into what each command needs.
#include "portwell/PortSettings.h"
#include "portwell/StoredState.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace cli {

enum class TCommand { Run, Record, Ports, Macros, Export, Import, Help };

struct TCommandLine {
    TCommand Command = TCommand::Help;
    portwell::TPortSettings Port;
    std::array<bool, portwell::PortListCount> PortGiven{}; // which settings of Port an option set
    std::optional<std::string> SettingsFile;               // --settings, on every command
    // run and record
    // --log: the file every traffic-log line is appended to; in a station run the folder that
    // holds one such file per device. Empty for none.
    std::string LogPath;
    bool Timestamps = false; // --timestamps: each traffic-log line printed after its time
    // run
    bool Loop = false;
    int64_t IntervalMs = 1000;
    std::vector<std::string> Defines;
    std::string MacroFile;   // "-" for standard input
    std::string StoredMacro; // --macro: a stored macro's title or number, instead of a file
    // run on several devices at once, a station run
    std::vector<std::string> Devices; // every -d, in order
    std::string DevicesFile;          // --devices: one device name per line
    std::optional<int> Jobs;          // --jobs: how many run at once
    std::string JUnitFile;            // --junit
    // Given by a station to each device's own run: where its verdict goes, and the name by which
    // a failure's location names the macro that came through standard input.
    int VerdictFd = -1;
    std::string MacroName;
    // record
    std::optional<int64_t> DurationMs;
    std::string OutputFile; // empty for standard output
    // export
    std::string ExportDir;
    // import
    std::vector<std::string> ImportFiles;
    bool Replace = false;

    // `base` with every setting that an option gave replaced by the option's value.
    portwell::TPortSettings PortOver(const portwell::TPortSettings& base) const;
    // Whether `run` drives a station: more than one device, a device list, a job limit or a
    // report.
    bool StationRun() const;
};

// The options that set every line setting of `port` but the device, as `run` reads them.
std::vector<std::string> LineSettingArguments(const portwell::TPortSettings& port);

// Parses the arguments after the program name. On a usage error returns nothing and sets
// `error` to a message that names the allowed values.
std::optional<TCommandLine> ParseCommandLine(const std::vector<std::string>& args,
                                             std::string& error);

// The help text, with the values every port option takes.
std::string UsageText();

} // namespace cli
