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
#include <utility>
#include <vector>

namespace platform {

namespace {

// How soon to look again whether the bus has taken what the connection holds: it takes a few
// megabytes in a few milliseconds from a connection it is not kept from reading.
constexpr int unsentWaitMilliseconds = 10;
// The refusals kept for a caller found leaving its answers unread, for when it reads again: all a
// script sends at once, and a few hundred kilobytes at most.
constexpr std::size_t mostRefusalsKept = 1024;

} // namespace

BusCallQueue::BusCallQueue(UnsentBytes unsentBytes, UnreadAnswerWatch* watch, QObject* parent)
    : QObject(parent)
    , m_unsentBytes(std::move(unsentBytes))
    , m_watch(watch)
{
    m_unsentWait.setSingleShot(true);
    m_unsentWait.setInterval(unsentWaitMilliseconds);
    connect(&m_unsentWait, &QTimer::timeout, this, [this] { startNext(); });
    if (m_watch) {
        m_watch->setParent(this);
        connect(m_watch, &UnreadAnswerWatch::changed, this, [this] {
            sendKeptRefusals();
            scheduleNext();
        });
        connect(m_watch, &UnreadAnswerWatch::callerGone, this, &BusCallQueue::drop);
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
            shared.queue->deleteLater();
        }
        const QString name = connection.name();
        shared.connection = current;
        shared.queue = new BusCallQueue([name] { return unsentBytes(QDBusConnection(name)); },
            new UnreadAnswerWatch(name, limits), QCoreApplication::instance());
    }
    return *shared.queue;
}

bool BusCallQueue::enqueue(const QString& caller, Work work, Effect effect, Refuse refuse)
{
    assert(MainQueue::isMainThread());
    Caller& waiting = m_waiting[caller];
    if (waiting.calls.size() >= maximumWaitingPerCaller) {
        return false;
    }
    waiting.calls.push_back({ std::move(work), effect, std::move(refuse) });
    ++waiting.received;
    ++m_waitingCount;
    scheduleNext();
    return true;
}

std::int64_t BusCallQueue::unsentBytes(const QDBusConnection& connection)
{
    // QtDBus's connection is libdbus's underneath, and its queue of messages to send is libdbus's.
    auto* raw = static_cast<DBusConnection*>(connection.internalPointer());
    return raw ? static_cast<std::int64_t>(dbus_connection_get_outgoing_size(raw)) : 0;
}

QDBusMessage BusCallQueue::refusal(const QDBusMessage& call)
{
    return call.createErrorReply(QDBusError::LimitsExceeded,
        QStringLiteral("Too many calls of yours are waiting for their answers; wait for them first."));
}

void BusCallQueue::refuse(const QDBusConnection& connection, const QDBusMessage& call)
{
    if (!call.isReplyRequired()) {
        return;
    }
    BusCallQueue& queue = of(connection);
    if (queue.m_watch && !queue.m_watch->mayRefuse(call.service())) {
        // It would stay in the bus charged to the application, as every refusal before it; the bus
        // counts the call against the caller's own limit of calls waiting for an answer instead. It
        // is sent should the caller be seen reading again.
        std::vector<Refuse>& kept = queue.m_keptRefusals[call.service()];
        if (kept.size() < mostRefusalsKept) {
            kept.push_back(refusalOf(connection, call));
        }
        return;
    }
    const QDBusMessage refused = refusal(call);
    connection.send(refused);
    if (queue.m_watch) {
        // The refusal goes to the caller as an answer does, and waits in the bus as unread as one.
        queue.m_watch->answered(call.service(), marshalledSize(refused));
    }
}

BusCallQueue::Refuse BusCallQueue::refusalOf(const QDBusConnection& connection, const QDBusMessage& call)
{
    return [connection, call]() -> std::int64_t {
        if (!call.isReplyRequired()) {
            return 0;
        }
        const QDBusMessage refused = refusal(call);
        QDBusConnection(connection).send(refused);
        return marshalledSize(refused);
    };
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
                                effect, effect == Effect::none ? refusalOf(connection, call) : Refuse());
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
    std::vector<QString> refused;
    const auto consider = [&chosen, &refused, this](std::map<QString, Caller>::iterator caller) {
        if (chosen != m_waiting.end() && caller->second.received >= chosen->second.received) {
            return;
        }
        switch (m_watch ? m_watch->turnOf(caller->first, caller->second.calls.size())
                        : UnreadAnswerWatch::Turn::start) {
        case UnreadAnswerWatch::Turn::start:
            chosen = caller;
            break;
        case UnreadAnswerWatch::Turn::refuse:
            refused.push_back(caller->first);
            break;
        case UnreadAnswerWatch::Turn::wait:
            break;
        }
    };
    for (auto caller = first; caller != m_waiting.end(); ++caller) {
        consider(caller);
    }
    for (auto caller = m_waiting.begin(); caller != first; ++caller) {
        consider(caller);
    }
    std::size_t refusedCalls = 0;
    for (const QString& caller : refused) {
        refusedCalls += refuseWaiting(caller);
    }
    // Those refused may have been all a caller had, and the one chosen among them.
    return refusedCalls > 0 ? nextCaller() : chosen;
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
    if (m_watch) {
        m_watch->answered(caller, bytes);
    }
    scheduleNext();
}

std::size_t BusCallQueue::refuseWaiting(const QString& caller)
{
    const auto held = m_waiting.find(caller);
    if (held == m_waiting.end()) {
        return 0;
    }
    std::deque<Call>& calls = held->second.calls;
    std::int64_t bytes = 0;
    const auto kept = std::remove_if(calls.begin(), calls.end(), [&bytes](Call& call) {
        if (!call.refuse) {
            return false;
        }
        bytes += call.refuse();
        return true;
    });
    const auto refused = static_cast<std::size_t>(calls.end() - kept);
    m_waitingCount -= refused;
    calls.erase(kept, calls.end());
    if (calls.empty()) {
        m_waiting.erase(held);
    }
    if (m_watch && refused > 0) {
        m_watch->answered(caller, bytes);
    }
    return refused;
}

void BusCallQueue::sendKeptRefusals()
{
    for (auto kept = m_keptRefusals.begin(); kept != m_keptRefusals.end();) {
        if (!m_watch->mayRefuse(kept->first)) {
            ++kept;
            continue;
        }
        std::int64_t bytes = 0;
        for (const Refuse& refuse : kept->second) {
            bytes += refuse();
        }
        const QString caller = kept->first;
        kept = m_keptRefusals.erase(kept);
        m_watch->answered(caller, bytes);
    }
}

void BusCallQueue::drop(const QString& caller)
{
    // Its answers would go nowhere; what it asked to be done is done all the same.
    m_keptRefusals.erase(caller);
    const auto gone = m_waiting.find(caller);
    if (gone == m_waiting.end()) {
        return;
    }
    std::deque<Call>& calls = gone->second.calls;
    const auto kept = std::remove_if(
        calls.begin(), calls.end(), [](const Call& call) { return call.effect == Effect::none; });
    m_waitingCount -= static_cast<std::size_t>(calls.end() - kept);
    calls.erase(kept, calls.end());
    if (calls.empty()) {
        m_waiting.erase(gone);
    }
}

} // namespace platform
