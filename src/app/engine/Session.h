#pragma once

#include "platform/Uuid.h"
#include "platform/store/JsonValue.h"
#include "platform/time/DateRange.h"
#include "platform/time/TimeZone.h"

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace platform {
class Calendar;
}

namespace kiruvo {

// One finished session: its identity, its wall-clock span (start and end both included, the start
// never after the end, both finite) and the time zone it was recorded in. Those rules hold for
// every Session, so encoding one never fails.
class Session {
public:
    // The all-zero id, the zero-length span at the reference date, UTC; a placeholder to decode into.
    Session();
    // Nothing when the span's ends are not finite or the start lies after the end.
    static std::optional<Session> make(
        platform::Uuid id, platform::Date start, platform::Date end, platform::TimeZone timeZone);
    static std::optional<Session> make(
        platform::Uuid id, const platform::DateRange& dateRange, platform::TimeZone timeZone)
    {
        return make(id, dateRange.lowerBound, dateRange.upperBound, std::move(timeZone));
    }

    const platform::Uuid& id() const { return m_id; }
    const platform::DateRange& dateRange() const { return m_dateRange; }
    const platform::TimeZone& timeZone() const { return m_timeZone; }
    // End minus start, in seconds.
    double duration() const { return m_dateRange.duration(); }

    void setId(const platform::Uuid& id) { m_id = id; }
    void setTimeZone(platform::TimeZone timeZone) { m_timeZone = std::move(timeZone); }
    // Refuses (and changes nothing for) a span that breaks the rules above.
    bool setDateRange(const platform::DateRange& dateRange);

    // The span as menus and lists show it, in the recorded zone and the user's locale: times only
    // for a session of today ("9:30 – 11:00 AM"), dates and times otherwise. Whether it is today's
    // is judged in the recorded zone.
    std::string dateRangeString() const;
    // The same, for callers that write many: `calendarInZone` is the current calendar set to this
    // session's zone, `now` the present moment.
    std::string dateRangeString(const platform::Calendar& calendarInZone, platform::Date now) const;

    // The stored text of one session:
    // {"id":"E621E1F8-…","dateRange":[start,end],"timeZone":{"identifier":"Europe\/Oslo"}}
    std::string jsonText() const;
    // Nothing for text that is not one valid session object.
    static std::optional<Session> fromJsonText(const std::string& text);

    bool operator==(const Session& other) const
    {
        return m_id == other.m_id && m_dateRange.lowerBound == other.m_dateRange.lowerBound
            && m_dateRange.upperBound == other.m_dateRange.upperBound && m_timeZone == other.m_timeZone;
    }

private:
    platform::Uuid m_id;
    platform::DateRange m_dateRange;
    platform::TimeZone m_timeZone;
};

// Keys in the order "id", "dateRange", "timeZone"; dates as seconds since the reference date.
// Decoding throws std::invalid_argument on a missing key, a value of the wrong kind, an id that is
// no UUID, a date that is not finite, a start after the end or an unknown zone; other keys and
// further elements of "dateRange" are ignored.
void to_json(platform::JsonValue& json, const Session& session);
void from_json(const platform::JsonValue& json, Session& session);

} // namespace kiruvo

template <> struct std::hash<kiruvo::Session> {
    std::size_t operator()(const kiruvo::Session& session) const noexcept;
};
