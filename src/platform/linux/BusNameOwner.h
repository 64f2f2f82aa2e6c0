#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QStringList>

class QDBusMessage;

namespace platform {

// Who owns a well-known bus name, learnt without waiting and kept current from the bus's own
// NameOwnerChanged. Qt resolves the owner of a named sender while the calling thread waits, so a
// service's signals are connected without a sender and checked here: only the name's owner is
// heard, and another process on the same path and interface cannot pose as the service.
//
// Main-thread only.
class BusNameOwner final : public QObject {
    Q_OBJECT
public:
    BusNameOwner(QDBusConnection connection, QString name, QObject* parent = nullptr);

    const QString& name() const { return m_name; }
    // The owner's unique name; empty while the bus has not answered or nobody owns the name.
    const QString& owner() const { return m_owner; }
    bool isOwnerKnown() const { return m_ownerKnown; }

    // Connects `receiver`'s `slot` to a signal of the name's objects, without asking the bus
    // anything first. The slot should take a trailing const QDBusMessage& and pass it to sentByOwner().
    // `argumentMatch` has the bus pass on only signals whose first string arguments are these.
    bool connectSignal(const QString& path, const QString& interface, const QString& member,
        QObject* receiver, const char* slot, const QStringList& argumentMatch = {});
    // Whether the message was sent by the name's current owner.
    bool sentByOwner(const QDBusMessage& message) const;

Q_SIGNALS:
    // After the owner became known or changed; empty when the name has no owner.
    void ownerChanged(const QString& owner);

private Q_SLOTS:
    void nameOwnerChanged(
        const QString& name, const QString& oldOwner, const QString& newOwner, const QDBusMessage& message);

private:
    void setOwner(const QString& owner);

    QDBusConnection m_connection;
    QString m_name;
    QString m_owner;
    bool m_ownerKnown = false;
};

} // namespace platform
