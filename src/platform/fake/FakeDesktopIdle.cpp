#include "platform/fake/FakeDesktopIdle.h"

#include <algorithm>
#include <cmath>

namespace platform::fake {

namespace {

// Steps of the clock below this are taken as the same moment.
constexpr double epsilon = 1e-9;

} // namespace

FakeDesktopIdle::FakeDesktopIdle(FakeClock& clock, Protocol protocol)
    : m_clock(clock)
    , m_protocol(protocol)
    , m_lastInput(clock.systemUptime())
    , m_nextTick(clock.systemUptime() + 1)
{
}

const char* FakeDesktopIdle::toString(Protocol protocol)
{
    switch (protocol) {
    case Protocol::x11:
        return "x11";
    case Protocol::mutter:
        return "mutter";
    case Protocol::extIdleNotify:
        return "extIdleNotify";
    case Protocol::screenSaver:
        return "screenSaver";
    }
    return "unknown";
}

IdleTimeSource::Kind FakeDesktopIdle::kind() const
{
    return m_protocol == Protocol::x11 ? Kind::exactFigure : Kind::thresholdEvents;
}

double FakeDesktopIdle::secondsSinceLastEvent(InputEventType)
{
    return secondsSinceLastInput();
}

double FakeDesktopIdle::secondsSinceLastInput()
{
    if (!m_available) {
        return 0;
    }
    if (m_protocol == Protocol::x11) {
        return now() - m_lastInput;
    }
    // The event backends know a figure only once they have said "idle".
    return m_idleSince ? now() - *m_idleSince : 0;
}

void FakeDesktopIdle::input()
{
    m_lastInput = now();
    if (!m_available || !m_armed) {
        return;
    }
    switch (m_protocol) {
    case Protocol::x11:
    case Protocol::screenSaver:
        break;
    case Protocol::mutter:
        m_idleWatchFired = false;
        if (m_activeWatch) {
            m_activeWatch = false;
            becameActive();
        }
        break;
    case Protocol::extIdleNotify: {
        // "resumed" comes only from a notification that has said "idled".
        const bool resumed
            = (m_notification && m_notification->idled) || (m_returnProbe && m_returnProbe->idled);
        if (m_notification) {
            m_notification->idled = false;
        }
        if (resumed) {
            m_returnProbe.reset();
            becameActive();
        }
        break;
    }
    }
}

void FakeDesktopIdle::becameIdle(double since)
{
    if (m_idleSince) {
        return;
    }
    m_idleSince = since;
    if (m_protocol == Protocol::mutter) {
        m_activeWatch = true;
    }
    tell({ IdleEvent::Type::idle, since });
}

void FakeDesktopIdle::becameActive()
{
    if (!m_idleSince) {
        return;
    }
    m_idleSince.reset();
    tell({ IdleEvent::Type::active, now() });
}

void FakeDesktopIdle::armWatches(double thresholdSeconds, std::optional<double> idleSince)
{
    ++m_armings;
    m_armed = true;
    m_threshold = thresholdSeconds;
    m_idleSince = idleSince;
    if (!m_available) {
        return;
    }
    switch (m_protocol) {
    case Protocol::x11:
        break;
    case Protocol::mutter:
        m_activeWatch = idleSince.has_value();
        m_idleWatchFired = false;
        // The exact idle time, asked for when armed.
        if (now() - m_lastInput >= m_threshold && !m_idleSince) {
            m_idleWatchFired = true;
            becameIdle(m_lastInput);
        }
        break;
    case Protocol::extIdleNotify:
        m_notification = Notification { m_threshold, now() };
        m_returnProbe.reset();
        if (idleSince) {
            m_returnProbe = Notification { 2.0, now() };
        }
        break;
    case Protocol::screenSaver:
        m_polled.arm(m_threshold, idleSince, now());
        break;
    }
    runDue();
}

void FakeDesktopIdle::disarmWatches()
{
    m_armed = false;
    m_idleSince.reset();
    m_activeWatch = false;
    m_notification.reset();
    m_returnProbe.reset();
}

void FakeDesktopIdle::setAvailable(bool available)
{
    if (available == m_available) {
        return;
    }
    m_available = available;
    m_armed = false;
    m_idleSince.reset();
    m_activeWatch = false;
    m_notification.reset();
    m_returnProbe.reset();
    tell({ IdleEvent::Type::changed, now() });
}

std::optional<double> FakeDesktopIdle::nextMoment() const
{
    if (!m_available || !m_armed) {
        return std::nullopt;
    }
    switch (m_protocol) {
    case Protocol::x11:
        return std::nullopt;
    case Protocol::mutter:
        if (m_idleWatchFired) {
            return std::nullopt;
        }
        return std::max(now(), m_lastInput + m_threshold);
    case Protocol::extIdleNotify: {
        std::optional<double> next;
        for (const auto* notification : { &m_notification, &m_returnProbe }) {
            if (*notification && !(*notification)->idled) {
                const double due = (*notification)->dueAt(m_lastInput);
                next = next ? std::min(*next, due) : due;
            }
        }
        return next;
    }
    case Protocol::screenSaver:
        return std::max(now(), m_polled.nextQuestionAt());
    }
    return std::nullopt;
}

void FakeDesktopIdle::runDue()
{
    // Each step tells at most one thing; what it tells may arm the backend anew.
    for (int step = 0; step < 100; ++step) {
        const auto due = nextMoment();
        if (!due || *due > now() + epsilon) {
            return;
        }
        switch (m_protocol) {
        case Protocol::x11:
            return;
        case Protocol::mutter:
            m_idleWatchFired = true;
            becameIdle(now() - m_threshold);
            break;
        case Protocol::extIdleNotify:
            if (m_returnProbe && !m_returnProbe->idled
                && m_returnProbe->dueAt(m_lastInput) <= now() + epsilon) {
                m_returnProbe->idled = true;
            } else if (m_notification && !m_notification->idled) {
                m_notification->idled = true;
                becameIdle(now() - m_notification->timeout);
            }
            break;
        case Protocol::screenSaver:
            if (auto event = m_polled.answered(std::floor(now() - m_lastInput + epsilon), now())) {
                tell(*event);
            }
            break;
        }
    }
}

void FakeDesktopIdle::advance(double seconds, const std::function<void()>& tick)
{
    const double target = now() + seconds;
    m_nextTick = std::max(m_nextTick, now());
    while (true) {
        runDue();
        const auto moment = nextMoment();
        double stop = std::min(target, m_nextTick);
        if (moment && *moment < stop) {
            stop = *moment;
        }
        if (stop > now()) {
            m_clock.advance(stop - now());
        }
        if (moment && std::abs(*moment - now()) <= epsilon) {
            continue;
        }
        if (std::abs(m_nextTick - now()) <= epsilon) {
            m_nextTick += 1;
            if (tick) {
                tick();
            }
            continue;
        }
        if (now() >= target - epsilon) {
            runDue();
            return;
        }
    }
}

} // namespace platform::fake
