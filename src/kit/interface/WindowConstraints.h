#pragma once

#include <QMargins>
#include <QRect>
#include <QSize>

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

// The window decorations' allowance: the real margins once a window manager has framed the
// window, else a typical title bar and border.
QMargins frameMarginsFor(const QWidget& window);

// The size of a window's client area that shows `preferred` where the screen's available area
// (less the frame) allows it, and never less than `minimum`.
QSize sizeFittingScreen(
    const QSize& preferred, const QSize& minimum, const QRect& available, const QMargins& frame);

// Resizes a top-level window to `preferred` as far as its screen allows (see sizeFittingScreen)
// and moves it back inside the screen's available area when it runs over an edge.
void fitWindowToScreen(QWidget& window, const QSize& preferred);

// Whether a window keeps a size of its own only by fixing it: on Wayland the compositor sizes and
// places windows, and a tiling one (sway) tiles every window whose size may change, across half
// the workspace or all of it, while it floats one whose size is fixed.
bool windowsFloatOnlyAtFixedSize();

// The available geometry of the screen a window is on (or of the primary screen), null without
// any screen.
QRect availableGeometryFor(const QWidget& window);

} // namespace zk
