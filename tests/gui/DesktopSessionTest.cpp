#include "portwell/gui/DesktopSession.h"

#include "ChildProcess.h"
#include "FileText.h"
#include "GuiTestSupport.h"
#include "TempDir.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QToolButton>

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

} // namespace
