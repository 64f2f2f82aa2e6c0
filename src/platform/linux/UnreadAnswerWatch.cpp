#include "platform/linux/UnreadAnswerWatch.h"

#include "platform/Logger.h"
#include "platform/MainQueue.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QVariantMap>

#include <algorithm>
#include <cassert>
#include <utility>

namespace platform {

namespace {

// The daemon answers at once while it reads from the application at all; one that has not answered
// by then is not counting anything soon.
constexpr int askTimeoutMs = 5000;
// A caller behind is asked again after this, twice as long each time it has still not read, up to
// the longest: one that reads again is served within a few seconds, and one that has left is
// forgotten.
constexpr int firstWaitMs = 100;
constexpr int longestWaitMs = 3200;
// Past this many callers followed, those that read and were sent less than they may be are
// forgotten, as most will have left.
constexpr std::size_t mostCallersFollowed = 1024;

} // namespace

UnreadAnswerWatch::UnreadAnswerWatch(const QString& connectionName, Limits limits, QObject* parent)
    : QObject(parent)
    , m_connectionName(connectionName)
    , m_limits(limits)
{
    m_lookAgain.setSingleShot(true);
    connect(&m_lookAgain, &QTimer::timeout, this, [this] { lookAgain(); });
}

UnreadAnswerWatch::~UnreadAnswerWatch() = default;

bool UnreadAnswerWatch::mayStart(const QString& caller, std::size_t waiting)
{
    assert(MainQueue::isMainThread());
    if (!m_told) {
        return true;
    }
    const auto known = m_callers.find(caller);
    if (known != m_callers.end() && (known->second.asking || known->second.state != State::reading)) {
        return false;
    }
    if (m_total < m_limits.share || (known != m_callers.end() && known->second.seenReading)) {
        return true;
    }
    // Each of many callers that never read would otherwise leave an answer: one not seen reading
    // yet is sent one answer and asked about before the next.
    if (waiting > fewCalls) {
        return false;
    }
    if (known != m_callers.end() && known->second.bytesSince > 0) {
        askCaller(caller, known->second);
        return false;
    }
    return true;
}

UnreadAnswerWatch::Refusals UnreadAnswerWatch::refusalsTo(const QString& caller)
{
    const auto known = m_callers.find(caller);
    if (!m_told || known == m_callers.end()) {
        return Refusals::now;
    }
    Caller& followed = known->second;
    if (followed.state == State::notReading) {
        return Refusals::never;
    }
    if (followed.state == State::reading
        && followed.bytesCounting + followed.bytesSince >= m_limits.perCaller) {
        askCaller(caller, followed);
    }
    return followed.asking || followed.state != State::reading ? Refusals::later : Refusals::now;
}

void UnreadAnswerWatch::sent(const QString& caller, std::int64_t bytes)
{
    assert(MainQueue::isMainThread());
    if (!m_told) {
        return;
    }
    if (m_callers.size() >= mostCallersFollowed) {
        for (auto known = m_callers.begin(); known != m_callers.end();) {
            const Caller& followed = known->second;
            const bool idle = followed.state == State::reading && !followed.asking
                && followed.estimate() < m_limits.perCaller;
            known = idle ? (m_total -= followed.estimate(), m_callers.erase(known)) : std::next(known);
        }
    }
    Caller& followed = m_callers[caller];
    followed.bytesSince += bytes;
    ++followed.messagesSince;
    m_total += bytes;
    if (followed.bytesCounting + followed.bytesSince >= m_limits.perCaller) {
        askCaller(caller, followed);
    }
}

void UnreadAnswerWatch::askCaller(const QString& name, Caller& caller)
{
    if (std::exchange(caller.asking, true)) {
        return;
    }
    // The daemon reads the application's messages in order: those sent before the question are in
    // what it counts.
    caller.bytesCounting += std::exchange(caller.bytesSince, 0);
    caller.messagesCounting += std::exchange(caller.messagesSince, 0);
    QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"),
        QStringLiteral("/org/freedesktop/DBus"), QStringLiteral("org.freedesktop.DBus.Debug.Stats"),
        QStringLiteral("GetConnectionStats"));
    call << name;
    auto* watcher
        = new QDBusPendingCallWatcher(QDBusConnection(m_connectionName).asyncCall(call, askTimeoutMs), this);
    connect(
        watcher, &QDBusPendingCallWatcher::finished, this, [this, name](QDBusPendingCallWatcher* finished) {
            finished->deleteLater();
            const auto known = m_callers.find(name);
            if (!m_told || known == m_callers.end()) {
                return;
            }
            known->second.asking = false;
            std::int64_t bytes = 0;
            std::int64_t messages = 0;
            switch (outcomeOf(finished->reply(), bytes, messages)) {
            case Outcome::counted:
                counted(name, bytes, messages);
                break;
            case Outcome::gone:
                forget(known);
                break;
            case Outcome::failed:
                // Not known to leave anything unread: not kept waiting on a daemon that does not answer.
                setEstimate(known->second, 0);
                known->second.state = State::reading;
                break;
            case Outcome::notTold:
                notTold(finished->reply().errorName());
                return;
            }
            Q_EMIT changed();
        });
}

void UnreadAnswerWatch::setEstimate(Caller& caller, std::int64_t unread)
{
    m_total += unread - caller.unread - caller.bytesCounting;
    caller.unread = unread;
    caller.bytesCounting = 0;
    caller.messagesCounting = 0;
}

void UnreadAnswerWatch::counted(const QString& name, std::int64_t bytes, std::int64_t messages)
{
    Caller& caller = m_callers[name];
    // Every message sent to it since the count before is still there, or it took some.
    const bool tookSome
        = caller.unreadMessages >= 0 && messages < caller.unreadMessages + caller.messagesCounting;
    caller.unreadMessages = messages;
    setEstimate(caller, bytes);
    if (bytes <= m_limits.perCaller) {
        caller.state = State::reading;
        caller.seenReading = true;
        caller.waitMs = 0;
        if (caller.bytesSince >= m_limits.perCaller) {
            askCaller(name, caller);
        }
        return;
    }
    if (tookSome || caller.state == State::reading) {
        // Reading, and behind; or seen with that much waiting for the first time.
        caller.seenReading = caller.seenReading || tookSome;
        caller.state = State::behind;
        caller.waitMs = firstWaitMs;
    } else {
        caller.state = State::notReading;
        caller.waitMs = std::min(2 * caller.waitMs, longestWaitMs);
    }
    caller.due.setRemainingTime(caller.waitMs);
    if (!m_lookAgain.isActive() || m_lookAgain.remainingTime() > caller.waitMs) {
        m_lookAgain.start(caller.waitMs);
    }
}

void UnreadAnswerWatch::lookAgain()
{
    // Wakes for the next caller due, not at a pace: callers not reading may stay for as long as
    // they live.
    qint64 nextMs = -1;
    for (auto& [name, caller] : m_callers) {
        if (caller.state == State::reading || caller.asking) {
            continue;
        }
        if (caller.due.hasExpired()) {
            askCaller(name, caller);
            continue;
        }
        const qint64 remaining = caller.due.remainingTime();
        nextMs = nextMs < 0 ? remaining : std::min(nextMs, remaining);
    }
    if (nextMs >= 0) {
        m_lookAgain.start(static_cast<int>(nextMs));
    }
}

void UnreadAnswerWatch::forget(std::map<QString, Caller>::iterator caller)
{
    m_total -= caller->second.estimate();
    m_callers.erase(caller);
}

UnreadAnswerWatch::Outcome UnreadAnswerWatch::outcomeOf(
    const QDBusMessage& reply, std::int64_t& bytes, std::int64_t& messages)
{
    if (reply.type() == QDBusMessage::ReplyMessage) {
        const QVariantMap stats = reply.arguments().isEmpty()
            ? QVariantMap()
            : qdbus_cast<QVariantMap>(reply.arguments().front());
        bool bytesKnown = false;
        bool messagesKnown = false;
        bytes = stats.value(QStringLiteral("OutgoingBytes")).toLongLong(&bytesKnown);
        messages = stats.value(QStringLiteral("OutgoingMessages")).toLongLong(&messagesKnown);
        return bytesKnown && messagesKnown ? Outcome::counted : Outcome::notTold;
    }
    switch (QDBusError(reply).type()) {
    case QDBusError::NoReply:
    case QDBusError::Timeout:
    case QDBusError::TimedOut:
    case QDBusError::Disconnected:
        return Outcome::failed;
    default:
        break;
    }
    if (reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner")) {
        return Outcome::gone;
    }
    return Outcome::notTold;
}

void UnreadAnswerWatch::notTold(const QString& why)
{
    m_told = false;
    log(LogLevel::Warning, lcCore(),
        "The bus does not tell how much of the application's answers its callers leave unread ("
            + (why.isEmpty() ? std::string("no count in its statistics") : why.toStdString())
            + "): a program that calls the application and never reads the answers can keep the other "
              "callers from being answered");
    m_callers.clear();
    m_total = 0;
    m_lookAgain.stop();
    Q_EMIT changed();
}

} // namespace platform
