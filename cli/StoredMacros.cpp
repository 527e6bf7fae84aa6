#include "StoredMacros.h"

#include "MacroFile.h"
#include "portwell/settings/SettingsStore.h"

#include <charconv>
#include <fstream>
#include <set>
#include <stdexcept>

namespace cli {

using namespace portwell;
using namespace portwell::settings;
namespace fs = std::filesystem;

namespace {

fs::path ProgramPath() {
    std::error_code error;
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    return error ? fs::path("portwell-cli") : self;
}

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

// Adds the macro, or with `replace` puts it in place of the first of its title; returns the
// line to report.
std::string Place(std::vector<TMacro>& macros, TMacro macro, bool replace) {
    const auto same = std::find_if(macros.begin(), macros.end(),
                                   [&](const TMacro& m) { return m.Title == macro.Title; });
    const std::string title = macro.Title;
    if (replace && same != macros.end()) {
        *same = std::move(macro);
        return "replaced " + std::to_string(same - macros.begin() + 1) + "\t" + title;
    }
    macros.push_back(std::move(macro));
    return "added " + std::to_string(macros.size()) + "\t" + title;
}

} // namespace

fs::path SettingsFileOf(const TCommandLine& line) {
    return LocateSettingsFile(SettingsLocationOf(ProgramPath(), line.SettingsFile));
}

std::optional<size_t> FindStoredMacro(const std::vector<TMacro>& macros,
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

ksl::TStrings StoredMacroToRun(const TCommandLine& line, TPortSettings& port) {
    const fs::path file = SettingsFileOf(line);
    const TStoredState state = LoadSettings(file);
    const std::optional<size_t> found = FindStoredMacro(state.Macros, line.StoredMacro);
    if (!found)
        throw std::runtime_error("no stored macro has the title or number '" + line.StoredMacro +
                                 "' in '" + file.string() + "' (portwell-cli macros lists them)");
    port = line.PortOver(PortSettingsOf(state));
    return state.Macros[*found].Lines;
}

void ListMacros(const TCommandLine& line, std::ostream& out) {
    const TStoredState state = LoadSettings(SettingsFileOf(line));
    for (size_t i = 0; i < state.Macros.size(); ++i)
        out << i + 1 << '\t' << state.Macros[i].Title << '\n';
}

void ExportMacros(const TCommandLine& line, std::ostream& out) {
    const TStoredState state = LoadSettings(SettingsFileOf(line));
    const fs::path dir = line.ExportDir;
    CreateExportFolder(dir);
    const std::vector<std::string> names = ExportFileNames(state.Macros);
    for (size_t i = 0; i < names.size(); ++i) {
        WriteMacroFile(dir / names[i], state.Macros[i].Lines);
        out << (dir / names[i]).string() << '\n';
    }
}

void ImportMacros(const TCommandLine& line, std::ostream& out) {
    std::vector<TMacro> imports;
    for (const std::string& path : line.ImportFiles)
        imports.push_back(ReadImport(path));
    const fs::path file = SettingsFileOf(line);
    const TSettingsLock lock(file);
    TStoredState state = LoadSettings(file);
    std::vector<std::string> report;
    for (TMacro& macro : imports)
        report.push_back(Place(state.Macros, std::move(macro), line.Replace));
    SaveSettings(file, state);
    for (const std::string& text : report)
        out << text << '\n';
}

} // namespace cli
