#include "portwell/settings/SettingsStore.h"

#include "FileText.h"
#include "StreamBytes.h"
#include "TempDir.h"
#include "portwell/settings/ComponentReader.h"
#include "portwell/settings/ComponentWriter.h"
#include "portwell/settings/StateMapping.h"

#include <csignal>
#include <fstream>
#include <gtest/gtest.h>
#include <set>
#include <sstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace portwell;
using namespace portwell::settings;
using namespace portwell::settings::test;
using testsupport::ReadWholeFile;
using testsupport::TempDir;
using testsupport::WriteWholeFile;
namespace fs = std::filesystem;

namespace {

std::vector<TMacro> ManyMacros(int count, int lines) {
    std::vector<TMacro> macros;
    for (int m = 0; m < count; ++m) {
        TMacro macro{"Macro " + std::to_string(m), {}};
        for (int l = 0; l < lines; ++l)
            macro.Lines.push_back("ComWrite('line " + std::to_string(l) + "');");
        macros.push_back(std::move(macro));
    }
    return macros;
}

TEST(MacroList, EncodesTitleEqualsAndEachLineEndedByCrLf) {
    const TMacro test{"Test", {"Print('a');", "Print('b');"}};
    EXPECT_EQ(EncodeMacroItem(test), "Test=Print('a');\r\nPrint('b');\r\n");
    EXPECT_EQ(EncodeMacroList({test}),
              (std::vector<std::string>{"（New File）", "Test=Print('a');\r\nPrint('b');\r\n"}));
}

TEST(MacroList, MacrosRoundTripThroughTheirItems) {
    const TMacro cases[] = {
        {"Test", {"Print('a');", "Print('b');"}},
        {"ポート確認", {"Print('日本語のテキスト');", "ComWrite('ｱｲｳ');"}},
        {"Long", {std::string(300, 'x'), "Print('" + std::string(260, 'y') + "');"}},
        {"Empty", {}},
        {"Blank lines", {"", "", ""}},
        {"Lone breaks", {"a\rb", "c\nd", "ends with CR\r", "\nstarts with LF"}},
        {"", {"no title"}},
    };
    for (const TMacro& macro : cases)
        EXPECT_EQ(DecodeMacroItem(EncodeMacroItem(macro)), macro) << macro.Title;
    const std::vector<TMacro> list(std::begin(cases), std::end(cases));
    EXPECT_EQ(DecodeMacroList(EncodeMacroList(list)), list);
}

TEST(MacroList, DecodesItemsFromOtherWriters) {
    struct Case {
        std::string item;
        TMacro macro;
    } cases[] = {
        {"A=B=C\r\n", {"A", {"B=C"}}},
        {"No equals sign", {"No equals sign", {}}},
        {"Last=one\r\ntwo", {"Last", {"one", "two"}}},
        {"Split=a\r\nb\r\n", {"Split", {"a", "b"}}},
        {"=", {"", {}}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(DecodeMacroItem(c.item), c.macro) << c.item;
}

TEST(MacroList, TitlesWithAnEqualsSignAreRefused) {
    EXPECT_EQ(TitleProblem("Reset"), "");
    EXPECT_EQ(TitleProblem("ポート"), "");
    EXPECT_NE(TitleProblem("a=b").find("\"=\""), std::string::npos);
}

TEST(StoredState, PortSettingsComeFromTheListsSelections) {
    TStoredState state;
    TPortSettings defaults = PortSettingsOf(state);
    EXPECT_EQ(defaults.DeviceName, "COM1");
    EXPECT_EQ(defaults.BaudRate, serial::cbr9600);
    EXPECT_EQ(defaults.Databits, serial::da8);
    state.PortLists[plDeviceName].ItemIndex = 2;
    state.PortLists[plBaudRate].ItemIndex = 12;
    state.PortLists[plParity].ItemIndex = 99; // beyond the setting's values
    state.PortLists[plFlowControl].ItemIndex = -1;
    const TPortSettings chosen = PortSettingsOf(state);
    EXPECT_EQ(chosen.DeviceName, "COM3");
    EXPECT_EQ(chosen.BaudRate, serial::cbr115200);
    EXPECT_EQ(chosen.Parity, serial::paNone);
    EXPECT_EQ(chosen.FlowControl, serial::fcNone);
}

TStoredState ChangedState() {
    TStoredState state;
    state.Left = -20;
    state.Top = 40000;
    state.Width = 800;
    state.Caption = "ポートウェル";
    state.PortLists[plDeviceName] = {{"COM1", "/dev/ttyUSB0"}, 1};
    state.PortLists[plBaudRate].ItemIndex = 12;
    state.Macros = {{"Test", {"Print('a');", "Print('b');"}}, {"空", {}}};
    state.MacroIndex = 2;
    state.AutoRun = state.Loop = true;
    state.IntervalText = "250";
    state.StopDown = false;
    state.RunDown = true;
    state.LogLines = {"Com_SD:41", "受信"};
    state.Source = {"Print('x');"};
    state.DeclarePrototype = {"procedure Print(S:String); index 1;"};
    state.COMPort = {"/dev/ttyS1", serial::cbr115200, serial::da7,
                     serial::sb20, serial::paEven,    serial::fcCTS};
    state.Console.SendHistory = {"AT", "ATI\\r", "送信"};
    state.Console.SendMode = TSendMode::Hex;
    state.Console.LineEnd = TLineEnd::CRLF;
    state.Console.Look = {true, true};
    return state;
}

TEST(StateMapping, StatesRoundTripThroughTheComponentTree) {
    TStoredState many;
    many.Macros = ManyMacros(1000, 3);
    many.MacroIndex = 1000;
    const TStoredState cases[] = {TStoredState{}, ChangedState(), many};
    for (const TStoredState& state : cases) {
        const std::string file = WriteComponentStream(StateToComponents(state));
        EXPECT_EQ(StateFromComponents(ReadComponentStream(file)), state);
    }
}

TEST(StateMapping, WritesTheFixedNamesAndOnlyWhatDiffersFromTheDefaults) {
    const TComponent tree = StateToComponents(TStoredState{});
    EXPECT_EQ(tree.ClassName, "TForm1");
    EXPECT_EQ(tree.Name, "Form1");
    EXPECT_TRUE(tree.Properties.empty());
    for (const char* list : {"ComboBox1", "ComboBox2", "ComboBox7"}) {
        ASSERT_NE(tree.FindComponent(list), nullptr) << list;
        EXPECT_NE(tree.FindComponent(list)->FindProperty("ItemIndex"), nullptr) << list;
        EXPECT_NE(tree.FindComponent(list)->FindProperty("Items.Strings"), nullptr) << list;
    }
    EXPECT_TRUE(tree.FindComponent("StopButton")->Properties.empty());
    const TComponent changed = StateToComponents(ChangedState());
    EXPECT_EQ(changed.FindComponent("StopButton")->FindProperty("Down")->Kind, TValueKind::Boolean);
    EXPECT_EQ(changed.FindComponent("COMPort")->ReadIdent("Parity", ""), "paEven");
    EXPECT_EQ(changed.FindComponent("COMPort")->ReadIdent("BaudRate", ""), "cbr115200");
}

// A file from another writer: controls nested in group boxes, wide, long and Shift-JIS texts,
// a collection, a set and components this program does not know.
std::string ForeignFile() {
    TStreamBytes s;
    s.Raw("TPF0").Object("TForm1", "Form1");
    s.Short("Left").Byte(vaInt16).LittleEndian(300, 2);
    s.Short("Caption").Byte(vaWString).LittleEndian(3, 4);
    for (uint16_t unit : {0x30DD, 0x30FC, 0x30C8})
        s.LittleEndian(unit, 2);
    s.Short("Anchors").Byte(vaSet).Short("akLeft").Short("akTop").Byte(0);
    s.Byte(0);
    s.Object("TGroupBox", "GroupBox2");
    s.Short("Columns").Byte(vaCollection).Byte(vaList).Short("Width").Byte(vaInt8).Byte(5);
    s.Byte(0).Byte(0);
    s.Byte(0);
    s.Object("TComboBox", "ComboBox7");
    s.Short("Items.Strings").Byte(vaList).Byte(vaString).Short("(New File)");
    s.Byte(vaLString).Long("Long=" + std::string(300, 'z') + "\r\n");
    s.Byte(vaString).Short("\x83\x65\x83\x58\x83\x67=Print('a');\r\n"); // "テスト" in Shift-JIS
    s.Byte(vaInt8).Byte(5);                                             // not a text
    s.Byte(0);
    s.Short("ItemIndex").Byte(vaInt8).Byte(2).Byte(0).Byte(0);
    s.Byte(0); // end of GroupBox2's children
    s.Object("TFancyWidget", "Unknown1").Short("Colour").Byte(vaIdent).Short("clRed").Byte(0);
    s.Byte(0);
    s.Object("TCheckBox", "LoopCheck").Short("Checked").Byte(vaTrue).Byte(0).Byte(0);
    s.Object("TComm", "COMPort").Short("Parity").Byte(vaIdent).Short("paOdd");
    s.Short("BaudRate").Byte(vaIdent).Short("cbrNonsense").Byte(0).Byte(0);
    s.Byte(0);
    return FileOf(s.Bytes());
}

TEST(StateMapping, ReadsAFileBuiltFromTheLayoutByAnotherWriter) {
    const TStoredState state = StateFromComponents(ReadComponentStream(ForeignFile()));
    TStoredState expected;
    expected.Left = 300;
    expected.Caption = "ポート";
    expected.Macros = {{"Long", {std::string(300, 'z')}}, {"テスト", {"Print('a');"}}, {"", {}}};
    expected.MacroIndex = 2;
    expected.Loop = true;
    expected.COMPort.Parity = serial::paOdd;
    EXPECT_EQ(state, expected);
}

// The console's state lives in components of its own: every component an earlier reader knows
// comes out the same, with or without it.
TEST(StateMapping, TheConsoleStateLeavesWhatEarlierReadersKnowUnchanged) {
    const std::set<std::string> added = {"SendEdit", "SendModeBox", "LineEndBox", "LogMenu"};
    TStoredState without = ChangedState();
    without.Console = {};
    const TComponent plain = StateToComponents(without);
    const TComponent withConsole = StateToComponents(ChangedState());
    EXPECT_EQ(withConsole.Properties, plain.Properties);
    ASSERT_EQ(withConsole.Children.size(), plain.Children.size());
    for (size_t i = 0; i < plain.Children.size(); ++i)
        if (!added.contains(plain.Children[i].Name))
            EXPECT_EQ(withConsole.Children[i], plain.Children[i]) << plain.Children[i].Name;
    for (const std::string& name : added)
        EXPECT_NE(withConsole.FindComponent(name), nullptr) << name;
}

TEST(StateMapping, AConsoleChoiceOutOfRangeKeepsItsDefault) {
    for (int index : {-1, 4, 1 << 30}) {
        TComponent tree = StateToComponents(ChangedState());
        tree.FindComponent("SendModeBox")->SetProperty("ItemIndex", TValue::Integer(index));
        tree.FindComponent("LineEndBox")->SetProperty("ItemIndex", TValue::Integer(index));
        const TConsoleState console = StateFromComponents(tree).Console;
        EXPECT_EQ(console.SendMode, DefaultSendMode) << index;
        EXPECT_EQ(console.LineEnd, DefaultLineEnd) << index;
    }
}

TEST(StateMapping, OutOfRangeSelectionsOfTheMacroListSelectNone) {
    for (int index : {-1, 3, 1 << 30}) {
        TComponent tree = StateToComponents(ChangedState());
        tree.FindComponent("ComboBox7")->SetProperty("ItemIndex", TValue::Integer(index));
        EXPECT_EQ(StateFromComponents(tree).MacroIndex, 0) << index;
    }
}

TEST(SettingsLocation, OptionThenEnvironmentThenBesideTheProgramThenTheConfigFolder) {
    struct Case {
        TSettingsLocation location;
        fs::path expected;
    } cases[] = {
        {{"/opt/pw/bin", true, "/x/option.ini", "/x/env.ini", "/cfg", "/home/u"}, "/x/option.ini"},
        {{"/opt/pw/bin", true, std::nullopt, "/x/env.ini", "/cfg", "/home/u"}, "/x/env.ini"},
        {{"/opt/pw/bin", true, "", "", "/cfg", "/home/u"}, "/opt/pw/bin/portwell.ini"},
        {{"/opt/pw/bin", false, {}, {}, "/cfg", "/home/u"}, "/cfg/portwell/portwell.ini"},
        {{"/opt/pw/bin", false, {}, {}, {}, "/home/u"}, "/home/u/.config/portwell/portwell.ini"},
        {{"/opt/pw/bin", false, {}, {}, "", "/home/u"}, "/home/u/.config/portwell/portwell.ini"},
        {{"/opt/pw/bin", false, {}, {}, "rel", "/home/u"}, "/home/u/.config/portwell/portwell.ini"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(LocateSettingsFile(c.location), c.expected) << c.expected;
}

TEST(SettingsFile, SavesAndLoadsTheState) {
    TempDir dir;
    const fs::path file = dir / "sub" / "portwell.ini";
    EXPECT_EQ(LoadSettings(file), TStoredState{});
    EXPECT_FALSE(fs::exists(file)); // reading creates nothing
    SaveSettings(file, ChangedState());
    EXPECT_EQ(LoadSettings(file), ChangedState());
    EXPECT_EQ(fs::directory_iterator(dir / "sub")->path(), file); // no temporary file is left
}

TEST(SettingsFile, ASaveKeepsTheFilesPermissionsAndFollowsALink) {
    TempDir dir;
    const fs::path file = dir / "portwell.ini", link = dir / "link.ini";
    SaveSettings(file, TStoredState{});
    fs::permissions(file, fs::perms(0640));
    fs::create_symlink(file, link);
    SaveSettings(link, ChangedState());
    EXPECT_EQ(fs::status(file).permissions(), fs::perms(0640));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(LoadSettings(file), ChangedState());
}

std::vector<std::string> BadFiles() {
    const std::string good = WriteComponentStream(StateToComponents(ChangedState()));
    return {"", "not a settings file", good.substr(0, good.size() / 2),
            std::string(good).replace(good.find("TPF0"), 4, "TPF1")};
}

TEST(SettingsFile, AnUnreadableFileIsAnErrorNamingItAndIsLeftAsItIs) {
    TempDir dir;
    const fs::path file = dir / "portwell.ini";
    for (const std::string& bad : BadFiles()) {
        WriteWholeFile(file, bad);
        try {
            LoadSettings(file);
            ADD_FAILURE() << "no error for " << bad.size() << " bytes";
        } catch (const ESettingsFile& e) {
            EXPECT_NE(std::string(e.what()).find(file.string()), std::string::npos) << e.what();
        }
        EXPECT_EQ(ReadWholeFile(file), bad);
    }
    fs::remove(file);
    fs::create_directory(file);
    EXPECT_THROW(LoadSettings(file), ESettingsFile);
}

TEST(SettingsFile, AnUnreadableFileIsSetAsideAsBadWithANumberWhenTaken) {
    TempDir dir;
    const fs::path file = dir / "portwell.ini";
    const std::vector<std::string> bad = BadFiles();
    const char* const names[] = {"portwell.ini.bad", "portwell.ini.bad.1", "portwell.ini.bad.2"};
    for (int i = 0; i < 3; ++i) {
        WriteWholeFile(file, bad[i + 1]);
        const TLoadResult result = LoadSettingsOrSetAside(file);
        EXPECT_EQ(result.Outcome, TLoadOutcome::SetAside);
        EXPECT_EQ(result.SetAsidePath, dir / names[i]);
        EXPECT_FALSE(result.Reason.empty());
        EXPECT_EQ(result.State, TStoredState{});
        EXPECT_FALSE(fs::exists(file));
        EXPECT_EQ(ReadWholeFile(result.SetAsidePath), bad[i + 1]);
    }
    EXPECT_EQ(LoadSettingsOrSetAside(file).Outcome, TLoadOutcome::Missing);
    SaveSettings(file, ChangedState());
    EXPECT_EQ(LoadSettingsOrSetAside(file).Outcome, TLoadOutcome::Loaded);
}

TEST(SettingsFile, AResetKeepsACopyOfTheOldFile) {
    TempDir dir;
    const fs::path file = dir / "portwell.ini";
    EXPECT_EQ(KeepResetCopy(file), std::nullopt);
    SaveSettings(file, ChangedState());
    EXPECT_EQ(KeepResetCopy(file), dir / "portwell.ini.bak");
    EXPECT_EQ(KeepResetCopy(file), dir / "portwell.ini.bak.1");
    SaveSettings(file, TStoredState{});
    EXPECT_EQ(LoadSettings(dir / "portwell.ini.bak"), ChangedState());
}

// A write that fails half-way, as on a full disk: the file size limit cuts it short. Runs in a
// child so that the limit stays there.
TEST(SettingsFile, AFailedWriteLeavesThePreviousFileWhole) {
    TempDir dir;
    const fs::path file = dir / "portwell.ini";
    SaveSettings(file, ChangedState());
    const std::string before = ReadWholeFile(file);
    TStoredState big;
    big.Macros = ManyMacros(200, 50);
    const pid_t child = fork();
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{4096, 4096};
        setrlimit(RLIMIT_FSIZE, &limit);
        try {
            SaveSettings(file, big);
        } catch (const ESettingsFile& e) {
            _exit(std::string(e.what()).find(file.string()) != std::string::npos ? 0 : 2);
        }
        _exit(1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the failure must be reported, naming the file";
    EXPECT_EQ(ReadWholeFile(file), before);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 1);
}

TEST(SettingsFile, AWriteIntoAFolderThatCannotBeMadeNamesTheFile) {
    TempDir dir;
    WriteWholeFile(dir / "plain", "a file, not a folder");
    const fs::path file = dir / "plain" / "portwell.ini";
    try {
        SaveSettings(file, TStoredState{});
        ADD_FAILURE();
    } catch (const ESettingsFile& e) {
        EXPECT_NE(std::string(e.what()).find(file.string()), std::string::npos) << e.what();
    }
}

TEST(SettingsLock, OneHolderAtATime) {
    TempDir dir;
    const fs::path file = dir / "portwell.ini";
    {
        TSettingsLock first(file);
        EXPECT_TRUE(fs::exists(dir / "portwell.ini.lock"));
        EXPECT_THROW(TSettingsLock second(file), ESettingsFile);
        SaveSettings(file, ChangedState()); // the rename does not affect the lock
        EXPECT_THROW(TSettingsLock third(file), ESettingsFile);
    }
    EXPECT_NO_THROW(TSettingsLock again(file));
}

// Two writers that name the file differently, through links, must meet at one lock.
TEST(SettingsPath, LinksAreFollowedToTheFileEvenBeforeItExists) {
    TempDir dir;
    fs::create_directory(dir / "real");
    const fs::path real = dir / "real" / "s.ini";
    fs::create_symlink(real, dir / "absolute.ini");
    fs::create_symlink("real/s.ini", dir / "relative.ini");
    fs::create_symlink("absolute.ini", dir / "chain.ini");
    fs::create_directory_symlink("real", dir / "folder");
    fs::create_symlink("loop2.ini", dir / "loop1.ini");
    fs::create_symlink("loop1.ini", dir / "loop2.ini");
    const std::pair<fs::path, fs::path> cases[] = {
        {dir / "plain.ini", dir / "plain.ini"},
        {dir / "absolute.ini", real},
        {dir / "relative.ini", real},
        {dir / "chain.ini", real},
        {dir / "folder" / "s.ini", real},
        {dir / "real" / ".." / "real" / "s.ini", real},
        {dir / "missing" / "x.ini", dir / "missing" / "x.ini"},
    };
    for (const auto& [given, expected] : cases)
        EXPECT_EQ(ResolveSettingsPath(given), expected) << given;
    EXPECT_FALSE(ResolveSettingsPath(dir / "loop1.ini").empty()); // ends, and opening then fails
}

TEST(SettingsLock, ALinkAndItsTargetShareOneLock) {
    TempDir dir;
    fs::create_directory(dir / "real");
    const fs::path real = dir / "real" / "s.ini", link = dir / "link.ini";
    fs::create_symlink("real/s.ini", link);
    {
        TSettingsLock throughTheLink(link);
        EXPECT_THROW(TSettingsLock direct(real), ESettingsFile);
        SaveSettings(link, ChangedState());
    }
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(LoadSettings(real), ChangedState());
    TSettingsLock direct(real);
    EXPECT_THROW(TSettingsLock throughTheLink(link), ESettingsFile);
}

// The process id of a child that has ended and been reaped: a process that is gone.
pid_t GonePid() {
    const pid_t child = fork();
    if (child == 0) _exit(0);
    waitpid(child, nullptr, 0);
    return child;
}

TEST(SettingsLock, TakingItRemovesTheTemporariesOfKilledSaves) {
    TempDir dir;
    const fs::path file = dir / "portwell.ini";
    SaveSettings(file, ChangedState());
    const std::string gone = std::to_string(GonePid());
    const std::string stale[] = {"portwell.ini.tmp" + gone + "-0", "portwell.ini.tmp" + gone + "-7",
                                 "portwell.ini.tmp" + std::to_string(getpid()) + "-0"};
    const std::string kept[] = {
        "portwell.ini.tmp1-0",            // its writer, init, is alive
        "other.ini.tmp" + gone + "-0",    // another file's
        "portwell.ini.tmp" + gone,        // not of the pattern
        "portwell.ini.tmp" + gone + "-x", // nor this
        "portwell.ini.bak",
    };
    for (const std::string& name : stale)
        WriteWholeFile(dir / name, "a copy cut short");
    for (const std::string& name : kept)
        WriteWholeFile(dir / name, "kept");
    LoadSettings(file); // reading without the lock removes nothing
    for (const std::string& name : stale)
        EXPECT_TRUE(fs::exists(dir / name)) << name;
    const TSettingsLock lock(file);
    for (const std::string& name : stale)
        EXPECT_FALSE(fs::exists(dir / name)) << name;
    for (const std::string& name : kept)
        EXPECT_TRUE(fs::exists(dir / name)) << name;
    EXPECT_EQ(LoadSettings(file), ChangedState());
}

} // namespace
