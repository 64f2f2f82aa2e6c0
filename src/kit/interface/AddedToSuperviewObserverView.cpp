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
    switch (event->type()) {
    case QEvent::ParentChange:
        // A child put into a parent that is already on screen stays hidden until shown; showing
        // it is what puts it into the window.
        if (!m_fired && parentWidget() && parentWidget()->isVisible() && !isVisible()) {
            show();
        }
        break;
    case QEvent::Show:
        fireIfInShownWindow();
        break;
    default:
        break;
    }
    return handled;
}

void AddedToSuperviewObserverView::fireIfInShownWindow()
{
    if (m_fired || !parentWidget() || !window()->isVisible()) {
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
    hide();
    // Not here: the parent may be in the middle of showing its children.
    QMetaObject::invokeMethod(
        this,
        [this] {
            setParent(nullptr);
            deleteLater();
        },
        Qt::QueuedConnection);
}

} // namespace zk
