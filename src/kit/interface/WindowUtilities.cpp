#include "kit/interface/WindowUtilities.h"

#include <QApplication>
#include <QPixmap>
#include <QWidget>

namespace zk {

namespace {

const QWidget* parentWindow(const QWidget& window)
{
    return window.parentWidget() ? window.parentWidget()->window() : nullptr;
}

// Whether `ancestor` is `window` or a window it was opened from, at any remove.
bool isWindowOrOpenerOf(const QWidget* ancestor, const QWidget& window)
{
    for (const QWidget* current = &window; current; current = parentWindow(*current)) {
        if (current == ancestor) {
            return true;
        }
    }
    return false;
}

// Qt's rule: a modal window leaves its own windows (those opened from it) free; an
// application-modal one blocks every other window, a window-modal one the windows it was opened
// from and every window opened from those.
bool blocks(const QWidget& modal, const QWidget& window)
{
    if (!modal.isVisible() || !modal.isModal() || isWindowOrOpenerOf(&modal, window)) {
        return false;
    }
    if (modal.windowModality() == Qt::ApplicationModal) {
        return true;
    }
    for (const QWidget* opener = parentWindow(modal); opener; opener = parentWindow(*opener)) {
        if (isWindowOrOpenerOf(opener, window)) {
            return true;
        }
    }
    return false;
}

QWidget* modalBlocking(const QWidget& window)
{
    // The most recent modal window is on top: nothing opened before it keeps input from it.
    QWidget* active = QApplication::activeModalWidget();
    if (active == &window) {
        return nullptr;
    }
    if (active && blocks(*active, window)) {
        return active;
    }
    for (QWidget* candidate : QApplication::topLevelWidgets()) {
        if (blocks(*candidate, window)) {
            return candidate;
        }
    }
    return nullptr;
}

} // namespace

QWidget& windowTakingInput(QWidget& window)
{
    QWidget* target = &window;
    // Each step goes to a window opened later, up to the most recent modal one; the bound only
    // guards against a cycle the rules above do not foresee.
    for (int step = 0; step < 16; ++step) {
        QWidget* blocker = modalBlocking(*target);
        if (!blocker) {
            break;
        }
        target = blocker;
    }
    return *target;
}

void activate(QWidget& window)
{
    window.raise();
    QWidget& target = windowTakingInput(window);
    if (&target != &window) {
        target.raise();
    }
    target.activateWindow();
}

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
    activate(window);
}

QImage snapshotImage(QWidget& window)
{
    return window.grab().toImage();
}

} // namespace zk
