// Reals are read and written with "." whatever locale the process runs under. A German locale
// (decimal comma) is the test; when none is installed, one is compiled into a private directory.
#include "ScriptHarness.h"

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>

using ksltest::Script;

namespace {

namespace fs = std::filesystem;

// Whether the C library formats reals with a decimal comma right now.
bool DecimalCommaActive() {
    char text[16];
    std::snprintf(text, sizeof text, "%.1f", 2.5);
    return std::string(text) == "2,5";
}

fs::path MakeTemporaryDirectory() {
    std::string pattern = (fs::temp_directory_path() / "ksl-test-XXXXXX").string();
    return mkdtemp(pattern.data()) ? fs::path(pattern) : fs::path();
}

// Switches the whole process to a locale and back.
class ScopedLocale {
public:
    explicit ScopedLocale(const std::string& name) : previous(std::setlocale(LC_ALL, nullptr)) {
        active = std::setlocale(LC_ALL, name.c_str()) != nullptr;
    }
    ~ScopedLocale() { std::setlocale(LC_ALL, previous.c_str()); }
    ScopedLocale(const ScopedLocale&) = delete;
    ScopedLocale& operator=(const ScopedLocale&) = delete;
    bool active;

private:
    std::string previous;
};

// A locale whose decimal separator is a comma, or an empty name when there is none to be had.
class CommaLocale {
public:
    CommaLocale() {
        for (const char* candidate : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "nl_NL.UTF-8"})
            if (Usable(candidate)) {
                name = candidate;
                return;
            }
        Compile();
    }
    ~CommaLocale() {
        if (localeDirectory.empty()) return;
        unsetenv("LOCPATH");
        std::error_code ignored;
        fs::remove_all(localeDirectory, ignored);
    }
    CommaLocale(const CommaLocale&) = delete;
    CommaLocale& operator=(const CommaLocale&) = delete;

    std::string name;
    fs::path localeDirectory; // set when the locale was compiled here

private:
    static bool Usable(const std::string& candidate) {
        ScopedLocale locale(candidate);
        return locale.active && DecimalCommaActive();
    }

    void Compile() {
        const fs::path directory = MakeTemporaryDirectory();
        if (directory.empty()) return;
        const std::string command = "localedef -i de_DE -f UTF-8 '" +
                                    (directory / "de_DE.UTF-8").string() + "' >/dev/null 2>&1";
        (void)std::system(
            command.c_str()); // warnings make it exit non-zero; the test below decides
        setenv("LOCPATH", directory.c_str(), 1);
        localeDirectory = directory;
        if (Usable("de_DE.UTF-8")) name = "de_DE.UTF-8";
    }
};

const char* const NoCommaLocale =
    "no locale with a decimal comma is installed and localedef could not compile de_DE; "
    "conversions are still tested under the C locale by the built-in function tests";

const std::string RealProgram =
    "var r: real; t, u: string; i: integer; begin r := StrToFloat('2.5') + 2.25; "
    "t := FloatToStr(r); u := FloatToStr(('0.5') * 3 + 1.25e1); i := Trunc(StrToFloat('2,5')) "
    "end";

TEST(Locale, ScriptsKeepTheDecimalDotUnderACommaLocale) {
    CommaLocale comma;
    if (comma.name.empty()) GTEST_SKIP() << NoCommaLocale;
    ScopedLocale german(comma.name);
    ASSERT_TRUE(german.active && DecimalCommaActive()) << comma.name;
    Script s;
    ASSERT_EQ(s.Run(RealProgram), "");
    EXPECT_EQ(s.Real("r"), 4.75);
    EXPECT_EQ(s.Str("t"), "4.75");
    EXPECT_EQ(s.Str("u"), "14");
    EXPECT_EQ(s.Int("i"), 0); // a comma is no decimal separator in a script
}

TEST(Locale, TheRunnerStartedUnderACommaLocaleReadsTwoPointFive) {
    CommaLocale comma;
    if (comma.name.empty()) GTEST_SKIP() << NoCommaLocale;
    const fs::path directory = MakeTemporaryDirectory();
    ASSERT_FALSE(directory.empty());
    const fs::path script = directory / "reals.ksl";
    std::ofstream(script) << RealProgram << "\n";
    std::string command = "LC_ALL=" + comma.name + " ";
    if (!comma.localeDirectory.empty())
        command += "LOCPATH='" + comma.localeDirectory.string() + "' ";
    command += "'" KSL_RUNNER "' --vars '" + script.string() + "' 2>&1";
    std::string output;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, pipe))
            output += buffer;
        EXPECT_EQ(pclose(pipe), 0) << output;
    }
    fs::remove_all(directory);
    EXPECT_EQ(output, "i=0\nr=4.75\nt='4.75'\nu='14'\n");
}

} // namespace
