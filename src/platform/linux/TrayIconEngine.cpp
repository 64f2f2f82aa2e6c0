#include "platform/linux/TrayIconEngine.h"

#include <QPainter>

#include <cmath>

namespace platform {

TrayIconEngine::TrayIconEngine(QPixmap picture, Drawing drawing)
    : m_picture(std::move(picture))
    , m_drawing(std::move(drawing))
{
}

QSize TrayIconEngine::actualSize(const QSize& size, QIcon::Mode, QIcon::State)
{
    // As QIcon answers for a pixmap: never larger than the picture, its proportions kept.
    const QSize own = m_picture.deviceIndependentSize().toSize();
    if (own.isEmpty() || size.isEmpty()) {
        return {};
    }
    if (own.width() <= size.width() && own.height() <= size.height()) {
        return own;
    }
    return own.scaled(size, Qt::KeepAspectRatio);
}

QPixmap TrayIconEngine::scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state, qreal scale)
{
    const QSize fitted = actualSize(size, mode, state);
    if (fitted.isEmpty()) {
        return {};
    }
    const qreal ratio = scale > 0 && std::isfinite(scale) ? scale : 1.0;
    const QSize pixels(static_cast<int>(std::lround(fitted.width() * ratio)),
        static_cast<int>(std::lround(fitted.height() * ratio)));
    if (pixels == m_picture.size()) {
        return m_picture;
    }
    if (m_drawing) {
        if (m_drawn.isNull() || m_drawn.height() != pixels.height()) {
            m_drawn = m_drawing(pixels.height());
        }
        // A drawing wider than asked (a figure beside an image) is made to fit, as a scaled one is.
        QPixmap drawn = m_drawn.width() > pixels.width()
            ? m_drawn.scaled(pixels, Qt::KeepAspectRatio, Qt::SmoothTransformation)
            : m_drawn;
        drawn.setDevicePixelRatio(ratio);
        return drawn;
    }
    QPixmap scaled = m_picture.scaled(pixels, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    scaled.setDevicePixelRatio(ratio);
    return scaled;
}

QPixmap TrayIconEngine::pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state)
{
    return scaledPixmap(size, mode, state, 1.0);
}

void TrayIconEngine::paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state)
{
    const qreal ratio = painter->device() ? painter->device()->devicePixelRatio() : 1.0;
    const QPixmap picture = scaledPixmap(rect.size(), mode, state, ratio);
    if (picture.isNull()) {
        return;
    }
    const QSize shown = picture.deviceIndependentSize().toSize();
    const QPoint topLeft(
        rect.x() + (rect.width() - shown.width()) / 2, rect.y() + (rect.height() - shown.height()) / 2);
    painter->drawPixmap(QRect(topLeft, shown), picture);
}

QList<QSize> TrayIconEngine::availableSizes(QIcon::Mode, QIcon::State)
{
    return { m_picture.deviceIndependentSize().toSize() };
}

QIconEngine* TrayIconEngine::clone() const
{
    return new TrayIconEngine(m_picture, m_drawing);
}

QString TrayIconEngine::key() const
{
    return QStringLiteral("TrayIconEngine");
}

bool TrayIconEngine::isNull()
{
    return m_picture.isNull();
}

} // namespace platform
