#include "kit/interface/WindowUtilities.h"

#include <QPixmap>
#include <QWidget>

namespace zk {

void setWindowLevel(QWidget& window, WindowLevel level)
{
    if (windowLevel(window) == level) {
        return;
    }
    const bool wasVisible = window.isVisible();
    window.setWindowFlag(Qt::WindowStaysOnTopHint, level == WindowLevel::floating);
    window.setWindowFlag(Qt::WindowStaysOnBottomHint, level == WindowLevel::below);
    if (wasVisible) {
        window.show();
    }
}

WindowLevel windowLevel(const QWidget& window)
{
    if (window.windowFlags().testFlag(Qt::WindowStaysOnTopHint)) {
        return WindowLevel::floating;
    }
    return window.windowFlags().testFlag(Qt::WindowStaysOnBottomHint) ? WindowLevel::below
                                                                      : WindowLevel::normal;
}

WindowLevel windowLevel(ExtraWindowLevel level)
{
    switch (level) {
    case ExtraWindowLevel::desktop:
    case ExtraWindowLevel::desktopIcon:
    case ExtraWindowLevel::minimum:
    case ExtraWindowLevel::backstopMenu:
        return WindowLevel::below;
    case ExtraWindowLevel::dragging:
    case ExtraWindowLevel::overlay:
    case ExtraWindowLevel::help:
    case ExtraWindowLevel::utility:
    case ExtraWindowLevel::assistiveTechHigh:
    case ExtraWindowLevel::shielding:
    case ExtraWindowLevel::cursor:
    case ExtraWindowLevel::maximum:
        return WindowLevel::floating;
    }
    return WindowLevel::floating;
}

void toggle(QWidget& window)
{
    if (window.isVisible() && window.isActiveWindow()) {
        window.close();
        return;
    }
    window.show();
    window.raise();
    window.activateWindow();
}

QImage snapshotImage(QWidget& window)
{
    return window.grab().toImage();
}

} // namespace zk
