#pragma once
// Where a window stored at a position may open: a position off every screen (a monitor unplugged
// since, a file from a larger desktop) would open it where nobody can see or grab it.
#include <QList>
#include <QPoint>
#include <QRect>

namespace portwell::gui {

// `window`'s position when a grabbable part of its top strip lies on one of `screens` (their
// available geometries); otherwise the nearest position that puts it on the nearest screen,
// whole when it fits. With no screen, the position as it is.
QPoint ReachablePosition(const QRect& window, const QList<QRect>& screens);

} // namespace portwell::gui
