#include "platform/linux/BusCallQueue.h"

#include "platform/MainQueue.h"
#include "platform/linux/DBusCallContext.h"
#include "platform/linux/MarshalledSize.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QHash>
#include <QPointer>

#include <dbus/dbus.h>

#include <algorithm>
#include <cassert>
#include <memory>
#include <optional>
#include <utility>

namespace platform {

namespace {

// How soon to look again whether the bus has taken what the connection holds: it takes a few
// megabytes in a few milliseconds from a connection it is not kept from reading.
constexpr int unsentWaitMilliseconds = 10;
// The refusals kept for a caller while the bus is asked whether it reads them: as many calls as the
// session bus lets one caller wait for at once, as the answer to the question comes after every call
// that came before it.
constexpr std::size_t mostRefusalsKept = 50000;

} // namespace

BusCallQueue::BusCallQueue(
    UnsentBytes unsentBytes, UnreadAnswerWatch* watch, std::chrono::milliseconds patience, QObject* parent)
    : QObject(parent)
    , m_unsentBytes(std::move(unsentBytes))
    , m_watch(watch)
    , m_patience(patience)
{
    m_unsentWait.setSingleShot(true);
    m_unsentWait.setInterval(unsentWaitMilliseconds);
    connect(&m_unsentWait, &QTimer::timeout, this, [this] { startNext(); });
    m_lateWait.setSingleShot(true);
    connect(&m_lateWait, &QTimer::timeout, this, [this] { refuseLate(); });
    if (m_watch) {
        m_watch->setParent(this);
        connect(m_watch, &UnreadAnswerWatch::changed, this, [this] {
            sendKeptRefusals();
            scheduleNext();
        });
    }
}

BusCallQueue::~BusCallQueue() = default;

BusCallQueue& BusCallQueue::of(const QDBusConnection& connection, UnreadAnswerWatch::Limits limits)
{
    assert(MainQueue::isMainThread());
    struct Shared {
        // The connection's own object, gone with it: one of that name closed and made again is
        // another connection, with other callers, even where it is made at the same address.
        QPointer<QObject> connection;
        QPointer<BusCallQueue> queue;
    };
    static QHash<QString, Shared> queues;
    Shared& shared = queues[connection.name()];
    QObject* const current = connection.interface();
    if (!shared.queue || shared.connection != current) {
        if (shared.queue) {
            // Its watch would ask about its callers on the connection that now has the name.
            delete std::exchange(shared.queue->m_watch, nullptr);
            shared.queue->deleteLater();
        }
        const QString name = connection.name();
        shared.connection = current;
        shared.queue = new BusCallQueue([name] { return unsentBytes(QDBusConnection(name)); },
            new UnreadAnswerWatch(name, limits), std::chrono::milliseconds(patienceMs),
            QCoreApplication::instance());
    }
    return *shared.queue;
}

bool BusCallQueue::enqueue(const QString& caller, Work work, Refuse refuse)
{
    assert(MainQueue::isMainThread());
    Caller& waiting = m_waiting[caller];
    if (waiting.calls.size() >= maximumWaitingPerCaller) {
        return false;
    }
    waiting.calls.push_back({ std::move(work), std::move(refuse), QDeadlineTimer(m_patience) });
    ++waiting.received;
    ++m_waitingCount;
    if (!m_lateWait.isActive()) {
        m_lateWait.start(m_patience);
    }
    scheduleNext();
    return true;
}

std::int64_t BusCallQueue::unsentBytes(const QDBusConnection& connection)
{
    // QtDBus's connection is libdbus's underneath, and its queue of messages to send is libdbus's.
    auto* raw = static_cast<DBusConnection*>(connection.internalPointer());
    return raw ? static_cast<std::int64_t>(dbus_connection_get_outgoing_size(raw)) : 0;
}

void BusCallQueue::refuse(const QDBusConnection& connection, const QDBusMessage& call, Refusal why)
{
    if (!call.isReplyRequired()) {
        return;
    }
    BusCallQueue& queue = of(connection);
    switch (queue.m_watch ? queue.m_watch->refusalsTo(call.service()) : UnreadAnswerWatch::Refusals::now) {
    case UnreadAnswerWatch::Refusals::now:
        queue.sendRefusal(connection, call, why);
        break;
    case UnreadAnswerWatch::Refusals::later: {
        std::vector<Kept>& kept = queue.m_kept[call.service()];
        if (kept.size() < mostRefusalsKept) {
            kept.push_back({ connection, call, why });
        }
        break;
    }
    case UnreadAnswerWatch::Refusals::never:
        // It would only wait in the bus, charged to the application, with everything else the caller
        // left unread.
        break;
    }
}

void BusCallQueue::sendRefusal(const QDBusConnection& connection, const QDBusMessage& call, Refusal why)
{
    const QDBusMessage refused = call.createErrorReply(QDBusError::LimitsExceeded,
        why == Refusal::tooManyWaiting
            ? QStringLiteral("Kiruvo has %1 calls of yours waiting already; this one was not carried out.")
                  .arg(maximumWaitingPerCaller)
            : QStringLiteral("Kiruvo could not take this call within %1 seconds, as other calls came "
                             "first; it was not carried out.")
                  .arg(patienceMs / 1000));
    connection.send(refused);
    if (m_watch) {
        m_watch->sent(call.service(), marshalledSize(refused));
    }
}

void BusCallQueue::sendKeptRefusals()
{
    for (auto caller = m_kept.begin(); caller != m_kept.end();) {
        std::vector<Kept>& kept = caller->second;
        auto next = kept.begin();
        UnreadAnswerWatch::Refusals when = UnreadAnswerWatch::Refusals::now;
        for (; next != kept.end()
             && (when = m_watch->refusalsTo(caller->first)) == UnreadAnswerWatch::Refusals::now;
             ++next) {
            sendRefusal(next->connection, next->call, next->why);
        }
        kept.erase(kept.begin(), next);
        caller = kept.empty() || when == UnreadAnswerWatch::Refusals::never ? m_kept.erase(caller)
                                                                            : std::next(caller);
    }
}

BusCallQueue::Refuse BusCallQueue::refusalOf(const QDBusConnection& connection, const QDBusMessage& call)
{
    return [connection, call] { refuse(connection, call, Refusal::notInTime); };
}

bool BusCallQueue::answerInTurn(QObject* adaptor, Effect effect, Answer answer)
{
    const QDBusContext* context = DBusCallContext::of(adaptor->parent());
    if (!context) {
        return false;
    }
    context->setDelayedReply(true);
    const QDBusMessage call = context->message();
    if (!call.isReplyRequired() && effect == Effect::none) {
        return true;
    }
    const QDBusConnection connection = context->connection();
    const bool queued = of(connection)
                            .enqueue(
                                call.service(),
                                [connection, call, guard = QPointer(adaptor), answer = std::move(answer)](
                                    Answered answered) {
                                    const QDBusMessage reply = guard
                                        ? answer(call)
                                        : call.createErrorReply(
                                            QDBusError::UnknownObject, QStringLiteral("The object is gone."));
                                    if (!call.isReplyRequired()) {
                                        answered(0);
                                        return;
                                    }
                                    connection.send(reply);
                                    answered(marshalledSize(reply));
                                },
                                refusalOf(connection, call));
    if (!queued) {
        refuse(connection, call);
    }
    return true;
}

void BusCallQueue::scheduleNext()
{
    if (m_working || m_scheduled || m_waiting.empty()) {
        return;
    }
    m_scheduled = true;
    // From a turn of its own: whatever else waits in the event loop (a signal, another bus
    // message, the tick) is served before the next call.
    MainQueue::post(this, [this] {
        m_scheduled = false;
        startNext();
    });
}

std::map<QString, BusCallQueue::Caller>::iterator BusCallQueue::nextCaller()
{
    // From the one after the last served, round, the first of those that sent the fewest calls: a
    // loop that keeps dozens waiting goes after a script with one, even when it was not served yet.
    const auto first = m_waiting.upper_bound(m_lastCaller);
    auto chosen = m_waiting.end();
    const auto consider = [&chosen, this](std::map<QString, Caller>::iterator caller) {
        if ((chosen == m_waiting.end() || caller->second.received < chosen->second.received)
            && (!m_watch || m_watch->mayStart(caller->first, caller->second.calls.size()))) {
            chosen = caller;
        }
    };
    for (auto caller = first; caller != m_waiting.end(); ++caller) {
        consider(caller);
    }
    for (auto caller = m_waiting.begin(); caller != first; ++caller) {
        consider(caller);
    }
    return chosen;
}

void BusCallQueue::startNext()
{
    if (m_working || m_waiting.empty()) {
        return;
    }
    if (m_unsentBytes && m_unsentBytes() > maximumUnsentBytes) {
        if (!m_unsentWait.isActive()) {
            m_unsentWait.start();
        }
        return;
    }
    const auto next = nextCaller();
    if (next == m_waiting.end()) {
        // Every caller waiting is held, or the bus is being asked: the watch says when to go on.
        return;
    }
    m_lastCaller = next->first;
    Work work = std::move(next->second.calls.front().work);
    next->second.calls.pop_front();
    if (next->second.calls.empty()) {
        m_waiting.erase(next);
    }
    --m_waitingCount;
    m_working = true;
    work([self = QPointer(this), caller = m_lastCaller, once = std::make_shared<bool>(false)](
             std::int64_t bytes) {
        if (self && !std::exchange(*once, true)) {
            self->finished(caller, bytes);
        }
    });
}

void BusCallQueue::finished(const QString& caller, std::int64_t bytes)
{
    m_working = false;
    if (m_watch && bytes > 0) {
        m_watch->sent(caller, bytes);
    }
    scheduleNext();
}

void BusCallQueue::refuseLate()
{
    // A caller's calls wait in the order they came, so only the first of each can be late.
    std::optional<QDeadlineTimer> next;
    for (auto caller = m_waiting.begin(); caller != m_waiting.end();) {
        std::deque<Call>& calls = caller->second.calls;
        while (!calls.empty() && calls.front().due.hasExpired()) {
            const Refuse refuse = std::move(calls.front().refuse);
            calls.pop_front();
            --m_waitingCount;
            if (refuse) {
                refuse();
            }
        }
        if (calls.empty()) {
            caller = m_waiting.erase(caller);
            continue;
        }
        if (!next || calls.front().due < *next) {
            next = calls.front().due;
        }
        ++caller;
    }
    if (next) {
        m_lateWait.start(std::max<qint64>(next->remainingTime(), 1));
    }
}

} // namespace platform
