#include "app/intents/DBusHostObject.h"

#include "platform/linux/DBusCallContext.h"

#include <QCoreApplication>
#include <QDBusError>
#include <QObject>

namespace kiruvo {

QObject* dbusHostObject(QDBusConnection& connection, const QString& path, std::string* error)
{
    if (!connection.isConnected()) {
        const QString reason = connection.lastError().message();
        *error = reason.isEmpty() ? std::string("no session bus") : "no session bus: " + reason.toStdString();
        return nullptr;
    }
    if (QObject* host = connection.objectRegisteredAt(path)) {
        return host;
    }
    // A DBusCallContext: a termination signal is not held behind the calls that flood it.
    auto* created = new platform::DBusCallContext(QCoreApplication::instance());
    created->setObjectName(QStringLiteral("KiruvoDBusObject"));
    if (!connection.registerObject(path, created, QDBusConnection::ExportAdaptors)) {
        delete created;
        *error = "the object path " + path.toStdString() + " cannot be exported";
        return nullptr;
    }
    return created;
}

} // namespace kiruvo
