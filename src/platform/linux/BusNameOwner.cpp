#include "platform/linux/BusNameOwner.h"

#include "platform/linux/BusDaemon.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QStringList>

namespace platform {

namespace {

const QString busService = QStringLiteral("org.freedesktop.DBus");

} // namespace

BusNameOwner::BusNameOwner(QDBusConnection connection, QString name, QObject* parent)
    : QObject(parent)
    , m_connection(std::move(connection))
    , m_name(std::move(name))
{
    if (m_name.startsWith(QLatin1Char(':'))) {
        // A unique name is its own owner for as long as it exists.
        setOwner(m_name);
        return;
    }
    if (!m_connection.isConnected()) {
        return;
    }
    // Follow changes first, so that none falls between the question and its answer: the bus
    // answers and signals in the order it handles them.
    m_connection.connect(QString(), QStringLiteral("/org/freedesktop/DBus"), busService,
        QStringLiteral("NameOwnerChanged"), QStringList { m_name }, QString(), this,
        SLOT(nameOwnerChanged(QString, QString, QString, QDBusMessage)));
    auto* watcher = new QDBusPendingCallWatcher(
        m_connection.asyncCall(busDaemonCall(QStringLiteral("GetNameOwner"), { m_name })), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* call) {
        call->deleteLater();
        // A change seen meanwhile is newer than this answer.
        if (m_ownerKnown) {
            return;
        }
        const QDBusMessage reply = call->reply();
        const bool owned = reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty();
        setOwner(owned ? reply.arguments().front().toString() : QString());
    });
}

bool BusNameOwner::connectSignal(const QString& path, const QString& interface, const QString& member,
    QObject* receiver, const char* slot, const QStringList& argumentMatch)
{
    return m_connection.connect(QString(), path, interface, member, argumentMatch, QString(), receiver, slot);
}

bool BusNameOwner::sentByOwner(const QDBusMessage& message) const
{
    return !m_owner.isEmpty() && message.service() == m_owner;
}

void BusNameOwner::nameOwnerChanged(
    const QString& name, const QString& /*oldOwner*/, const QString& newOwner, const QDBusMessage& message)
{
    // Only the bus itself says who owns a name.
    if (message.service() != busService || name != m_name) {
        return;
    }
    setOwner(newOwner);
}

void BusNameOwner::setOwner(const QString& owner)
{
    const bool changed = !m_ownerKnown || owner != m_owner;
    m_ownerKnown = true;
    m_owner = owner;
    if (changed) {
        Q_EMIT ownerChanged(m_owner);
    }
}

} // namespace platform
