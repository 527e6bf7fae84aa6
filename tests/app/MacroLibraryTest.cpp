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

// "あ" is three bytes: a cut must not split it.
TEST(MacroLibrary, LongTitlesAreCutAtACharacterSoThatTheNameFits) {
    std::string japanese;
    for (int i = 0; i < 100; ++i)
        japanese += "あ";
    const std::string ascii(300, 'x');
    const std::vector<TMacro> macros = {{japanese, {}},
                                        {japanese, {}},
                                        {ascii, {}},
                                        {ascii + "y", {}},
                                        {std::string(251, 'z'), {}}};
    const std::vector<std::string> names = ExportFileNames(macros);
    const std::string japaneseCut = japanese.substr(0, 249); // 83 characters
    const std::string japaneseCutForClash = japanese.substr(0, 246);
    EXPECT_EQ(names, (std::vector<std::string>{
                         japaneseCut + ".ksl", japaneseCutForClash + " (2).ksl",
                         ascii.substr(0, 251) + ".ksl", ascii.substr(0, 247) + " (2).ksl",
                         std::string(251, 'z') + ".ksl"}));
    for (const std::string& name : names)
        EXPECT_LE(name.size(), MaxFileNameBytes);
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
    ExportMacros(stored, dir / "out",
                 [&](const TExportedFile& file) { written.push_back(file.Path); });
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

TEST(MacroLibrary, ExportWritesEveryMacroItCanAndSaysWhatFailed) {
    TempDir dir;
    fs::create_directories(dir / "out" / "Blocked.ksl"); // a folder where a file should go
    const std::vector<TMacro> macros = {
        {"First", {"a"}}, {"Blocked", {"b"}}, {std::string(300, 'L'), {"c"}}, {"Last", {"d"}}};
    const std::vector<TExportedFile> files = ExportMacros(macros, dir / "out");
    ASSERT_EQ(files.size(), 4u);
    EXPECT_EQ(files[0].Failure, "");
    EXPECT_NE(files[1].Failure.find("Blocked.ksl"), std::string::npos) << files[1].Failure;
    EXPECT_NE(files[1].Failure.find("Is a directory"), std::string::npos) << files[1].Failure;
    EXPECT_TRUE(files[2].Shortened);
    EXPECT_EQ(ReadWholeFile(files[2].Path), "c\n");
    EXPECT_FALSE(files[3].Shortened);
    EXPECT_EQ(ReadWholeFile(dir / "out" / "Last.ksl"), "d\n");
    for (const auto& entry : fs::directory_iterator(dir / "out")) // no temporary file is left
        EXPECT_TRUE(entry.path().extension() == ".ksl") << entry.path();
}

// A cloned repository may hold a link that leads out of the folder.
TEST(MacroLibrary, ExportReplacesALinkInTheFolderAndNeverWritesThroughIt) {
    TempDir dir;
    WriteWholeFile(dir / "victim.txt", "precious");
    fs::create_directory(dir / "out");
    fs::create_symlink("../victim.txt", dir / "out" / "A.ksl");
    ExportMacros({{"A", {"Print('a');"}}}, dir / "out");
    EXPECT_EQ(ReadWholeFile(dir / "victim.txt"), "precious");
    EXPECT_FALSE(fs::is_symlink(dir / "out" / "A.ksl"));
    EXPECT_EQ(ReadWholeFile(dir / "out" / "A.ksl"), "Print('a');\n");
}

TEST(MacroLibrary, ADeletedMacroIsKeptInTheExportFormatAndOnlyTheNewest100Stay) {
    TempDir dir;
    const fs::path folder = DeletedMacrosFolder(dir / "portwell.ini");
    EXPECT_EQ(folder, dir / "portwell.ini.deleted");
    const fs::path first = KeepDeletedMacro({"A/B", {"Print('1');", "x"}}, folder);
    EXPECT_EQ(first, folder / "A_B.ksl");
    EXPECT_EQ(ReadWholeFile(first), "Print('1');\nx\n");
    EXPECT_EQ(KeepDeletedMacro({"A/B", {"second"}}, folder), folder / "A_B (2).ksl");
    EXPECT_EQ(ReadWholeFile(first), "Print('1');\nx\n"); // an older copy is never overwritten
    for (int i = 0; i < 99; ++i)
        KeepDeletedMacro({"M" + std::to_string(i), {}}, folder);
    const fs::path newest = KeepDeletedMacro({"Newest", {"n"}}, folder);
    size_t count = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(folder))
        ++count;
    EXPECT_EQ(count, DeletedMacrosKept);
    EXPECT_TRUE(fs::exists(newest));
    EXPECT_TRUE(fs::exists(folder / "M98.ksl"));
}

TEST(MacroLibrary, ADeletedMacroThatCannotBeKeptIsAnError) {
    TempDir dir;
    WriteWholeFile(dir / "portwell.ini.deleted", "a file where the folder should be");
    EXPECT_THROW(KeepDeletedMacro({"A", {}}, DeletedMacrosFolder(dir / "portwell.ini")),
                 std::runtime_error);
}

} // namespace
