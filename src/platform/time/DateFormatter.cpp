#include "platform/time/DateFormatter.h"

#include <unicode/datefmt.h>
#include <unicode/smpdtfmt.h>

#include <cmath>
#include <stdexcept>

namespace platform {

namespace {

icu::DateFormat::EStyle icuStyle(DateFormatter::Style style)
{
    switch (style) {
    case DateFormatter::Style::none:
        return icu::DateFormat::kNone;
    case DateFormatter::Style::shortStyle:
        return icu::DateFormat::kShort;
    case DateFormatter::Style::medium:
        return icu::DateFormat::kMedium;
    case DateFormatter::Style::longStyle:
        return icu::DateFormat::kLong;
    case DateFormatter::Style::full:
        return icu::DateFormat::kFull;
    }
    return icu::DateFormat::kShort;
}

} // namespace

DateFormatter::DateFormatter(Style dateStyle, Style timeStyle, Locale locale, TimeZone timeZone)
    : m_locale(std::move(locale))
    , m_timeZone(std::move(timeZone))
{
    if (dateStyle == Style::none && timeStyle == Style::none) {
        dateStyle = timeStyle = Style::shortStyle;
    }
    m_format.reset(
        icu::DateFormat::createDateTimeInstance(icuStyle(dateStyle), icuStyle(timeStyle), m_locale.icu()));
    if (!m_format) {
        throw std::runtime_error("Cannot create a date formatter for " + m_locale.identifier());
    }
    m_format->setTimeZone(m_timeZone.icu());
    UErrorCode status = U_ZERO_ERROR;
    m_format->setContext(UDISPCTX_CAPITALIZATION_FOR_STANDALONE, status);
}

DateFormatter::~DateFormatter() = default;

std::string DateFormatter::pattern() const
{
    std::lock_guard lock(m_mutex);
    icu::UnicodeString text;
    if (auto* simple = dynamic_cast<icu::SimpleDateFormat*>(m_format.get())) {
        simple->toPattern(text);
    }
    std::string out;
    text.toUTF8String(out);
    return out;
}

std::string DateFormatter::string(Date date) const
{
    const double ms = date.unixTime() * 1000.0;
    if (!std::isfinite(ms)) {
        return {};
    }
    icu::UnicodeString text;
    {
        std::lock_guard lock(m_mutex);
        m_format->format(std::floor(ms), text);
    }
    std::string out;
    text.toUTF8String(out);
    return out;
}

} // namespace platform
