#pragma once

#include "platform/desktop/IdleTimeSource.h"

#include <algorithm>
#include <cmath>
#include <optional>

namespace platform {

// Turns exact idle figures, asked for now and then, into threshold events, for a service that
// answers a figure only when asked and only after a round trip (org.freedesktop.ScreenSaver).
// Nothing is extrapolated from a figure. While the user is present the next question falls due when
// the last figure could first have reached the threshold. While the user is away nothing tells the
// return but the figure, so it is asked every second, lock screen or not, and the next session
// starts within a second of the return. Each round trip wakes the process four times (the timer,
// Qt's D-Bus thread to send and to read, the answer): a service that is the last resort costs that
// while the user is gone, where a slower pace would start the next session late enough to lose it
// from the history.
//
// A figure was taken by the service at some moment between the question's sending and the
// answer's receipt, and is the idle time cut or rounded to the service's unit: the last input it
// shows lies between the sending less the figure and one unit, and the receipt less the figure. A
// return is input that lies wholly after the latest last input any answer of the pause has shown.
// Taking the receipt for the moment of the figure would read an answer in milliseconds that was
// delivered a few milliseconds later than another as input; comparing with the answers of the same
// pause rather than with the time since it began keeps a service clock that runs a little slow from
// adding up to a return over hours. A break is dated, and a return told, with the latest the input
// can have been, so that no absence counts as work.
//
// The owner asks when nextQuestionAt() falls due and hands every answer to answered().
class PolledIdleEvents {
public:
    // How often the figure is asked for while the user is away.
    static constexpr double awayInterval = 1.0;
    // How soon, at the latest, a figure that may be a break, or may be a thousandth of one, is
    // asked for again (confirmDelay()).
    static constexpr double confirmInterval = 2.0;

    // How soon a figure of `units` that may be seconds or milliseconds is asked for again: soon
    // enough that, read in milliseconds, input between the two answers would leave the second
    // figure under half the first, and a figure in seconds could not have grown that much.
    static double confirmDelay(double units) { return std::clamp(units / 2000.0, 0.001, confirmInterval); }

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
        m_latestAwayInput = idleSince;
        m_nextQuestionAt = now;
    }

    // Another service may answer now, in another unit.
    void forgetUnit(std::optional<double> secondsPerUnit)
    {
        m_secondsPerUnit = secondsPerUnit;
        m_previous.reset();
    }

    // The figure `units`, as the service answered it to a question sent at uptime `askedAt` and
    // received at uptime `at`: what it tells, if anything.
    std::optional<IdleEvent> answered(double units, double askedAt, double at)
    {
        askedAt = std::min(askedAt, at);
        if (!m_secondsPerUnit) {
            learnUnit(units, askedAt, at);
        }
        if (m_secondsPerUnit) {
            m_previous.reset();
            return decide(units * *m_secondsPerUnit, askedAt, at, *m_secondsPerUnit);
        }
        m_previous = Sample { units, askedAt, at };
        if (units >= m_threshold) {
            // A break in seconds, or a short pause in milliseconds: nothing is decided on it.
            m_nextQuestionAt = at + confirmDelay(units);
            return std::nullopt;
        }
        // Below the threshold in either unit. Read in seconds, the larger figure, it reaches the
        // threshold no later than read in milliseconds. A return is dated by the later reading, so
        // that no absence counts as work.
        auto event = decide(units, askedAt, at, 1.0);
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
        double askedAt;
        double at;
    };

    // An idle figure grows as fast as time while nobody gives input, and input makes it small. The
    // two figures were taken between `low` and `high` seconds apart (the questions' sending and the
    // answers' receipt bound the moments). A figure that grew faster than time cannot count
    // seconds. One that grew as time does in seconds counts them only where the millisecond reading
    // fails both ways: untouched, it would have grown a thousand times as much, and after input
    // between the two it would be no more than the time between them; so the second question comes
    // soon after the first (confirmDelay()). A figure that grows a few units in a few seconds is
    // otherwise as likely milliseconds counted from input that came in between, and answers
    // delivered a few milliseconds apart make that common. The service's name says nothing
    // reliable: KDE answers milliseconds under the name and path that other desktops answer seconds
    // under, and a desktop that copies one or the other would be misread by any list of names.
    void learnUnit(double units, double askedAt, double at)
    {
        if (!m_previous) {
            return;
        }
        const double low = std::max(0.0, askedAt - m_previous->at);
        const double high = at - m_previous->askedAt;
        const double growth = units - m_previous->units;
        if (high <= 0) {
            return;
        }
        if (growth > 2 * high + 2) {
            m_secondsPerUnit = 0.001;
            return;
        }
        const bool asSeconds = growth >= low - 1 && growth <= high + 1;
        const bool asMillisecondsUntouched = growth >= 1000 * low - 1 && growth <= 1000 * high + 1;
        const bool asMillisecondsAfterInput = units <= 1000 * high + 1;
        if (asSeconds && !asMillisecondsUntouched && !asMillisecondsAfterInput) {
            m_secondsPerUnit = 1.0;
        }
    }

    // `resolution`: the service's unit, by which a figure may fall short of the idle time.
    std::optional<IdleEvent> decide(double seconds, double askedAt, double at, double resolution)
    {
        const double lastInput = at - seconds;
        if (m_idleSince) {
            if (askedAt - seconds - resolution > m_latestAwayInput.value_or(*m_idleSince)) {
                m_idleSince.reset();
                m_latestAwayInput.reset();
                m_nextQuestionAt = std::max(askedAt - seconds + m_threshold, at + awayInterval);
                return IdleEvent { IdleEvent::Type::active, lastInput };
            }
            // The same input, perhaps delivered later than before.
            m_latestAwayInput = std::max(m_latestAwayInput.value_or(lastInput), lastInput);
            m_nextQuestionAt = at + awayInterval;
            return std::nullopt;
        }
        if (seconds >= m_threshold) {
            m_idleSince = lastInput;
            m_latestAwayInput = lastInput;
            m_nextQuestionAt = at + awayInterval;
            return IdleEvent { IdleEvent::Type::idle, lastInput };
        }
        // No earlier than this can the figure reach the threshold (within the unit).
        m_nextQuestionAt = askedAt - seconds + m_threshold;
        return std::nullopt;
    }

    std::optional<double> m_secondsPerUnit;
    std::optional<Sample> m_previous;
    double m_threshold = 600;
    std::optional<double> m_idleSince;
    // While the user is away: the latest moment the last input can have been, by every answer
    // since the pause began (or since the owner said it had).
    std::optional<double> m_latestAwayInput;
    double m_nextQuestionAt = 0;
};

} // namespace platform
