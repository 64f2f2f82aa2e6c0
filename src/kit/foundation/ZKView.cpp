#include "kit/foundation/ZKView.h"

#include <QEvent>

namespace zk {

ZKView::ZKView(QWidget* parent)
    : QWidget(parent)
{
}

bool ZKView::event(QEvent* event)
{
    const bool handled = QWidget::event(event);
    switch (event->type()) {
    case QEvent::ParentChange:
        if (!m_didMoveToSuperviewWasCalled) {
            m_didMoveToSuperviewWasCalled = true;
            m_didMoveToSuperviewSubject.send();
        }
        break;
    case QEvent::Show:
        // A widget shows only inside a shown window (or as one).
        if (!m_didMoveToWindowWasCalled) {
            m_didMoveToWindowWasCalled = true;
            m_didAppearSubject.send();
        }
        break;
    default:
        break;
    }
    return handled;
}

} // namespace zk
