#include "portwell/MacroLibrary.h"

#include "portwell/MacroFile.h"
#include "portwell/settings/SettingsStore.h"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <set>
#include <stdexcept>

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

void WriteMacroFile(const fs::path& path, const ksl::TStrings& lines) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    for (const std::string& line : lines)
        out << line << '\n';
    if (!out.flush()) throw std::runtime_error("cannot write '" + path.string() + "'");
}

void CreateExportFolder(const fs::path& dir) {
    std::error_code error;
    fs::create_directories(dir, error);
    if (error || !fs::is_directory(dir))
        throw std::runtime_error("cannot write to the folder '" + dir.string() +
                                 "': " + (error ? error.message() : "it is not a folder"));
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
    std::set<std::string> taken;
    for (const TMacro& macro : macros) {
        const std::string stem = EscapedTitle(macro.Title);
        std::string name = stem + ".ksl";
        for (int n = 2; taken.contains(name); ++n)
            name = stem + " (" + std::to_string(n) + ").ksl";
        taken.insert(name);
        names.push_back(name);
    }
    return names;
}

std::string TitleOfFile(const std::string& path) {
    return fs::path(path).stem().string();
}

void ExportMacros(const std::vector<TMacro>& macros, const fs::path& dir,
                  const std::function<void(const fs::path&)>& written) {
    CreateExportFolder(dir);
    const std::vector<std::string> names = ExportFileNames(macros);
    for (size_t i = 0; i < names.size(); ++i) {
        WriteMacroFile(dir / names[i], macros[i].Lines);
        if (written) written(dir / names[i]);
    }
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
