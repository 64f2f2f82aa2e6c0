#pragma once

#include <QDBusConnection>
#include <QObject>

namespace platform {

// Says in the log, once, when the application's connection to the session bus is lost: the bus
// daemon ended, or it disconnected the application (as it does without a word to a connection
// that sent what the protocol forbids). Qt D-Bus does not connect again, so whatever the
// application offered there stays gone until it is started again, and the log is where the user
// or a bug report learns why.
// Main-thread only.
class BusLossWatch : public QObject {
    Q_OBJECT
public:
    explicit BusLossWatch(QDBusConnection connection, QObject* parent = nullptr);

    // False when the connection was not connected to begin with: there is nothing to lose.
    bool isWatching() const { return m_watching; }

Q_SIGNALS:
    void lost();

private Q_SLOTS:
    void handleDisconnected();

private:
    QDBusConnection m_connection;
    bool m_watching = false;
    bool m_lost = false;
};

} // namespace platform
