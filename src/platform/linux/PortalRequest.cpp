#include "platform/linux/PortalRequest.h"

#include "platform/linux/BusNameOwner.h"

#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

namespace platform::dbus {

PortalRequest::PortalRequest(QDBusConnection connection, BusNameOwner& portal, Done done)
    : QObject(&portal)
    , m_connection(std::move(connection))
    , m_portal(portal)
    , m_done(std::move(done))
    , m_portalOwner(portal.owner())
{
    connect(&portal, &BusNameOwner::ownerChanged, this, &PortalRequest::portalOwnerChanged);
}

QString PortalRequest::requestPath(const QDBusConnection& connection, const QString& token)
{
    QString sender = connection.baseService();
    if (sender.startsWith(u':')) {
        sender.remove(0, 1);
    }
    sender.replace(u'.', u'_');
    return QStringLiteral("/org/freedesktop/portal/desktop/request/") + sender + u'/' + token;
}

void PortalRequest::send(const QDBusConnection& connection, BusNameOwner& portal, const QDBusMessage& call,
    const QString& token, Done done)
{
    auto* request = new PortalRequest(connection, portal, std::move(done));
    if (!connection.isConnected()) {
        Answer answer;
        answer.failure = "there is no session bus to reach the desktop portal";
        // Answered from the event loop, as the portal would.
        QMetaObject::invokeMethod(
            request, [request, answer] { request->finish(answer); }, Qt::QueuedConnection);
        return;
    }
    request->listen(requestPath(connection, token));
    auto* watcher = new QDBusPendingCallWatcher(request->m_connection.asyncCall(call), request);
    connect(
        watcher, &QDBusPendingCallWatcher::finished, request, [request](QDBusPendingCallWatcher* finished) {
            finished->deleteLater();
            const QDBusPendingReply<QDBusObjectPath> reply = *finished;
            if (reply.isError()) {
                Answer answer;
                answer.failure
                    = "the desktop portal did not answer: " + reply.error().message().toStdString();
                request->finish(answer);
                return;
            }
            // The bus tells of a name's new owner before it passes that owner's reply on, and of
            // its end after: a portal already gone is known here.
            if (request->portalEnded()) {
                return;
            }
            request->listen(reply.value().path());
        });
}

void PortalRequest::portalOwnerChanged(const QString& owner)
{
    if (m_portalOwner.isEmpty()) {
        // The portal started for this call (the bus starts it on demand), or its owner became known.
        m_portalOwner = owner;
        return;
    }
    if (owner != m_portalOwner) {
        m_portalEnded = true;
        Answer answer;
        answer.failure = "the desktop portal ended before it answered";
        finish(answer);
    }
}

bool PortalRequest::portalEnded() const
{
    return m_portalEnded;
}

void PortalRequest::response(uint code, const QVariantMap& results, const QDBusMessage& message)
{
    // Only the portal answers its requests.
    if (!m_portal.sentByOwner(message)) {
        return;
    }
    finish({ code, results, {} });
}

void PortalRequest::listen(const QString& path)
{
    if (path == m_path) {
        return;
    }
    stopListening();
    m_path = path;
    m_portal.connectSignal(m_path, QString::fromLatin1(interfaceName), QStringLiteral("Response"), this,
        SLOT(response(uint, QVariantMap, QDBusMessage)));
}

void PortalRequest::stopListening()
{
    if (m_path.isEmpty()) {
        return;
    }
    m_connection.disconnect(QString(), m_path, QString::fromLatin1(interfaceName), QStringLiteral("Response"),
        this, SLOT(response(uint, QVariantMap, QDBusMessage)));
    m_path.clear();
}

void PortalRequest::finish(const Answer& answer)
{
    stopListening();
    if (m_done) {
        const Done done = std::move(m_done);
        m_done = nullptr;
        done(answer);
    }
    deleteLater();
}

} // namespace platform::dbus
