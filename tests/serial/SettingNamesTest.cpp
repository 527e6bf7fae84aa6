#include "serial/SettingNames.h"

#include <gtest/gtest.h>
#include <set>
#include <string>
#include <vector>

using namespace serial;

namespace {

template <typename E> std::vector<std::string> Names(TNameKind kind) {
    std::vector<std::string> names;
    for (const TSettingName& row : SettingNames<E>().All())
        names.emplace_back(NameOf(row, kind));
    return names;
}

using Texts = std::vector<std::string>;

// The lists of the main window, item for item: the item index is the ordinal.
TEST(SettingNames, CaptionsAreTheMainWindowsListsInOrdinalOrder) {
    EXPECT_EQ(Names<TBaudRate>(TNameKind::Caption),
              (Texts{"110", "300", "600", "1200", "2400", "4800", "9600", "14400", "19200", "38400",
                     "56000", "57600", "115200", "128000", "256000"}));
    EXPECT_EQ(Names<TDatabits>(TNameKind::Caption),
              (Texts{"4bit", "5bit", "6bit", "7bit", "8bit"}));
    EXPECT_EQ(Names<TStopbits>(TNameKind::Caption), (Texts{"1.0bit", "1.5bit", "2.0bit"}));
    EXPECT_EQ(Names<TParity>(TNameKind::Caption), (Texts{"None", "Odd", "Even", "Mark", "Space"}));
    EXPECT_EQ(Names<TFlowControl>(TNameKind::Caption),
              (Texts{"None", "CTS/RTS", "DTR/ETR", "Software", "Default"}));
}

TEST(SettingNames, OptionsAreTheNumbersTheLineIsProgrammedWith) {
    for (size_t i = 0; i < CommBaudRates.size(); ++i)
        EXPECT_EQ(Names<TBaudRate>(TNameKind::Option)[i], std::to_string(CommBaudRates[i]));
    for (size_t i = 0; i < CommDataBits.size(); ++i)
        EXPECT_EQ(Names<TDatabits>(TNameKind::Option)[i], std::to_string(CommDataBits[i]));
    EXPECT_EQ(Names<TStopbits>(TNameKind::Option), (Texts{"1", "1.5", "2"}));
}

TEST(SettingNames, EachNameFindsTheValueItBelongsTo) {
    struct Case {
        const char* name;
        std::optional<int> found;
        int expected;
    } cases[] = {
        {"9600", FindSetting<TBaudRate>(TNameKind::Option, "9600"), cbr9600},
        {"256000", FindSetting<TBaudRate>(TNameKind::Caption, "256000"), cbr256000},
        {"cbr110", FindSetting<TBaudRate>(TNameKind::Identifier, "cbr110"), cbr110},
        {"7bit", FindSetting<TDatabits>(TNameKind::Caption, "7bit"), da7},
        {"1.5", FindSetting<TStopbits>(TNameKind::Option, "1.5"), sb15},
        {"sb20", FindSetting<TStopbits>(TNameKind::Identifier, "sb20"), sb20},
        {"Mark", FindSetting<TParity>(TNameKind::Caption, "Mark"), paMark},
        {"space", FindSetting<TParity>(TNameKind::Option, "space"), paSpace},
        {"DTR/ETR", FindSetting<TFlowControl>(TNameKind::Caption, "DTR/ETR"), fcDTR},
        {"fcSoftware", FindSetting<TFlowControl>(TNameKind::Identifier, "fcSoftware"), fcSoftware},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(c.found.has_value()) << c.name;
        EXPECT_EQ(*c.found, c.expected) << c.name;
    }
}

TEST(SettingNames, NamesAreComparedExactlyAndWithinTheirKind) {
    EXPECT_FALSE(FindSetting<TParity>(TNameKind::Option, "None"));
    EXPECT_FALSE(FindSetting<TParity>(TNameKind::Caption, "none"));
    EXPECT_FALSE(FindSetting<TParity>(TNameKind::Identifier, "None"));
    EXPECT_FALSE(FindSetting<TBaudRate>(TNameKind::Option, "9600 "));
    EXPECT_FALSE(FindSetting<TBaudRate>(TNameKind::Option, ""));
    EXPECT_FALSE(FindSetting<TStopbits>(TNameKind::Option, "1.0"));
}

TEST(SettingNames, AnOrdinalOutsideTheEnumerationHasNoNames) {
    EXPECT_EQ(SettingNames<TBaudRate>().At(-1), nullptr);
    EXPECT_EQ(SettingNames<TBaudRate>().At(15), nullptr);
    EXPECT_EQ(NamesOf(TFlowControl(5)), nullptr);
    ASSERT_NE(NamesOf(fcDefault), nullptr);
    EXPECT_EQ(NamesOf(fcDefault)->Identifier, "fcDefault");
    EXPECT_EQ(NamesOf(da4)->Caption, "4bit");
}

template <typename E> void ExpectDistinctNames(const char* setting) {
    for (TNameKind kind : {TNameKind::Option, TNameKind::Caption, TNameKind::Identifier}) {
        const Texts names = Names<E>(kind);
        EXPECT_EQ(std::set<std::string>(names.begin(), names.end()).size(), names.size())
            << setting;
    }
}

TEST(SettingNames, NoTwoValuesOfASettingShareAName) {
    ExpectDistinctNames<TBaudRate>("baud rate");
    ExpectDistinctNames<TDatabits>("data bits");
    ExpectDistinctNames<TStopbits>("stop bits");
    ExpectDistinctNames<TParity>("parity");
    ExpectDistinctNames<TFlowControl>("flow control");
}

} // namespace
