#include "kit/interface/SwiftUIPanelForMenuBarApp.h"

#include "kit/interface/MenuBarWindowKeys.h"

#include <QKeyEvent>

namespace zk {

SwiftUIPanelForMenuBarApp::SwiftUIPanelForMenuBarApp(QWidget* parent)
    : QWidget(parent, Qt::Tool)
{
    resize(100, 100);
}

void SwiftUIPanelForMenuBarApp::keyPressEvent(QKeyEvent* event)
{
    if (handleMenuBarWindowKey(*this, *event)) {
        return;
    }
    QWidget::keyPressEvent(event);
}

} // namespace zk
