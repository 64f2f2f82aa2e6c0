#pragma once

#include <QObject>
#include <QString>

#include <cstddef>
#include <deque>
#include <functional>
#include <map>
#include <memory>

namespace kiruvo {

// The scripting calls waiting for their turn. One call is worked on at a time; the next starts
// only after the one before has answered and the event loop has had a turn of its own, and callers
// take turns, one call each. However many calls a script sends without waiting for the answers, a
// termination signal, the tray's menu and every other caller are thus served between two of them.
// A caller that already has maximumWaitingPerCaller calls waiting has the next ones refused.
//
// Main-thread only.
class IntentCallQueue : public QObject {
public:
    // How many calls of one caller may wait at a time: far more than a script that waits for its
    // answers, or sends a few at once, ever has.
    static constexpr std::size_t maximumWaitingPerCaller = 64;

    // Works on one call and calls `answered` once, when it has answered (or found it needs no
    // answer), then or in a later turn.
    using Work = std::function<void(std::function<void()> answered)>;

    explicit IntentCallQueue(QObject* parent = nullptr);

    // Queues `work` behind the calls of `caller` (its unique bus name); false, and nothing queued,
    // when that caller has too many waiting.
    bool enqueue(const QString& caller, Work work);
    // The calls queued and not yet started.
    std::size_t waitingCount() const { return m_waitingCount; }

private:
    void scheduleNext();
    void startNext();
    void finished();

    std::map<QString, std::deque<Work>> m_waiting;
    std::size_t m_waitingCount = 0;
    // The caller whose call was started last: the next call is the next caller's.
    QString m_lastCaller;
    bool m_working = false;
    bool m_scheduled = false;
};

} // namespace kiruvo
