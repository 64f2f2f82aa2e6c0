#include "kit/interface/SwiftUIWindowForMenuBarApp.h"

#include "kit/interface/MenuBarWindowKeys.h"

#include <QKeyEvent>

namespace zk {

SwiftUIWindowForMenuBarApp::SwiftUIWindowForMenuBarApp(QWidget* parent)
    : QWidget(parent, Qt::Window)
{
    resize(100, 100);
}

void SwiftUIWindowForMenuBarApp::keyPressEvent(QKeyEvent* event)
{
    if (shouldCloseOnEscapePress && event->key() == Qt::Key_Escape
        && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        event->accept();
        close();
        return;
    }
    if (handleMenuBarWindowKey(*this, *event)) {
        return;
    }
    QWidget::keyPressEvent(event);
}

} // namespace zk
