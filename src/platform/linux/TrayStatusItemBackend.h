#pragma once

#include "platform/StatusItem.h"

#include <QColor>
#include <QObject>
#include <QPixmap>
#include <QSystemTrayIcon>

namespace platform {

// Draws the status item as a freedesktop tray icon (QSystemTrayIcon). No context menu is attached:
// left, right and middle clicks (and double clicks, as left clicks) are reported, and the owner
// pops its own menu up. The title is drawn into the icon beside the image, large enough to read
// in a panel, and is also the icon's tooltip.
//
// When the desktop has no tray at start-up it says so once in the log and keeps running: hot keys
// and D-Bus still reach the menu.
//
// Main-thread only.
class TrayStatusItemBackend final : public QObject, public StatusItemBackend {
    Q_OBJECT
public:
    explicit TrayStatusItemBackend(QObject* parent = nullptr);
    ~TrayStatusItemBackend() override;

    void draw(const StatusItemAppearance& appearance) override;
    std::optional<QRect> geometry() const override;
    bool isAvailable() const override;

    // The colour of the title text; the palette's window text colour unless set.
    void setTextColor(std::optional<QColor> color);

    // The picture handed to the tray for an appearance: `height` pixels high, as wide as the image
    // and title need.
    static QPixmap render(const StatusItemAppearance& appearance, int height, const QColor& textColor);

private:
    void onActivated(QSystemTrayIcon::ActivationReason reason);

    QSystemTrayIcon m_tray;
    StatusItemAppearance m_appearance;
    std::optional<QColor> m_textColor;
};

} // namespace platform
