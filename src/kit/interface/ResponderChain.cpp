#include "kit/interface/ResponderChain.h"

#include <QApplication>

namespace zk {

std::vector<QWidget*> responderChain(QWidget* responder)
{
    std::vector<QWidget*> chain;
    for (QWidget* widget = responder; widget;
         widget = widget->isWindow() ? nullptr : widget->parentWidget()) {
        chain.push_back(widget);
    }
    return chain;
}

QWidget* firstResponder(QWidget* window)
{
    if (!window) {
        return QApplication::focusWidget();
    }
    return window->window()->focusWidget();
}

} // namespace zk
