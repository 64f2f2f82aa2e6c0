#include "platform/time/Iso8601DateFormatter.h"

#include "platform/time/CivilDate.h"
#include "platform/time/Date.h"

#include <unicode/gregocal.h>
#include <unicode/smpdtfmt.h>

#include <cmath>
#include <cstdio>
#include <stdexcept>

namespace platform {

Iso8601DateFormatter::Iso8601DateFormatter(Form form, TimeZone timeZone)
    : m_form(form)
    , m_timeZone(std::move(timeZone))
{
}

Iso8601DateFormatter::~Iso8601DateFormatter() = default;

std::optional<std::string> Iso8601DateFormatter::directString(double unixSeconds) const
{
    // Whole seconds toward the past, so 09:30:00.75 is 09:30:00.
    const double whole = std::floor(unixSeconds);
    // About the years 1600 to 9999, where ICU's calendar is the proleptic Gregorian one.
    if (!(whole > -11676096000.0 && whole < 253402300800.0)) {
        return std::nullopt;
    }
    const double offset = m_timeZone.secondsFromGMT(Date::fromUnixTime(whole));
    if (offset != std::floor(offset / 60.0) * 60.0 || std::abs(offset) >= 24 * 3600) {
        return std::nullopt;
    }
    const auto local = static_cast<long long>(whole + offset);
    const long long days = (local >= 0 ? local : local - 86399) / 86400;
    const long long secondOfDay = local - days * 86400;
    const CivilDate date = civilFromDays(days);
    if (date.year < 1600 || date.year > 9999) {
        return std::nullopt;
    }
    char buffer[40];
    int length = 0;
    if (m_form == Form::fullDate) {
        length = std::snprintf(buffer, sizeof buffer, "%04lld-%02u-%02u", date.year, date.month, date.day);
    } else {
        length = std::snprintf(buffer, sizeof buffer, "%04lld-%02u-%02uT%02lld:%02lld:%02lld", date.year,
            date.month, date.day, secondOfDay / 3600, secondOfDay / 60 % 60, secondOfDay % 60);
        if (offset == 0) {
            buffer[length++] = 'Z';
        } else {
            const auto minutes = static_cast<long long>(std::abs(offset)) / 60;
            length += std::snprintf(buffer + length, sizeof buffer - length, "%c%02lld:%02lld",
                offset < 0 ? '-' : '+', minutes / 60, minutes % 60);
        }
    }
    return std::string(buffer, static_cast<std::size_t>(length));
}

std::optional<std::string> Iso8601DateFormatter::string(Date date) const
{
    const double ms = date.unixTime() * 1000.0;
    if (!std::isfinite(ms)) {
        return std::nullopt;
    }
    if (auto direct = directString(date.unixTime())) {
        return direct;
    }
    icu::UnicodeString text;
    {
        std::lock_guard lock(m_mutex);
        if (!m_format) {
            // "u" is the proleptic year (no era), XXX the offset as ±hh:mm or Z. en_US_POSIX keeps
            // the digits ASCII whatever the user's locale.
            const char* pattern = m_form == Form::fullDate ? "uuuu-MM-dd" : "uuuu-MM-dd'T'HH:mm:ssXXX";
            const icu::Locale posix("en_US_POSIX");
            UErrorCode status = U_ZERO_ERROR;
            auto format = std::make_unique<icu::SimpleDateFormat>(
                icu::UnicodeString(pattern, -1, US_INV), posix, status);
            if (U_SUCCESS(status)) {
                format->adoptCalendar(new icu::GregorianCalendar(m_timeZone.icu(), posix, status));
            }
            if (U_FAILURE(status)) {
                throw std::runtime_error(
                    std::string("Cannot create an ISO 8601 formatter: ") + u_errorName(status));
            }
            m_format = std::move(format);
        }
        // Whole seconds toward the past, so 09:30:00.75 is 09:30:00 (and 1969's fractions too).
        m_format->format(std::floor(ms / 1000.0) * 1000.0, text);
    }
    std::string out;
    text.toUTF8String(out);
    return out;
}

} // namespace platform
