#pragma once

#include <QDBusMessage>
#include <QString>
#include <QVariantList>

namespace platform {

// Calls to the bus itself (org.freedesktop.DBus), to send with asyncCall: the name requests and
// questions QDBusConnectionInterface asks only while the calling thread waits.
QDBusMessage busDaemonCall(const QString& method, const QVariantList& arguments);

// RequestName for a name that is only ever owned alone: a process that finds it taken is not
// queued for it.
QDBusMessage requestNameCall(const QString& name);

// Whether RequestName's reply made the caller the name's owner.
bool madeNameOwner(const QDBusMessage& reply);

} // namespace platform
