#include "platform/linux/BusCallQueue.h"

#include "platform/MainQueue.h"
#include "platform/linux/DBusCallContext.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusError>
#include <QHash>
#include <QPointer>

#include <dbus/dbus.h>

#include <cassert>
#include <memory>
#include <utility>

namespace platform {

namespace {

// How soon to look again whether the bus has taken what the connection holds: it takes a few
// megabytes in a few milliseconds from a connection it is not kept from reading.
constexpr int unsentWaitMilliseconds = 10;

} // namespace

BusCallQueue::BusCallQueue(UnsentBytes unsentBytes, QObject* parent)
    : QObject(parent)
    , m_unsentBytes(std::move(unsentBytes))
{
    m_unsentWait.setSingleShot(true);
    m_unsentWait.setInterval(unsentWaitMilliseconds);
    connect(&m_unsentWait, &QTimer::timeout, this, [this] { startNext(); });
}

BusCallQueue::~BusCallQueue() = default;

BusCallQueue& BusCallQueue::of(const QDBusConnection& connection)
{
    assert(MainQueue::isMainThread());
    static QHash<QString, QPointer<BusCallQueue>> queues;
    QPointer<BusCallQueue>& queue = queues[connection.name()];
    if (!queue) {
        // The connection is looked up by its name each time: one of that name closed and made
        // again is another connection.
        queue = new BusCallQueue([name = connection.name()] { return unsentBytes(QDBusConnection(name)); },
            QCoreApplication::instance());
    }
    return *queue;
}

bool BusCallQueue::enqueue(const QString& caller, Work work)
{
    assert(MainQueue::isMainThread());
    Caller& waiting = m_waiting[caller];
    if (waiting.calls.size() >= maximumWaitingPerCaller) {
        return false;
    }
    waiting.calls.push_back(std::move(work));
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
                            .enqueue(call.service(),
                                [connection, call, guard = QPointer(adaptor), answer = std::move(answer)](
                                    std::function<void()> answered) {
                                    const QDBusMessage reply = guard
                                        ? answer(call)
                                        : call.createErrorReply(
                                            QDBusError::UnknownObject, QStringLiteral("The object is gone."));
                                    if (call.isReplyRequired()) {
                                        connection.send(reply);
                                    }
                                    answered();
                                });
    if (!queued && call.isReplyRequired()) {
        connection.send(refusal(call));
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
        if (chosen == m_waiting.end() || caller->second.received < chosen->second.received) {
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
    m_lastCaller = next->first;
    Work work = std::move(next->second.calls.front());
    next->second.calls.pop_front();
    if (next->second.calls.empty()) {
        m_waiting.erase(next);
    }
    --m_waitingCount;
    m_working = true;
    work([self = QPointer(this), once = std::make_shared<bool>(false)] {
        if (self && !std::exchange(*once, true)) {
            self->finished();
        }
    });
}

void BusCallQueue::finished()
{
    m_working = false;
    scheduleNext();
}

} // namespace platform
