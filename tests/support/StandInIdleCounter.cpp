#include "support/StandInIdleCounter.h"

#include "platform/time/Clock.h"

#include <cmath>

StandInIdleCounter::StandInIdleCounter(const platform::Clock& clock)
    : m_clock(clock)
    , m_lastStart(clock.systemUptime())
{
}

std::int64_t StandInIdleCounter::counterNow() const
{
    return std::llround((m_clock.systemUptime() - m_lastStart) * 1000.0);
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
    m_alarm.reset();
    m_watching = false;
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

void StandInIdleCounter::setAlarm(std::int64_t milliseconds)
{
    if (!m_connected) {
        return;
    }
    m_alarm = milliseconds;
    m_lastSeen = counterNow();
}

void StandInIdleCounter::removeAlarm()
{
    m_alarm.reset();
}

void StandInIdleCounter::watchInput(bool watching)
{
    m_watching = m_connected && watching;
}

void StandInIdleCounter::input()
{
    restart();
    if (m_connected && m_watching) {
        tell(m_clock.systemUptime(), [this](std::int64_t ago) {
            if (m_watching) {
                X11IdleCounter::input(ago);
            }
        });
    }
}

void StandInIdleCounter::resetScreenSaver()
{
    restart();
}

void StandInIdleCounter::restart()
{
    reach();
    m_lastStart = m_clock.systemUptime();
    m_lastSeen = 0;
}

void StandInIdleCounter::reach()
{
    const std::int64_t now = counterNow();
    if (m_connected && m_alarm && m_lastSeen < *m_alarm && now >= *m_alarm) {
        const std::int64_t value = *m_alarm;
        tell(m_lastStart + static_cast<double>(value) / 1000.0,
            [this, value](std::int64_t ago) { fired(value, ago); });
    }
    m_lastSeen = now;
}

std::optional<double> StandInIdleCounter::nextCrossing() const
{
    if (!m_connected || !m_alarm || m_lastSeen >= *m_alarm) {
        return std::nullopt;
    }
    return m_lastStart + static_cast<double>(*m_alarm) / 1000.0;
}

void StandInIdleCounter::setRunning(bool running)
{
    m_running = running;
    if (!running && m_connected) {
        m_connected = false;
        m_alarm.reset();
        m_watching = false;
        QMetaObject::invokeMethod(
            &m_context, [this] { lost("the X server closed the connection"); }, Qt::QueuedConnection);
    }
}

void StandInIdleCounter::tell(double at, std::function<void(std::int64_t millisecondsAgo)> told)
{
    QMetaObject::invokeMethod(
        &m_context,
        [this, at, told = std::move(told)] {
            if (m_connected) {
                told(std::llround((m_clock.systemUptime() - at) * 1000.0));
            }
        },
        Qt::QueuedConnection);
}
