#include "platform/linux/TrayStatusItemBackend.h"

#include "platform/Logger.h"

#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QIcon>
#include <QPainter>
#include <QPalette>

#include <cmath>

namespace platform {

namespace {

// Panels scale the picture down to their own height; drawing it large keeps the title sharp.
constexpr int iconHeight = 64;
constexpr double dimmedOpacity = 0.45;

QImage tinted(const QImage& image, const QColor& color)
{
    QImage result = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&result);
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(result.rect(), color);
    return result;
}

} // namespace

TrayStatusItemBackend::TrayStatusItemBackend(QObject* parent)
    : QObject(parent)
{
    static bool told = false;
    if (!told && !QSystemTrayIcon::isSystemTrayAvailable()) {
        told = true;
        log(LogLevel::Warning, "StatusItem",
            "The desktop has no system tray, so the status item cannot be shown. The keyboard shortcuts "
            "still open the menu.");
    }
    connect(&m_tray, &QSystemTrayIcon::activated, this, &TrayStatusItemBackend::onActivated);
}

TrayStatusItemBackend::~TrayStatusItemBackend()
{
    m_tray.hide();
}

void TrayStatusItemBackend::draw(const StatusItemAppearance& appearance)
{
    m_appearance = appearance;
    const QColor textColor = m_textColor.value_or(QGuiApplication::palette().color(QPalette::WindowText));
    m_tray.setIcon(QIcon(render(appearance, iconHeight, textColor)));
    m_tray.setToolTip(
        appearance.title.isEmpty() ? QGuiApplication::applicationDisplayName() : appearance.title);
    m_tray.setVisible(appearance.visible);
}

std::optional<QRect> TrayStatusItemBackend::geometry() const
{
    const QRect rect = m_tray.geometry();
    if (!rect.isValid() || rect.isEmpty()) {
        return std::nullopt;
    }
    return rect;
}

bool TrayStatusItemBackend::isAvailable() const
{
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void TrayStatusItemBackend::setTextColor(std::optional<QColor> color)
{
    m_textColor = color;
    draw(m_appearance);
}

QPixmap TrayStatusItemBackend::render(
    const StatusItemAppearance& appearance, int height, const QColor& textColor)
{
    QImage image = appearance.image;
    if (!image.isNull() && appearance.tint) {
        image = tinted(image, *appearance.tint);
    }
    const int imageWidth = image.isNull()
        ? 0
        : static_cast<int>(std::lround(double(image.width()) * height / std::max(1, image.height())));

    QFont font = QGuiApplication::font();
    font.setBold(true);
    font.setPixelSize(std::max(1, height * 7 / 10));
    const QFontMetrics metrics(font);
    const int gap = (imageWidth > 0 && !appearance.title.isEmpty()) ? height / 6 : 0;
    const int textWidth = appearance.title.isEmpty() ? 0 : metrics.horizontalAdvance(appearance.title);
    const int width = std::max(height, imageWidth + gap + textWidth);

    QPixmap pixmap(width, height);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.setOpacity(appearance.dimmed ? dimmedOpacity : 1.0);
    // With only an image it is centred in the square; with a title it leads.
    int x = textWidth == 0 ? (width - imageWidth) / 2 : 0;
    if (imageWidth > 0) {
        painter.drawImage(QRect(x, 0, imageWidth, height), image);
        x += imageWidth + gap;
    }
    if (textWidth > 0) {
        painter.setFont(font);
        painter.setPen(appearance.tint.value_or(textColor));
        painter.drawText(QRect(x, 0, textWidth, height), Qt::AlignLeft | Qt::AlignVCenter, appearance.title);
    }
    return pixmap;
}

void TrayStatusItemBackend::onActivated(QSystemTrayIcon::ActivationReason reason)
{
    switch (reason) {
    case QSystemTrayIcon::Trigger:
    case QSystemTrayIcon::DoubleClick:
        reportClick(Qt::LeftButton);
        break;
    case QSystemTrayIcon::Context:
        reportClick(Qt::RightButton);
        break;
    case QSystemTrayIcon::MiddleClick:
        reportClick(Qt::MiddleButton);
        break;
    case QSystemTrayIcon::Unknown:
        break;
    }
}

} // namespace platform
