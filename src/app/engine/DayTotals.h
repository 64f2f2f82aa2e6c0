#pragma once

#include "app/engine/CurrentSession.h"
#include "app/engine/Session.h"
#include "kit/foundation/core/Duration.h"
#include "platform/time/Date.h"
#include "platform/time/DateRange.h"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace kiruvo {

class SessionHistory;

// The questions asked of the history by calendar day: a day's sessions and totals, the averages
// over days, the span the history covers. Days are those of the user's calendar and time zone at
// the moment of the question.
//
// What the stored history comes to on a day is kept until the history or the time zone changes,
// so that asking for today's total every second pays for the running session only, however long
// the history. The running session is measured at every question.
//
// Main-thread only.
class DayTotals {
public:
    // Answers from `history` and the running session as `running` holds it at each question; both
    // outlive this.
    DayTotals(const SessionHistory& history, const std::optional<CurrentSession>& running);

    // From the earliest start to the latest end of the stored sessions; nothing when there is none.
    std::optional<platform::DateRange> allSessionsDateRange() const;
    // The calendar days from the first session's day to the last's, both included; 0 without any.
    int trackedDayCount() const;
    // The stored sessions that overlap the calendar day of `date` (rounded to whole seconds), in
    // stored order.
    std::vector<Session> sessionsForDayAt(platform::Date date) const;

    // Tracked time on the day of `date`, the running session included; nothing when it is zero.
    std::optional<zk::Duration> totalDurationForDayAt(platform::Date date) const;
    // Tracked time of the stored sessions on the day of `date`.
    zk::Duration totalDurationForSessionsAtDay(platform::Date date) const;
    // Today's total of the same clock time one calendar day earlier.
    std::optional<zk::Duration> totalDurationYesterday() const;
    // The day totals of the given days, in order; days without a total are left out.
    std::vector<zk::Duration> dailyTotals(const std::vector<platform::Date>& dates) const;
    // The mean day total, in seconds, over the days from `lowerOffset` to `upperOffset` days from
    // today (both included) that have a total; weekends, as the locale counts them, left out when
    // asked. 0 when no day has a total.
    double averageDuration(int lowerOffset, int upperOffset, bool excludingWeekends) const;

private:
    // What the stored history of one calendar day comes to.
    struct Day {
        // From the day's first instant to the next day's, both included.
        platform::DateRange range;
        std::shared_ptr<const std::vector<Session>> sessions;
        zk::Duration storedTotal;
    };

    // The day of the rounded date, from the memo or computed now. Nothing when the calendar has
    // no such day.
    const Day* day(platform::Date rounded) const;
    std::optional<zk::Duration> totalForDay(platform::Date rounded) const;

    const SessionHistory& m_history;
    const std::optional<CurrentSession>& m_running;
    // Days by their first instant, for m_daysGeneration and m_daysZone.
    mutable std::map<double, Day> m_days;
    mutable std::uint64_t m_daysGeneration = 0;
    mutable std::uint64_t m_daysZone = 0;
    mutable std::optional<std::pair<std::uint64_t, std::optional<platform::DateRange>>> m_dateRange;
};

// Rounds to the nearest whole second since the reference date, halves away from zero.
platform::Date roundedToWholeSeconds(platform::Date date);

} // namespace kiruvo
