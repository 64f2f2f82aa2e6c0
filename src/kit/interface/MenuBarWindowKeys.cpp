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
    if (event.key() == Qt::Key_W) {
        event.accept();
        window.close();
        return true;
    }
    if (event.key() == Qt::Key_M) {
        event.accept();
        window.showMinimized();
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
