#include "platform/linux/IntrospectionInTurn.h"

#include "platform/linux/BusCallQueue.h"
#include "platform/linux/PropertiesInTurn.h"

#include <QDBusMessage>

#include <utility>

namespace platform {

void IntrospectionInTurn::install(const QDBusConnection& connection, const QString& path, QObject* host)
{
    // A connection to a peer has no name of its own to ask, nor callers to keep apart: QtDBus
    // answers there as before.
    if (connection.baseService().isEmpty()
        || host->findChild<IntrospectionInTurn*>(QString(), Qt::FindDirectChildrenOnly)) {
        return;
    }
    // A call to the connection's own name is answered in place, by QtDBus, before the adaptor
    // below takes such calls over.
    QDBusConnection self = connection;
    const QDBusMessage described = self.call(QDBusMessage::createMethodCall(connection.baseService(), path,
        QStringLiteral("org.freedesktop.DBus.Introspectable"), QStringLiteral("Introspect")));
    if (described.type() != QDBusMessage::ReplyMessage) {
        return;
    }
    new IntrospectionInTurn(host, described.arguments().value(0).toString());
    new PropertiesInTurn(host);
}

IntrospectionInTurn::IntrospectionInTurn(QObject* host, QString description)
    : QDBusAbstractAdaptor(host)
    , m_description(std::move(description))
{
}

QString IntrospectionInTurn::Introspect()
{
    BusCallQueue::answerInTurn(this, BusCallQueue::Effect::none,
        [description = m_description](const QDBusMessage& call) { return call.createReply(description); });
    return {};
}

} // namespace platform
