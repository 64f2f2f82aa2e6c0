#pragma once

#include "platform/linux/UnreadAnswerWatch.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDeadlineTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <vector>

namespace platform {

// The calls other programs make to the application's objects on one bus connection (the scripting
// interface, the application's own, the status item and its menu), waiting for their turn. One
// call is worked on at a time; the next starts only after the one before has answered and the event
// loop has had a turn of its own. However many calls a program sends without waiting for the
// answers, a termination signal, the tray's menu and every other caller are thus served between two
// of them. The caller that sent the fewest calls since it last had none waiting goes next (among
// equals, callers take turns), so that a script that waits for each answer is served right after the
// call under way, however many loops keep calls waiting.
//
// Every call ends within a few seconds, whatever it asks or changes: one that has not started
// within `patience` of its coming, and one of a caller that already has maximumWaitingPerCaller
// waiting, is refused (LimitsExceeded) and never carried out. A caller that leaves what it is sent
// unread (UnreadAnswerWatch) has its calls wait, and its refusals are kept until the bus has told
// whether it reads them, or never sent when it does not.
//
// An answer stays with the connection until the bus takes it, and the bus takes no more than its
// reader reads: while more than maximumUnsentBytes wait to be sent, no call starts. A program that
// sends calls and never reads the answers thus makes the calls wait, not the application's memory
// grow.
//
// Main-thread only.
class BusCallQueue : public QObject {
public:
    // How many calls of one caller may wait at a time: far more than a script that waits for its
    // answers, or sends a few at once, ever has.
    static constexpr std::size_t maximumWaitingPerCaller = 64;
    // A few of the largest answers (the whole history) and every small one a desktop sends.
    static constexpr std::int64_t maximumUnsentBytes = std::int64_t { 4 } * 1024 * 1024;

    // How long a call may wait for its turn: a script's call waits at most for the one under way
    // (the whole history, at the longest).
    static constexpr int patienceMs = 3000;

    // Called once by a call's work, with the size of what it sent (marshalledSize(); 0 when it
    // needed no answer).
    using Answered = std::function<void(std::int64_t bytes)>;
    // Works on one call and calls `answered` once, when it has answered (or found it needs no
    // answer), then or in a later turn.
    using Work = std::function<void(Answered answered)>;
    // Refuses a waiting call instead of working on it (refuse()).
    using Refuse = std::function<void()>;
    // The bytes the connection holds that the bus has not taken yet.
    using UnsentBytes = std::function<std::int64_t()>;
    // The answer to a call: a reply or an error made from it.
    using Answer = std::function<QDBusMessage(const QDBusMessage& call)>;

    // What a call does besides answering: a call that only asks is not worked on at all when its
    // caller wants no answer.
    enum class Effect { none, changesState };
    // Why a call is refused.
    enum class Refusal { tooManyWaiting, notInTime };

    // A queue whose connection never holds anything unsent, unless `unsentBytes` says otherwise,
    // and whose callers all read, unless `watch` (which the queue takes) says otherwise; calls wait
    // `patience` at most.
    explicit BusCallQueue(UnsentBytes unsentBytes = {}, UnreadAnswerWatch* watch = nullptr,
        std::chrono::milliseconds patience = std::chrono::milliseconds(patienceMs),
        QObject* parent = nullptr);
    ~BusCallQueue() override;

    // The queue that every object exported on `connection` shares, made at its first use, with
    // `limits` on what its callers leave unread.
    static BusCallQueue& of(const QDBusConnection& connection, UnreadAnswerWatch::Limits limits = {});

    // Queues `work` behind the calls of `caller` (its unique bus name); false, and nothing queued,
    // when that caller has too many waiting (refuse() the call then). `refuse` is called instead of
    // `work` when the call has waited too long.
    bool enqueue(const QString& caller, Work work, Refuse refuse = {});
    // The calls queued and not yet started.
    std::size_t waitingCount() const { return m_waitingCount; }

    // For a slot of `adaptor` (whose parent is a platform::DBusCallContext) that answers at once
    // when called directly: the call being delivered waits for its turn in the queue of its
    // connection and is answered then with what `answer` gives (an error when the adaptor is gone
    // by then). False, and nothing done, when no call from the bus is being delivered.
    static bool answerInTurn(QObject* adaptor, Effect effect, Answer answer);

    // Sends `call` (received on `connection`) the refusal that says `why`, when it wants an answer
    // and its caller reads what it is sent.
    static void refuse(
        const QDBusConnection& connection, const QDBusMessage& call, Refusal why = Refusal::tooManyWaiting);
    // What refuses `call` once it has waited too long.
    static Refuse refusalOf(const QDBusConnection& connection, const QDBusMessage& call);

    // The bytes `connection` holds that the bus has not taken yet; 0 for a closed one.
    static std::int64_t unsentBytes(const QDBusConnection& connection);

private:
    struct Call {
        Work work;
        Refuse refuse;
        QDeadlineTimer due;
    };
    // A refusal kept until the bus has told whether its caller reads.
    struct Kept {
        QDBusConnection connection;
        QDBusMessage call;
        Refusal why;
    };
    struct Caller {
        std::deque<Call> calls;
        // The calls queued since the caller last had none waiting.
        std::size_t received = 0;
    };

    void sendRefusal(const QDBusConnection& connection, const QDBusMessage& call, Refusal why);
    void sendKeptRefusals();
    void scheduleNext();
    void startNext();
    void finished(const QString& caller, std::int64_t bytes);
    // Refuses the calls that have waited too long, and looks again when the next will have.
    void refuseLate();

    std::map<QString, Caller>::iterator nextCaller();

    UnsentBytes m_unsentBytes;
    UnreadAnswerWatch* m_watch;
    std::chrono::milliseconds m_patience;
    std::map<QString, Caller> m_waiting;
    std::map<QString, std::vector<Kept>> m_kept;
    std::size_t m_waitingCount = 0;
    // The caller whose call was started last: among callers that sent as many, the next one is next.
    QString m_lastCaller;
    bool m_working = false;
    bool m_scheduled = false;
    // Looks again, while the connection holds too much, whether the bus has taken it.
    QTimer m_unsentWait;
    QTimer m_lateWait;
};

} // namespace platform
