#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QString>
#include <QVariantMap>

#include <functional>
#include <string>

namespace platform {
class BusNameOwner;
} // namespace platform

namespace platform::dbus {

// One request to a desktop portal: the call that asks, then the portal's
// `org.freedesktop.portal.Request.Response` on the request's object, heard only from the portal
// itself. Listening starts before the call goes out, on the path the handle token names, as the
// portal may answer before its reply to the call arrives; a portal older than handle tokens says
// its own path in that reply. A portal that ends before its Response (or whose name passes to
// another process, which knows nothing of the request) has ended the request.
//
// Main-thread only. The request deletes itself once it has answered.
class PortalRequest final : public QObject {
    Q_OBJECT
public:
    static constexpr const char* interfaceName = "org.freedesktop.portal.Request";
    // The Response's codes.
    static constexpr uint success = 0;
    static constexpr uint cancelled = 1;
    static constexpr uint ended = 2;

    struct Answer {
        // One of the codes above; `ended` when the call itself failed.
        uint code = ended;
        QVariantMap results;
        // Why the call itself failed (no portal, an error reply); empty otherwise.
        std::string failure;
    };
    using Done = std::function<void(const Answer& answer)>;

    // Sends `call`, whose options carry `token` as their "handle_token", and answers `done` once.
    static void send(const QDBusConnection& connection, BusNameOwner& portal, const QDBusMessage& call,
        const QString& token, Done done);

    // The object path of a request with this token made over `connection`.
    static QString requestPath(const QDBusConnection& connection, const QString& token);

private Q_SLOTS:
    void response(uint code, const QVariantMap& results, const QDBusMessage& message);

private:
    PortalRequest(QDBusConnection connection, BusNameOwner& portal, Done done);
    void listen(const QString& path);
    void stopListening();
    void finish(const Answer& answer);
    void portalOwnerChanged(const QString& owner);
    // Whether the portal that took the request is gone.
    bool portalEnded() const;

    QDBusConnection m_connection;
    BusNameOwner& m_portal;
    Done m_done;
    QString m_path;
    // The process that owned the portal's name while the request was out; empty until known.
    QString m_portalOwner;
    bool m_portalEnded = false;
};

} // namespace platform::dbus
