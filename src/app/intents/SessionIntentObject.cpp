#include "app/intents/SessionIntentObject.h"

#include "app/engine/SharedFormatters.h"
#include "platform/time/Clock.h"
#include "platform/time/Date.h"

#include <algorithm>
#include <limits>
#include <string>

namespace kiruvo {

Session_ intentObject(const Session& session)
{
    return SessionIntentObjects().make(session);
}

SessionIntentObjects::SessionIntentObjects()
    : m_calendar(platform::Calendar::current())
    , m_now(platform::Clock::shared().now())
{
}

const platform::Calendar& SessionIntentObjects::calendarIn(const platform::TimeZone& zone)
{
    const std::string identifier = zone.identifier();
    auto found = m_zoned.find(identifier);
    if (found == m_zoned.end()) {
        platform::Calendar calendar = m_calendar;
        calendar.setTimeZone(zone);
        found = m_zoned.emplace(identifier, std::move(calendar)).first;
    }
    return found->second;
}

Session_ SessionIntentObjects::make(const Session& session)
{
    const platform::Date start = session.dateRange().lowerBound;
    const platform::Date end = session.dateRange().upperBound;

    Session_ object(session.id().uuidString(),
        SharedFormatters::hoursMinutesStandalone(start, end)
            .value_or(std::string(SharedFormatters::missingText)),
        session.dateRangeString(calendarIn(session.timeZone()), m_now), std::nullopt);

    // A session's dates are finite (Session guarantees it), but ICU's range is narrower than a
    // double's: beyond it the components stay absent rather than wrong.
    object.startDate = m_calendar.dateComponents(start, session.timeZone());
    object.endDate = m_calendar.dateComponents(end, session.timeZone());
    object.duration = session.duration();
    return object;
}

std::optional<platform::DateRange> SessionIntentObjects::unchangedDuring() const
{
    platform::DateRange span { platform::Date(-std::numeric_limits<double>::max()),
        platform::Date(std::numeric_limits<double>::max()) };
    for (const auto& [identifier, calendar] : m_zoned) {
        const auto day = calendar.dayRange(m_now);
        if (!day) {
            return std::nullopt;
        }
        span.lowerBound = std::max(span.lowerBound, day->lowerBound);
        span.upperBound = std::min(span.upperBound, day->upperBound);
    }
    return span;
}

std::vector<Session_> SessionIntentObjects::make(const std::vector<Session>& sessions)
{
    std::vector<Session_> objects;
    objects.reserve(sessions.size());
    for (const Session& session : sessions) {
        objects.push_back(make(session));
    }
    return objects;
}

} // namespace kiruvo
