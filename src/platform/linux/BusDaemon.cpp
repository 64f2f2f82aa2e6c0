#include "platform/linux/BusDaemon.h"

namespace platform {

namespace {

// RequestName's flag and answer, as the D-Bus protocol numbers them.
constexpr uint doNotQueue = 4;
constexpr uint primaryOwner = 1;

} // namespace

QDBusMessage busDaemonCall(const QString& method, const QVariantList& arguments)
{
    QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"),
        QStringLiteral("/org/freedesktop/DBus"), QStringLiteral("org.freedesktop.DBus"), method);
    call.setArguments(arguments);
    return call;
}

QDBusMessage requestNameCall(const QString& name)
{
    return busDaemonCall(QStringLiteral("RequestName"), { name, QVariant::fromValue(doNotQueue) });
}

bool madeNameOwner(const QDBusMessage& reply)
{
    return reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()
        && reply.arguments().front().toUInt() == primaryOwner;
}

} // namespace platform
