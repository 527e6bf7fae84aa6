#include "portwell/gui/WindowPlacement.h"

#include <gtest/gtest.h>

using portwell::gui::ReachablePosition;

namespace {

TEST(WindowPlacement, AWindowOffEveryScreenMovesOntoTheNearestOne) {
    const QRect laptop(0, 0, 1280, 800), monitor(1280, 0, 1920, 1080);
    struct Case {
        QRect window;
        QList<QRect> screens;
        QPoint expected;
    } cases[] = {
        {{260, 138, 512, 300}, {laptop}, {260, 138}},            // on the screen
        {{3000, 2000, 512, 300}, {laptop}, {768, 500}},          // far beyond it
        {{-600, 100, 512, 300}, {laptop}, {0, 100}},             // left of it
        {{100, -200, 512, 300}, {laptop}, {100, 0}},             // its top above the screen
        {{1000, 100, 512, 300}, {laptop}, {1000, 100}},          // partly off, still grabbable
        {{1240, 100, 512, 300}, {laptop}, {768, 100}},           // 40 pixels on: too little to grab
        {{100, 796, 512, 300}, {laptop}, {100, 500}},            // only its top 4 pixels show
        {{1500, 100, 512, 300}, {laptop, monitor}, {1500, 100}}, // on the second monitor
        {{3500, 100, 512, 300}, {laptop, monitor}, {2688, 100}}, // beyond it
        {{0, 0, 2000, 1500}, {{10, 20, 1280, 800}}, {10, 20}},   // larger: its corner on it
        {{3000, 2000, 512, 300}, {}, {3000, 2000}},              // no screen to go to
    };
    for (const Case& c : cases)
        EXPECT_EQ(ReachablePosition(c.window, c.screens), c.expected)
            << c.window.x() << "," << c.window.y();
}

} // namespace
