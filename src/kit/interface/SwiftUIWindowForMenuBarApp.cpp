#include "kit/interface/SwiftUIWindowForMenuBarApp.h"

#include "kit/interface/MenuBarWindowKeys.h"
#include "kit/interface/WindowConstraints.h"

#include <QKeyEvent>

namespace zk {

SwiftUIWindowForMenuBarApp::SwiftUIWindowForMenuBarApp(QWidget* parent)
    : QWidget(parent, Qt::Window)
{
    resize(100, 100);
}

void SwiftUIWindowForMenuBarApp::keyPressEvent(QKeyEvent* event)
{
    if (shouldCloseOnEscapePress && closeOnEscapeKey(*this, *event)) {
        return;
    }
    if (handleMenuBarWindowKey(*this, *event)) {
        return;
    }
    QWidget::keyPressEvent(event);
}

QRect SwiftUIWindowForMenuBarApp::constrainFrameRect(const QRect& proposed) const
{
    return allowedAboveMenuBar ? proposed : constrainFrameBelowPanels(proposed, availableGeometryFor(*this));
}

void SwiftUIWindowForMenuBarApp::showEvent(QShowEvent* event)
{
    const QRect constrained = constrainFrameRect(geometry());
    if (constrained != geometry()) {
        setGeometry(constrained);
    }
    QWidget::showEvent(event);
}

} // namespace zk
