#pragma once
// The stored macros as files: finding a stored macro by its title or number, the names macros
// are exported under and the titles files are imported under, and exporting and importing the
// macros of a settings file. With MacroFile.h, which reads one macro file, the one place the
// window and the command line both work through.
#include "portwell/MacroFile.h"
#include "portwell/StoredState.h"

#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace portwell {

// The index of the first macro titled `titleOrNumber`, else of the macro with that number
// (counted from 1); nothing when neither exists.
std::optional<size_t> FindMacro(const std::vector<TMacro>& macros,
                                const std::string& titleOrNumber);

// The file name a macro is exported to: its title with "/" and NUL, and a leading ".", made "_",
// and ".ksl" added; titles that come out alike get " (2)", " (3)", ... before the extension.
std::vector<std::string> ExportFileNames(const std::vector<TMacro>& macros);

// The title a macro file is imported under: its name without folder and extension.
std::string TitleOfFile(const std::string& path);

// Writes every macro into `dir`, which is created when missing, under its ExportFileNames name,
// one line a line; `written` is told each file once it is complete. Throws std::runtime_error
// naming the folder or file that cannot be written.
void ExportMacros(const std::vector<TMacro>& macros, const std::filesystem::path& dir,
                  const std::function<void(const std::filesystem::path&)>& written = {});

// Where an imported macro went: added at the end, or in place of the first of its title.
struct TImported {
    std::string Title;
    size_t Number = 0; // its place in the list, counted from 1
    bool Replaced = false;
};

// Reads every file as a macro titled TitleOfFile(path), then, holding the settings file's lock,
// adds each at the end of the file's macros or, with `replace`, puts it in place of the first
// macro of its title, and saves the file. Nothing is changed when a file cannot be read or its
// title cannot be stored (std::runtime_error), nor when the settings file cannot be locked, read
// or written (settings::ESettingsFile).
std::vector<TImported> ImportMacros(const std::filesystem::path& settingsFile,
                                    const std::vector<std::string>& files, bool replace);

} // namespace portwell
