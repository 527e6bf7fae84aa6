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

// The longest file name Linux file systems take, in bytes.
inline constexpr size_t MaxFileNameBytes = 255;

// The file name a macro is exported to: its title with "/" and NUL, and a leading ".", made "_",
// and ".ksl" added; titles that come out alike get " (2)", " (3)", ... before the extension. A
// title too long for a file name is cut, at a character boundary, so that the name fits in
// MaxFileNameBytes.
std::vector<std::string> ExportFileNames(const std::vector<TMacro>& macros);

// The title a macro file is imported under: its name without folder and extension.
std::string TitleOfFile(const std::string& path);

// What an export did with one macro.
struct TExportedFile {
    std::string Title;
    std::filesystem::path Path; // its ExportFileNames name in the folder
    bool Shortened = false;     // the title was cut to make the file name fit
    std::string Failure;        // why it could not be written; empty when it was
};

// Writes every macro into `dir`, which is created when missing, under its ExportFileNames name,
// one line a line. Each file is written to a new temporary file in `dir` and renamed over its
// name, so that a symbolic link standing there is replaced, never written through. A macro that
// cannot be written does not stop the others. `done` is told each file once it is complete or
// has failed. Throws std::runtime_error naming the folder when it cannot be made.
std::vector<TExportedFile> ExportMacros(const std::vector<TMacro>& macros,
                                        const std::filesystem::path& dir,
                                        const std::function<void(const TExportedFile&)>& done = {});

// Where the desktop program keeps the macros it deletes: the folder NAME.deleted beside the
// settings file NAME.
std::filesystem::path DeletedMacrosFolder(const std::filesystem::path& settingsFile);

// How many deleted macros the folder keeps.
inline constexpr size_t DeletedMacrosKept = 100;

// Keeps a copy of a macro that is about to be deleted in `folder` (created when missing), as
// `portwell-cli export` would write it, under a name no file there has yet; then removes the
// oldest copies beyond the newest `kept`. Returns the copy's path. Throws std::runtime_error
// with the reason when the copy cannot be written; nothing is removed then.
std::filesystem::path KeepDeletedMacro(const TMacro& macro, const std::filesystem::path& folder,
                                       size_t kept = DeletedMacrosKept);

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
