#include "kit/interface/MenuBarWindowKeys.h"

#include <QKeyEvent>
#include <QWidget>

namespace zk {

bool handleMenuBarWindowKey(QWidget& window, QKeyEvent& event)
{
    const Qt::KeyboardModifiers modifiers = event.modifiers() & ~Qt::KeypadModifier;
    if (modifiers != Qt::ControlModifier) {
        return false;
    }
    // Only what the window's own buttons offer: a window without a close button is not closed by
    // a key either, and a window without a minimise button may have nothing (no task list, no
    // dock) that brings it back once minimised.
    const Qt::WindowFlags flags = window.windowFlags();
    const bool hasButtons = !flags.testFlag(Qt::FramelessWindowHint);
    if (event.key() == Qt::Key_W) {
        if (hasButtons && flags.testFlag(Qt::WindowCloseButtonHint)) {
            window.close();
        }
        event.accept();
        return true;
    }
    if (event.key() == Qt::Key_M) {
        if (hasButtons && flags.testFlag(Qt::WindowMinimizeButtonHint)) {
            window.showMinimized();
        }
        event.accept();
        return true;
    }
    return false;
}

bool closeOnEscapeKey(QWidget& window, QKeyEvent& event)
{
    if (event.key() != Qt::Key_Escape || (event.modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier) {
        return false;
    }
    event.accept();
    window.close();
    return true;
}

} // namespace zk
