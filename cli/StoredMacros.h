#pragma once
// portwell-cli's commands on the macros kept in the settings file: list, export, import, and
// finding the one that `run --macro` names.
#include "CommandLine.h"
#include "portwell/StoredState.h"

#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace cli {

// The settings file the command line means.
std::filesystem::path SettingsFileOf(const portwell::TCommandLine& line);

// The index of the first macro titled `titleOrNumber`, else of the macro with that number
// (counted from 1); nothing when neither exists.
std::optional<size_t> FindStoredMacro(const std::vector<portwell::TMacro>& macros,
                                      const std::string& titleOrNumber);

// The file name a macro is exported to: its title with "/" and NUL, and a leading ".", made "_",
// and ".ksl" added; titles that come out alike get " (2)", " (3)", ... before the extension.
std::vector<std::string> ExportFileNames(const std::vector<portwell::TMacro>& macros);

// The title a macro file is imported under: its name without folder and extension.
std::string TitleOfFile(const std::string& path);

// The stored macro `run --macro` names, with the port settings stored beside it and overridden
// by the command line's options. Throws portwell::ESettingsFile when the file cannot be read,
// std::runtime_error when no macro is named so.
ksl::TStrings StoredMacroToRun(const portwell::TCommandLine& line, portwell::TPortSettings& port);

// The three commands. They throw portwell::ESettingsFile when the settings file cannot be read,
// written or locked, and std::runtime_error for anything else they refuse.
void ListMacros(const portwell::TCommandLine& line, std::ostream& out);
void ExportMacros(const portwell::TCommandLine& line, std::ostream& out);
void ImportMacros(const portwell::TCommandLine& line, std::ostream& out);

} // namespace cli
