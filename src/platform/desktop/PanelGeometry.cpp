#include "platform/desktop/PanelGeometry.h"

#include <QGuiApplication>
#include <QScreen>

#include <algorithm>
#include <cmath>

namespace platform {

namespace {

// The edge a screen's panel takes, by the order of trayPanel(); nothing when it takes none.
std::optional<Panel> panelOf(const ScreenArea& screen, std::size_t index)
{
    const QRect& whole = screen.geometry;
    const QRect& free = screen.available;
    if (!whole.isValid() || !free.isValid() || free == whole || !whole.contains(free)) {
        return std::nullopt;
    }
    const int top = free.top() - whole.top();
    const int bottom = whole.bottom() - free.bottom();
    const int left = free.left() - whole.left();
    const int right = whole.right() - free.right();
    if (top > 0) {
        return Panel { index, ScreenEdge::Top, QRect(whole.left(), whole.top(), whole.width(), top) };
    }
    if (bottom > 0) {
        return Panel { index, ScreenEdge::Bottom,
            QRect(whole.left(), free.bottom() + 1, whole.width(), bottom) };
    }
    if (right > 0) {
        return Panel { index, ScreenEdge::Right,
            QRect(free.right() + 1, whole.top(), right, whole.height()) };
    }
    if (left > 0) {
        return Panel { index, ScreenEdge::Left, QRect(whole.left(), whole.top(), left, whole.height()) };
    }
    return std::nullopt;
}

} // namespace

std::optional<Panel> trayPanel(const Screens& screens)
{
    if (screens.primary < screens.areas.size()) {
        if (auto panel = panelOf(screens.areas[screens.primary], screens.primary)) {
            return panel;
        }
    }
    for (std::size_t i = 0; i < screens.areas.size(); ++i) {
        if (auto panel = panelOf(screens.areas[i], i)) {
            return panel;
        }
    }
    return std::nullopt;
}

QRect trayCorner(const Panel& panel, Qt::LayoutDirection direction)
{
    const QRect& strip = panel.strip;
    switch (panel.edge) {
    case ScreenEdge::Top:
    case ScreenEdge::Bottom: {
        const int side = std::min(strip.height(), strip.width());
        const int x = direction == Qt::RightToLeft ? strip.left() : strip.right() + 1 - side;
        return QRect(x, strip.top(), side, strip.height());
    }
    case ScreenEdge::Left:
    case ScreenEdge::Right: {
        const int side = std::min(strip.width(), strip.height());
        return QRect(strip.left(), strip.bottom() + 1 - side, strip.width(), side);
    }
    }
    return strip;
}

QRect defaultTrayAnchor(const Screens& screens, Qt::LayoutDirection direction)
{
    if (const auto panel = trayPanel(screens)) {
        return trayCorner(*panel, direction);
    }
    if (screens.primary < screens.areas.size()) {
        const QRect area = screens.areas[screens.primary].geometry;
        return QRect(QPoint(area.right(), area.top()), QSize(1, 1));
    }
    return QRect(0, 0, 1, 1);
}

std::optional<QPoint> fromDevicePixels(QPoint position, const Screens& screens)
{
    for (const ScreenArea& screen : screens.areas) {
        const double ratio = screen.devicePixelRatio > 0 ? screen.devicePixelRatio : 1.0;
        const QPoint origin = screen.geometry.topLeft();
        const QRect native(origin,
            QSize(static_cast<int>(std::lround(screen.geometry.width() * ratio)),
                static_cast<int>(std::lround(screen.geometry.height() * ratio))));
        if (native.contains(position)) {
            const QPoint within = position - origin;
            return origin
                + QPoint(static_cast<int>(std::floor(within.x() / ratio)),
                    static_cast<int>(std::floor(within.y() / ratio)));
        }
    }
    return std::nullopt;
}

Screens currentScreens()
{
    Screens result;
    const QScreen* primary = QGuiApplication::primaryScreen();
    for (const QScreen* screen : QGuiApplication::screens()) {
        if (screen == primary) {
            result.primary = result.areas.size();
        }
        result.areas.push_back(
            ScreenArea { screen->geometry(), screen->availableGeometry(), screen->devicePixelRatio() });
    }
    return result;
}

} // namespace platform
