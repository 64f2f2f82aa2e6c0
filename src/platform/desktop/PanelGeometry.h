#pragma once

#include <QPoint>
#include <QRect>

#include <optional>
#include <vector>

class QScreen;

namespace platform {

// A screen as the desktop shares it out: its whole rectangle, the part that windows may use (what
// panels leave free) and how many device pixels make one of Qt's logical pixels on it.
struct ScreenArea {
    QRect geometry;
    QRect available;
    double devicePixelRatio = 1.0;
};

enum class ScreenEdge { Top, Bottom, Left, Right };

// The screens of a desktop and which one is the primary one.
struct Screens {
    std::vector<ScreenArea> areas;
    std::size_t primary = 0;
};

// A panel that the desktop keeps free of windows: the strip it takes from its screen.
struct Panel {
    std::size_t screen = 0;
    ScreenEdge edge = ScreenEdge::Top;
    QRect strip;
};

// The panel that most likely holds the tray, found from what the panels take from the screens
// (geometry minus available area): on the primary screen when it has one, else on the first screen
// that has one; on a screen with several, the top one before the bottom one before the side ones,
// as desktops with two panels put the tray on the top one. Nothing when no screen gives up room.
std::optional<Panel> trayPanel(const Screens& screens);

// Where on the panel the tray sits: a square as thick as the panel at the panel's end. Trays
// are put at the end of a panel by every desktop's default layout (the right end of a horizontal
// panel, the left one under a right-to-left layout, the bottom end of a vertical panel), so that
// corner is where a popover that cannot ask the tray belongs.
QRect trayCorner(const Panel& panel, Qt::LayoutDirection direction);

// Converts a position in the desktop's own pixels (what X11 and StatusNotifierItem hosts report)
// into Qt's logical coordinates on the screen that holds it. Each screen keeps its top left
// corner and scales the rest by its device pixel ratio. Nothing when no screen holds it.
std::optional<QPoint> fromDevicePixels(QPoint position, const Screens& screens);

// Where popovers hang from when the desktop tells nothing of the item's place: the tray corner of
// the tray panel, else the top right corner of the primary screen (a point-sized rectangle). Never
// the pointer: it is wherever the user happens to work.
QRect defaultTrayAnchor(const Screens& screens, Qt::LayoutDirection direction);

// The screens of the running application, in QGuiApplication::screens() order.
Screens currentScreens();

} // namespace platform
