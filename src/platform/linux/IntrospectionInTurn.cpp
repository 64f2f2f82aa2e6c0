#include "platform/linux/IntrospectionInTurn.h"

#include "platform/linux/BusCallQueue.h"
#include "platform/linux/DBusCallContext.h"
#include "platform/linux/PropertiesInTurn.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QHash>
#include <QPointer>

#include <algorithm>
#include <set>
#include <utility>

namespace platform {

namespace {

// The paths objects are exported at with their calls in turn, by connection name.
QHash<QString, std::set<QString>>& exportedPaths()
{
    static QHash<QString, std::set<QString>> paths;
    return paths;
}

} // namespace

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
    exportNodesAbove(connection, path);
}

void IntrospectionInTurn::exportNodesAbove(const QDBusConnection& connection, const QString& path)
{
    exportedPaths()[connection.name()].insert(path);
    QDBusConnection bus = connection;
    for (QString node = path; node != QLatin1String("/");) {
        node = node.left(std::max<qsizetype>(node.lastIndexOf(QLatin1Char('/')), 1));
        if (bus.objectRegisteredAt(node)) {
            continue;
        }
        auto* host = new DBusCallContext(QCoreApplication::instance());
        if (!bus.registerObject(node, host, QDBusConnection::ExportAdaptors)) {
            delete host;
            continue;
        }
        new IntrospectionInTurn(host, connection.name(), node);
        new PropertiesInTurn(host);
    }
}

IntrospectionInTurn::IntrospectionInTurn(QObject* host, QString connectionName, QString path)
    : QDBusAbstractAdaptor(host)
    , m_connectionName(std::move(connectionName))
    , m_path(std::move(path))
{
}

QString IntrospectionInTurn::nodeDescription() const
{
    // The nodes one step below, of every object exported here below this one.
    const QString prefix = m_path == QLatin1String("/") ? m_path : m_path + QLatin1Char('/');
    std::set<QString> below;
    for (const QString& exported : exportedPaths()[m_connectionName]) {
        if (exported.startsWith(prefix) && exported.size() > prefix.size()) {
            below.insert(exported.mid(prefix.size()).section(QLatin1Char('/'), 0, 0));
        }
    }
    QString description
        = QStringLiteral("<!DOCTYPE node PUBLIC \"-//freedesktop//DTD D-BUS Object Introspection 1.0//EN\"\n"
                         "\"http://www.freedesktop.org/standards/dbus/1.0/introspect.dtd\">\n<node>\n"
                         "  <interface name=\"org.freedesktop.DBus.Introspectable\">\n"
                         "    <method name=\"Introspect\">\n"
                         "      <arg name=\"xml_data\" type=\"s\" direction=\"out\"/>\n"
                         "    </method>\n"
                         "  </interface>\n");
    for (const QString& node : below) {
        description += QStringLiteral("  <node name=\"%1\"/>\n").arg(node);
    }
    return description + QStringLiteral("</node>\n");
}

IntrospectionInTurn::IntrospectionInTurn(QObject* host, QString description)
    : QDBusAbstractAdaptor(host)
    , m_description(std::move(description))
{
}

QString IntrospectionInTurn::Introspect()
{
    BusCallQueue::answerInTurn(
        this, BusCallQueue::Effect::none, [self = QPointer(this)](const QDBusMessage& call) {
            return call.createReply(self->m_path.isEmpty() ? self->m_description : self->nodeDescription());
        });
    return {};
}

} // namespace platform
