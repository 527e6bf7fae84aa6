#include "MacroCommands.h"

#include "cli/TerminalText.h"
#include "portwell/MacroLibrary.h"
#include "portwell/settings/SettingsStore.h"

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

} // namespace

fs::path SettingsFileOf(const TCommandLine& line) {
    return ResolveSettingsPath(
        LocateSettingsFile(SettingsLocationOf(ProgramPath(), line.SettingsFile)));
}

ksl::TStrings StoredMacroToRun(const TCommandLine& line, TPortSettings& port) {
    const fs::path file = SettingsFileOf(line);
    const TStoredState state = LoadSettings(file);
    const std::optional<size_t> found = FindMacro(state.Macros, line.StoredMacro);
    if (!found)
        throw std::runtime_error("no stored macro has the title or number '" + line.StoredMacro +
                                 "' in '" + file.string() + "' (portwell-cli macros lists them)");
    port = line.PortOver(PortSettingsOf(state));
    return state.Macros[*found].Lines;
}

void ListMacros(const TCommandLine& line, std::ostream& out) {
    const TStoredState state = LoadSettings(SettingsFileOf(line));
    for (size_t i = 0; i < state.Macros.size(); ++i)
        out << i + 1 << '\t' << TerminalLine(state.Macros[i].Title) << '\n';
}

// Each file written goes to `out` as it is done; a shortened name and a failure are told on
// `notes`, and the export goes on with the next macro.
void ExportMacros(const TCommandLine& line, std::ostream& out, std::ostream& notes) {
    const TStoredState state = LoadSettings(SettingsFileOf(line));
    size_t failures = 0;
    portwell::ExportMacros(state.Macros, line.ExportDir, [&](const TExportedFile& file) {
        if (!file.Failure.empty()) {
            ++failures;
            notes << "portwell-cli: " << TerminalText(file.Failure) << '\n';
            return;
        }
        out << file.Path.string() << '\n';
        if (file.Shortened)
            notes << "portwell-cli: the title '" << TerminalLine(file.Title)
                  << "' is too long for a file name; it was shortened\n";
    });
    if (failures > 0)
        throw std::runtime_error(std::to_string(failures) + " of " +
                                 std::to_string(state.Macros.size()) +
                                 " macros could not be exported");
}

void ImportMacros(const TCommandLine& line, std::ostream& out) {
    const std::vector<TImported> imported =
        portwell::ImportMacros(SettingsFileOf(line), line.ImportFiles, line.Replace);
    for (const TImported& macro : imported)
        out << (macro.Replaced ? "replaced " : "added ") << macro.Number << '\t' << macro.Title
            << '\n';
}

} // namespace cli
