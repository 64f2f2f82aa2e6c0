#include "app/engine/Session.h"

#include "app/engine/DayHelpers.h"
#include "app/engine/ZonedDateTime.h"
#include "platform/store/JsonWriter.h"
#include "platform/time/Calendar.h"
#include "platform/time/Clock.h"
#include "platform/time/Date.h"
#include "platform/time/DateIntervalFormatter.h"
#include "platform/time/Locale.h"

#include <cmath>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>

namespace kiruvo {

namespace {

bool isValidRange(platform::Date start, platform::Date end)
{
    return platform::DateRange::make(start, end).has_value();
}

// Interval formatters are costly to build and a history list asks for one per row; they are kept
// per locale, zone and form. The set is small (one locale, a few zones) and emptied if it grows.
std::string intervalText(const platform::DateRange& range, bool withDate, const platform::TimeZone& zone)
{
    static std::mutex mutex;
    static std::map<std::string, std::shared_ptr<const platform::DateIntervalFormatter>> formatters;

    const auto locale = platform::Locale::current();
    const std::string key = locale.identifier() + '\n' + zone.identifier() + '\n' + (withDate ? "d" : "t");
    std::shared_ptr<const platform::DateIntervalFormatter> formatter;
    {
        std::lock_guard lock(mutex);
        if (auto it = formatters.find(key); it != formatters.end() && it->second) {
            formatter = it->second;
        }
    }
    if (!formatter) {
        using Style = platform::DateFormatter::Style;
        formatter = std::make_shared<const platform::DateIntervalFormatter>(
            withDate ? Style::shortStyle : Style::none, Style::shortStyle, locale, zone);
        std::lock_guard lock(mutex);
        if (formatters.size() >= 32) {
            formatters.clear();
        }
        formatters[key] = formatter;
    }
    return formatter->string(range);
}

double numberAt(const platform::JsonValue& array, std::size_t index)
{
    const auto& element = array.at(index);
    if (!element.is_number()) {
        throw std::invalid_argument("A session's \"dateRange\" holds dates as numbers.");
    }
    const double value = element.get<double>();
    if (!std::isfinite(value)) {
        throw std::invalid_argument("A session's dates must be finite numbers.");
    }
    return value;
}

} // namespace

Session::Session()
    : m_timeZone(platform::TimeZone::utc())
{
}

std::optional<Session> Session::make(
    platform::Uuid id, platform::Date start, platform::Date end, platform::TimeZone timeZone)
{
    if (!isValidRange(start, end)) {
        return std::nullopt;
    }
    Session session;
    session.m_id = id;
    session.m_dateRange = { start, end };
    session.m_timeZone = std::move(timeZone);
    return session;
}

bool Session::setDateRange(const platform::DateRange& dateRange)
{
    if (!isValidRange(dateRange.lowerBound, dateRange.upperBound)) {
        return false;
    }
    m_dateRange = dateRange;
    return true;
}

std::string Session::dateRangeString() const
{
    platform::Calendar calendar = platform::Calendar::current();
    calendar.setTimeZone(m_timeZone);
    return dateRangeString(calendar, platform::Clock::shared().now());
}

std::string Session::dateRangeString(const platform::Calendar& calendarInZone, platform::Date now) const
{
    const bool today = isWithinOneDay(m_dateRange, now, calendarInZone);
    return intervalText(m_dateRange, !today, m_timeZone);
}

std::string Session::jsonText() const
{
    platform::JsonValue json;
    to_json(json, *this);
    // Every Session holds finite dates, the only thing the writer refuses.
    return platform::JsonWriter::write(json).value_or(std::string());
}

std::optional<Session> Session::fromJsonText(const std::string& text)
{
    const auto json = platform::JsonReader::parse(text);
    if (!json) {
        return std::nullopt;
    }
    try {
        Session session;
        from_json(*json, session);
        return session;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

void to_json(platform::JsonValue& json, const Session& session)
{
    json = platform::JsonValue::object();
    json["id"] = session.id().uuidString();
    json["dateRange"]
        = platform::JsonValue::array({ session.dateRange().lowerBound.timeIntervalSinceReferenceDate,
            session.dateRange().upperBound.timeIntervalSinceReferenceDate });
    json["timeZone"] = timeZoneJson(session.timeZone());
}

void from_json(const platform::JsonValue& json, Session& session)
{
    if (!json.is_object()) {
        throw std::invalid_argument("A session is a JSON object.");
    }
    const auto id = json.find("id");
    if (id == json.end() || !id->is_string()) {
        throw std::invalid_argument("A session needs an \"id\" text.");
    }
    const auto uuid = platform::Uuid::parse(id->get_ref<const std::string&>());
    if (!uuid) {
        throw std::invalid_argument("A session's \"id\" is no UUID.");
    }
    const auto range = json.find("dateRange");
    if (range == json.end() || !range->is_array() || range->size() < 2) {
        throw std::invalid_argument("A session needs a \"dateRange\" of two dates.");
    }
    const platform::Date start(numberAt(*range, 0));
    const platform::Date end(numberAt(*range, 1));
    if (end < start) {
        throw std::invalid_argument("A session's start lies after its end.");
    }
    const auto zone = json.find("timeZone");
    if (zone == json.end()) {
        throw std::invalid_argument("A session needs a \"timeZone\".");
    }
    auto decoded = Session::make(*uuid, start, end, timeZoneFromJson(*zone));
    if (!decoded) {
        throw std::invalid_argument("A session's span is not valid.");
    }
    session = std::move(*decoded);
}

} // namespace kiruvo

std::size_t std::hash<kiruvo::Session>::operator()(const kiruvo::Session& session) const noexcept
{
    std::size_t seed = std::hash<platform::Uuid>()(session.id());
    auto combine
        = [&seed](std::size_t value) { seed ^= value + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2); };
    combine(std::hash<double>()(session.dateRange().lowerBound.timeIntervalSinceReferenceDate + 0.0));
    combine(std::hash<double>()(session.dateRange().upperBound.timeIntervalSinceReferenceDate + 0.0));
    combine(std::hash<platform::TimeZone>()(session.timeZone()));
    return seed;
}
