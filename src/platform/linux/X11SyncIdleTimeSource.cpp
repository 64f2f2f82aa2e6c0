#include "platform/linux/X11SyncIdleTimeSource.h"

#include "platform/Logger.h"
#include "platform/linux/XcbIdleCounter.h"
#include "platform/time/Clock.h"

#include <algorithm>
#include <cmath>

namespace platform {

namespace {

// Input this long after a moment the engine says the user was away since is new input, not the
// moment itself measured again.
constexpr double sameMomentSeconds = 0.5;

double uptime()
{
    return Clock::shared().systemUptime();
}

std::int64_t milliseconds(double seconds)
{
    return std::max<std::int64_t>(1, std::llround(seconds * 1000.0));
}

} // namespace

std::unique_ptr<X11SyncIdleTimeSource> X11SyncIdleTimeSource::open(
    const char* displayName, std::string* error)
{
    return withCounter(std::make_unique<XcbIdleCounter>(
                           displayName ? std::optional<std::string>(displayName) : std::nullopt),
        error);
}

std::unique_ptr<X11SyncIdleTimeSource> X11SyncIdleTimeSource::withCounter(
    std::unique_ptr<X11IdleCounter> counter, std::string* error)
{
    if (!counter->connect(error)) {
        return nullptr;
    }
    std::unique_ptr<X11SyncIdleTimeSource> source(new X11SyncIdleTimeSource(std::move(counter)));
    source->setAlarms();
    source->catchUp();
    return source;
}

X11SyncIdleTimeSource::X11SyncIdleTimeSource(std::unique_ptr<X11IdleCounter> counter)
    : m_counter(std::move(counter))
{
    m_counter->setHandlers(
        [this](X11IdleCounter::Alarm alarm, std::int64_t value) { alarmFired(alarm, value); },
        [this](const std::string& why) { lost(why); });
    m_reconnect.setInterval(reconnectIntervalMs);
    m_reconnect.setTimerType(Qt::VeryCoarseTimer);
    connect(&m_reconnect, &QTimer::timeout, this, &X11SyncIdleTimeSource::reconnect);
}

X11SyncIdleTimeSource::~X11SyncIdleTimeSource()
{
    m_counter->setHandlers({}, {});
}

void X11SyncIdleTimeSource::setAlarms()
{
    if (!m_armed) {
        m_counter->removeAlarm(X11IdleCounter::Alarm::threshold);
        m_counter->removeAlarm(X11IdleCounter::Alarm::input);
        return;
    }
    m_counter->setAlarm(X11IdleCounter::Alarm::threshold, milliseconds(m_threshold));
    if (m_idleSince) {
        // Under the counter, which has run since the user went away, so that the next input
        // crosses it.
        const double pause = uptime() - *m_idleSince;
        m_counter->setAlarm(
            X11IdleCounter::Alarm::input, milliseconds(std::min(inputAlarmSeconds, pause / 2)));
    } else {
        m_counter->removeAlarm(X11IdleCounter::Alarm::input);
    }
}

void X11SyncIdleTimeSource::catchUp()
{
    if (!m_armed) {
        return;
    }
    // Asked after the alarms are set: input or a crossing before the server took them shows here,
    // one after it fires them.
    const auto counter = m_counter->value();
    if (!counter) {
        return;
    }
    const double lastInput = uptime() - static_cast<double>(*counter) / 1000.0;
    const unsigned arming = m_arming;
    const auto later = [this, arming](auto step) {
        // Told from the event loop, as the events are: never while the engine is arming.
        QMetaObject::invokeMethod(
            this,
            [this, arming, step] {
                if (arming == m_arming && !m_lost) {
                    step();
                }
            },
            Qt::QueuedConnection);
    };
    if (m_idleSince) {
        if (lastInput > *m_idleSince + sameMomentSeconds) {
            later([this, lastInput] { becameActive(lastInput); });
        } else {
            // Exact, where an alarm's event read late would date the pause late.
            m_idleSince = lastInput;
        }
    } else if (static_cast<double>(*counter) >= m_threshold * 1000.0) {
        later([this, lastInput] { becameIdle(lastInput); });
    }
}

void X11SyncIdleTimeSource::alarmFired(X11IdleCounter::Alarm alarm, std::int64_t value)
{
    const double lastInput = uptime() - static_cast<double>(value) / 1000.0;
    if (alarm == X11IdleCounter::Alarm::threshold) {
        // Fired at a threshold raised since, before the server took the new one.
        if (value < milliseconds(m_threshold)) {
            return;
        }
        becameIdle(lastInput);
    } else if (m_idleSince) {
        // The counter asked now dates the return by the latest input, which an event read late
        // would not.
        const auto counter = m_counter->value();
        becameActive(
            counter ? std::min(lastInput, uptime() - static_cast<double>(*counter) / 1000.0) : lastInput);
    }
}

void X11SyncIdleTimeSource::becameIdle(double since)
{
    if (m_idleSince || !m_armed) {
        return;
    }
    m_idleSince = since;
    ++m_arming;
    setAlarms();
    // Input between the threshold's crossing and the input alarm's setting fires nothing.
    catchUp();
    tell({ IdleEvent::Type::idle, *m_idleSince });
}

void X11SyncIdleTimeSource::becameActive(double at)
{
    if (!m_idleSince) {
        return;
    }
    m_idleSince.reset();
    ++m_arming;
    setAlarms();
    tell({ IdleEvent::Type::active, at });
}

void X11SyncIdleTimeSource::lost(const std::string& why)
{
    m_lost = true;
    m_idleSince.reset();
    log(LogLevel::Warning, lcIdle(),
        "The X server's connection was lost (" + why + "); looking for it again every "
            + std::to_string(reconnectIntervalMs / 1000) + " s");
    m_reconnect.start();
    tell({ IdleEvent::Type::changed, uptime() });
}

void X11SyncIdleTimeSource::reconnect()
{
    if (!m_counter->connect(nullptr)) {
        return;
    }
    m_reconnect.stop();
    m_lost = false;
    log(LogLevel::Info, lcIdle(), "The X server answers again");
    ++m_arming;
    setAlarms();
    tell({ IdleEvent::Type::changed, uptime() });
}

double X11SyncIdleTimeSource::secondsSinceLastEvent(InputEventType)
{
    return secondsSinceLastInput();
}

double X11SyncIdleTimeSource::secondsSinceLastInput()
{
    // Unanswered only when the connection broke, which the counter tells and the log says.
    const auto counter = m_lost ? std::nullopt : m_counter->value();
    return counter ? std::max(0.0, static_cast<double>(*counter) / 1000.0) : 0.0;
}

void X11SyncIdleTimeSource::armWatches(double thresholdSeconds, std::optional<double> idleSince)
{
    if (std::isfinite(thresholdSeconds) && thresholdSeconds > 0) {
        m_threshold = thresholdSeconds;
    }
    m_armed = true;
    m_idleSince = idleSince;
    ++m_arming;
    if (!m_lost) {
        setAlarms();
        catchUp();
    }
}

void X11SyncIdleTimeSource::disarmWatches()
{
    m_armed = false;
    m_idleSince.reset();
    ++m_arming;
    if (!m_lost) {
        setAlarms();
    }
}

} // namespace platform
