#pragma once

#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QObject>
#include <QStringList>
#include <QThread>

#include <memory>
#include <mutex>

// What a panel offers a StatusNotifierItem: org.kde.StatusNotifierWatcher at /StatusNotifierWatcher
// on a private bus, with or without a registered host. It serves the bus from a thread of its own,
// so the item under test may wait for its answers on the main thread.
class StandInStatusNotifierWatcher {
public:
    // Connects to the bus at `address` and takes the watcher's name; with `withHost`, a host is
    // registered from the start.
    StandInStatusNotifierWatcher(const QString& address, bool withHost);
    // Lets go of the name, as a panel that quits does.
    ~StandInStatusNotifierWatcher();

    bool hasName() const { return m_hasName; }
    // Every item service that registered, in order (twice when it registered twice).
    QStringList registeredItems() const;
    // Registers a host, or removes it, and says so with the watcher's signal.
    void setHostRegistered(bool registered);

    class Adaptor;

private:
    QThread m_thread;
    QObject* m_object = nullptr;
    Adaptor* m_adaptor = nullptr;
    QString m_connectionName;
    bool m_hasName = false;
};

class StandInStatusNotifierWatcher::Adaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ isHostRegistered)
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ items)
    Q_PROPERTY(int ProtocolVersion READ protocolVersion)
public:
    explicit Adaptor(QObject* parent)
        : QDBusAbstractAdaptor(parent)
    {
    }

    bool isHostRegistered() const;
    QStringList items() const;
    int protocolVersion() const { return 0; }
    void setHostRegistered(bool registered);

public Q_SLOTS:
    void RegisterStatusNotifierItem(const QString& service);
    void RegisterStatusNotifierHost(const QString& service);

Q_SIGNALS:
    void StatusNotifierItemRegistered(const QString& service);
    void StatusNotifierHostRegistered();
    void StatusNotifierHostUnregistered();

private:
    mutable std::mutex m_mutex;
    bool m_hostRegistered = false;
    QStringList m_items;
};
