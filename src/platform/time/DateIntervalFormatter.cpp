#include "platform/time/DateIntervalFormatter.h"

#include <unicode/dtitvfmt.h>
#include <unicode/dtptngen.h>

#include <cmath>
#include <stdexcept>

namespace platform {

DateIntervalFormatter::DateIntervalFormatter(
    DateFormatter::Style dateStyle, DateFormatter::Style timeStyle, Locale locale, TimeZone timeZone)
{
    // The styles give the locale's pattern for one date; its skeleton (the fields it shows) is
    // what the interval format needs to pick the locale's interval patterns.
    const DateFormatter single(dateStyle, timeStyle, locale, timeZone);
    UErrorCode status = U_ZERO_ERROR;
    const icu::UnicodeString skeleton = icu::DateTimePatternGenerator::staticGetSkeleton(
        icu::UnicodeString::fromUTF8(single.pattern()), status);
    if (U_SUCCESS(status)) {
        m_format.reset(icu::DateIntervalFormat::createInstance(skeleton, locale.icu(), status));
    }
    if (U_FAILURE(status) || !m_format) {
        throw std::runtime_error(
            std::string("Cannot create a date interval formatter: ") + u_errorName(status));
    }
    m_format->setTimeZone(timeZone.icu());
}

DateIntervalFormatter::~DateIntervalFormatter() = default;

std::string DateIntervalFormatter::string(Date start, Date end) const
{
    const double from = start.unixTime() * 1000.0;
    const double to = end.unixTime() * 1000.0;
    if (!std::isfinite(from) || !std::isfinite(to)) {
        return {};
    }
    const icu::DateInterval interval(std::floor(from), std::floor(to));
    icu::UnicodeString text;
    icu::FieldPosition position;
    UErrorCode status = U_ZERO_ERROR;
    {
        std::lock_guard lock(m_mutex);
        m_format->format(&interval, text, position, status);
    }
    std::string out;
    if (U_SUCCESS(status)) {
        text.toUTF8String(out);
    }
    return out;
}

} // namespace platform
