#include "platform/linux/SettingsPortal.h"

#include "platform/linux/BusNameOwner.h"

#include <QDBusVariant>

namespace platform {

QDBusMessage SettingsPortal::readCall(const QString& portal, const QString& ns, const QString& key)
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        portal, QString::fromLatin1(path), QString::fromLatin1(interfaceName), QStringLiteral("Read"));
    call << ns << key;
    return call;
}

bool SettingsPortal::followChanges(BusNameOwner& portal, QObject* receiver, const char* slot)
{
    // The slot is found by its signature's names: QDBusVariant must be known before any reply made
    // it so.
    qRegisterMetaType<QDBusVariant>();
    return portal.connectSignal(QString::fromLatin1(path), QString::fromLatin1(interfaceName),
        QStringLiteral("SettingChanged"), receiver, slot);
}

QVariant SettingsPortal::unwrapped(QVariant value)
{
    while (value.userType() == qMetaTypeId<QDBusVariant>()) {
        value = value.value<QDBusVariant>().variant();
    }
    return value;
}

} // namespace platform
