#include "kit/interface/WindowInFront.h"

#include <QEvent>
#include <QWindow>

namespace zk {

WindowInFront::WindowInFront(QWidget* front, QWidget* later)
    : QObject(later)
    , m_front(front)
{
    // Only the window itself hears that it is on screen, not its widget.
    later->winId();
    later->windowHandle()->installEventFilter(this);
}

void WindowInFront::keepInFrontOf(QWidget* front, QWidget* later)
{
    if (front == nullptr || later == nullptr) {
        return;
    }
    new WindowInFront(front, later);
}

bool WindowInFront::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Expose && static_cast<QWindow*>(watched)->isExposed()) {
        if (m_front && m_front->isVisible()) {
            m_front->raise();
            m_front->activateWindow();
        }
        watched->removeEventFilter(this);
        deleteLater();
    }
    return QObject::eventFilter(watched, event);
}

} // namespace zk
