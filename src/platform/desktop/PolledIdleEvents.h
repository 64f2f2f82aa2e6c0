#pragma once

#include "platform/desktop/IdleTimeSource.h"

#include <optional>

namespace platform {

// Turns exact idle figures, asked for now and then, into threshold events, for a service that
// answers a figure only when asked and only after a round trip (org.freedesktop.ScreenSaver).
// Each answer is exact at the moment it was received; nothing is extrapolated from it. While the
// user is present the next question falls due when the last figure could first have reached the
// threshold. While the user is away it is asked every few seconds: each round trip wakes the
// process three or four times, and asking every second would cost several wake-ups a second for
// as long as the user is gone. The return is told with the latest input the answer shows, so the
// next session starts up to that interval late, and never before the user was there.
//
// The owner asks when nextQuestionAt() falls due and hands every answer to answered().
class PolledIdleEvents {
public:
    // How often the figure is asked for while the user is away.
    static constexpr double awayInterval = 15.0;

    // `resolution`: the unit the service answers in (whole seconds: 1).
    explicit PolledIdleEvents(double resolution)
        : m_resolution(resolution)
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

    // The figure `seconds`, received at uptime `at`: what it tells, if anything.
    std::optional<IdleEvent> answered(double seconds, double at)
    {
        const double lastInput = at - seconds;
        if (m_idleSince) {
            // The figure has not grown with the time since the user left: there was input.
            if (seconds + m_resolution < at - *m_idleSince) {
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

    double nextQuestionAt() const { return m_nextQuestionAt; }
    const std::optional<double>& idleSince() const { return m_idleSince; }
    double threshold() const { return m_threshold; }

private:
    double m_resolution;
    double m_threshold = 600;
    std::optional<double> m_idleSince;
    double m_nextQuestionAt = 0;
};

} // namespace platform
