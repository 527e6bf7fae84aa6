#include "portwell/MacroLibrary.h"

#include "portwell/MacroFile.h"
#include "portwell/settings/AtomicFile.h"
#include "portwell/settings/SettingsStore.h"

#include <algorithm>
#include <charconv>
#include <set>
#include <stdexcept>
#include <system_error>
#include <utility>

namespace portwell {

namespace fs = std::filesystem;

namespace {

std::optional<size_t> NumberOf(const std::string& text) {
    size_t number = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return number;
}

std::string EscapedTitle(const std::string& title) {
    if (title.empty()) return "_";
    std::string name = title;
    for (char& c : name)
        if (c == '/' || c == '\0') c = '_';
    if (name[0] == '.') name[0] = '_';
    return name;
}

std::string MacroFileText(const ksl::TStrings& lines) {
    std::string text;
    for (const std::string& line : lines)
        text += line + '\n';
    return text;
}

// Through a temporary file beside it, so that a link at `path` is replaced and never followed.
void WriteMacroFile(const fs::path& path, const ksl::TStrings& lines, const fs::path& temporary) {
    try {
        settings::WriteFileAtomically(path, MacroFileText(lines), temporary);
    } catch (const std::system_error& e) {
        throw std::runtime_error("cannot write '" + path.string() + "': " + e.code().message());
    }
}

void CreateFolder(const fs::path& dir) {
    std::error_code error;
    fs::create_directories(dir, error);
    if (error || !fs::is_directory(dir))
        throw std::runtime_error("cannot write to the folder '" + dir.string() +
                                 "': " + (error ? error.message() : "it is not a folder"));
}

bool IsContinuationByte(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// The longest start of `text` of at most `bytes` bytes that ends at a character boundary.
std::string CutAtCharacter(const std::string& text, size_t bytes) {
    if (text.size() <= bytes) return text;
    while (bytes > 0 && IsContinuationByte(text[bytes]))
        --bytes;
    return text.substr(0, bytes);
}

struct TExportName {
    std::string Name;
    bool Shortened = false;
};

// The first of NAME.ksl, NAME (2).ksl, ... that is not `taken`, with NAME cut so that it fits.
template <typename Taken> TExportName FreeExportName(const std::string& title, Taken taken) {
    const std::string stem = EscapedTitle(title), extension = ".ksl";
    for (int n = 1;; ++n) {
        const std::string clash = n == 1 ? "" : " (" + std::to_string(n) + ")";
        const std::string cut =
            CutAtCharacter(stem, MaxFileNameBytes - extension.size() - clash.size());
        const std::string name = cut + clash + extension;
        if (!taken(name)) return {name, cut.size() < stem.size()};
    }
}

std::vector<TExportName> ExportNames(const std::vector<TMacro>& macros) {
    std::vector<TExportName> names;
    std::set<std::string> taken;
    for (const TMacro& macro : macros) {
        names.push_back(FreeExportName(
            macro.Title, [&taken](const std::string& name) { return taken.contains(name); }));
        taken.insert(names.back().Name);
    }
    return names;
}

// Where this library's temporary files go in a folder it writes macros into.
fs::path TemporaryBaseIn(const fs::path& dir) {
    return dir / ".portwell-export";
}

// The macro files of a folder, oldest first.
std::vector<fs::path> MacroFilesByAge(const fs::path& folder) {
    std::vector<std::pair<fs::file_time_type, fs::path>> files;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error))
        if (entry.path().extension() == ".ksl" && entry.is_regular_file(error))
            files.emplace_back(entry.last_write_time(error), entry.path());
    std::sort(files.begin(), files.end());
    std::vector<fs::path> paths;
    for (auto& file : files)
        paths.push_back(std::move(file.second));
    return paths;
}

// The newest copy stays whatever the clock says: files written within one tick of the file
// system's clock look alike in age.
void KeepNewest(const fs::path& folder, size_t kept, const fs::path& newest) {
    std::vector<fs::path> files = MacroFilesByAge(folder);
    std::erase(files, newest);
    std::error_code error;
    for (size_t i = 0; i + kept < files.size() + 1; ++i)
        fs::remove(files[i], error);
}

TMacro ReadImport(const std::string& path) {
    TMacro macro{TitleOfFile(path), ReadMacroFile(path)};
    if (const std::string problem = TitleProblem(macro.Title); !problem.empty())
        throw std::runtime_error("cannot import '" + path + "': " + problem + "; rename the file");
    return macro;
}

TImported Place(std::vector<TMacro>& macros, TMacro macro, bool replace) {
    const auto same = std::find_if(macros.begin(), macros.end(),
                                   [&](const TMacro& m) { return m.Title == macro.Title; });
    TImported placed{macro.Title};
    if (replace && same != macros.end()) {
        *same = std::move(macro);
        placed.Number = size_t(same - macros.begin()) + 1;
        placed.Replaced = true;
        return placed;
    }
    macros.push_back(std::move(macro));
    placed.Number = macros.size();
    return placed;
}

} // namespace

std::optional<size_t> FindMacro(const std::vector<TMacro>& macros,
                                const std::string& titleOrNumber) {
    for (size_t i = 0; i < macros.size(); ++i)
        if (macros[i].Title == titleOrNumber) return i;
    const std::optional<size_t> number = NumberOf(titleOrNumber);
    if (number && *number >= 1 && *number <= macros.size()) return *number - 1;
    return std::nullopt;
}

std::vector<std::string> ExportFileNames(const std::vector<TMacro>& macros) {
    std::vector<std::string> names;
    for (TExportName& name : ExportNames(macros))
        names.push_back(std::move(name.Name));
    return names;
}

std::string TitleOfFile(const std::string& path) {
    return fs::path(path).stem().string();
}

std::vector<TExportedFile> ExportMacros(const std::vector<TMacro>& macros, const fs::path& dir,
                                        const std::function<void(const TExportedFile&)>& done) {
    CreateFolder(dir);
    settings::RemoveStaleTemporaries(TemporaryBaseIn(dir));
    const std::vector<TExportName> names = ExportNames(macros);
    std::vector<TExportedFile> files;
    for (size_t i = 0; i < names.size(); ++i) {
        TExportedFile file{macros[i].Title, dir / names[i].Name, names[i].Shortened, {}};
        try {
            WriteMacroFile(file.Path, macros[i].Lines, TemporaryBaseIn(dir));
        } catch (const std::runtime_error& e) {
            file.Failure = e.what();
        }
        if (done) done(file);
        files.push_back(std::move(file));
    }
    return files;
}

fs::path DeletedMacrosFolder(const fs::path& settingsFile) {
    return settingsFile.string() + ".deleted";
}

fs::path KeepDeletedMacro(const TMacro& macro, const fs::path& folder, size_t kept) {
    CreateFolder(folder);
    settings::RemoveStaleTemporaries(TemporaryBaseIn(folder));
    const TExportName name = FreeExportName(macro.Title, [&folder](const std::string& candidate) {
        std::error_code error;
        return fs::symlink_status(folder / candidate, error).type() != fs::file_type::not_found;
    });
    const fs::path copy = folder / name.Name;
    WriteMacroFile(copy, macro.Lines, TemporaryBaseIn(folder));
    KeepNewest(folder, kept, copy);
    return copy;
}

std::vector<TImported> ImportMacros(const fs::path& settingsFile,
                                    const std::vector<std::string>& files, bool replace) {
    std::vector<TMacro> imports;
    for (const std::string& path : files)
        imports.push_back(ReadImport(path));
    const settings::TSettingsLock lock(settingsFile);
    TStoredState state = settings::LoadSettings(settingsFile);
    std::vector<TImported> placed;
    for (TMacro& macro : imports)
        placed.push_back(Place(state.Macros, std::move(macro), replace));
    settings::SaveSettings(settingsFile, state);
    return placed;
}

} // namespace portwell
