#pragma once

#include "platform/desktop/NotificationCenter.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QString>

#include <cstdint>
#include <set>

namespace platform {
class BusNameOwner;
}

namespace platform::dbus {

// Notifications through the desktop's org.freedesktop.Notifications service on the session bus.
// The service counts as granting permission when it answers GetCapabilities; without a session
// bus or a service every request is refused.
//
// Main-thread only.
class FreedesktopNotificationCenter final : public QObject, public NotificationCenter {
    Q_OBJECT
public:
    static constexpr const char* standardService = "org.freedesktop.Notifications";
    static constexpr const char* objectPath = "/org/freedesktop/Notifications";
    static constexpr const char* interfaceName = "org.freedesktop.Notifications";
    // A notification service that has not answered by then is taken to be absent.
    static constexpr int callTimeoutMilliseconds = 5000;

    explicit FreedesktopNotificationCenter(QObject* parent = nullptr);
    // Another service name or bus, for a stand-in of the desktop's service.
    FreedesktopNotificationCenter(QDBusConnection connection, QString service, QObject* parent = nullptr);

    QCoro::Task<bool> requestAuthorization() override;
    QCoro::Task<PostResult> post(Request request) override;
    QCoro::Task<void> removeAllDelivered() override;

    // The identifiers posted and not yet taken back.
    const std::set<std::uint32_t>& deliveredIdentifiers() const { return m_delivered; }

private Q_SLOTS:
    void notificationClosed(uint identifier, uint reason, const QDBusMessage& message);

private:
    QDBusConnection m_connection;
    QString m_service;
    BusNameOwner* m_owner = nullptr;
    std::set<std::uint32_t> m_delivered;
};

} // namespace platform::dbus
