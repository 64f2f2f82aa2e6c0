#include "kit/interface/AddedToSuperviewObserverView.h"

#include <QEvent>
#include <QPointer>

namespace zk {

AddedToSuperviewObserverView::AddedToSuperviewObserverView(QWidget* parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    setFixedSize(0, 0);
}

bool AddedToSuperviewObserverView::event(QEvent* event)
{
    const bool handled = QWidget::event(event);
    if (event->type() == QEvent::ParentChange || event->type() == QEvent::Show) {
        scheduleCheck();
    }
    return handled;
}

void AddedToSuperviewObserverView::scheduleCheck()
{
    if (m_fired || m_checkScheduled) {
        return;
    }
    // Never inside the move or the showing: the callback may take the parent, and this view,
    // away, and Qt goes on with both after the event.
    m_checkScheduled = true;
    QMetaObject::invokeMethod(
        this, [this] { fireIfInShownWindow(); }, Qt::QueuedConnection);
}

void AddedToSuperviewObserverView::fireIfInShownWindow()
{
    m_checkScheduled = false;
    // A parent that is visible is in a shown window; until then a later showing checks again.
    if (m_fired || !parentWidget() || !parentWidget()->isVisible()) {
        return;
    }
    m_fired = true;
    const QPointer<AddedToSuperviewObserverView> self(this);
    if (onAdded) {
        onAdded();
    }
    if (!self) {
        return; // the callback took the parent, and this view, away
    }
    setParent(nullptr);
    deleteLater();
}

} // namespace zk
