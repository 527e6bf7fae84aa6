#include "portwell/gui/IntervalText.h"

#include <gtest/gtest.h>

using namespace portwell::gui;

namespace {

struct IntervalCase {
    const char* typed;
    const char* shown;
};

// The field had "1000" when it got the focus.
TEST(IntervalText, WhatTheFieldShowsAfterAChange) {
    const IntervalCase cases[] = {
        {"abc", "1000"},
        {"-5", "1000"},
        {"", "0"},
        {"007", "7"},
        {"$10", "16"},
        {"0", "0"},
        {"2147483647", "2147483647"},
        {"2147483648", "1000"},
        {"$", "1000"},
        {"0x1f", "31"},
        {"+12", "12"},
        {"12a", "1000"},
        {" 5", "1000"},
        {"-0", "0"},
    };
    for (const IntervalCase& c : cases)
        EXPECT_EQ(ValidatedInterval(c.typed, "1000"), c.shown) << "typed \"" << c.typed << '"';
}

TEST(IntervalText, ThePauseALoopReads) {
    EXPECT_EQ(IntervalMilliseconds("250"), 250);
    EXPECT_EQ(IntervalMilliseconds("$FF"), 255);
    EXPECT_EQ(IntervalMilliseconds("abc"), 0);
    EXPECT_EQ(IntervalMilliseconds("-20"), 0);
}

TEST(IntervalText, ParsesOnly32BitIntegers) {
    EXPECT_EQ(ParseInteger("-2147483648"), INT32_MIN);
    EXPECT_EQ(ParseInteger("-2147483649"), std::nullopt);
    EXPECT_EQ(ParseInteger("$FFFFFFFF"), std::nullopt);
    EXPECT_EQ(ParseInteger("99999999999999999999999"), std::nullopt);
    EXPECT_EQ(ParseInteger("-"), std::nullopt);
}

} // namespace
