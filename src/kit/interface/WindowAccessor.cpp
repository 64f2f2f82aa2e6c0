#include "kit/interface/WindowAccessor.h"

#include <QEvent>

namespace zk {

WindowAccessor::WindowAccessor(QWidget& host, Binding binding)
    : QWidget(&host)
    , m_binding(std::move(binding))
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFixedSize(0, 0);
    watchAncestors();
    check();
}

void WindowAccessor::watchAncestors()
{
    for (QWidget* ancestor = parentWidget(); ancestor; ancestor = ancestor->parentWidget()) {
        ancestor->removeEventFilter(this);
        ancestor->installEventFilter(this);
    }
}

bool WindowAccessor::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::ParentChange || event->type() == QEvent::Show) {
        watchAncestors();
        check();
    }
    return QWidget::eventFilter(watched, event);
}

bool WindowAccessor::event(QEvent* event)
{
    if (event->type() == QEvent::ParentChange) {
        watchAncestors();
        check();
    }
    return QWidget::event(event);
}

void WindowAccessor::check()
{
    // Only a real top-level window counts: a widget on its own, not yet placed, is in none.
    QWidget* top = parentWidget() ? parentWidget()->window() : nullptr;
    if (top && !top->isWindow()) {
        top = nullptr;
    }
    if (!top || top == m_window) {
        return;
    }
    m_window = top;
    if (m_binding) {
        m_binding(top);
    }
}

WindowAccessor* WindowViewModifier::apply(QWidget& content) const
{
    const auto action = onWindow;
    if (action) {
        action(nullptr);
    }
    return new WindowAccessor(content, [action](QWidget* window) {
        if (action) {
            action(window);
        }
    });
}

WindowAccessor* onWindow(QWidget& content, std::function<void(QWidget* window)> onWindow)
{
    return WindowViewModifier { std::move(onWindow) }.apply(content);
}

std::function<void(QWidget* window)> windowLevelSetter(WindowLevel level)
{
    return [level](QWidget* window) {
        if (window) {
            setWindowLevel(*window, level);
        }
    };
}

AppearOnScreenView::AppearOnScreenView(QWidget& widget, Actions actions)
    : QObject(&widget)
    , m_actions(std::move(actions))
{
    widget.installEventFilter(this);
}

bool AppearOnScreenView::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Show) {
        if (m_actions.isOnScreen) {
            m_actions.isOnScreen(true);
        }
        if (m_actions.onViewDidAppear) {
            m_actions.onViewDidAppear();
        }
    } else if (event->type() == QEvent::Hide) {
        if (m_actions.isOnScreen) {
            m_actions.isOnScreen(false);
        }
        if (m_actions.onViewDidDisappear) {
            m_actions.onViewDidDisappear();
        }
    }
    return QObject::eventFilter(watched, event);
}

} // namespace zk
