#pragma once
// portwell-cli's commands on the macros kept in the settings file: list, export, import, and
// finding the one that `run --macro` names. The work itself is the macro library's.
#include "cli/CommandLine.h"
#include "portwell/StoredState.h"

#include <filesystem>
#include <ostream>

namespace cli {

// The settings file the command line means.
std::filesystem::path SettingsFileOf(const TCommandLine& line);

// The stored macro `run --macro` names, with the port settings stored beside it and overridden
// by the command line's options. Throws portwell::settings::ESettingsFile when the file cannot be
// read, std::runtime_error when no macro is named so.
ksl::TStrings StoredMacroToRun(const TCommandLine& line, portwell::TPortSettings& port);

// The three commands. They throw portwell::settings::ESettingsFile when the settings file cannot
// be read, written or locked, and std::runtime_error for anything else they refuse. A title is
// listed on one line, its line breaks and control bytes escaped.
void ListMacros(const TCommandLine& line, std::ostream& out);
// Prints each file it writes on `out`, and on `notes` each title it had to shorten and each file
// it could not write; it goes on past those and throws at the end when one failed.
void ExportMacros(const TCommandLine& line, std::ostream& out, std::ostream& notes);
void ImportMacros(const TCommandLine& line, std::ostream& out);

} // namespace cli
