#pragma once

#include <QDeadlineTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>

class QDBusMessage;

namespace platform {

// What the bus daemon holds of the application's answers that their callers have not read yet, and
// which callers leave them there. dbus-daemon counts every message it has read from a connection
// against that connection's limit until it has handed the message on; once the application's
// answers waiting for callers that never read reach the limit (a gigabyte on the session bus), the
// daemon reads nothing more from the application and nobody is answered. So the application's
// share is kept under `Limits::share`. The daemon is asked for it (its Debug.Stats interface) only
// when the answers sent since it last counted, at their full size, could have taken it there, and
// while it is over, now and then as answers go. While it is over, each caller may be sent
// `Limits::perCaller` bytes of answers, then the daemon is asked what it leaves unread before its
// next call starts: one that leaves more than `Limits::perCaller` is held until it has read or left
// the bus; one that reads may be sent as much again. A caller that sends a call and waits for its
// answer, or sends several at once and reads them, is thus served all the while, and a caller that
// never reads leaves at most about `Limits::perCaller` and one answer. Only while the share is far
// over (many callers that never read, each with its answer), a caller not answered yet that keeps
// more than a few calls waiting waits for it to fall, and after a few seconds is refused the calls
// that only ask.
//
// A bus that does not tell (dbus-broker, a daemon built without its statistics, a policy that
// denies them) is logged once and nobody is held there.
//
// Main-thread only.
class UnreadAnswerWatch : public QObject {
    Q_OBJECT
public:
    struct Limits {
        // Far under the daemon's own limit, and dozens of the largest answers (the whole history).
        std::int64_t share = std::int64_t { 64 } * 1024 * 1024;
        // A caller that reads has next to nothing waiting in the daemon: its socket takes a few
        // hundred kilobytes before the daemon keeps any.
        std::int64_t perCaller = std::int64_t { 64 } * 1024;
    };
    // How many calls a caller not yet answered may have waiting and still be served while the share
    // is far over: a script sends one and waits for it, or a few at once.
    static constexpr std::size_t fewCalls = 4;
    // Far over the share: this many times it.
    static constexpr std::int64_t roomFactor = 2;

    // What a caller's next call does: start, wait, or have the calls that only ask refused.
    enum class Turn { start, wait, refuse };

    // Watches the bus of the connection named `connectionName`, looked up at each question.
    UnreadAnswerWatch(const QString& connectionName, Limits limits, QObject* parent = nullptr);
    ~UnreadAnswerWatch() override;

    // Whether a call of `caller` (its unique name), which has `waiting` calls waiting, may start now.
    // When it must wait, the bus is asked what is needed, and changed() tells when that has come
    // back.
    Turn turnOf(const QString& caller, std::size_t waiting);
    // `caller` has been sent an answer of `bytes` (marshalledSize()).
    void answered(const QString& caller, std::int64_t bytes);
    // Whether `caller` may be sent a refusal: not once it has been found leaving more than it may
    // unread. Refusals are followed whatever the share: a caller refused `Limits::perCaller` bytes
    // since it was last seen reading is asked about.
    bool mayRefuse(const QString& caller);

Q_SIGNALS:
    // A call that could not start may now.
    void changed();
    // `caller` has left the bus: its waiting calls need no answer.
    void callerGone(const QString& caller);

private:
    enum class Outcome { counted, gone, failed, notTold };
    enum class State {
        // Seen reading, or not answered since the share went over, and sent less than it may be
        // since.
        reading,
        // Sent what it may be since it was last seen reading.
        unconfirmed,
        // Left more than it may unread.
        heldUnread,
        // Not answered yet, keeps more than a few calls waiting while the share is far over.
        heldForRoom,
    };
    struct Caller {
        State state = State::reading;
        // What it may be sent before it is asked about.
        std::int64_t allowance = 0;
        bool asking = false;
        // When a held caller is asked again.
        QDeadlineTimer due;
        // When a caller held for room has its questions refused.
        QDeadlineTimer refuseAt;
        bool refusing = false;
        int waitMs = 0;
    };

    bool overShare() const { return m_share >= m_limits.share; }
    // The share as last counted, with every answer sent since at its full size.
    std::int64_t shareAtMost() const { return m_share + m_bytesCounting + m_bytesSince; }
    // Whether a count is coming (false on a closed connection, or a bus that does not tell).
    bool askShare();
    void shareCounted(std::int64_t share);
    void askCaller(const QString& caller);
    void callerCounted(const QString& caller, std::int64_t unread);
    void hold(Caller& caller, State state);
    void lookAtHeld();
    // Asks the daemon for the statistics of `name`'s connection; `done` gets the reply.
    void ask(const QString& name, std::function<void(const QDBusMessage&)> done);
    static Outcome outcomeOf(const QDBusMessage& reply, const char* key, std::int64_t& value);
    void notTold(const QString& why);

    QString m_connectionName;
    Limits m_limits;
    bool m_told = true;

    // The application's share, as the daemon last counted it.
    std::int64_t m_share = 0;
    // The bytes of the answers sent before the question under way and after the count before it,
    // and of those sent since the question under way.
    std::int64_t m_bytesCounting = 0;
    std::int64_t m_bytesSince = 0;
    bool m_askingShare = false;
    // Since the last count: while the share is over, it is counted again now and then as answers
    // go, to see it fall.
    QDeadlineTimer m_countAgain;

    std::map<QString, Caller> m_callers;
    QTimer m_heldWait;
};

} // namespace platform
