#include "kit/interface/TrackingArea.h"

#include <QEnterEvent>
#include <QMouseEvent>

namespace zk {

TrackingArea::TrackingArea(QWidget* view, const QRect& rect, Options options)
    : m_view(view)
    , m_rect(rect)
    , m_options(options)
{
    if (m_view) {
        m_view->setMouseTracking(true);
        m_view->installEventFilter(this);
    }
}

TrackingArea::~TrackingArea()
{
    if (m_view) {
        m_view->removeEventFilter(this);
    }
}

void TrackingArea::setRect(const QRect& rect)
{
    m_rect = rect;
}

void TrackingArea::pointerAt(std::optional<QPoint> position)
{
    const bool inside = position && m_rect.contains(*position);
    if (inside != m_inside) {
        m_inside = inside;
        if (m_options.testFlag(mouseEnteredAndExited)) {
            inside ? emit mouseEntered() : emit mouseExited();
        }
    }
    if (inside && m_options.testFlag(mouseMoved)) {
        emit mouseMovedTo(*position);
    }
}

bool TrackingArea::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != m_view) {
        return false;
    }
    switch (event->type()) {
    case QEvent::Enter:
        pointerAt(static_cast<QEnterEvent*>(event)->position().toPoint());
        break;
    case QEvent::MouseMove:
        pointerAt(static_cast<QMouseEvent*>(event)->position().toPoint());
        break;
    case QEvent::Leave:
        pointerAt(std::nullopt);
        break;
    default:
        break;
    }
    return false;
}

} // namespace zk
