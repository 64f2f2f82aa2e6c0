#pragma once

#include "platform/desktop/StatusItem.h"
#include "platform/linux/StatusNotifierItemBackend.h"

#include <QDBusConnection>
#include <QObject>

#include <functional>
#include <memory>
#include <optional>

namespace platform {

// The status item on whatever the desktop offers: a StatusNotifierItem while a watcher with a
// registered host exists, else the XEmbed tray (QSystemTrayIcon) where the display has one (not on
// Wayland: there the item waits for a host, unseen meanwhile). The choice is made at start and
// made again whenever the watcher or its host comes or goes (a panel restart), without a restart
// of the application: the current appearance is drawn on the backend taken over, and the other is
// removed, so the desktop never shows the item twice.
//
// Main-thread only.
class DesktopStatusItemBackend final : public QObject, public StatusItemBackend {
    Q_OBJECT
public:
    using FallbackFactory = std::function<std::unique_ptr<StatusItemBackend>()>;

    // The fallback factory makes the XEmbed backend unless another is given; it may make none, where
    // the display has no such tray.
    explicit DesktopStatusItemBackend(QDBusConnection connection = QDBusConnection::sessionBus(),
        StatusNotifierItemBackend::Options options = {}, FallbackFactory makeFallback = {},
        QObject* parent = nullptr);
    ~DesktopStatusItemBackend() override;

    void draw(const StatusItemAppearance& appearance) override;
    std::optional<QRect> geometry() const override;
    bool isAvailable() const override;
    void setContentOffset(QPointF offset) override;
    // The menu goes to the StatusNotifierItem; the XEmbed tray has no place for it.
    void setMenu(QMenu* menu, std::function<void()> aboutToShow) override;
    bool exportsMenu() const override;
    bool menuRequestIsPrimaryClick() const override;

    // Whether the StatusNotifierItem draws the item now (else the fallback), or holds it for a host
    // to come where there is no fallback.
    bool usesStatusNotifierItem() const { return m_fallback == nullptr; }
    StatusNotifierItemBackend& statusNotifierItem() const { return *m_statusNotifierItem; }
    // The fallback while it is in use; nullptr otherwise.
    StatusItemBackend* fallback() const { return m_fallback.get(); }

private:
    enum class Place { statusNotifierItem, fallback, nowhere };

    void choose();
    StatusItemBackend& active() const;

    std::unique_ptr<StatusNotifierItemBackend> m_statusNotifierItem;
    FallbackFactory m_makeFallback;
    std::unique_ptr<StatusItemBackend> m_fallback;
    // Where the item went at the last choice; none before the first.
    std::optional<Place> m_place;
    StatusItemAppearance m_appearance;
    QPointF m_contentOffset;
};

} // namespace platform
