#include "kit/interface/Tooltip.h"

#include "kit/interface/WindowConstraints.h"

#include "libraries/defaults/Defaults.h"
#include "platform/desktop/PopoverSurface.h"
#include "platform/desktop/StatusItem.h"

#include <QGridLayout>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QLayout>
#include <QMouseEvent>
#include <QPointer>
#include <QScreen>

#include <cmath>

namespace zk {

namespace {

Defaults::Key<std::int64_t> shownCountKey(const QString& identifier)
{
    return Defaults::Key<std::int64_t>("ZK_Tooltip_" + identifier.toStdString(), 0);
}

const QScreen* screenAt(const QPoint& point)
{
    if (const QScreen* screen = QGuiApplication::screenAt(point)) {
        return screen;
    }
    return QGuiApplication::primaryScreen();
}

constexpr int gap = 5;

} // namespace

Tooltip::Tooltip(const QString& text, bool closeOnClick, QMargins contentInsets, std::optional<int> maxWidth,
    std::function<void()> onClick, QString identifier, bool showOnlyOnce)
    : QWidget(nullptr, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus)
    , identifier(std::move(identifier))
    , showOnlyOnce(showOnlyOnce)
    , m_label(new QLabel(text, this))
{
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_DeleteOnClose, false);
    m_label->setWordWrap(true);
    m_label->setTextInteractionFlags(Qt::NoTextInteraction);
    auto* layout = new QGridLayout(this);
    layout->setContentsMargins(contentInsets);
    layout->addWidget(m_label);
    if (maxWidth) {
        // The text's own size within the widest line allowed: a short text stays on one line
        // (a wrapping label's size hint would break it at a third of that).
        const int width = std::max(1, *maxWidth - contentInsets.left() - contentInsets.right());
        const QRect fitting = m_label->fontMetrics().boundingRect(
            QRect(0, 0, width, QWIDGETSIZE_MAX), Qt::TextWordWrap | Qt::AlignLeft, text);
        m_label->setFixedSize(std::min(width, fitting.width() + 1), fitting.height());
    }
    QPointer<Tooltip> self(this);
    m_onClick = [self, closeOnClick, onClick = std::move(onClick)] {
        if (closeOnClick && self) {
            self->close();
        }
        if (onClick) {
            onClick();
        }
    };
}

Tooltip::~Tooltip() = default;

std::int64_t Tooltip::shownCount(const QString& identifier)
{
    return Defaults::get(shownCountKey(identifier));
}

bool Tooltip::showRelativeTo(const QRect& anchor)
{
    const auto key = shownCountKey(identifier);
    if (showOnlyOnce && Defaults::get(key) > 0) {
        return false;
    }
    Defaults::set(key, Defaults::get(key) + 1);
    adjustSize();
    const QScreen* screen = screenAt(anchor.center());
    const QRect available = screen ? screen->availableGeometry() : QRect(0, 0, 1920, 1080);
    const QPoint position = positionAt(anchor, size(), available);
    move(position);
    if (showOnSurface(position - (screen ? screen->geometry().topLeft() : QPoint()),
            screen ? screen->geometry().size() : available.size(),
            screen ? screen->devicePixelRatio() : 1.0)) {
        return true;
    }
    if (windowsFloatOnlyAtFixedSize()) {
        // A compositor without the layer shell gets a window, which it places itself.
        setFixedSize(size());
    }
    show();
    return true;
}

bool Tooltip::showOnSurface(QPoint position, QSize screen, double devicePixelRatio)
{
    if (!m_surface) {
        m_surface = platform::PopoverSurface::create();
        if (!m_surface) {
            return false;
        }
        QPointer<Tooltip> self(this);
        m_surface->onClick = [self] {
            if (self && self->m_onClick) {
                self->m_onClick();
            }
        };
        m_surface->onClosed = [self] {
            if (self) {
                self->close();
            }
        };
    }
    if (layout()) {
        layout()->activate();
    }
    const int scale = std::max(1, static_cast<int>(std::ceil(devicePixelRatio)));
    QImage picture(size() * scale, QImage::Format_ARGB32_Premultiplied);
    picture.setDevicePixelRatio(scale);
    picture.fill(Qt::transparent);
    render(&picture);
    if (!m_surface->show(picture, position, screen)) {
        // Refused: the tip shows as a window after all.
        m_surface.reset();
        return false;
    }
    // The widget is shown, and hides, closes and counts as ever, without a window of its own: the
    // surface shows its picture.
    setAttribute(Qt::WA_DontShowOnScreen, true);
    show();
    return true;
}

bool Tooltip::showInInvisibleWindow(const platform::StatusItem& statusItem)
{
    if (!showEvenWhenMenuBarItemIsHidden && !statusItem.isShownOnScreen()) {
        return false;
    }
    return showRelativeTo(statusItem.anchorRect());
}

QPoint Tooltip::positionAt(const QRect& anchor, const QSize& size, const QRect& available)
{
    // An anchor in a panel (a point where the host saw the click, or the tray's corner) keeps the
    // tip off the panel's edge, not just off the anchor.
    const QPoint centre(anchor.x() + anchor.width() / 2, anchor.y() + anchor.height() / 2);
    int x = centre.x() - size.width() / 2;
    int y = (centre.y() < available.top() ? std::max(anchor.bottom() + 1, available.top())
                                          : anchor.bottom() + 1)
        + gap;
    if (centre.y() > available.bottom()) {
        y = std::min(anchor.top(), available.bottom() + 1) - gap - size.height();
    } else if (centre.y() >= available.top()) {
        if (centre.x() < available.left()) {
            x = std::max(anchor.right() + 1, available.left()) + gap;
            y = centre.y() - size.height() / 2;
        } else if (centre.x() > available.right()) {
            x = std::min(anchor.left(), available.right() + 1) - gap - size.width();
            y = centre.y() - size.height() / 2;
        }
    }
    x = std::clamp(x, available.left(), std::max(available.left(), available.right() + 1 - size.width()));
    y = std::clamp(y, available.top(), std::max(available.top(), available.bottom() + 1 - size.height()));
    return { x, y };
}

void Tooltip::mousePressEvent(QMouseEvent* event)
{
    event->accept();
    if (m_onClick) {
        m_onClick();
    }
}

void Tooltip::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    m_surface.reset();
    emit closed();
}

} // namespace zk
