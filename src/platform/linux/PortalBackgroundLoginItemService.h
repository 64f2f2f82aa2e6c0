#pragma once

#include "platform/desktop/LoginItemService.h"

#include <QDBusConnection>
#include <QObject>
#include <QString>

#include <memory>

namespace platform {
class BusNameOwner;
class UserDefaults;
} // namespace platform

namespace platform::dbus {

// Login at start-up inside a Flatpak sandbox, where the user's autostart folder is out of reach:
// the desktop portal's `org.freedesktop.portal.Background.RequestBackground` with `autostart`, and
// the portal writes the autostart entry itself. The portal may ask the user first; the request
// ends with its `org.freedesktop.portal.Request.Response` signal.
//
// The portal cannot be asked what it holds, so the state is its last answer, kept in `suite`
// (what it granted, not what was asked for). Earlier versions' login items do not exist in a
// sandbox.
//
// Main-thread only.
class PortalBackgroundLoginItemService final : public QObject, public LoginItemService {
    Q_OBJECT
public:
    static constexpr const char* standardService = "org.freedesktop.portal.Desktop";
    static constexpr const char* objectPath = "/org/freedesktop/portal/desktop";
    static constexpr const char* interfaceName = "org.freedesktop.portal.Background";
    // Where the last answer is kept.
    static constexpr const char* grantedKey = "LaunchAtLogin__portalAutostart";

    struct Options {
        QDBusConnection connection = QDBusConnection::sessionBus();
        // Another service name, for a stand-in of the desktop's portal.
        QString service = QString::fromLatin1(standardService);
        // Empty: the standard suite.
        std::shared_ptr<UserDefaults> suite;
        // Shown by the portal when it asks the user.
        QString reason = QStringLiteral("Start Kiruvo when you log in");
    };

    explicit PortalBackgroundLoginItemService(QObject* parent = nullptr);
    explicit PortalBackgroundLoginItemService(Options options, QObject* parent = nullptr);
    ~PortalBackgroundLoginItemService() override;

    Status status() const override;
    void registerApp(Completion completion) override;
    void unregisterApp(Completion completion) override;
    bool isLoginItemEnabled(const std::string& identifier) const override;
    bool removeLoginItem(const std::string& identifier) override;

    // The object path of a request with this token made over `connection`.
    static QString requestPath(const QDBusConnection& connection, const QString& token);

private:
    void request(bool autostart, Completion completion);

    Options m_options;
    BusNameOwner* m_portal = nullptr;
    unsigned m_nextToken = 0;
};

} // namespace platform::dbus
