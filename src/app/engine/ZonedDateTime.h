#pragma once

#include "platform/store/JsonValue.h"
#include "platform/time/Date.h"
#include "platform/time/TimeZone.h"

#include <cstddef>
#include <functional>
#include <optional>
#include <string>

namespace kiruvo {

// An instant together with the zone it was observed in. Ordering looks at the instant alone, so
// one instant in two zones is neither less nor greater, yet not equal.
class ZonedDateTime {
public:
    // UTC at the reference date.
    ZonedDateTime();
    // Nothing for an instant that is not a finite number.
    static std::optional<ZonedDateTime> make(platform::Date instant, platform::TimeZone timeZone);

    platform::Date instant() const { return m_instant; }
    const platform::TimeZone& timeZone() const { return m_timeZone; }

    // The instant's milliseconds since 1970, truncated toward zero, then "-" and the zone's
    // identifier: "1234-Europe/Oslo". Instants beyond the 64-bit range of milliseconds (some 292
    // million years) count as its nearest end.
    std::string id() const;

    bool operator==(const ZonedDateTime& other) const
    {
        return m_instant == other.m_instant && m_timeZone == other.m_timeZone;
    }
    bool operator<(const ZonedDateTime& other) const { return m_instant < other.m_instant; }
    bool operator>(const ZonedDateTime& other) const { return other < *this; }
    bool operator<=(const ZonedDateTime& other) const { return !(other < *this); }
    bool operator>=(const ZonedDateTime& other) const { return !(*this < other); }

private:
    ZonedDateTime(platform::Date instant, platform::TimeZone timeZone);

    platform::Date m_instant;
    platform::TimeZone m_timeZone;
};

// {"instant": seconds since the reference date, "timeZone": {"identifier": "Europe/Oslo"}}.
// Decoding throws when a key is missing or of the wrong kind, the instant is not finite or the zone
// is unknown; other keys are ignored.
void to_json(platform::JsonValue& json, const ZonedDateTime& value);
void from_json(const platform::JsonValue& json, ZonedDateTime& value);

// A zone's coded form, {"identifier": "Europe/Oslo"}, shared with sessions.
platform::JsonValue timeZoneJson(const platform::TimeZone& zone);
// Throws std::invalid_argument when the object holds no known zone.
platform::TimeZone timeZoneFromJson(const platform::JsonValue& json);

} // namespace kiruvo

template <> struct std::hash<kiruvo::ZonedDateTime> {
    std::size_t operator()(const kiruvo::ZonedDateTime& value) const noexcept;
};
