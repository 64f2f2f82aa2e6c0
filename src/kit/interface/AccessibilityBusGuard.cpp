#include "kit/interface/AccessibilityBusGuard.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QTimer>
#include <QXmlStreamReader>

namespace zk {

namespace {

// Where Qt 6.4's bridge keeps its connection to the accessibility bus and its objects.
const QString bridgeConnection = QStringLiteral("a11y");
const QString bridgePath = QStringLiteral("/org/a11y/atspi/accessible");
const QString properties = QStringLiteral("org.freedesktop.DBus.Properties");
const QString table = QStringLiteral("org.a11y.atspi.Table");

// The standard interfaces the bridge answers without describing them.
const QHash<QString, QHash<QString, QString>>& standardSignatures()
{
    static const QHash<QString, QHash<QString, QString>> signatures {
        { properties,
            { { QStringLiteral("Get"), QStringLiteral("ss") },
                { QStringLiteral("Set"), QStringLiteral("ssv") } } },
        { QStringLiteral("org.freedesktop.DBus.Introspectable"),
            { { QStringLiteral("Introspect"), QString() } } },
    };
    return signatures;
}

} // namespace

void AccessibilityBusGuard::install()
{
    static AccessibilityBusGuard* guard = nullptr;
    if (guard) {
        return;
    }
    guard = new AccessibilityBusGuard;
    QAccessible::installActivationObserver(guard);
    if (QAccessible::isActive()) {
        guard->accessibilityActiveChanged(true);
    }
}

void AccessibilityBusGuard::accessibilityActiveChanged(bool active)
{
    if (!active) {
        return;
    }
    // The bridge puts its objects on the bus as it switches accessibility on, maybe after telling.
    QTimer::singleShot(0, this, &AccessibilityBusGuard::standBeforeBridge);
}

void AccessibilityBusGuard::standBeforeBridge()
{
    QDBusConnection connection(bridgeConnection);
    if (!connection.isConnected()) {
        return;
    }
    auto* registered = qobject_cast<QDBusVirtualObject*>(connection.objectRegisteredAt(bridgePath));
    if (!registered || registered == this) {
        return;
    }
    connection.unregisterObject(bridgePath, QDBusConnection::UnregisterNode);
    if (connection.registerVirtualObject(bridgePath, this, QDBusConnection::SubPath)) {
        m_bridge = registered;
        m_signatures.clear();
    } else {
        connection.registerVirtualObject(bridgePath, registered, QDBusConnection::SubPath);
    }
}

QString AccessibilityBusGuard::introspect(const QString& path) const
{
    return m_bridge ? m_bridge->introspect(path) : QString();
}

std::optional<QString> AccessibilityBusGuard::expectedSignature(const QDBusMessage& message)
{
    if (const auto standard = standardSignatures().constFind(message.interface());
        standard != standardSignatures().constEnd()) {
        return standard->contains(message.member()) ? std::optional(standard->value(message.member()))
                                                    : std::nullopt;
    }
    if (!m_signatures.contains(message.interface())) {
        // The bridge describes each interface of an object alike, whatever the object.
        QHash<QString, QHash<QString, QString>> described;
        // One element for each interface, side by side: a root makes them one document.
        QXmlStreamReader description(
            QStringLiteral("<node>") + m_bridge->introspect(message.path()) + QStringLiteral("</node>"));
        QString interface;
        QString method;
        while (!description.atEnd()) {
            description.readNext();
            if (description.isStartElement()) {
                const auto attributes = description.attributes();
                if (description.name() == QLatin1String("interface")) {
                    interface = attributes.value(QLatin1String("name")).toString();
                    described[interface];
                } else if (description.name() == QLatin1String("method")) {
                    method = attributes.value(QLatin1String("name")).toString();
                    described[interface][method];
                } else if (description.name() == QLatin1String("arg") && !method.isEmpty()
                    && attributes.value(QLatin1String("direction")) != QLatin1String("out")) {
                    described[interface][method] += attributes.value(QLatin1String("type")).toString();
                }
            } else if (description.isEndElement() && description.name() == QLatin1String("method")) {
                method.clear();
            }
        }
        for (auto found = described.constBegin(); found != described.constEnd(); ++found) {
            if (!m_signatures.contains(found.key())) {
                m_signatures.insert(found.key(), found.value());
            }
        }
    }
    const auto methods = m_signatures.constFind(message.interface());
    if (methods == m_signatures.constEnd() || !methods->contains(message.member())) {
        return std::nullopt;
    }
    return methods->value(message.member());
}

bool AccessibilityBusGuard::handleMessage(const QDBusMessage& message, const QDBusConnection& connection)
{
    if (!m_bridge) {
        return false;
    }
    if (message.type() == QDBusMessage::MethodCallMessage) {
        if (message.interface() == properties && message.member() == QStringLiteral("GetAll")) {
            connection.send(message.createErrorReply(
                QDBusError::NotSupported, QStringLiteral("Ask for each property with Get.")));
            return true;
        }
        const std::optional<QString> expected = expectedSignature(message);
        if (expected && message.signature() != *expected) {
            connection.send(message.createErrorReply(QDBusError::InvalidArgs,
                QStringLiteral("%1.%2 takes arguments of type \"%3\".")
                    .arg(message.interface(), message.member(), *expected)));
            return true;
        }
    }
    if (message.type() == QDBusMessage::MethodCallMessage && message.interface() == table
        && answerForMissingCell(message, connection)) {
        return true;
    }
    return m_bridge->handleMessage(message, connection);
}

bool AccessibilityBusGuard::answerForMissingCell(
    const QDBusMessage& message, const QDBusConnection& connection)
{
    bool isId = false;
    const QAccessible::Id id = message.path().section(QLatin1Char('/'), -1).toUInt(&isId);
    QAccessibleInterface* object = isId ? QAccessible::accessibleInterface(id) : nullptr;
    QAccessibleTableInterface* cells = object && object->isValid() ? object->tableInterface() : nullptr;
    if (!cells) {
        return false;
    }
    const QVariantList arguments = message.arguments();
    const QString& member = message.member();
    int row = 0;
    int column = 0;
    if (member == QStringLiteral("GetRowColumnExtentsAtIndex")) {
        // The bridge's own arithmetic, which asks nothing of a table without columns.
        const int columns = cells->columnCount();
        if (columns <= 0) {
            return false;
        }
        row = arguments.value(0).toInt() / columns;
        column = arguments.value(0).toInt() % columns;
    } else if (member == QStringLiteral("GetRowExtentAt") || member == QStringLiteral("GetColumnExtentAt")
        || member == QStringLiteral("IsSelected")) {
        row = arguments.value(0).toInt();
        column = arguments.value(1).toInt();
    } else {
        return false;
    }
    // A table of ours gives a cell that is not valid rather than none; it is answered alike.
    if (QAccessibleInterface* cell = cells->cellAt(row, column); cell && cell->isValid()) {
        return false;
    }
    QVariantList answer;
    if (member == QStringLiteral("GetRowColumnExtentsAtIndex")) {
        answer = { false, row, column, -1, -1, false };
    } else if (member == QStringLiteral("IsSelected")) {
        answer = { false };
    } else {
        answer = { 0 };
    }
    connection.send(message.createReply(answer));
    return true;
}

} // namespace zk
