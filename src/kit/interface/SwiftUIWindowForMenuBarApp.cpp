#include "kit/interface/SwiftUIWindowForMenuBarApp.h"

#include "kit/interface/Accessibility.h"
#include "kit/interface/MenuBarWindowKeys.h"
#include "kit/interface/WindowBackgroundDrag.h"
#include "kit/interface/WindowConstraints.h"

#include <QKeyEvent>
#include <QPainter>

namespace zk {

SwiftUIWindowForMenuBarApp::SwiftUIWindowForMenuBarApp(QWidget* parent)
    : QWidget(parent, Qt::Window)
{
    installAccessibility();
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

void SwiftUIWindowForMenuBarApp::setMovableByWindowBackground(bool movable)
{
    if (movable && !m_backgroundDrag) {
        m_backgroundDrag = new WindowBackgroundDrag(*this);
    } else if (!movable && m_backgroundDrag) {
        delete m_backgroundDrag;
        m_backgroundDrag = nullptr;
    }
}

void SwiftUIWindowForMenuBarApp::paintEvent(QPaintEvent* event)
{
    QWidget::paintEvent(event);
    if (windowFlags().testFlag(Qt::FramelessWindowHint)) {
        QPainter painter(this);
        painter.setPen(palette().color(QPalette::Mid));
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
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
