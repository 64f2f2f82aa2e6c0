#include "support/StandInIdleMonitor.h"

#include "platform/linux/MutterIdleTimeSource.h"

#include <QDBusMessage>

#include <cmath>
#include <utility>

using platform::MutterIdleTimeSource;

StandInIdleMonitor::StandInIdleMonitor(QDBusConnection connection)
    : m_connection(std::move(connection))
{
}

bool StandInIdleMonitor::input(double now)
{
    std::lock_guard lock(m_mutex);
    m_now = now;
    m_countFrom = now;
    const bool fired = !m_activeWatches.empty();
    for (uint id : m_activeWatches) {
        fire(id);
    }
    m_activeWatches.clear();
    for (auto& [id, watch] : m_idleWatches) {
        watch.fired = false;
    }
    return fired;
}

bool StandInIdleMonitor::reach(double now)
{
    std::lock_guard lock(m_mutex);
    m_now = now;
    return fireDueLocked();
}

void StandInIdleMonitor::setIdleInhibited(bool inhibited, double now)
{
    std::lock_guard lock(m_mutex);
    m_now = now;
    if (m_inhibited && !inhibited) {
        m_countFrom = now;
        for (auto& [id, watch] : m_idleWatches) {
            watch.fired = false;
        }
    }
    m_inhibited = inhibited;
}

void StandInIdleMonitor::holdIdleTimeAnswers()
{
    std::lock_guard lock(m_mutex);
    m_holdingAnswers = true;
}

std::size_t StandInIdleMonitor::releaseIdleTimeAnswers()
{
    std::lock_guard lock(m_mutex);
    m_holdingAnswers = false;
    for (const QDBusMessage& reply : m_heldAnswers) {
        m_connection.send(reply);
    }
    return std::exchange(m_heldAnswers, {}).size();
}

std::size_t StandInIdleMonitor::heldIdleTimeAnswers() const
{
    std::lock_guard lock(m_mutex);
    return m_heldAnswers.size();
}

void StandInIdleMonitor::holdWatchAnswers()
{
    std::lock_guard lock(m_mutex);
    m_holdingWatchAnswers = true;
}

std::size_t StandInIdleMonitor::releaseWatchAnswers()
{
    std::lock_guard lock(m_mutex);
    m_holdingWatchAnswers = false;
    for (const QDBusMessage& reply : m_heldWatchAnswers) {
        m_connection.send(reply);
    }
    return std::exchange(m_heldWatchAnswers, {}).size();
}

std::size_t StandInIdleMonitor::heldWatchAnswers() const
{
    std::lock_guard lock(m_mutex);
    return m_heldWatchAnswers.size();
}

std::optional<double> StandInIdleMonitor::nextFiring() const
{
    std::lock_guard lock(m_mutex);
    std::optional<double> next;
    if (m_inhibited) {
        return next;
    }
    for (const auto& [id, watch] : m_idleWatches) {
        const double at = m_countFrom + watch.intervalMs / 1000.0;
        if (!watch.fired && (!next || at < *next)) {
            next = at;
        }
    }
    return next;
}

std::vector<quint64> StandInIdleMonitor::idleWatchIntervals() const
{
    std::lock_guard lock(m_mutex);
    std::vector<quint64> intervals;
    for (const auto& [id, watch] : m_idleWatches) {
        intervals.push_back(watch.intervalMs);
    }
    return intervals;
}

std::size_t StandInIdleMonitor::activeWatchCount() const
{
    std::lock_guard lock(m_mutex);
    return m_activeWatches.size();
}

bool StandInIdleMonitor::handleMessage(const QDBusMessage& message, const QDBusConnection& connection)
{
    if (message.interface() != QLatin1String(MutterIdleTimeSource::interfaceName)) {
        return false;
    }
    if (m_counter) {
        ++*m_counter;
    }
    std::lock_guard lock(m_mutex);
    const QString member = message.member();
    if (member == QLatin1String("GetIdletime")) {
        const auto idle = static_cast<quint64>(std::llround((m_now - m_countFrom) * 1000));
        const QDBusMessage reply = message.createReply(QVariant::fromValue(idle));
        if (m_holdingAnswers) {
            m_heldAnswers.push_back(reply);
        } else {
            connection.send(reply);
        }
    } else if (member == QLatin1String("AddIdleWatch")) {
        const uint id = ++m_nextId;
        m_idleWatches[id] = { message.arguments().value(0).toULongLong(), false };
        answerWatch(connection, message.createReply(QVariant::fromValue(id)));
        fireDueLocked();
    } else if (member == QLatin1String("AddUserActiveWatch")) {
        const uint id = ++m_nextId;
        m_activeWatches.insert(id);
        answerWatch(connection, message.createReply(QVariant::fromValue(id)));
    } else if (member == QLatin1String("RemoveWatch")) {
        const uint id = message.arguments().value(0).toUInt();
        m_idleWatches.erase(id);
        m_activeWatches.erase(id);
        connection.send(message.createReply());
    } else {
        return false;
    }
    return true;
}

bool StandInIdleMonitor::fireDueLocked()
{
    bool fired = false;
    if (m_inhibited) {
        return fired;
    }
    for (auto& [id, watch] : m_idleWatches) {
        if (!watch.fired && m_countFrom + watch.intervalMs / 1000.0 <= m_now + 1e-9) {
            watch.fired = true;
            fired = true;
            fire(id);
        }
    }
    return fired;
}

void StandInIdleMonitor::answerWatch(const QDBusConnection& connection, const QDBusMessage& reply)
{
    if (m_holdingWatchAnswers) {
        m_heldWatchAnswers.push_back(reply);
    } else {
        connection.send(reply);
    }
}

void StandInIdleMonitor::fire(uint id)
{
    auto signal = QDBusMessage::createSignal(QString::fromLatin1(MutterIdleTimeSource::objectPath),
        QString::fromLatin1(MutterIdleTimeSource::interfaceName), QStringLiteral("WatchFired"));
    signal << id;
    m_connection.send(signal);
}
