#include "kit/interface/SwiftUIWindow.h"

#include "kit/interface/Accessibility.h"
#include "kit/interface/MenuBarWindowKeys.h"
#include "kit/interface/WindowConstraints.h"
#include "platform/Logger.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QVBoxLayout>

namespace zk {

SwiftUIWindow::SwiftUIWindow(QWidget* content, QWidget* parent)
    : QWidget(parent, Qt::Window)
{
    installAccessibility();
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    setContent(content);
}

SwiftUIWindow::~SwiftUIWindow()
{
    platform::log(platform::LogLevel::Debug, platform::lcDesktop(), "SwiftUIWindow - DEINIT");
}

void SwiftUIWindow::setCanBecomeKey(bool canBecomeKey)
{
    m_canBecomeKey = canBecomeKey;
    setAttribute(Qt::WA_ShowWithoutActivating, !canBecomeKey);
    setWindowFlag(Qt::WindowDoesNotAcceptFocus, !canBecomeKey);
}

void SwiftUIWindow::setContent(QWidget* content)
{
    if (m_content == content) {
        return;
    }
    delete m_content.data();
    m_content = content;
    if (content) {
        layout()->addWidget(content);
    }
}

QRect SwiftUIWindow::constrainFrameRect(const QRect& proposed) const
{
    const QRect screen = availableGeometryFor(*this);
    if (!constrainWindowToScreen || screen.isNull()) {
        return proposed;
    }
    return clampFrameToScreen(proposed, screen);
}

void SwiftUIWindow::applyConstraint()
{
    if (!constrainWindowToScreen || m_constraining || !isVisible()) {
        return;
    }
    const QRect constrained = constrainFrameRect(geometry());
    if (constrained != geometry()) {
        m_constraining = true;
        setGeometry(constrained);
        m_constraining = false;
    }
}

void SwiftUIWindow::keyPressEvent(QKeyEvent* event)
{
    if (closeOnEsc && closeOnEscapeKey(*this, *event)) {
        return;
    }
    QWidget::keyPressEvent(event);
}

void SwiftUIWindow::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    applyConstraint();
}

void SwiftUIWindow::moveEvent(QMoveEvent* event)
{
    QWidget::moveEvent(event);
    applyConstraint();
}

void SwiftUIWindow::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    applyConstraint();
}

void SwiftUIWindow::closeEvent(QCloseEvent* event)
{
    QWidget::closeEvent(event);
    if (event->isAccepted()) {
        setContent(nullptr);
    }
}

} // namespace zk
