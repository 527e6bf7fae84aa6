#include "portwell/gui/WindowPlacement.h"

#include <algorithm>
#include <limits>

namespace portwell::gui {

namespace {

// The strip a user grabs to move a window, and how much of it must be on a screen.
constexpr int TopStripHeight = 24;
constexpr int GrabbableWidth = 64;
constexpr int GrabbableHeight = 8;

bool Grabbable(const QRect& window, const QRect& screen) {
    const QRect strip(window.left(), window.top(), window.width(), TopStripHeight);
    const QRect onScreen = strip.intersected(screen);
    return onScreen.width() >= std::min(GrabbableWidth, window.width()) &&
           onScreen.height() >= GrabbableHeight;
}

// The distance between two rectangles, squared; 0 when they meet.
long long DistanceSquared(const QRect& a, const QRect& b) {
    const long long dx = std::max({0, b.left() - a.right(), a.left() - b.right()});
    const long long dy = std::max({0, b.top() - a.bottom(), a.top() - b.bottom()});
    return dx * dx + dy * dy;
}

QRect Nearest(const QRect& window, const QList<QRect>& screens) {
    QRect nearest = screens.front();
    long long best = std::numeric_limits<long long>::max();
    for (const QRect& screen : screens)
        if (const long long distance = DistanceSquared(window, screen); distance < best) {
            best = distance;
            nearest = screen;
        }
    return nearest;
}

// A window larger than the screen keeps its top left corner on it.
int Clamped(int position, int size, int low, int screenSize) {
    return std::max(low, std::min(position, low + screenSize - size));
}

} // namespace

QPoint ReachablePosition(const QRect& window, const QList<QRect>& screens) {
    if (screens.isEmpty()) return window.topLeft();
    for (const QRect& screen : screens)
        if (Grabbable(window, screen)) return window.topLeft();
    const QRect screen = Nearest(window, screens);
    return {Clamped(window.x(), window.width(), screen.x(), screen.width()),
            Clamped(window.y(), window.height(), screen.y(), screen.height())};
}

} // namespace portwell::gui
