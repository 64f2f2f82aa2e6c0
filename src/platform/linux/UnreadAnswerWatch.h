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

// Which callers leave the application's answers unread in the bus daemon. dbus-daemon counts every
// message it has read from a connection against that connection's limit until it has handed it on;
// once the application's answers waiting for callers that never read reach that limit (a gigabyte
// on the session bus), the daemon reads nothing more from the application and nobody is answered.
//
// Each caller may be sent `Limits::perCaller` bytes (or one answer, if larger) before the daemon is
// asked (its Debug.Stats interface) what it holds for that caller. A caller that took at least one
// message since it was last asked, or has less than `Limits::perCaller` waiting there, reads: it is
// sent as much again. One that has more waiting is asked again shortly; found not to have taken
// anything meanwhile, it is not reading: nothing more is sent to it, not even a refusal (which would
// only wait there too), until it has read or left the bus; one that may have been sent what it may be
// is sent no refusal either until the daemon has told. While the answers of all callers left
// unread may come to `Limits::share`, a caller not seen reading yet is sent one answer at a time,
// and not even that while it keeps more than a few calls waiting (no script does).
//
// A bus that does not tell (dbus-broker, a daemon built without its statistics, a policy that
// denies them) is logged once and every caller is taken to read.
//
// Main-thread only.
class UnreadAnswerWatch : public QObject {
    Q_OBJECT
public:
    struct Limits {
        // Far under the daemon's own limit, and a few of the largest answers (the whole history).
        std::int64_t share = std::int64_t { 64 } * 1024 * 1024;
        // A caller that reads has next to nothing waiting in the daemon: its socket takes a few
        // hundred kilobytes before the daemon keeps any.
        std::int64_t perCaller = std::int64_t { 256 } * 1024;
    };
    // How many calls a caller not yet seen reading may have waiting and still be served while the
    // share may be reached: a script sends one and waits for it, or a few at once.
    static constexpr std::size_t fewCalls = 4;

    // Watches the bus of the connection named `connectionName`, looked up at each question.
    UnreadAnswerWatch(const QString& connectionName, Limits limits, QObject* parent = nullptr);
    ~UnreadAnswerWatch() override;

    // Whether a call of `caller` (its unique name), which has `waiting` calls waiting, may start
    // now. When it may not, the bus is asked what is needed, and changed() tells when that has come
    // back.
    bool mayStart(const QString& caller, std::size_t waiting);
    // When `caller` may be sent a refusal: now; once the bus has told whether it reads what it is
    // sent (changed() says when), as it may have been sent what it may be; or never, as it has been
    // found not reading.
    enum class Refusals { now, later, never };
    Refusals refusalsTo(const QString& caller);
    // `caller` has been sent a message (an answer or a refusal) of `bytes` (marshalledSize()).
    void sent(const QString& caller, std::int64_t bytes);

Q_SIGNALS:
    // A call that could not start may now.
    void changed();

private:
    enum class State {
        // Seen reading, or not asked about yet.
        reading,
        // Has more than it may waiting unread, and is asked again to see whether it takes any.
        behind,
        // Took nothing since it was last asked, with more than it may waiting unread.
        notReading,
    };
    struct Caller {
        State state = State::reading;
        bool seenReading = false;
        bool asking = false;
        // What the daemon held for it at the last count, in bytes and messages (-1: never counted).
        std::int64_t unread = 0;
        std::int64_t unreadMessages = -1;
        // Sent before the question under way (counted by it), and since.
        std::int64_t bytesCounting = 0;
        std::int64_t messagesCounting = 0;
        std::int64_t bytesSince = 0;
        std::int64_t messagesSince = 0;
        // When one that is behind, or not reading, is asked again.
        QDeadlineTimer due;
        int waitMs = 0;

        std::int64_t estimate() const { return unread + bytesCounting + bytesSince; }
    };
    enum class Outcome { counted, gone, failed, notTold };

    void askCaller(const QString& name, Caller& caller);
    void counted(const QString& name, std::int64_t bytes, std::int64_t messages);
    void setEstimate(Caller& caller, std::int64_t unread);
    void lookAgain();
    void forget(std::map<QString, Caller>::iterator caller);
    static Outcome outcomeOf(const QDBusMessage& reply, std::int64_t& bytes, std::int64_t& messages);
    void notTold(const QString& why);

    QString m_connectionName;
    Limits m_limits;
    bool m_told = true;
    std::map<QString, Caller> m_callers;
    // What all callers followed may hold unread: the sum of their estimates.
    std::int64_t m_total = 0;
    QTimer m_lookAgain;
};

} // namespace platform
