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
#include <functional>
#include <utility>

namespace platform {

namespace {

// The daemon answers at once while it reads from the application at all; one that has not answered
// by then is not counting anything soon.
constexpr int askTimeoutMs = 5000;
// A held caller is asked again after this, twice as long each time it has still not read, up to
// the longest: one that reads again is served within a few seconds.
constexpr int firstHeldWaitMs = 100;
constexpr int longestHeldWaitMs = 3200;
// The least time between two looks over the held callers for those due to be asked again.
constexpr int heldLookMs = 50;
// While the share is over, how often it is counted again as answers go, or as callers wait for room.
constexpr int countAgainMs = 1000;
// How long a caller waits for room before its questions are refused.
constexpr int roomPatienceMs = 2000;
// Past this many callers followed while the share is over, those seen reading are forgotten, as
// most will have left: each is sent what it may be again before it is asked about.
constexpr std::size_t mostCallersFollowed = 1024;

const char* const incomingBytes = "IncomingBytes";
const char* const outgoingBytes = "OutgoingBytes";

} // namespace

UnreadAnswerWatch::UnreadAnswerWatch(const QString& connectionName, Limits limits, QObject* parent)
    : QObject(parent)
    , m_connectionName(connectionName)
    , m_limits(limits)
{
    m_heldWait.setSingleShot(true);
    connect(&m_heldWait, &QTimer::timeout, this, [this] { lookAtHeld(); });
}

UnreadAnswerWatch::~UnreadAnswerWatch() = default;

UnreadAnswerWatch::Turn UnreadAnswerWatch::turnOf(const QString& caller, std::size_t waiting)
{
    assert(MainQueue::isMainThread());
    if (!m_told) {
        return Turn::start;
    }
    const auto known = m_callers.find(caller);
    if (known != m_callers.end()) {
        switch (known->second.state) {
        case State::heldUnread:
            return Turn::wait;
        case State::heldForRoom:
            return known->second.refuseAt.hasExpired() ? Turn::refuse : Turn::wait;
        case State::unconfirmed:
            askCaller(caller);
            return Turn::wait;
        case State::reading:
            return Turn::start;
        }
    }
    if (!overShare()) {
        // Nobody starts while what was sent since the last count may have taken the share over,
        // before a count has come back.
        return shareAtMost() < m_limits.share || !askShare() ? Turn::start : Turn::wait;
    }
    // One not answered since the share went over has left nothing unread since: it is followed from
    // its first answer on. Only while the share is far over, one that keeps more than a few calls
    // waiting (as no script does) waits for it to fall: each of many callers that never read would
    // otherwise leave an answer.
    if (waiting <= fewCalls || shareAtMost() < roomFactor * m_limits.share) {
        return Turn::start;
    }
    Caller& held = m_callers[caller];
    held.refuseAt.setRemainingTime(roomPatienceMs);
    hold(held, State::heldForRoom);
    return Turn::wait;
}

void UnreadAnswerWatch::answered(const QString& caller, std::int64_t bytes)
{
    assert(MainQueue::isMainThread());
    if (!m_told) {
        return;
    }
    m_bytesSince += bytes;
    if (!overShare()) {
        // Under the share nobody is followed but those refused; the daemon is asked once the
        // answers could have made up the difference.
        if (shareAtMost() >= m_limits.share) {
            askShare();
        }
        const auto refused = m_callers.find(caller);
        if (refused != m_callers.end() && refused->second.state == State::reading) {
            refused->second.allowance -= bytes;
            if (refused->second.allowance <= 0) {
                refused->second.state = State::unconfirmed;
            }
        }
        return;
    }
    if (m_callers.size() >= mostCallersFollowed) {
        std::erase_if(m_callers, [](const auto& known) { return known.second.state == State::reading; });
    }
    const auto [known, added] = m_callers.try_emplace(caller);
    if (added) {
        known->second.allowance = m_limits.perCaller;
    }
    if (known->second.state == State::reading || known->second.state == State::heldForRoom) {
        // Refusals too, which wait as unread as answers.
        known->second.allowance -= bytes;
        if (known->second.allowance <= 0) {
            known->second.state = State::unconfirmed;
        }
    }
    if (m_countAgain.hasExpired()) {
        askShare();
    }
}

bool UnreadAnswerWatch::mayRefuse(const QString& caller)
{
    assert(MainQueue::isMainThread());
    if (!m_told) {
        return true;
    }
    const auto [known, added] = m_callers.try_emplace(caller);
    if (added) {
        known->second.allowance = m_limits.perCaller;
    }
    switch (known->second.state) {
    case State::heldUnread:
        return false;
    case State::unconfirmed:
        // Refused meanwhile all the same: one that reads would wait for nothing.
        askCaller(caller);
        break;
    case State::reading:
    case State::heldForRoom:
        break;
    }
    return true;
}

bool UnreadAnswerWatch::askShare()
{
    if (m_askingShare || !m_told) {
        return m_askingShare;
    }
    const QString self = QDBusConnection(m_connectionName).baseService();
    if (self.isEmpty()) {
        return false;
    }
    m_askingShare = true;
    m_countAgain.setRemainingTime(countAgainMs);
    // The daemon reads the application's messages in order: the answers sent before the question
    // are in what it counts.
    m_bytesCounting = std::exchange(m_bytesSince, 0);
    ask(self, [this](const QDBusMessage& reply) {
        m_askingShare = false;
        if (!m_told) {
            return;
        }
        std::int64_t share = 0;
        switch (outcomeOf(reply, incomingBytes, share)) {
        case Outcome::counted:
            shareCounted(share);
            break;
        case Outcome::notTold:
            notTold(reply.errorName());
            return;
        case Outcome::gone:
        case Outcome::failed:
            m_bytesCounting = 0;
            break;
        }
        if (!overShare() && shareAtMost() >= m_limits.share) {
            askShare();
        }
        Q_EMIT changed();
    });
    return true;
}

void UnreadAnswerWatch::shareCounted(std::int64_t share)
{
    m_bytesCounting = 0;
    m_share = share;
    if (!overShare()) {
        // Nobody is followed under the share but those that leave their answers unread. Those that
        // waited for room are asked first whether they are still there: the calls of one that has
        // left need no work.
        std::erase_if(m_callers, [](const auto& caller) {
            return caller.second.state == State::reading || caller.second.state == State::unconfirmed;
        });
        for (auto& [name, caller] : m_callers) {
            if (caller.state == State::heldForRoom) {
                caller.due.setRemainingTime(0);
                m_heldWait.start(0);
            }
        }
    }
}

void UnreadAnswerWatch::askCaller(const QString& name)
{
    Caller& caller = m_callers[name];
    if (std::exchange(caller.asking, true)) {
        return;
    }
    ask(name, [this, name](const QDBusMessage& reply) {
        const auto known = m_callers.find(name);
        if (known != m_callers.end()) {
            known->second.asking = false;
        }
        if (!m_told) {
            return;
        }
        std::int64_t unread = 0;
        switch (outcomeOf(reply, outgoingBytes, unread)) {
        case Outcome::counted:
            if (known != m_callers.end()) {
                callerCounted(name, unread);
            }
            return;
        case Outcome::gone:
            m_callers.erase(name);
            Q_EMIT callerGone(name);
            break;
        case Outcome::failed:
            // Not known to leave anything unread: not kept waiting on a daemon that does not answer.
            m_callers.erase(name);
            break;
        case Outcome::notTold:
            notTold(reply.errorName());
            return;
        }
        Q_EMIT changed();
    });
}

void UnreadAnswerWatch::callerCounted(const QString& name, std::int64_t unread)
{
    Caller& caller = m_callers[name];
    if (unread > m_limits.perCaller) {
        hold(caller, State::heldUnread);
        return;
    }
    if (caller.state == State::heldForRoom && shareAtMost() >= roomFactor * m_limits.share) {
        hold(caller, State::heldForRoom);
        return;
    }
    caller.state = State::reading;
    caller.allowance = m_limits.perCaller;
    caller.waitMs = 0;
    Q_EMIT changed();
}

void UnreadAnswerWatch::hold(Caller& caller, State state)
{
    const bool heldAlready = caller.state == state && caller.waitMs > 0;
    caller.state = state;
    caller.waitMs = heldAlready ? std::min(2 * caller.waitMs, longestHeldWaitMs) : firstHeldWaitMs;
    caller.due.setRemainingTime(caller.waitMs);
    if (!m_heldWait.isActive() || m_heldWait.remainingTime() > caller.waitMs) {
        m_heldWait.start(caller.waitMs);
    }
}

void UnreadAnswerWatch::lookAtHeld()
{
    // Wakes for the next caller due, not at a pace: held callers may stay for as long as they live.
    qint64 nextMs = -1;
    const auto sooner = [&nextMs](qint64 ms) { nextMs = nextMs < 0 ? ms : std::min(nextMs, ms); };
    for (auto& [name, caller] : m_callers) {
        if (caller.state != State::heldUnread && caller.state != State::heldForRoom) {
            continue;
        }
        // Whether it has read, or left the bus; the answer sets when it is due again.
        if (caller.due.hasExpired() && !caller.asking) {
            askCaller(name);
        }
        if (!caller.asking) {
            sooner(caller.due.remainingTime());
        }
        if (caller.state == State::heldForRoom) {
            if (m_countAgain.hasExpired()) {
                askShare();
            }
            sooner(m_countAgain.remainingTime());
            if (!caller.refuseAt.hasExpired()) {
                sooner(caller.refuseAt.remainingTime());
            } else if (!std::exchange(caller.refusing, true)) {
                Q_EMIT changed();
            }
        }
    }
    if (nextMs >= 0) {
        m_heldWait.start(static_cast<int>(std::max<qint64>(nextMs, heldLookMs)));
    }
}

void UnreadAnswerWatch::ask(const QString& name, std::function<void(const QDBusMessage&)> done)
{
    QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"),
        QStringLiteral("/org/freedesktop/DBus"), QStringLiteral("org.freedesktop.DBus.Debug.Stats"),
        QStringLiteral("GetConnectionStats"));
    call << name;
    auto* watcher
        = new QDBusPendingCallWatcher(QDBusConnection(m_connectionName).asyncCall(call, askTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
        [done = std::move(done)](QDBusPendingCallWatcher* finished) {
            finished->deleteLater();
            done(finished->reply());
        });
}

UnreadAnswerWatch::Outcome UnreadAnswerWatch::outcomeOf(
    const QDBusMessage& reply, const char* key, std::int64_t& value)
{
    if (reply.type() == QDBusMessage::ReplyMessage) {
        const QVariantMap stats = reply.arguments().isEmpty()
            ? QVariantMap()
            : qdbus_cast<QVariantMap>(reply.arguments().front());
        const QVariant counted = stats.value(QString::fromLatin1(key));
        bool isNumber = false;
        value = counted.toLongLong(&isNumber);
        return isNumber ? Outcome::counted : Outcome::notTold;
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
    m_heldWait.stop();
    Q_EMIT changed();
}

} // namespace platform
