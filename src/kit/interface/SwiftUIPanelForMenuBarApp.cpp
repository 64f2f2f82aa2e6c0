#include "kit/interface/SwiftUIPanelForMenuBarApp.h"

#include "kit/interface/Accessibility.h"
#include "kit/interface/MenuBarWindowKeys.h"
#include "kit/interface/WindowConstraints.h"

#include <QKeyEvent>

namespace zk {

SwiftUIPanelForMenuBarApp::SwiftUIPanelForMenuBarApp(QWidget* parent)
    // Qt gives a tool window a close button only; the panel can be minimised too.
    : QWidget(parent,
        Qt::Tool | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint
            | Qt::WindowCloseButtonHint)
{
    installAccessibility();
    resize(100, 100);
}

void SwiftUIPanelForMenuBarApp::keyPressEvent(QKeyEvent* event)
{
    if (handleMenuBarWindowKey(*this, *event)) {
        return;
    }
    QWidget::keyPressEvent(event);
}

QRect SwiftUIPanelForMenuBarApp::constrainFrameRect(const QRect& proposed) const
{
    return allowedAboveMenuBar ? proposed : constrainFrameBelowPanels(proposed, availableGeometryFor(*this));
}

void SwiftUIPanelForMenuBarApp::showEvent(QShowEvent* event)
{
    const QRect constrained = constrainFrameRect(geometry());
    if (constrained != geometry()) {
        setGeometry(constrained);
    }
    QWidget::showEvent(event);
}

} // namespace zk
