#include "kit/interface/WindowResizeObserverView.h"

#include <QEvent>
#include <QWindowStateChangeEvent>

namespace zk {

WindowResizeObserverView::WindowResizeObserverView(QWidget* parent)
    : QWidget(parent)
{
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    resize(0, 0);
    followWindow();
}

bool WindowResizeObserverView::event(QEvent* event)
{
    if (event->type() == QEvent::ParentChange) {
        followWindow();
    }
    return QWidget::event(event);
}

void WindowResizeObserverView::followWindow()
{
    QWidget* window = parentWidget() ? this->window() : nullptr;
    if (window == m_window) {
        return;
    }
    if (m_window) {
        m_window->removeEventFilter(this);
    }
    m_window = window;
    if (m_window) {
        m_window->installEventFilter(this);
    }
}

void WindowResizeObserverView::didResize()
{
    if (onResize) {
        onResize();
    }
}

bool WindowResizeObserverView::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_window) {
        if (event->type() == QEvent::Resize) {
            didResize();
        } else if (event->type() == QEvent::WindowStateChange) {
            const auto* change = static_cast<QWindowStateChangeEvent*>(event);
            if ((change->oldState() ^ m_window->windowState()) & Qt::WindowFullScreen) {
                didResize();
            }
        }
    }
    return false;
}

} // namespace zk
