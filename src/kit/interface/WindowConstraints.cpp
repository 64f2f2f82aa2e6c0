#include "kit/interface/WindowConstraints.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <algorithm>

namespace zk {

QRect clampFrameToScreen(const QRect& proposed, const QRect& screen)
{
    int x = proposed.x();
    int y = proposed.y();
    int width = proposed.width();
    int height = proposed.height();
    if (width >= screen.width()) {
        width = screen.width();
        x = screen.x();
    }
    if (height >= screen.height()) {
        height = screen.height();
        y = screen.y();
    }
    if (x + width > screen.x() + screen.width()) {
        x = screen.x() + screen.width() - width;
    }
    if (y + height > screen.y() + screen.height()) {
        y = screen.y() + screen.height() - height;
    }
    return { std::max(screen.x(), x), std::max(screen.y(), y), width, height };
}

QRect constrainFrameBelowPanels(const QRect& proposed, const QRect& available)
{
    if (available.isNull() || proposed.top() >= available.top()) {
        return proposed;
    }
    return proposed.translated(0, available.top() - proposed.top());
}

QRect availableGeometryFor(const QWidget& window)
{
    const QScreen* screen = window.screen();
    if (!screen) {
        screen = QGuiApplication::primaryScreen();
    }
    return screen ? screen->availableGeometry() : QRect();
}

} // namespace zk
