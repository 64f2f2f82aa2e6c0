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
// The nodes above an exported object ("/" and those on the way down) have no object of their own, and
// QtDBus answers their Introspect at once on its own thread, where nothing bounds what a caller that
// never reads is sent; each gets an object of the application's here, whose Introspect names the
// nodes below it in its turn.
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
    // For the node at `path` of the connection named `connectionName`.
    IntrospectionInTurn(QObject* host, QString connectionName, QString path);

    // Gives each node above `path` an object, with this adaptor, where none is exported.
    static void exportNodesAbove(const QDBusConnection& connection, const QString& path);
    QString nodeDescription() const;

    QString m_description;
    QString m_connectionName;
    QString m_path;
};

} // namespace platform
