#include "app/engine/ZonedDateTime.h"

#include "platform/store/JsonWriter.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <stdexcept>

namespace kiruvo {

ZonedDateTime::ZonedDateTime()
    : m_timeZone(platform::TimeZone::utc())
{
}

ZonedDateTime::ZonedDateTime(platform::Date instant, platform::TimeZone timeZone)
    : m_instant(instant)
    , m_timeZone(std::move(timeZone))
{
}

std::optional<ZonedDateTime> ZonedDateTime::make(platform::Date instant, platform::TimeZone timeZone)
{
    if (!std::isfinite(instant.timeIntervalSinceReferenceDate)) {
        return std::nullopt;
    }
    return ZonedDateTime(instant, std::move(timeZone));
}

std::string ZonedDateTime::id() const
{
    const double ms = std::trunc(m_instant.unixTime() * 1000.0);
    // 2^63 is exact in a double; anything at or beyond it does not fit.
    constexpr double limit = 9223372036854775808.0;
    std::int64_t whole = 0;
    if (ms >= limit) {
        whole = std::numeric_limits<std::int64_t>::max();
    } else if (ms < -limit) {
        whole = std::numeric_limits<std::int64_t>::min();
    } else if (std::isfinite(ms)) {
        whole = static_cast<std::int64_t>(ms);
    }
    return std::to_string(whole) + "-" + m_timeZone.identifier();
}

platform::JsonValue timeZoneJson(const platform::TimeZone& zone)
{
    platform::JsonValue json = platform::JsonValue::object();
    json["identifier"] = zone.identifier();
    return json;
}

platform::TimeZone timeZoneFromJson(const platform::JsonValue& json)
{
    if (!json.is_object()) {
        throw std::invalid_argument("A time zone is an object with an \"identifier\".");
    }
    const auto it = json.find("identifier");
    if (it == json.end() || !it->is_string()) {
        throw std::invalid_argument("A time zone needs an \"identifier\" text.");
    }
    auto zone = platform::TimeZone::withIdentifier(it->get<std::string>());
    if (!zone) {
        throw std::invalid_argument("Unknown time zone identifier \"" + it->get<std::string>() + "\".");
    }
    return *zone;
}

void to_json(platform::JsonValue& json, const ZonedDateTime& value)
{
    json = platform::JsonValue::object();
    json["instant"] = value.instant().timeIntervalSinceReferenceDate;
    json["timeZone"] = timeZoneJson(value.timeZone());
}

void from_json(const platform::JsonValue& json, ZonedDateTime& value)
{
    if (!json.is_object()) {
        throw std::invalid_argument("A zoned date-time is a JSON object.");
    }
    const auto instant = json.find("instant");
    if (instant == json.end() || !instant->is_number()) {
        throw std::invalid_argument("A zoned date-time needs a number \"instant\".");
    }
    const auto zone = json.find("timeZone");
    if (zone == json.end()) {
        throw std::invalid_argument("A zoned date-time needs a \"timeZone\".");
    }
    auto decoded = ZonedDateTime::make(platform::Date(instant->get<double>()), timeZoneFromJson(*zone));
    if (!decoded) {
        throw std::invalid_argument("A zoned date-time's instant must be a finite number.");
    }
    value = *decoded;
}

} // namespace kiruvo

std::size_t std::hash<kiruvo::ZonedDateTime>::operator()(const kiruvo::ZonedDateTime& value) const noexcept
{
    // +0 and -0 are the same instant and must hash alike.
    const double seconds = value.instant().timeIntervalSinceReferenceDate + 0.0;
    const std::size_t a = std::hash<double>()(seconds);
    const std::size_t b = std::hash<platform::TimeZone>()(value.timeZone());
    return a ^ (b + 0x9e3779b97f4a7c15ULL + (a << 6) + (a >> 2));
}
