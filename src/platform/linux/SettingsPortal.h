#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QString>
#include <QVariant>

class QObject;

namespace platform {

class BusNameOwner;

// The desktop's settings portal (org.freedesktop.portal.Settings) as the settings read from it are
// read: one setting at a time without waiting, and followed through SettingChanged.
class SettingsPortal {
public:
    static constexpr const char* service = "org.freedesktop.portal.Desktop";
    static constexpr const char* path = "/org/freedesktop/portal/desktop";
    static constexpr const char* interfaceName = "org.freedesktop.portal.Settings";

    // The Read call for the setting `key` of `ns`, to the portal under the bus name `portal`.
    static QDBusMessage readCall(const QString& portal, const QString& ns, const QString& key);
    // Calls `slot` of `receiver`, declared (const QString& ns, const QString& key, const
    // QDBusVariant& value, const QDBusMessage& message), for every SettingChanged on the portal's
    // path; the slot takes only those portal.sentByOwner(message) says the portal sent.
    static bool followChanges(BusNameOwner& portal, QObject* receiver, const char* slot);
    // The value of a Read answer or of a change: Read (version 1) wraps it once more than
    // SettingChanged does, so every layer is taken off.
    static QVariant unwrapped(QVariant value);
};

} // namespace platform
