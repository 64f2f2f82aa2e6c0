#include "kit/interface/InfoPopoverButton.h"

#include "kit/interface/SymbolImage.h"

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QMouseEvent>
#include <QScreen>
#include <QVBoxLayout>

#include <utility>

namespace zk {

InfoPopoverButton::InfoPopoverButton(
    std::optional<int> maxWidth, Content content, std::function<void(bool)> onAction, QWidget* parent)
    : QToolButton(parent)
    , m_maxWidth(maxWidth)
    , m_content(std::move(content))
    , m_onAction(std::move(onAction))
{
    // The button shows only its question mark: its title is empty.
    const QIcon icon = symbolIcon("questionmark.circle", 16);
    if (icon.isNull()) {
        setText(QStringLiteral("?"));
    } else {
        setIcon(icon);
    }
    setAutoRaise(true);
    setAccessibleName(tr("Help"));
    connect(this, &QToolButton::clicked, this, &InfoPopoverButton::clickedWhileOpen);
}

void InfoPopoverButton::clickedWhileOpen()
{
    presentPopover();
    if (m_onAction) {
        m_onAction(isPopoverPresented());
    }
}

bool InfoPopoverButton::eventFilter(QObject* watched, QEvent* event)
{
    // Mouse events only: the popover is looked at only while it is whole, never while it is
    // being destroyed.
    const QEvent::Type type = event->type();
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseButtonDblClick
        && type != QEvent::MouseButtonRelease) {
        return false;
    }
    if (watched != m_popover) {
        return false;
    }
    const auto* mouse = static_cast<QMouseEvent*>(event);
    const bool onButton = isVisible() && rect().contains(mapFromGlobal(mouse->globalPosition().toPoint()));
    if (type == QEvent::MouseButtonRelease) {
        const bool wasPressed = std::exchange(m_pressedWhileOpen, false);
        if (wasPressed && onButton) {
            // The click of the button: the popover stays, and the action is told so.
            clickedWhileOpen();
        }
        return wasPressed;
    }
    if (onButton && mouse->button() == Qt::LeftButton) {
        m_pressedWhileOpen = true;
        return true;
    }
    return false;
}

InfoPopoverButton::InfoPopoverButton(std::optional<int> maxWidth, const QString& text, QWidget* parent)
    : InfoPopoverButton(
        maxWidth,
        [text] {
            auto* label = new QLabel(text);
            label->setWordWrap(true);
            return label;
        },
        {}, parent)
{
}

InfoPopoverButton::~InfoPopoverButton()
{
    delete m_popover;
}

bool InfoPopoverButton::isPopoverPresented() const
{
    return m_popover && m_popover->isVisible();
}

void InfoPopoverButton::presentPopover()
{
    if (isPopoverPresented()) {
        return;
    }
    delete m_popover;
    auto* popover = new QFrame(nullptr, Qt::Popup);
    popover->setAttribute(Qt::WA_DeleteOnClose);
    popover->setFrameShape(QFrame::StyledPanel);
    auto* layout = new QVBoxLayout(popover);
    // The default padding, and a little more at the bottom.
    layout->setContentsMargins(12, 12, 12, 16);
    QWidget* content = m_content ? m_content() : new QWidget;
    // The popover starts from the default font and colours, not those around the button.
    content->setFont(QApplication::font());
    content->setPalette(QApplication::palette());
    if (m_maxWidth) {
        content->setFixedWidth(*m_maxWidth);
        if (auto* label = qobject_cast<QLabel*>(content)) {
            label->setWordWrap(true);
        }
    }
    layout->addWidget(content);
    popover->adjustSize();
    // Under the button, its arrow edge at the top.
    const QPoint below = mapToGlobal(QPoint(width() / 2 - popover->width() / 2, height()));
    popover->move(below);
    m_popover = popover;
    m_pressedWhileOpen = false;
    popover->installEventFilter(this);
    popover->show();
}

} // namespace zk
