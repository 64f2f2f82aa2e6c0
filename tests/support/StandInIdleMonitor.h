#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>

#include <atomic>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <vector>

// GNOME Mutter's IdleMonitor as a client sees it, on a time line of the test's (seconds, any
// origin): GetIdletime counts from the last input, or from the moment another application stopped
// inhibiting idle when that came later, as Mutter 43 resets its idle time then; an idle watch fires
// once that count reaches its interval (at once when added past due), held back while idle is
// inhibited; a user-active watch fires once, at the next input, and not at the reset. Watches fire with
// WatchFired on the connection it is given, as Mutter's do; the test registers it at the IdleMonitor's path.
class StandInIdleMonitor : public QDBusVirtualObject {
public:
    explicit StandInIdleMonitor(QDBusConnection connection);

    // The user gives input at `now`: the user-active watches fire and go, the idle watches count
    // afresh. Whether a watch fired.
    bool input(double now);
    // The time line reaches `now`: the idle watches due fire. Whether one fired.
    bool reach(double now);
    // Another application starts or stops inhibiting idle at `now`. Letting go counts the idle time
    // afresh from `now` and fires nothing until the next reach().
    void setIdleInhibited(bool inhibited, double now);

    // GetIdletime is answered late, as a busy compositor may: each answer holds the idle time at
    // the question, and is sent when released, after whatever was sent meanwhile.
    void holdIdleTimeAnswers();
    // Sends the held answers and answers at once again. How many were held.
    std::size_t releaseIdleTimeAnswers();
    std::size_t heldIdleTimeAnswers() const;
    // AddIdleWatch and AddUserActiveWatch are answered late likewise, each with its watch's id; an
    // idle watch added past due fires at once all the same, its signal sent before the answer.
    void holdWatchAnswers();
    std::size_t releaseWatchAnswers();
    std::size_t heldWatchAnswers() const;

    // When the next idle watch fires, if nothing else happens first.
    std::optional<double> nextFiring() const;
    // The interval of each live idle watch, in milliseconds.
    std::vector<quint64> idleWatchIntervals() const;
    std::size_t activeWatchCount() const;

    // Counts every call it answers in `counter` too.
    void countCallsIn(std::atomic<int>* counter) { m_counter = counter; }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;
    QString introspect(const QString&) const override { return {}; }

private:
    struct IdleWatch {
        quint64 intervalMs;
        bool fired;
    };

    bool fireDueLocked();
    void fire(uint id);
    void answerWatch(const QDBusConnection& connection, const QDBusMessage& reply);

    QDBusConnection m_connection;
    std::atomic<int>* m_counter = nullptr;
    mutable std::mutex m_mutex;
    double m_now = 0;
    // What GetIdletime and the idle watches count from: the last input or the last reset.
    double m_countFrom = 0;
    bool m_inhibited = false;
    uint m_nextId = 0;
    std::map<uint, IdleWatch> m_idleWatches;
    std::set<uint> m_activeWatches;
    bool m_holdingAnswers = false;
    std::vector<QDBusMessage> m_heldAnswers;
    bool m_holdingWatchAnswers = false;
    std::vector<QDBusMessage> m_heldWatchAnswers;
};
