#include "platform/time/Iso8601DateFormatter.h"

#include <unicode/gregocal.h>
#include <unicode/smpdtfmt.h>

#include <cmath>
#include <stdexcept>

namespace platform {

Iso8601DateFormatter::Iso8601DateFormatter(Form form, TimeZone timeZone)
{
    // "u" is the proleptic year (no era), XXX the offset as ±hh:mm or Z. en_US_POSIX keeps the
    // digits ASCII whatever the user's locale.
    const char* pattern = form == Form::fullDate ? "uuuu-MM-dd" : "uuuu-MM-dd'T'HH:mm:ssXXX";
    const icu::Locale posix("en_US_POSIX");
    UErrorCode status = U_ZERO_ERROR;
    m_format
        = std::make_unique<icu::SimpleDateFormat>(icu::UnicodeString(pattern, -1, US_INV), posix, status);
    if (U_SUCCESS(status)) {
        m_format->adoptCalendar(new icu::GregorianCalendar(timeZone.icu(), posix, status));
    }
    if (U_FAILURE(status)) {
        throw std::runtime_error(std::string("Cannot create an ISO 8601 formatter: ") + u_errorName(status));
    }
}

Iso8601DateFormatter::~Iso8601DateFormatter() = default;

std::optional<std::string> Iso8601DateFormatter::string(Date date) const
{
    const double ms = date.unixTime() * 1000.0;
    if (!std::isfinite(ms)) {
        return std::nullopt;
    }
    icu::UnicodeString text;
    {
        std::lock_guard lock(m_mutex);
        // Whole seconds toward the past, so 09:30:00.75 is 09:30:00 (and 1969's fractions too).
        m_format->format(std::floor(ms / 1000.0) * 1000.0, text);
    }
    std::string out;
    text.toUTF8String(out);
    return out;
}

} // namespace platform
