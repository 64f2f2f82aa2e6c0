#include "platform/linux/PropertiesInTurn.h"

#include "platform/linux/BusCallQueue.h"

#include <QDBusError>
#include <QDBusMessage>
#include <QMetaClassInfo>
#include <QMetaProperty>
#include <QPointer>

#include <vector>

namespace platform {

namespace {

QString interfaceOf(const QObject* adaptor)
{
    const QMetaObject* meta = adaptor->metaObject();
    const int index = meta->indexOfClassInfo("D-Bus Interface");
    return index < 0 ? QString() : QString::fromLatin1(meta->classInfo(index).value());
}

// The adaptors of `host` whose properties `interface` names: every one for an empty name.
std::vector<QDBusAbstractAdaptor*> adaptorsOf(const QObject* host, const QString& interface)
{
    std::vector<QDBusAbstractAdaptor*> found;
    if (!host) {
        return found;
    }
    for (QDBusAbstractAdaptor* adaptor :
        host->findChildren<QDBusAbstractAdaptor*>(QString(), Qt::FindDirectChildrenOnly)) {
        if (qobject_cast<PropertiesInTurn*>(adaptor)) {
            continue;
        }
        if (interface.isEmpty() || interfaceOf(adaptor) == interface) {
            found.push_back(adaptor);
        }
    }
    return found;
}

// Own properties only: QObject's objectName is no property of the interface.
int ownProperty(const QObject* adaptor, const QString& name)
{
    const QMetaObject* meta = adaptor->metaObject();
    const int index = meta->indexOfProperty(name.toLatin1().constData());
    return index >= QDBusAbstractAdaptor::staticMetaObject.propertyCount() ? index : -1;
}

QDBusMessage unknownInterface(const QDBusMessage& call, const QString& interface)
{
    return call.createErrorReply(QDBusError::UnknownInterface,
        QStringLiteral("Interface %1 was not found in object %2").arg(interface, call.path()));
}

QDBusMessage unknownProperty(const QDBusMessage& call, const QString& interface, const QString& name)
{
    return call.createErrorReply(QDBusError::UnknownProperty,
        QStringLiteral("Property %1.%2 was not found in object %3").arg(interface, name, call.path()));
}

} // namespace

PropertiesInTurn::PropertiesInTurn(QObject* host)
    : QDBusAbstractAdaptor(host)
{
}

QDBusVariant PropertiesInTurn::Get(const QString& interface_name, const QString& property_name)
{
    BusCallQueue::answerInTurn(this, BusCallQueue::Effect::none,
        [host = QPointer(parent()), interface_name, property_name](const QDBusMessage& call) {
            const auto adaptors = adaptorsOf(host, interface_name);
            if (adaptors.empty()) {
                return unknownInterface(call, interface_name);
            }
            for (QDBusAbstractAdaptor* adaptor : adaptors) {
                const int index = ownProperty(adaptor, property_name);
                if (index >= 0 && adaptor->metaObject()->property(index).isReadable()) {
                    return call.createReply(QVariant::fromValue(
                        QDBusVariant(adaptor->metaObject()->property(index).read(adaptor))));
                }
            }
            return unknownProperty(call, interface_name, property_name);
        });
    return {};
}

QVariantMap PropertiesInTurn::GetAll(const QString& interface_name)
{
    BusCallQueue::answerInTurn(this, BusCallQueue::Effect::none,
        [host = QPointer(parent()), interface_name](const QDBusMessage& call) {
            const auto adaptors = adaptorsOf(host, interface_name);
            if (adaptors.empty()) {
                return unknownInterface(call, interface_name);
            }
            QVariantMap values;
            for (QDBusAbstractAdaptor* adaptor : adaptors) {
                const QMetaObject* meta = adaptor->metaObject();
                for (int index = QDBusAbstractAdaptor::staticMetaObject.propertyCount();
                     index < meta->propertyCount(); ++index) {
                    const QMetaProperty property = meta->property(index);
                    if (property.isReadable()) {
                        values.insert(QString::fromLatin1(property.name()), property.read(adaptor));
                    }
                }
            }
            return call.createReply(QVariant::fromValue(values));
        });
    return {};
}

void PropertiesInTurn::Set(
    const QString& interface_name, const QString& property_name, const QDBusVariant& value)
{
    BusCallQueue::answerInTurn(this, BusCallQueue::Effect::changesState,
        [host = QPointer(parent()), interface_name, property_name, value = value.variant()](
            const QDBusMessage& call) {
            const auto adaptors = adaptorsOf(host, interface_name);
            if (adaptors.empty()) {
                return unknownInterface(call, interface_name);
            }
            for (QDBusAbstractAdaptor* adaptor : adaptors) {
                const int index = ownProperty(adaptor, property_name);
                if (index < 0) {
                    continue;
                }
                const QMetaProperty property = adaptor->metaObject()->property(index);
                if (!property.isWritable()) {
                    return call.createErrorReply(QDBusError::PropertyReadOnly,
                        QStringLiteral("Property %1.%2 is read-only").arg(interface_name, property_name));
                }
                if (!property.write(adaptor, value)) {
                    return call.createErrorReply(QDBusError::InvalidArgs,
                        QStringLiteral("Property %1.%2 cannot take that value")
                            .arg(interface_name, property_name));
                }
                return call.createReply();
            }
            return unknownProperty(call, interface_name, property_name);
        });
}

} // namespace platform
