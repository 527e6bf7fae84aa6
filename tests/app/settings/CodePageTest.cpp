#include "portwell/settings/CodePage.h"

#include "portwell/settings/ExtendedReal.h"

#include <bit>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>

using namespace portwell::settings;

namespace {

TEST(CodePage, ValidUtf8IsStrict) {
    const struct {
        std::string bytes;
        bool valid;
    } cases[] = {
        {"", true},
        {"plain", true},
        {"（New File）", true},
        {"\xF0\x9F\x98\x80", true},  // U+1F600
        {"\xC0\xAF", false},         // overlong "/"
        {"\xE0\x80\xAF", false},     // overlong
        {"\xED\xA0\x80", false},     // a surrogate
        {"\xF4\x90\x80\x80", false}, // beyond U+10FFFF
        {"\xE3\x83", false},         // cut short
        {"\x83\x65\x83\x58", false}, // Shift-JIS
        {"\x80", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsValidUtf8(c.bytes), c.valid) << c.bytes;
}

std::string Units(std::initializer_list<uint16_t> units) {
    std::string bytes;
    for (uint16_t u : units) {
        bytes += char(u & 0xFF);
        bytes += char(u >> 8);
    }
    return bytes;
}

TEST(CodePage, Utf16JoinsPairsAndReplacesLoneSurrogates) {
    const struct {
        std::string units;
        std::string utf8;
    } cases[] = {
        {Units({'A', 0x00E9, 0x30DD}), "Aéポ"},
        {Units({0xD83D, 0xDE00}), "😀"},
        {Units({0xD83D}), "\uFFFD"},
        {Units({0xDE00, 'x'}), "\uFFFDx"},
        {Units({0xD83D, 'x', 0xDE00}), "\uFFFDx\uFFFD"},
        {Units({0}), std::string(1, '\0')},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Utf16LeToUtf8(c.units), c.utf8);
}

TEST(CodePage, ShiftJisBecomesUtf8) {
    EXPECT_EQ(ShiftJisToUtf8("\x83\x65\x83\x58\x83\x67"), "テスト");
    EXPECT_EQ(ShiftJisToUtf8("\x82\xA0\x87\x40\xB1"), "あ①ｱ"); // with an NEC extension, half-width
    EXPECT_EQ(ShiftJisToUtf8("\x81\x20"), std::nullopt);
    EXPECT_EQ(ShiftJisToUtf8("\x81"), std::nullopt);
}

TExtendedBytes Extended(uint64_t mantissa, uint16_t signAndExponent) {
    TExtendedBytes bytes;
    for (int i = 0; i < 8; ++i)
        bytes[i] = uint8_t(mantissa >> (8 * i));
    bytes[8] = uint8_t(signAndExponent);
    bytes[9] = uint8_t(signAndExponent >> 8);
    return bytes;
}

constexpr uint64_t kOne = uint64_t(1) << 63;

TEST(ExtendedReal, ConvertsBothWaysExactlyWhereDoubleCan) {
    const double denormMin = std::numeric_limits<double>::denorm_min();
    const struct {
        TExtendedBytes bytes;
        double value;
    } cases[] = {
        {Extended(0, 0), 0.0},
        {Extended(0, 0x8000), -0.0},
        {Extended(kOne, 0x3FFF), 1.0},
        {Extended(kOne | kOne >> 1, 0xC000), -3.0},
        {Extended(kOne, 0x3FFF - 1022), std::numeric_limits<double>::min()},
        {Extended(kOne, 0x3FFF - 1074), denormMin},
        {Extended(0xFFFFFFFFFFFFF800, 0x3FFF + 1023), std::numeric_limits<double>::max()},
        {Extended(kOne, 0x7FFF), INFINITY},
        {Extended(kOne, 0xFFFF), -INFINITY},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(std::bit_cast<uint64_t>(ExtendedToDouble(c.bytes)),
                  std::bit_cast<uint64_t>(c.value))
            << c.value;
        EXPECT_EQ(DoubleToExtended(c.value), c.bytes) << c.value;
    }
}

TEST(ExtendedReal, RoundsToTheNearestDouble) {
    const double denormMin = std::numeric_limits<double>::denorm_min();
    const struct {
        TExtendedBytes bytes;
        double value;
    } cases[] = {
        {Extended(kOne | 0x400, 0x3FFF), 1.0},                      // half an ulp: to even
        {Extended(kOne | 0xC00, 0x3FFF), 1.0 + 2 * 0x1p-52},        // half an ulp: to even
        {Extended(kOne | 0x401, 0x3FFF), 1.0 + 0x1p-52},            // above half
        {Extended(kOne, 0x3FFF - 1075), 0.0},                       // half the least: even
        {Extended(kOne | 1, 0x3FFF - 1075), denormMin},             // above half the least
        {Extended(kOne, 0x3FFF - 1076), 0.0},                       // far below
        {Extended(kOne | kOne >> 1, 0x3FFF - 1074), 2 * denormMin}, // 1.5 least: to even
        {Extended(kOne, 0x3FFF + 1024), INFINITY},                  // beyond double
        {Extended(kOne >> 1, 0x3FFF), 0.5},                         // an unnormal
        {Extended(kOne >> 1, 0), 0.0},                              // a denormal: 2^-16383
        {Extended(0xFFFFFFFFFFFFFFFF, 0x3FFF), 2.0},                // rounds up a binade
    };
    for (const auto& c : cases)
        EXPECT_EQ(ExtendedToDouble(c.bytes), c.value) << c.value;
}

TEST(ExtendedReal, NaNsKeepTheirPayloadAndStayNaN) {
    const double nan = std::bit_cast<double>(uint64_t(0x7FF8000000000123));
    EXPECT_EQ(std::bit_cast<uint64_t>(ExtendedToDouble(DoubleToExtended(nan))),
              0x7FF8000000000123u);
    // A payload only in the bits double cannot hold still reads as a NaN.
    EXPECT_TRUE(std::isnan(ExtendedToDouble(Extended(kOne | 1, 0x7FFF))));
}

} // namespace
