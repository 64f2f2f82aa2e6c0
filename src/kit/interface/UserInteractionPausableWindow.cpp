#include "kit/interface/UserInteractionPausableWindow.h"

#include "kit/interface/Accessibility.h"
#include "kit/interface/KeyDescriptions.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWindow>

namespace zk {

UserInteractionPausableWindow::UserInteractionPausableWindow(QWidget* parent)
    : QWidget(parent, Qt::Window)
{
    installAccessibility();
}

UserInteractionPausableWindow::~UserInteractionPausableWindow()
{
    setUserInteractionEnabled(true);
}

void UserInteractionPausableWindow::setUserInteractionEnabled(bool enabled)
{
    if (enabled == m_isUserInteractionEnabled || !QCoreApplication::instance()) {
        m_isUserInteractionEnabled = enabled;
        return;
    }
    m_isUserInteractionEnabled = enabled;
    // Input reaches the native window before any widget, and shortcuts are looked up on its way:
    // only an application-wide filter sees it early enough to drop it.
    if (enabled) {
        QCoreApplication::instance()->removeEventFilter(this);
    } else {
        QCoreApplication::instance()->installEventFilter(this);
    }
}

const std::set<QEvent::Type>& UserInteractionPausableWindow::droppedEventTypes()
{
    static const std::set<QEvent::Type> types {
        QEvent::MouseButtonPress,
        QEvent::MouseButtonRelease,
        QEvent::MouseButtonDblClick,
        QEvent::KeyPress,
        QEvent::KeyRelease,
        QEvent::ShortcutOverride,
        QEvent::Shortcut,
        QEvent::ContextMenu,
        QEvent::Wheel,
        QEvent::TabletPress,
        QEvent::TabletMove,
        QEvent::TabletRelease,
        QEvent::TouchBegin,
        QEvent::TouchUpdate,
        QEvent::TouchEnd,
        QEvent::TouchCancel,
        QEvent::NativeGesture,
        QEvent::Gesture,
        QEvent::GestureOverride,
    };
    return types;
}

bool UserInteractionPausableWindow::isDroppedWhilePaused(const QEvent& event)
{
    if (event.type() == QEvent::MouseMove) {
        return static_cast<const QMouseEvent&>(event).buttons() != Qt::NoButton;
    }
    // A modifier pressed or let go is a change of the modifier state, not input: it still arrives.
    if (event.type() == QEvent::KeyPress || event.type() == QEvent::KeyRelease
        || event.type() == QEvent::ShortcutOverride) {
        if (isModifierKey(static_cast<const QKeyEvent&>(event).key())) {
            return false;
        }
    }
    return droppedEventTypes().contains(event.type());
}

bool UserInteractionPausableWindow::isOurs(const QObject* receiver) const
{
    if (receiver == this) {
        return true;
    }
    if (receiver->isWidgetType()) {
        return static_cast<const QWidget*>(receiver)->window() == this;
    }
    return receiver->isWindowType() && receiver == windowHandle();
}

bool UserInteractionPausableWindow::eventFilter(QObject* receiver, QEvent* event)
{
    return !m_isUserInteractionEnabled && isDroppedWhilePaused(*event) && isOurs(receiver);
}

} // namespace zk
