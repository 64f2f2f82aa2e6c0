#include "kit/interface/AccessibilityBusGuard.h"

#include <QApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QTimer>
#include <QXmlStreamReader>

namespace zk {

namespace {

// Where Qt 6.4's bridge keeps its connection to the accessibility bus and its objects.
const QString bridgeConnection = QStringLiteral("a11y");
const QString bridgePath = QStringLiteral("/org/a11y/atspi/accessible");
const QString properties = QStringLiteral("org.freedesktop.DBus.Properties");
const QString table = QStringLiteral("org.a11y.atspi.Table");

} // namespace

// The standard interfaces, and the one method of the desktop's Accessible interface that readers ask
// every object for.
const AccessibilityBusGuard::ObjectDescription& AccessibilityBusGuard::undescribed()
{
    static const ObjectDescription interfaces {
        { properties,
            { { { QStringLiteral("Get"), QStringLiteral("ss") },
                  { QStringLiteral("Set"), QStringLiteral("ssv") },
                  { QStringLiteral("GetAll"), QStringLiteral("s") } },
                {} } },
        { QStringLiteral("org.freedesktop.DBus.Introspectable"),
            { { { QStringLiteral("Introspect"), QString() } }, {} } },
        { QStringLiteral("org.freedesktop.DBus.Peer"),
            { { { QStringLiteral("Ping"), QString() }, { QStringLiteral("GetMachineId"), QString() } },
                {} } },
        { QStringLiteral("org.a11y.atspi.Accessible"),
            { { { QStringLiteral("GetInterfaces"), QString() } }, {} } },
    };
    return interfaces;
}

AccessibilityBusGuard::ObjectDescription AccessibilityBusGuard::describe(const QString& introspection)
{
    ObjectDescription described;
    if (introspection.isEmpty()) {
        return described;
    }
    // One element for each interface, side by side: a root makes them one document.
    QXmlStreamReader description(QStringLiteral("<node>") + introspection + QStringLiteral("</node>"));
    InterfaceDescription* interface = nullptr;
    QString* method = nullptr;
    while (!description.atEnd()) {
        description.readNext();
        if (description.isStartElement()) {
            const auto attributes = description.attributes();
            const QString name = attributes.value(QLatin1String("name")).toString();
            if (description.name() == QLatin1String("interface")) {
                interface = &described[name];
                method = nullptr;
            } else if (!interface) {
                continue;
            } else if (description.name() == QLatin1String("method")) {
                method = &interface->methods[name];
            } else if (description.name() == QLatin1String("property")) {
                interface->properties.insert(name, attributes.value(QLatin1String("access")).contains(u'w'));
            } else if (description.name() == QLatin1String("arg") && method
                && attributes.value(QLatin1String("direction")) != QLatin1String("out")) {
                *method += attributes.value(QLatin1String("type")).toString();
            }
        } else if (description.isEndElement() && description.name() == QLatin1String("method")) {
            method = nullptr;
        }
    }
    for (auto interface = undescribed().constBegin(); interface != undescribed().constEnd(); ++interface) {
        // The standard interfaces belong to every object; another's method, to objects that have it.
        if (interface.key().startsWith(QLatin1String("org.freedesktop.DBus."))
            || described.contains(interface.key())) {
            described[interface.key()].methods.insert(interface->methods);
        }
    }
    return described;
}

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
    } else {
        connection.registerVirtualObject(bridgePath, registered, QDBusConnection::SubPath);
    }
}

QString AccessibilityBusGuard::introspect(const QString& path) const
{
    return m_bridge ? m_bridge->introspect(path) : QString();
}

bool AccessibilityBusGuard::refuseUndescribed(const QDBusMessage& message, const QDBusConnection& connection)
{
    // The bridge describes each kind of object alike, and a reader asks object after object.
    const QString introspection = m_bridge->introspect(message.path());
    auto known = m_descriptions.constFind(introspection);
    if (known == m_descriptions.constEnd()) {
        // A handful of kinds in practice; never more than this many kept.
        if (m_descriptions.size() >= 64) {
            m_descriptions.clear();
        }
        known = m_descriptions.insert(introspection, describe(introspection));
    }
    const ObjectDescription& described = *known;
    if (described.isEmpty()) {
        // No such object: the bridge tells the caller so, whatever the call.
        return false;
    }
    const auto refuse = [&](QDBusError::ErrorType error, const QString& why) {
        connection.send(message.createErrorReply(error, why));
        return true;
    };
    const QString& interfaceName = message.interface();
    const auto interface = described.constFind(interfaceName);
    if (interface == described.constEnd()) {
        return refuse(QDBusError::UnknownInterface,
            QStringLiteral("The object has no interface \"%1\".").arg(interfaceName));
    }
    const auto method = interface->methods.constFind(message.member());
    if (method == interface->methods.constEnd()) {
        return refuse(QDBusError::UnknownMethod,
            QStringLiteral("%1 has no method \"%2\".").arg(interfaceName, message.member()));
    }
    // Described, but its answer is one the bridge cannot send: the caller would wait for it.
    if (interfaceName == QLatin1String("org.a11y.atspi.Text")
        && message.member() == QStringLiteral("GetBoundedRanges")) {
        return refuse(QDBusError::NotSupported, QStringLiteral("Ask for the ranges' extents one by one."));
    }
    if (message.signature() != *method) {
        return refuse(QDBusError::InvalidArgs,
            QStringLiteral("%1.%2 takes arguments of type \"%3\".")
                .arg(interfaceName, message.member(), *method));
    }
    if (interfaceName != properties) {
        // The bridge sets a property by a method of the property's name, which it also describes,
        // and reads the value where the property call has it.
        if (message.member().startsWith(QLatin1String("Set"))
            && interface->properties.value(message.member().mid(3), false)) {
            return refuse(QDBusError::UnknownMethod,
                QStringLiteral("%1 is set with org.freedesktop.DBus.Properties.Set.")
                    .arg(message.member().mid(3)));
        }
        return false;
    }
    // A property's interface and name are the bridge's name of a method of its own.
    const QString named = message.arguments().value(0).toString();
    const auto owner = described.constFind(named);
    if (owner == described.constEnd() || named == properties) {
        return refuse(
            QDBusError::UnknownInterface, QStringLiteral("The object has no interface \"%1\".").arg(named));
    }
    if (message.member() == QStringLiteral("GetAll")) {
        return refuse(QDBusError::NotSupported, QStringLiteral("Ask for each property with Get."));
    }
    const QString property = message.arguments().value(1).toString();
    const auto found = owner->properties.constFind(property);
    if (found == owner->properties.constEnd()) {
        return refuse(
            QDBusError::UnknownProperty, QStringLiteral("%1 has no property \"%2\".").arg(named, property));
    }
    if (message.member() == QStringLiteral("Set") && !*found) {
        return refuse(
            QDBusError::PropertyReadOnly, QStringLiteral("%1.%2 cannot be set.").arg(named, property));
    }
    return false;
}

bool AccessibilityBusGuard::handleMessage(const QDBusMessage& message, const QDBusConnection& connection)
{
    if (!m_bridge) {
        return false;
    }
    if (message.type() == QDBusMessage::MethodCallMessage) {
        if (refuseUndescribed(message, connection)) {
            return true;
        }
        if (refuseOutsideText(message, connection) || answerForMissingChild(message, connection)
            || (message.interface() == table && answerForMissingCell(message, connection))) {
            return true;
        }
    }
    if (!m_bridge->handleMessage(message, connection)) {
        return false;
    }
    // The bridge takes the application's Id, which the desktop's registry sets, without answering.
    if (message.interface() == properties && message.member() == QStringLiteral("Set")
        && message.arguments().value(0).toString() == QLatin1String("org.a11y.atspi.Application")
        && message.isReplyRequired()) {
        connection.send(message.createReply());
    }
    return true;
}

QAccessibleInterface* AccessibilityBusGuard::objectAt(const QString& path)
{
    const QString name = path.section(QLatin1Char('/'), -1);
    if (name == QLatin1String("root")) {
        return QAccessible::queryAccessibleInterface(qApp);
    }
    bool isId = false;
    const QAccessible::Id id = name.toUInt(&isId);
    QAccessibleInterface* object = isId ? QAccessible::accessibleInterface(id) : nullptr;
    return object && object->isValid() ? object : nullptr;
}

bool AccessibilityBusGuard::refuseOutsideText(const QDBusMessage& message, const QDBusConnection& connection)
{
    // The places in the text each method takes, by argument.
    static const QHash<QString, QList<int>> places {
        { QStringLiteral("org.a11y.atspi.Text.GetStringAtOffset"), { 0 } },
        { QStringLiteral("org.a11y.atspi.Text.GetText"), { 0, 1 } },
        { QStringLiteral("org.a11y.atspi.Text.SetCaretOffset"), { 0 } },
        { QStringLiteral("org.a11y.atspi.Text.GetTextBeforeOffset"), { 0 } },
        { QStringLiteral("org.a11y.atspi.Text.GetTextAtOffset"), { 0 } },
        { QStringLiteral("org.a11y.atspi.Text.GetTextAfterOffset"), { 0 } },
        { QStringLiteral("org.a11y.atspi.Text.GetCharacterAtOffset"), { 0 } },
        { QStringLiteral("org.a11y.atspi.Text.GetAttributeValue"), { 0 } },
        { QStringLiteral("org.a11y.atspi.Text.GetAttributes"), { 0 } },
        { QStringLiteral("org.a11y.atspi.Text.GetAttributeRun"), { 0 } },
        { QStringLiteral("org.a11y.atspi.Text.GetCharacterExtents"), { 0 } },
        { QStringLiteral("org.a11y.atspi.Text.AddSelection"), { 0, 1 } },
        { QStringLiteral("org.a11y.atspi.Text.SetSelection"), { 1, 2 } },
        { QStringLiteral("org.a11y.atspi.Text.GetRangeExtents"), { 0, 1 } },
        { QStringLiteral("org.a11y.atspi.Text.ScrollSubstringTo"), { 0, 1 } },
        { QStringLiteral("org.a11y.atspi.Text.ScrollSubstringToPoint"), { 0, 1 } },
        { QStringLiteral("org.a11y.atspi.EditableText.InsertText"), { 0 } },
        { QStringLiteral("org.a11y.atspi.EditableText.PasteText"), { 0 } },
        { QStringLiteral("org.a11y.atspi.EditableText.CopyText"), { 0, 1 } },
        { QStringLiteral("org.a11y.atspi.EditableText.CutText"), { 0, 1 } },
        { QStringLiteral("org.a11y.atspi.EditableText.DeleteText"), { 0, 1 } },
    };
    const auto taken = places.constFind(message.interface() + u'.' + message.member());
    if (taken == places.constEnd()) {
        return false;
    }
    QAccessibleInterface* object = objectAt(message.path());
    if (!object) {
        return false;
    }
    // The widgets' own editing makes room for a place past the end (gigabytes of it, for the
    // largest one), and the extents of a range are reckoned character by character: a place
    // outside the text could end Kiruvo or keep it busy for minutes.
    const int length = object->textInterface() ? object->textInterface()->characterCount() : 0;
    const QVariantList arguments = message.arguments();
    for (const int argument : *taken) {
        const int place = arguments.value(argument).toInt();
        // A text's end is also -1 where a range ends.
        const bool end = place == -1 && argument == 1 && message.member() == QStringLiteral("GetText");
        if ((place < 0 || place > length) && !end) {
            connection.send(message.createErrorReply(QDBusError::InvalidArgs,
                QStringLiteral("%1 is no place in a text of %2 characters.").arg(place).arg(length)));
            return true;
        }
    }
    // What of the text given is inserted.
    if (message.member() == QStringLiteral("InsertText")) {
        const int given = arguments.value(1).toString().size();
        const int inserted = arguments.value(2).toInt();
        if (inserted < 0 || inserted > given) {
            connection.send(message.createErrorReply(QDBusError::InvalidArgs,
                QStringLiteral("%1 characters of a text of %2 cannot be inserted.")
                    .arg(inserted)
                    .arg(given)));
            return true;
        }
    }
    return false;
}

bool AccessibilityBusGuard::answerForMissingChild(
    const QDBusMessage& message, const QDBusConnection& connection)
{
    if (message.interface() != QLatin1String("org.a11y.atspi.Accessible")
        || message.member() != QStringLiteral("GetChildAtIndex")) {
        return false;
    }
    QAccessibleInterface* object = objectAt(message.path());
    const int index = message.arguments().value(0).toInt();
    if (!object || (index >= 0 && index < object->childCount())) {
        return false;
    }
    // The null object, as the desktop's own toolkits name it.
    QDBusArgument nothing;
    nothing.beginStructure();
    nothing << QString() << QDBusObjectPath(QStringLiteral("/org/a11y/atspi/null"));
    nothing.endStructure();
    connection.send(message.createReply(QVariant::fromValue(nothing)));
    return true;
}

bool AccessibilityBusGuard::answerForMissingCell(
    const QDBusMessage& message, const QDBusConnection& connection)
{
    QAccessibleInterface* object = objectAt(message.path());
    QAccessibleTableInterface* cells = object ? object->tableInterface() : nullptr;
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
