// The stored macros as files, in process: the names of exported files, finding a macro, and what
// an import reports and keeps.
#include "portwell/MacroLibrary.h"

#include "FileText.h"
#include "TempDir.h"
#include "portwell/settings/SettingsStore.h"

#include <gtest/gtest.h>

using namespace portwell;
using namespace portwell::settings;
using testsupport::ReadWholeFile;
using testsupport::TempDir;
using testsupport::WriteWholeFile;
namespace fs = std::filesystem;
using namespace std::string_literals;

namespace {

TEST(MacroLibrary, ExportNamesAreSafeAndUnique) {
    const std::vector<TMacro> macros = {{"A", {}},  {"A", {}},     {"A (2)", {}}, {"a/b", {}},
                                        {".x", {}}, {"", {}},      {"A", {}},     {"ポート", {}},
                                        {"..", {}}, {"n\0ul"s, {}}};
    EXPECT_EQ(ExportFileNames(macros),
              (std::vector<std::string>{"A.ksl", "A (2).ksl", "A (2) (2).ksl", "a_b.ksl", "_x.ksl",
                                        "_.ksl", "A (3).ksl", "ポート.ksl", "_..ksl", "n_ul.ksl"}));
}

TEST(MacroLibrary, ATitleComesBeforeANumber) {
    const std::vector<TMacro> macros = {{"first", {}}, {"2", {}}, {"first", {}}, {"third", {}}};
    struct Case {
        std::string name;
        std::optional<size_t> index;
    } cases[] = {{"first", 0}, {"2", 1},   {"4", 3},  {"1", 0},  {"0", {}},
                 {"5", {}},    {"-1", {}}, {"x", {}}, {"3x", {}}};
    for (const Case& c : cases)
        EXPECT_EQ(FindMacro(macros, c.name), c.index) << c.name;
}

TEST(MacroLibrary, ImportTellsWhereEachMacroWentAndExportWritesThemBack) {
    TempDir dir;
    const fs::path file = dir / "portwell.ini";
    TStoredState state;
    state.Macros = {{"Ping", {"old"}}, {"Other", {"x"}}};
    SaveSettings(file, state);
    WriteWholeFile(dir / "Ping.ksl", "new\r\n");
    WriteWholeFile(dir / "Fresh.ksl", "\xEF\xBB\xBFPrint('hi');\n");

    const std::vector<TImported> placed =
        ImportMacros(file, {dir / "Ping.ksl", dir / "Fresh.ksl", dir / "Ping.ksl"}, true);
    ASSERT_EQ(placed.size(), 3u);
    EXPECT_EQ(placed[0].Title, "Ping");
    EXPECT_TRUE(placed[0].Replaced);
    EXPECT_EQ(placed[0].Number, 1u);
    EXPECT_FALSE(placed[1].Replaced);
    EXPECT_EQ(placed[1].Number, 3u);
    EXPECT_TRUE(placed[2].Replaced);
    EXPECT_EQ(placed[2].Number, 1u);

    const std::vector<TMacro> stored = LoadSettings(file).Macros;
    EXPECT_EQ(stored, (std::vector<TMacro>{
                          {"Ping", {"new"}}, {"Other", {"x"}}, {"Fresh", {"Print('hi');"}}}));

    std::vector<fs::path> written;
    ExportMacros(stored, dir / "out", [&](const fs::path& path) { written.push_back(path); });
    EXPECT_EQ(written, (std::vector<fs::path>{dir / "out" / "Ping.ksl", dir / "out" / "Other.ksl",
                                              dir / "out" / "Fresh.ksl"}));
    EXPECT_EQ(ReadWholeFile(dir / "out" / "Fresh.ksl"), "Print('hi');\n");
}

TEST(MacroLibrary, AnImportThatFailsChangesNothing) {
    TempDir dir;
    const fs::path file = dir / "portwell.ini";
    SaveSettings(file, TStoredState{});
    const std::string before = ReadWholeFile(file);
    WriteWholeFile(dir / "good.ksl", "Print('x');\n");
    WriteWholeFile(dir / "a=b.ksl", "Print('y');\n");
    EXPECT_THROW(ImportMacros(file, {dir / "good.ksl", dir / "a=b.ksl"}, false),
                 std::runtime_error);
    EXPECT_THROW(ImportMacros(file, {dir / "good.ksl", dir / "missing.ksl"}, false),
                 std::runtime_error);
    EXPECT_EQ(ReadWholeFile(file), before);
}

} // namespace
