#include "support/StandInIdleCounter.h"

#include "platform/time/Clock.h"

#include <cmath>

namespace {

std::size_t index(platform::X11IdleCounter::Alarm alarm)
{
    return alarm == platform::X11IdleCounter::Alarm::threshold ? 0 : 1;
}

} // namespace

StandInIdleCounter::StandInIdleCounter(const platform::Clock& clock)
    : m_clock(clock)
    , m_lastInput(clock.systemUptime())
{
}

std::int64_t StandInIdleCounter::counterNow() const
{
    return std::llround((m_clock.systemUptime() - m_lastInput) * 1000.0);
}

bool StandInIdleCounter::connect(std::string* error)
{
    if (!m_running) {
        if (error) {
            *error = "the X display cannot be opened";
        }
        return false;
    }
    m_connected = true;
    m_alarms = {};
    m_lastSeen = counterNow();
    return true;
}

std::optional<std::int64_t> StandInIdleCounter::value()
{
    if (!m_connected) {
        return std::nullopt;
    }
    ++m_questions;
    return counterNow();
}

void StandInIdleCounter::setAlarm(Alarm alarm, std::int64_t milliseconds)
{
    if (!m_connected) {
        return;
    }
    m_alarms[index(alarm)] = milliseconds;
    m_lastSeen = counterNow();
}

void StandInIdleCounter::removeAlarm(Alarm alarm)
{
    m_alarms[index(alarm)].reset();
}

void StandInIdleCounter::input()
{
    reach();
    const std::int64_t before = counterNow();
    m_lastInput = m_clock.systemUptime();
    m_lastSeen = 0;
    const auto& input = m_alarms[index(Alarm::input)];
    if (m_connected && input && before > *input && *input >= 0) {
        fire(Alarm::input, 0);
    }
}

void StandInIdleCounter::reach()
{
    const std::int64_t now = counterNow();
    const auto& threshold = m_alarms[index(Alarm::threshold)];
    if (m_connected && threshold && m_lastSeen < *threshold && now >= *threshold) {
        fire(Alarm::threshold, now);
    }
    m_lastSeen = now;
}

std::optional<double> StandInIdleCounter::nextCrossing() const
{
    const auto& threshold = m_alarms[index(Alarm::threshold)];
    if (!m_connected || !threshold || m_lastSeen >= *threshold) {
        return std::nullopt;
    }
    return m_lastInput + static_cast<double>(*threshold) / 1000.0;
}

void StandInIdleCounter::setRunning(bool running)
{
    m_running = running;
    if (!running && m_connected) {
        m_connected = false;
        m_alarms = {};
        QMetaObject::invokeMethod(
            &m_context, [this] { lost("the X server closed the connection"); }, Qt::QueuedConnection);
    }
}

void StandInIdleCounter::fire(Alarm alarm, std::int64_t value)
{
    QMetaObject::invokeMethod(
        &m_context,
        [this, alarm, value] {
            if (m_connected) {
                fired(alarm, value);
            }
        },
        Qt::QueuedConnection);
}
