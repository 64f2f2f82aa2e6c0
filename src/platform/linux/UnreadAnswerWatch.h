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
// share is kept under `Limits::share`: the daemon is asked for it (its Debug.Stats interface) as
// answers go. While it is over, a caller answered since it was last seen reading is asked about
// before its next call starts, and one that leaves more than `Limits::perCaller` unread is held
// until it has read or left the bus; a caller not yet seen reading that keeps more than a few calls
// waiting (no script waiting for its answers does) waits until the share is under again. A caller
// that sends a call and waits for its answer is served all the while.
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
    // How many calls a caller not seen reading may have waiting and still be served while the share
    // is over: a script sends one and waits for it, or a few at once.
    static constexpr std::size_t fewCalls = 4;

    // Watches the bus of the connection named `connectionName`, looked up at each question.
    UnreadAnswerWatch(const QString& connectionName, Limits limits, QObject* parent = nullptr);
    ~UnreadAnswerWatch() override;

    // Whether a call of `caller` (its unique name), which has `waiting` calls waiting, may start now.
    // When it may not, the bus is asked what is needed, and changed() tells when that has come back.
    bool mayStart(const QString& caller, std::size_t waiting);
    // A call of `caller` has been answered.
    void answered(const QString& caller);
    // Whether `caller` was found leaving more than it may unread and has not read since.
    bool leavesAnswersUnread(const QString& caller) const;

Q_SIGNALS:
    // A call that could not start may now.
    void changed();
    // `caller` has left the bus: its waiting calls need no answer.
    void callerGone(const QString& caller);

private:
    enum class Outcome { counted, gone, failed, notTold };
    enum class State {
        // Answered since it was last seen reading.
        unconfirmed,
        // Seen reading since its last answer.
        reading,
        // Left more than it may unread.
        heldUnread,
        // Keeps many calls waiting, not seen reading, while the share is over.
        heldForRoom,
    };
    struct Caller {
        State state = State::unconfirmed;
        bool asking = false;
        // When a held caller is asked again.
        QDeadlineTimer due;
        int waitMs = 0;
    };

    bool overShare() const { return m_share >= m_limits.share; }
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

    // The application's share, as the daemon last counted it, and how much one answer added to it
    // lately: between two counts, what answers sent since the last may have added.
    std::int64_t m_share = 0;
    std::int64_t m_perAnswer = 0;
    // Answers sent before the question under way and after the count before it, and answers sent
    // since the question under way.
    std::int64_t m_answersCounting = 0;
    std::int64_t m_answersSince = 0;
    bool m_askingShare = false;
    // Since the last count: while callers wait for room, the share is counted again now and then.
    QDeadlineTimer m_countAgain;

    std::map<QString, Caller> m_callers;
    QTimer m_heldWait;
};

} // namespace platform
