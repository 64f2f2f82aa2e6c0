#include "kit/interface/WindowUtilities.h"

#include <QPixmap>
#include <QWidget>

namespace zk {

void setWindowLevel(QWidget& window, WindowLevel level)
{
    const bool floating = level == WindowLevel::floating;
    if (window.windowFlags().testFlag(Qt::WindowStaysOnTopHint) == floating) {
        return;
    }
    const bool wasVisible = window.isVisible();
    window.setWindowFlag(Qt::WindowStaysOnTopHint, floating);
    if (wasVisible) {
        window.show();
    }
}

WindowLevel windowLevel(const QWidget& window)
{
    return window.windowFlags().testFlag(Qt::WindowStaysOnTopHint) ? WindowLevel::floating
                                                                   : WindowLevel::normal;
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
