#include "portwell/gui/DesktopSession.h"

#include "ChildProcess.h"
#include "FileText.h"
#include "GuiTestSupport.h"
#include "SmallFileSystem.h"
#include "TempDir.h"
#include "portwell/MacroLibrary.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGuiApplication>
#include <QLineEdit>
#include <QScreen>
#include <QToolButton>
#include <chrono>

using namespace portwell;
using namespace portwell::gui;
using namespace portwell::settings;
using guitest::AnswerNextMessageBox;
using guitest::Child;

namespace {

struct OptionsCase {
    QStringList arguments;
    bool valid;
    std::optional<std::string> file;
    bool defaults;
};

TEST(StartOptions, SettingsFileAndDefaults) {
    const OptionsCase cases[] = {
        {{}, true, std::nullopt, false},
        {{"--defaults"}, true, std::nullopt, true},
        {{"--settings", "a.ini"}, true, "a.ini", false},
        {{"--settings=b.ini", "--defaults"}, true, "b.ini", true},
        {{"--settings"}, false, {}, false},
        {{"--settings="}, false, {}, false},
        {{"--verbose"}, false, {}, false},
    };
    for (const OptionsCase& c : cases) {
        std::string error;
        const auto options = ParseStartOptions(c.arguments, error);
        ASSERT_EQ(options.has_value(), c.valid) << c.arguments.join(' ').toStdString();
        if (!options) {
            EXPECT_FALSE(error.empty());
            continue;
        }
        EXPECT_EQ(options->SettingsFile, c.file);
        EXPECT_EQ(options->Defaults, c.defaults);
    }
}

class Session : public testing::Test {
protected:
    TStartOptions Options(bool defaults = false) {
        TStartOptions options;
        options.SettingsFile = file.string();
        options.Defaults = defaults;
        return options;
    }
    TStoredState WithMacros() {
        TStoredState state;
        state.Macros = {{"A", {"Print('a');"}}, {"B", {"Print('b');"}}};
        state.MacroIndex = 2;
        return state;
    }

    testsupport::TempDir dir;
    std::filesystem::path file = dir / "portwell.ini";
};

TEST_F(Session, FirstStartUsesTheDefaultsAndCreatesTheFileAtTheEnd) {
    {
        TDesktopSession session(Options(), "/nonexistent/portwell");
        ASSERT_NE(session.Form(), nullptr);
        EXPECT_EQ(session.Form()->State(), TStoredState{});
        EXPECT_FALSE(std::filesystem::exists(file));
        session.Form()->close();
    }
    EXPECT_EQ(LoadSettings(file), TStoredState{});
}

TEST_F(Session, TheStateSurvivesARestart) {
    {
        TDesktopSession session(Options(), "/nonexistent/portwell");
        TForm1& form = *session.Form();
        form.AddMacro("Kept", {"Print('kept');"});
        Child<QComboBox>(form, "ComboBox7")->setCurrentIndex(1);
        Child<QComboBox>(form, "ComboBox1")->setCurrentText("/dev/ttyUSB7");
        Child<QComboBox>(form, "ComboBox2")->setCurrentIndex(serial::cbr115200);
        Child<QCheckBox>(form, "LoopCheck")->setChecked(true);
        Child<QLineEdit>(form, "IntervalEdit")->setText("250");
        form.Host().Log.Add("last line");
        form.close();
    }
    TDesktopSession session(Options(), "/nonexistent/portwell");
    TForm1& form = *session.Form();
    ASSERT_EQ(form.MacroCount(), 1);
    EXPECT_EQ(form.MacroTitle(1), "Kept");
    EXPECT_EQ(form.MacroLines(1), ksl::TStrings{"Print('kept');"});
    EXPECT_EQ(form.SelectedItem(), 1);
    EXPECT_EQ(Child<QComboBox>(form, "ComboBox1")->currentText(), "/dev/ttyUSB7");
    EXPECT_EQ(Child<QComboBox>(form, "ComboBox2")->currentText(), "115200");
    EXPECT_TRUE(Child<QCheckBox>(form, "LoopCheck")->isChecked());
    EXPECT_EQ(Child<QLineEdit>(form, "IntervalEdit")->text(), "250");
    EXPECT_TRUE(form.Host().Log.Lines().empty());
    EXPECT_EQ(LoadSettings(file).LogLines, ksl::TStrings{"last line"});
}

TEST_F(Session, EveryChangeToTheMacroListIsStoredAtOnce) {
    SaveSettings(file, WithMacros());
    TDesktopSession session(Options(), "/nonexistent/portwell");
    Child<QToolButton>(*session.Form(), "DeleteButton")->click();
    const TStoredState stored = LoadSettings(file);
    ASSERT_EQ(stored.Macros.size(), 1u);
    EXPECT_EQ(stored.Macros[0].Title, "A");
    EXPECT_EQ(stored.MacroIndex, 1);
}

TEST_F(Session, ASecondProgramOnTheSameFileEndsWithoutTouchingIt) {
    SaveSettings(file, WithMacros());
    const std::string before = testsupport::ReadWholeFile(file);
    TDesktopSession first(Options(), "/nonexistent/portwell");
    auto message = AnswerNextMessageBox();
    {
        TDesktopSession second(Options(), "/nonexistent/portwell");
        EXPECT_EQ(second.Form(), nullptr);
    }
    EXPECT_NE(message->text.find(file.string()), std::string::npos) << message->text;
    EXPECT_NE(message->text.find("another Portwell"), std::string::npos) << message->text;
    EXPECT_EQ(testsupport::ReadWholeFile(file), before);
}

TEST_F(Session, AnUnreadableFileIsSetAsideAndTheUserToldWhere) {
    testsupport::WriteWholeFile(file, "not a settings file");
    auto message = AnswerNextMessageBox();
    TDesktopSession session(Options(), "/nonexistent/portwell");
    ASSERT_NE(session.Form(), nullptr);
    EXPECT_EQ(session.Form()->MacroCount(), 0);
    const std::filesystem::path bad = file.string() + ".bad";
    EXPECT_EQ(testsupport::ReadWholeFile(bad), "not a settings file");
    EXPECT_NE(message->text.find(bad.string()), std::string::npos) << message->text;
}

TEST_F(Session, DefaultsIgnoreTheFileAndKeepACopyOfIt) {
    SaveSettings(file, WithMacros());
    TDesktopSession session(Options(true), "/nonexistent/portwell");
    EXPECT_EQ(session.Form()->MacroCount(), 0);
    EXPECT_EQ(LoadSettings(file.string() + ".bak").Macros.size(), 2u);
}

TEST_F(Session, AStoredMacroSurvivesAKill) {
    SaveSettings(file, WithMacros());
    testsupport::ChildOptions options;
    options.signal = SIGKILL;
    options.signalAfterOutput = "stored";
    const auto result = testsupport::RunChild({SESSION_CHILD_PATH, file.string()}, options);
    EXPECT_EQ(result.exitCode, 128 + SIGKILL) << result.err;
    const TStoredState stored = LoadSettings(file);
    ASSERT_EQ(stored.Macros.size(), 3u);
    EXPECT_EQ(stored.Macros[2].Title, "New Macro");
    EXPECT_EQ(stored.MacroIndex, 3);
}

TEST_F(Session, AStoredPlaceOffEveryScreenStaysInTheFileUntilTheNextSave) {
    TStoredState state = WithMacros();
    state.Left = 30000;
    state.Top = 20000;
    SaveSettings(file, state);
    TDesktopSession session(Options(), "/nonexistent/portwell");
    EXPECT_LT(session.Form()->x(), 30000);
    EXPECT_EQ(LoadSettings(file).Left, 30000);
    Child<QToolButton>(*session.Form(), "DeleteButton")->click();
    const int saved = LoadSettings(file).Left;
    EXPECT_TRUE(QGuiApplication::primaryScreen()->availableGeometry().contains(saved, 0)) << saved;
}

// Delete asks nothing; what it deletes can be imported again.
TEST_F(Session, ADeletedMacroIsKeptBesideTheFileAndImportsBack) {
    SaveSettings(file, WithMacros());
    {
        TDesktopSession session(Options(), "/nonexistent/portwell");
        Child<QToolButton>(*session.Form(), "DeleteButton")->click();
    }
    const std::filesystem::path copy = dir / "portwell.ini.deleted" / "B.ksl";
    EXPECT_EQ(testsupport::ReadWholeFile(copy), "Print('b');\n");
    ImportMacros(file, {copy.string()}, false);
    EXPECT_EQ(LoadSettings(file).Macros, WithMacros().Macros);
}

// Runs the real program, or the scenario child, on `file` and signals it once `ready` shows.
testsupport::ChildResult SignalWhen(std::vector<std::string> argv, int signal,
                                    const std::string& readyOnOutput,
                                    const std::string& readyOnErrors = "") {
    testsupport::ChildOptions options;
    options.environment = {"QT_QPA_PLATFORM=offscreen"};
    options.signal = signal;
    options.signalAfterOutput = readyOnOutput;
    options.signalAfterErrorOutput = readyOnErrors;
    options.timeout = std::chrono::seconds(30);
    return testsupport::RunChild(argv, options);
}

// A terminating signal does not wait for a person, and does not guess: the macro keeps what was
// stored, and the edit nobody confirmed is kept as a macro of its own.
TEST_F(Session, ASignalWhileTheEditorIsOpenKeepsTheStoredMacroAndTheEditAside) {
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
        SaveSettings(file, WithMacros());
        const auto r = SignalWhen({SESSION_CHILD_PATH, file.string(), "edit"}, signal, "editing");
        EXPECT_EQ(r.exitCode, 0) << signal << r.err;
        ASSERT_TRUE(r.endedAfterSignal) << signal << r.out << r.err;
        EXPECT_LT(*r.endedAfterSignal, std::chrono::seconds(2)) << signal;
        const TStoredState stored = LoadSettings(file);
        ASSERT_EQ(stored.Macros.size(), 3u) << signal;
        EXPECT_EQ(stored.Macros[0], WithMacros().Macros[0]) << signal;
        EXPECT_EQ(stored.Macros[2], (TMacro{"A (unsaved)", {"xPrint('a');"}})) << signal;
        EXPECT_EQ(r.out.find("dialog"), std::string::npos) << r.out;
    }
}

// Started from a terminal, it says why it ends there too; a signal closes its message box.
TEST_F(Session, ASecondProgramSaysWhyOnStandardErrorAndASignalEndsIt) {
    SaveSettings(file, WithMacros());
    const std::string before = testsupport::ReadWholeFile(file);
    TDesktopSession first(Options(), "/nonexistent/portwell");
    const auto r =
        SignalWhen({PORTWELL_PATH, "--settings", file.string()}, SIGTERM, "", "cannot lock");
    EXPECT_EQ(r.exitCode, 1) << r.err;
    ASSERT_TRUE(r.endedAfterSignal) << r.err;
    EXPECT_LT(*r.endedAfterSignal, std::chrono::seconds(2));
    EXPECT_NE(r.err.find(file.string()), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("another Portwell"), std::string::npos) << r.err;
    EXPECT_EQ(testsupport::ReadWholeFile(file), before);
}

TEST(SessionOnASmallDisk, ASignalEndsTheProgramWhileAFailedSaveIsShown) {
    testsupport::SmallFileSystem disk(256 * 1024);
    if (!disk.Mounted()) GTEST_SKIP() << disk.Why();
    const std::filesystem::path file = disk / "portwell.ini";
    TStoredState state;
    state.Macros = {{"A", {"Print('a');"}}};
    SaveSettings(file, state);
    const std::string before = testsupport::ReadWholeFile(file);
    disk.Fill();
    const auto r = SignalWhen({SESSION_CHILD_PATH, file.string()}, SIGTERM, "dialog:");
    EXPECT_NE(r.out.find("No space left on device"), std::string::npos) << r.out;
    EXPECT_EQ(r.exitCode, 1) << r.err; // what it held could not be saved
    ASSERT_TRUE(r.endedAfterSignal) << r.out << r.err;
    EXPECT_LT(*r.endedAfterSignal, std::chrono::seconds(2));
    EXPECT_EQ(testsupport::ReadWholeFile(file), before);
    for (const auto& entry : std::filesystem::directory_iterator(disk.Path()))
        EXPECT_EQ(entry.path().string().find(".tmp"), std::string::npos) << entry.path();
}

TEST(SessionOnASmallDisk, ASignalEndsTheProgramInAReadOnlyFolder) {
    testsupport::SmallFileSystem disk(64 * 1024);
    if (!disk.Mounted()) GTEST_SKIP() << disk.Why();
    const std::filesystem::path file = disk / "portwell.ini";
    SaveSettings(file, TStoredState{});
    ASSERT_TRUE(disk.MakeReadOnly());
    const auto r =
        SignalWhen({PORTWELL_PATH, "--settings", file.string()}, SIGTERM, "", "Read-only");
    EXPECT_EQ(r.exitCode, 1) << r.err;
    ASSERT_TRUE(r.endedAfterSignal) << r.err;
    EXPECT_LT(*r.endedAfterSignal, std::chrono::seconds(2));
    EXPECT_NE(r.err.find(file.string()), std::string::npos) << r.err;
}

} // namespace
