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

QMargins frameMarginsFor(const QWidget& window)
{
    const QRect frame = window.frameGeometry();
    const QRect client = window.geometry();
    if (window.isVisible() && frame != client) {
        return { client.left() - frame.left(), client.top() - frame.top(), frame.right() - client.right(),
            frame.bottom() - client.bottom() };
    }
    return { 2, 32, 2, 2 };
}

QSize sizeFittingScreen(
    const QSize& preferred, const QSize& minimum, const QRect& available, const QMargins& frame)
{
    if (available.isEmpty()) {
        return preferred.expandedTo(minimum);
    }
    const QSize room(
        available.width() - frame.left() - frame.right(), available.height() - frame.top() - frame.bottom());
    return preferred.boundedTo(room).expandedTo(minimum);
}

void fitWindowToScreen(QWidget& window, const QSize& preferred)
{
    const QRect available = availableGeometryFor(window);
    const QMargins frame = frameMarginsFor(window);
    const QSize size = sizeFittingScreen(preferred, window.minimumSize(), available, frame);
    window.resize(size);
    if (available.isEmpty()) {
        return;
    }
    const QRect placed = clampFrameToScreen(QRect(window.pos(), size.grownBy(frame)), available);
    if (placed.topLeft() != window.pos()) {
        window.move(placed.topLeft());
    }
}

bool windowsFloatOnlyAtFixedSize()
{
    return QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
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
