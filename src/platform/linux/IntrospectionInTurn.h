#pragma once

#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QString>

namespace platform {

// Introspect of an exported object, answered in the object's turn of the connection's call queue
// rather than by QtDBus at once: QtDBus answers it itself, even when the caller wants no answer,
// so a program sending it in a loop would fill the application's memory with answers and hold up
// everything else. The answer is the one QtDBus gives for the object as it was when install() ran.
//
// An adaptor of an interface takes its calls before QtDBus's own answers do.
class IntrospectionInTurn : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.DBus.Introspectable")
public:
    // Puts Introspect and the Properties interface of `host` (a platform::DBusCallContext exported
    // at `path` on `connection`, with all its adaptors made) into the call queue. Once per host: an
    // adaptor made later is missing from the description.
    static void install(const QDBusConnection& connection, const QString& path, QObject* host);

public Q_SLOTS:
    QString Introspect();

private:
    IntrospectionInTurn(QObject* host, QString description);

    QString m_description;
};

} // namespace platform
