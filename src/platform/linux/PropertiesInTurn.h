#pragma once

#include <QDBusAbstractAdaptor>
#include <QDBusVariant>
#include <QString>
#include <QVariantMap>

namespace platform {

// The Properties interface of an exported object, answered in the object's turn of the
// connection's call queue from the properties of its other adaptors, as QtDBus would answer it at
// once (see IntrospectionInTurn). The properties are read when the call's turn comes.
class PropertiesInTurn : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.DBus.Properties")
public:
    explicit PropertiesInTurn(QObject* host);

public Q_SLOTS:
    QDBusVariant Get(const QString& interface_name, const QString& property_name);
    QVariantMap GetAll(const QString& interface_name);
    void Set(const QString& interface_name, const QString& property_name, const QDBusVariant& value);
};

} // namespace platform
