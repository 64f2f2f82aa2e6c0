#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <functional>
#include <vector>

// A dbus-daemon of the test's own, so that well-known names (a watcher, a notification service)
// never meet those of tests running at the same time on the shared session bus.
class PrivateSessionBus {
public:
    // A daemon configured as the session bus, with `configuration` (elements of a bus configuration:
    // limits) after the session's own.
    explicit PrivateSessionBus(const QString& configuration = {});
    ~PrivateSessionBus();
    PrivateSessionBus(const PrivateSessionBus&) = delete;
    PrivateSessionBus& operator=(const PrivateSessionBus&) = delete;

    // False (and the test should skip) when dbus-daemon is not installed or did not start.
    bool isRunning() const { return !m_address.isEmpty(); }
    const QString& address() const { return m_address; }

    // Stops the daemon, and lets it go on: calls to the bus meanwhile are answered only after
    // resume(), as on a desktop whose bus is busy.
    void pause();
    void resume();
    // Runs `work` while the bus is paused and resumes the bus after it; whether `work` returned
    // without the bus, that is before a watchdog had to resume the bus after `patienceMs` so that a
    // call waiting on it could end (Qt's own timeout for such a call is 25 s).
    bool finishesWhilePaused(const std::function<void()>& work, int patienceMs = 10000);

    // A new connection to the bus under this name, closed when the bus object goes.
    QDBusConnection connect(const QString& name);

    // A new connection under `connectionName` that exports `object`'s slots and signals at `path`
    // and owns `service`; false when the bus refused either.
    bool serve(const QString& connectionName, const QString& service, const QString& path, QObject* object);

    // Sends `call` and serves this thread's events until the answer is there: for calls to objects
    // that live on this thread.
    static QDBusMessage callServing(QDBusConnection connection, const QDBusMessage& call);
    // Serves this thread's events until `done` answers true or `timeoutMs` has passed; whether it
    // did. For what a service on the bus does in its own time (a name taken, a call answered).
    static bool serveUntil(const std::function<bool()>& done, int timeoutMs = 5000);
    // Sends `signal` from `sender` and returns once the bus has passed it on: whatever the sender
    // or another connection sends afterwards arrives after it.
    static void sendSignal(QDBusConnection sender, const QDBusMessage& signal);
    // Reads a property of an object on the bus, serving this thread's events meanwhile.
    static QVariant property(QDBusConnection connection, const QString& service, const QString& path,
        const QString& interface, const QString& name);

private:
    void start(const QStringList& arguments);

    QTemporaryDir m_configuration;
    QProcess m_daemon;
    QString m_address;
    std::vector<QString> m_connections;
};
