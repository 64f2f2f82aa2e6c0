#pragma once

#include <QDBusConnection>
#include <QString>

#include <string>

class QObject;

namespace kiruvo {

// The one object exported at `path` on `connection` that every Kiruvo D-Bus interface attaches its
// adaptor to: the object already there, or a new one owned by the application. Nothing, with the
// reason in `error`, when the connection is down or the path cannot be exported. Main thread only.
QObject* dbusHostObject(QDBusConnection& connection, const QString& path, std::string* error);

} // namespace kiruvo
