#pragma once

#include <QRect>

class QScreen;
class QWidget;

namespace zk {

// Fits a proposed frame into `screen` (a screen's available geometry, its origin included, so a
// second screen placed anywhere works): a frame at least as wide (high) as the screen gets the
// screen's width (height) and its left (top) edge; a frame running off the right or bottom edge is
// moved back; the left and top edges never go before the screen's.
QRect clampFrameToScreen(const QRect& proposed, const QRect& screen);

// What a window that may not cover the desktop's panels gets: its top edge moved down to the
// top of the available area when it starts above it. Other edges are the user's to place.
QRect constrainFrameBelowPanels(const QRect& proposed, const QRect& available);

// The available geometry of the screen a window is on (or of the primary screen), null without
// any screen.
QRect availableGeometryFor(const QWidget& window);

} // namespace zk
