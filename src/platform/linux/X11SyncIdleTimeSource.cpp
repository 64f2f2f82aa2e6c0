#include "platform/linux/X11SyncIdleTimeSource.h"

#include "platform/Logger.h"
#include "platform/linux/XcbIdleCounter.h"
#include "platform/time/Clock.h"

#include <algorithm>
#include <cmath>
#include <limits>

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

double seconds(std::int64_t milliseconds)
{
    return static_cast<double>(milliseconds) / 1000.0;
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
    if (source->watch()) {
        source->later([source = source.get()] { source->followPause(); });
    }
    return source;
}

X11SyncIdleTimeSource::X11SyncIdleTimeSource(std::unique_ptr<X11IdleCounter> counter)
    : m_counter(std::move(counter))
{
    m_counter->setHandlers([this](std::int64_t value, std::int64_t ago) { alarmFired(value, ago); },
        [this](std::int64_t ago) { inputSeen(uptime() - seconds(ago)); },
        [this](const std::string& why) { lost(why); });
    m_reconnect.setInterval(reconnectIntervalMs);
    m_reconnect.setTimerType(Qt::VeryCoarseTimer);
    connect(&m_reconnect, &QTimer::timeout, this, &X11SyncIdleTimeSource::reconnect);
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &X11SyncIdleTimeSource::timeout);
}

X11SyncIdleTimeSource::~X11SyncIdleTimeSource()
{
    m_counter->setHandlers({}, {}, {});
}

double X11SyncIdleTimeSource::pauseMark() const
{
    return std::min(pauseMarkSeconds, m_threshold / 2);
}

void X11SyncIdleTimeSource::later(std::function<void()> step)
{
    QMetaObject::invokeMethod(
        this,
        [this, arming = m_arming, step = std::move(step)] {
            if (arming == m_arming && !m_lost) {
                step();
            }
        },
        Qt::QueuedConnection);
}

bool X11SyncIdleTimeSource::watch()
{
    m_counter->watchInput(true);
    // Asked after the watch is asked for, so that input since the counter's start shows here, and
    // any later is told.
    const auto counter = m_counter->value();
    if (!counter) {
        m_counter->watchInput(false);
        return false;
    }
    // Every reset while input is watched would fire it.
    m_counter->removeAlarm();
    m_pauseSince = uptime() - seconds(*counter);
    return true;
}

void X11SyncIdleTimeSource::alarmFired(std::int64_t value, std::int64_t millisecondsAgo)
{
    if (!m_armed || m_pauseSince) {
        return;
    }
    // Input in the moment between the alarm and the watch is not told; input after it is, and a
    // user still at work gives more.
    m_counter->watchInput(true);
    m_counter->removeAlarm();
    m_pauseSince = uptime() - seconds(value + millisecondsAgo);
    followPause();
}

void X11SyncIdleTimeSource::inputSeen(double at)
{
    if (!m_pauseSince) {
        return;
    }
    const double pauseSince = *m_pauseSince;
    m_pauseSince.reset();
    m_counter->watchInput(false);
    if (!m_armed) {
        return;
    }
    // A break whose timer or telling had not come yet.
    if (!m_idleSince && at - pauseSince >= m_threshold) {
        becameIdle(pauseSince);
    }
    awaitPause(at);
    if (m_idleSince) {
        m_idleSince.reset();
        tell({ IdleEvent::Type::active, at });
    }
}

void X11SyncIdleTimeSource::awaitPause(double lastInput)
{
    m_counter->setAlarm(milliseconds(pauseMark()));
    setTimeout(lastInput + unwatchedSeconds);
}

void X11SyncIdleTimeSource::followPause()
{
    if (!m_pauseSince || m_idleSince || !m_armed) {
        return;
    }
    const double due = *m_pauseSince + m_threshold;
    if (uptime() >= due) {
        becameIdle(*m_pauseSince);
    } else {
        setTimeout(due);
    }
}

void X11SyncIdleTimeSource::setTimeout(std::optional<double> at)
{
    m_timeoutAt = at;
    if (!at) {
        m_timer.stop();
        return;
    }
    const double delay = std::ceil(std::max(0.0, *at - uptime()) * 1000.0);
    m_timer.start(static_cast<int>(std::min(delay, double(std::numeric_limits<int>::max()))));
}

void X11SyncIdleTimeSource::timeout()
{
    if (!m_timeoutAt) {
        return;
    }
    if (*m_timeoutAt > uptime()) {
        // Early by the clock the source dates by.
        setTimeout(m_timeoutAt);
        return;
    }
    m_timeoutAt.reset();
    if (!m_armed || m_lost) {
        return;
    }
    // Without a pause the counter rose to the mark, resets came faster than the mark: input is
    // watched from the last of them.
    if (m_pauseSince || watch()) {
        followPause();
    }
}

void X11SyncIdleTimeSource::becameIdle(double since)
{
    if (m_idleSince || !m_armed) {
        return;
    }
    m_idleSince = since;
    setTimeout(std::nullopt);
    tell({ IdleEvent::Type::idle, since });
}

void X11SyncIdleTimeSource::lost(const std::string& why)
{
    m_lost = true;
    m_idleSince.reset();
    m_pauseSince.reset();
    setTimeout(std::nullopt);
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
    if (m_armed && watch()) {
        later([this] { followPause(); });
    }
    tell({ IdleEvent::Type::changed, uptime() });
}

double X11SyncIdleTimeSource::secondsSinceLastEvent(InputEventType)
{
    return secondsSinceLastInput();
}

double X11SyncIdleTimeSource::secondsSinceLastInput()
{
    if (m_lost) {
        return 0;
    }
    if (m_pauseSince) {
        return std::max(0.0, uptime() - *m_pauseSince);
    }
    // Input came a moment ago; unanswered only when the connection broke, which the counter tells
    // and the log says.
    const auto counter = m_counter->value();
    return counter ? std::max(0.0, seconds(*counter)) : 0.0;
}

void X11SyncIdleTimeSource::armWatches(double thresholdSeconds, std::optional<double> idleSince)
{
    if (std::isfinite(thresholdSeconds) && thresholdSeconds > 0) {
        m_threshold = thresholdSeconds;
    }
    m_armed = true;
    m_idleSince = idleSince;
    ++m_arming;
    if (m_lost || (!m_pauseSince && !watch())) {
        return;
    }
    if (idleSince) {
        if (*m_pauseSince <= *idleSince + sameMomentSeconds) {
            setTimeout(std::nullopt);
            return;
        }
        // Input since (or a reset, where input was not watched): the user counts as back then.
        const double back = *m_pauseSince;
        m_idleSince.reset();
        later([this, back] { tell({ IdleEvent::Type::active, back }); });
    }
    later([this] { followPause(); });
}

void X11SyncIdleTimeSource::disarmWatches()
{
    m_armed = false;
    m_idleSince.reset();
    m_pauseSince.reset();
    ++m_arming;
    setTimeout(std::nullopt);
    if (!m_lost) {
        m_counter->watchInput(false);
        m_counter->removeAlarm();
    }
}

} // namespace platform
