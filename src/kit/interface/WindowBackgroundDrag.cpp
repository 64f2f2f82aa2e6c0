#include "kit/interface/WindowBackgroundDrag.h"

#include <QApplication>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QWidget>
#include <QWindow>

namespace zk {

namespace {

bool windowCanPlaceItself()
{
    return !QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

} // namespace

WindowBackgroundDrag::WindowBackgroundDrag(QWidget& window)
    : QObject(&window)
    , m_window(window)
{
    // Presses that no control took reach the window, and so this filter.
    window.installEventFilter(this);
}

bool WindowBackgroundDrag::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != &m_window) {
        return false;
    }
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() != Qt::LeftButton || mouse->buttons() != Qt::LeftButton) {
            end();
            return false;
        }
        m_pressedAt = mouse->globalPosition();
        m_windowAtPress = m_window.pos();
        m_moving = false;
        return true;
    }
    case QEvent::MouseMove: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (!m_pressedAt) {
            return false;
        }
        if (!mouse->buttons().testFlag(Qt::LeftButton)) {
            // The release went elsewhere.
            end();
            return false;
        }
        follow(mouse->globalPosition());
        return true;
    }
    case QEvent::MouseButtonRelease: {
        const bool ours = m_pressedAt.has_value();
        end();
        return ours;
    }
    case QEvent::Hide:
    case QEvent::WindowDeactivate:
        end();
        return false;
    default:
        return false;
    }
}

void WindowBackgroundDrag::follow(const QPointF& globalPosition)
{
    const QPointF travelled = globalPosition - *m_pressedAt;
    if (!m_moving && travelled.manhattanLength() < QApplication::startDragDistance()) {
        return;
    }
    m_moving = true;
    if (windowCanPlaceItself()) {
        m_window.move(m_windowAtPress + travelled.toPoint());
        return;
    }
    // The compositor moves the window from here, and ends the move when the button comes up.
    if (QWindow* handle = m_window.windowHandle()) {
        handle->startSystemMove();
    }
    end();
}

void WindowBackgroundDrag::end()
{
    m_pressedAt.reset();
    m_moving = false;
}

} // namespace zk
