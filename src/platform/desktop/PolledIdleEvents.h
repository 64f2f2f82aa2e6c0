#pragma once

#include "platform/desktop/IdleTimeSource.h"

#include <algorithm>
#include <cmath>
#include <optional>

namespace platform {

// Turns exact idle figures, asked for now and then, into threshold events, for a service that
// answers a figure only when asked and only after a round trip (org.freedesktop.ScreenSaver).
// Each answer is exact at the moment it was received; nothing is extrapolated from it. While the
// user is present the next question falls due when the last figure could first have reached the
// threshold. While the user is away nothing tells the return but the figure, so it is asked every
// second, and the next session starts within a second of the return. Each round trip wakes the
// process four times (the timer, Qt's D-Bus thread to send and to read, the answer): a service that
// is the last resort costs that while the user is gone, where a slower pace would start the next
// session late enough to lose it from the history. The return is told with the latest input the
// answer shows, never before the user was there.
//
// The owner asks when nextQuestionAt() falls due and hands every answer to answered().
class PolledIdleEvents {
public:
    // How often the figure is asked for while the user is away.
    static constexpr double awayInterval = 1.0;
    // How soon a figure that may be a break, or may be a thousandth of one, is asked for again.
    static constexpr double confirmInterval = 2.0;

    // `secondsPerUnit`: the unit the service answers in (whole seconds: 1), or nothing when the
    // service does not say, and the growth of its figures must tell.
    explicit PolledIdleEvents(std::optional<double> secondsPerUnit)
        : m_secondsPerUnit(secondsPerUnit)
    {
    }

    // Starts again with this threshold; the first question is due at once. With `idleSince`, the
    // user counts as away since then already.
    void arm(double threshold, std::optional<double> idleSince, double now)
    {
        m_threshold = threshold;
        m_idleSince = idleSince;
        m_nextQuestionAt = now;
    }

    // Another service may answer now, in another unit.
    void forgetUnit(std::optional<double> secondsPerUnit)
    {
        m_secondsPerUnit = secondsPerUnit;
        m_previous.reset();
    }

    // The figure `units`, as the service answered it, received at uptime `at`: what it tells, if
    // anything.
    std::optional<IdleEvent> answered(double units, double at)
    {
        if (!m_secondsPerUnit) {
            learnUnit(units, at);
        }
        if (m_secondsPerUnit) {
            m_previous.reset();
            return decide(units * *m_secondsPerUnit, at, *m_secondsPerUnit);
        }
        m_previous = Sample { units, at };
        if (units >= m_threshold) {
            // A break in seconds, or a short pause in milliseconds: nothing is decided on it.
            m_nextQuestionAt = at + confirmInterval;
            return std::nullopt;
        }
        // Below the threshold in either unit. Read in seconds, the larger figure, it reaches the
        // threshold no later than read in milliseconds. A return is dated by the later reading, so
        // that no absence counts as work.
        auto event = decide(units, at, 1.0);
        if (event && event->type == IdleEvent::Type::active) {
            event->uptime = at - units * 0.001;
        }
        return event;
    }

    double nextQuestionAt() const { return m_nextQuestionAt; }
    const std::optional<double>& idleSince() const { return m_idleSince; }
    double threshold() const { return m_threshold; }
    const std::optional<double>& secondsPerUnit() const { return m_secondsPerUnit; }

private:
    struct Sample {
        double units;
        double at;
    };

    // An idle figure grows as fast as time while nobody gives input, and input makes it small. So
    // a figure that grew much faster than the time between two answers cannot count seconds, and
    // one that grew by the time elapsed in seconds cannot count milliseconds (but for input landing
    // within the same millisecond). The service's name says nothing reliable: KDE answers
    // milliseconds under the name and path that other desktops answer seconds under, and a
    // desktop that copies one or the other would be misread by any list of names.
    void learnUnit(double units, double at)
    {
        if (!m_previous) {
            return;
        }
        const double elapsed = at - m_previous->at;
        const double growth = units - m_previous->units;
        if (elapsed <= 0) {
            return;
        }
        if (growth > 2 * elapsed + 2) {
            m_secondsPerUnit = 0.001;
        } else if (elapsed >= 1 && m_previous->units >= 2 && growth >= 0
            && std::abs(growth - elapsed) <= 1.5) {
            m_secondsPerUnit = 1.0;
        }
    }

    std::optional<IdleEvent> decide(double seconds, double at, double resolution)
    {
        const double lastInput = at - seconds;
        if (m_idleSince) {
            // The figure has not grown with the time since the user left: there was input.
            if (seconds + resolution < at - *m_idleSince) {
                m_idleSince.reset();
                m_nextQuestionAt = std::max(lastInput + m_threshold, at + awayInterval);
                return IdleEvent { IdleEvent::Type::active, lastInput };
            }
            m_nextQuestionAt = at + awayInterval;
            return std::nullopt;
        }
        if (seconds >= m_threshold) {
            m_idleSince = lastInput;
            m_nextQuestionAt = at + awayInterval;
            return IdleEvent { IdleEvent::Type::idle, lastInput };
        }
        // No earlier than this can the figure reach the threshold.
        m_nextQuestionAt = lastInput + m_threshold;
        return std::nullopt;
    }

    std::optional<double> m_secondsPerUnit;
    std::optional<Sample> m_previous;
    double m_threshold = 600;
    std::optional<double> m_idleSince;
    double m_nextQuestionAt = 0;
};

} // namespace platform
