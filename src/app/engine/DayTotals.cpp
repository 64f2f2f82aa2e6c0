#include "app/engine/DayTotals.h"

#include "app/engine/DayHelpers.h"
#include "app/engine/SessionHistory.h"
#include "platform/time/Calendar.h"
#include "platform/time/Clock.h"
#include "platform/time/TimeZone.h"

#include <cmath>
#include <iterator>

namespace kiruvo {

platform::Date roundedToWholeSeconds(platform::Date date)
{
    return platform::Date(std::round(date.timeIntervalSinceReferenceDate));
}

DayTotals::DayTotals(const SessionHistory& history, const std::optional<CurrentSession>& running)
    : m_history(history)
    , m_running(running)
{
}

std::optional<platform::DateRange> DayTotals::allSessionsDateRange() const
{
    // A history another program changed is read before a range derived from it is given.
    m_history.catchUp();
    if (m_dateRange && m_dateRange->first == m_history.generation()) {
        return m_dateRange->second;
    }
    auto sessions = m_history.allSessionsShared();
    std::optional<platform::DateRange> range;
    if (!sessions->empty()) {
        platform::Date earliest = sessions->front().dateRange().lowerBound;
        platform::Date latest = sessions->front().dateRange().upperBound;
        for (const auto& session : *sessions) {
            earliest = std::min(earliest, session.dateRange().lowerBound);
            latest = std::max(latest, session.dateRange().upperBound);
        }
        range = platform::DateRange { earliest, latest };
    }
    m_dateRange.emplace(m_history.generation(), range);
    return range;
}

int DayTotals::trackedDayCount() const
{
    const auto range = allSessionsDateRange();
    if (!range) {
        return 0;
    }
    const auto days = platform::Calendar::current().daysBetween(range->lowerBound, range->upperBound);
    return days.value_or(0) + 1;
}

namespace {

// Days remembered at most: the History window's averages ask for 125, the tick for one.
constexpr std::size_t rememberedDays = 512;

} // namespace

const DayTotals::Day* DayTotals::day(platform::Date rounded) const
{
    // Another program's addition counts in the totals as soon as it is in the store, as it counts
    // in the list of sessions.
    m_history.catchUp();
    const std::uint64_t zone = platform::TimeZone::currentChangeCount();
    if (m_daysGeneration != m_history.generation() || m_daysZone != zone || m_days.size() > rememberedDays) {
        m_days.clear();
        m_daysGeneration = m_history.generation();
        m_daysZone = zone;
    }
    const double seconds = rounded.timeIntervalSinceReferenceDate;
    // The day that begins last at or before the date holds it unless it ended before.
    if (auto next = m_days.upper_bound(seconds); next != m_days.begin()) {
        const Day& candidate = std::prev(next)->second;
        if (rounded < candidate.range.upperBound) {
            return &candidate;
        }
    }
    const auto range = platform::Calendar::current().dayRange(rounded);
    if (!range) {
        return nullptr;
    }
    const auto sessions = m_history.allSessionsShared();
    auto selected = std::make_shared<std::vector<Session>>();
    zk::Duration total = zk::Duration::zero();
    for (const auto& session : *sessions) {
        if (overlapsDayRange(session.dateRange(), *range)) {
            selected->push_back(session);
        }
    }
    for (const auto& session : *selected) {
        if (auto part = intersectionWithDayRange(session.dateRange(), *range)) {
            total = total + zk::Duration::fromSeconds(part->duration());
        }
    }
    auto [entry, inserted] = m_days.insert_or_assign(
        range->lowerBound.timeIntervalSinceReferenceDate, Day { *range, std::move(selected), total });
    return &entry->second;
}

std::vector<Session> DayTotals::sessionsForDayAt(platform::Date date) const
{
    const Day* found = day(roundedToWholeSeconds(date));
    return found ? *found->sessions : std::vector<Session>();
}

zk::Duration DayTotals::totalDurationForSessionsAtDay(platform::Date date) const
{
    const Day* found = day(roundedToWholeSeconds(date));
    return found ? found->storedTotal : zk::Duration::zero();
}

std::optional<zk::Duration> DayTotals::totalForDay(platform::Date rounded) const
{
    const Day* found = day(rounded);
    if (!found) {
        return std::nullopt;
    }
    // The running session is measured at every question: it grows from one second to the next.
    zk::Duration total = found->storedTotal;
    if (m_running) {
        if (auto part = intersectionWithDayRange(m_running->dateRange(), found->range)) {
            total = total + zk::Duration::fromSeconds(part->duration());
        }
    }
    if (total == zk::Duration::zero()) {
        return std::nullopt;
    }
    return total;
}

std::optional<zk::Duration> DayTotals::totalDurationForDayAt(platform::Date date) const
{
    return totalForDay(roundedToWholeSeconds(date));
}

std::optional<zk::Duration> DayTotals::totalDurationYesterday() const
{
    const auto yesterday
        = platform::Calendar::current().dateByAddingDays(-1, platform::Clock::shared().now());
    if (!yesterday) {
        return std::nullopt;
    }
    return totalForDay(roundedToWholeSeconds(*yesterday));
}

std::vector<zk::Duration> DayTotals::dailyTotals(const std::vector<platform::Date>& dates) const
{
    std::vector<zk::Duration> totals;
    totals.reserve(dates.size());
    for (auto date : dates) {
        if (auto total = totalForDay(roundedToWholeSeconds(date))) {
            totals.push_back(*total);
        }
    }
    return totals;
}

double DayTotals::averageDuration(int lowerOffset, int upperOffset, bool excludingWeekends) const
{
    const auto calendar = platform::Calendar::current();
    std::vector<platform::Date> dates;
    for (int offset = lowerOffset; offset <= upperOffset; ++offset) {
        const auto date = calendar.dateByAddingDays(offset, platform::Clock::shared().now());
        if (!date) {
            continue;
        }
        if (excludingWeekends && calendar.isDateInWeekend(*date)) {
            continue;
        }
        dates.push_back(*date);
    }
    const auto totals = dailyTotals(dates);
    if (totals.empty()) {
        return 0;
    }
    double sum = 0;
    for (const auto& total : totals) {
        sum += total.seconds;
    }
    return sum / static_cast<double>(totals.size());
}

} // namespace kiruvo
