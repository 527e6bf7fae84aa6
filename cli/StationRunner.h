#pragma once
// Runs one macro on many devices at once.
//
// Every device gets a run of its own: this program again, started for that device alone, with the
// macro on its standard input, reporting its verdict on a descriptor of its own. A process per
// device, because the platform layer's message queue, hand-overs, interrupt and dialogs belong to
// a whole process, and because a run that crashes or hangs then takes no other device with it.
// The station reads every run's output, prints it line by line with the device in front, so that
// lines never mix, keeps it for the report and the log files, and starts the next device when one
// ends, keeping at most --jobs running.
#include "cli/CommandLine.h"
#include "kestrel/Kestrel.h"
#include "portwell/PortSettings.h"

#include <string>

namespace cli {

// Runs `macro`, named `macroName` where a failure is located, on the station's devices with the
// line settings of `port`; prints the summary, writes the report and returns the exit status.
int RunStation(const TCommandLine& line, const ksl::TStrings& macro,
               const portwell::TPortSettings& port, const std::string& macroName);

} // namespace cli
