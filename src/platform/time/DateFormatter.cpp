#include "platform/time/DateFormatter.h"

#include "platform/time/Date.h"

#include <unicode/calendar.h>
#include <unicode/datefmt.h>
#include <unicode/dtptngen.h>
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
    finishSetUp();
}

DateFormatter::DateFormatter(const std::string& dateFormatTemplate, Locale locale, TimeZone timeZone)
    : m_locale(std::move(locale))
    , m_timeZone(std::move(timeZone))
{
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::DateTimePatternGenerator> generator(
        icu::DateTimePatternGenerator::createInstance(m_locale.icu(), status));
    if (U_SUCCESS(status)) {
        const icu::UnicodeString pattern
            = generator->getBestPattern(icu::UnicodeString::fromUTF8(dateFormatTemplate), status);
        if (U_SUCCESS(status)) {
            m_format = std::make_unique<icu::SimpleDateFormat>(pattern, m_locale.icu(), status);
            if (U_FAILURE(status)) {
                m_format.reset();
            }
        }
    }
    finishSetUp();
}

void DateFormatter::finishSetUp()
{
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

std::optional<std::string> DateFormatter::relativeDayName(int days, const Locale& locale)
{
    // ICU names the days around its own clock's today, whatever clock the application runs on: the
    // word is read off that day, in UTC so that whole days apart are whole calendar days apart.
    const auto styles
        = static_cast<icu::DateFormat::EStyle>(icu::DateFormat::kFull | icu::DateFormat::kRelative);
    std::unique_ptr<icu::DateFormat> relative(icu::DateFormat::createDateInstance(styles, locale.icu()));
    std::unique_ptr<icu::DateFormat> plain(
        icu::DateFormat::createDateInstance(icu::DateFormat::kFull, locale.icu()));
    if (!relative || !plain) {
        return std::nullopt;
    }
    std::unique_ptr<icu::TimeZone> utc(icu::TimeZone::createTimeZone("UTC"));
    relative->setTimeZone(*utc);
    plain->setTimeZone(*utc);
    UErrorCode status = U_ZERO_ERROR;
    relative->setContext(UDISPCTX_CAPITALIZATION_FOR_STANDALONE, status);
    plain->setContext(UDISPCTX_CAPITALIZATION_FOR_STANDALONE, status);
    const UDate day = icu::Calendar::getNow() + days * 86400000.0;
    icu::UnicodeString word;
    icu::UnicodeString date;
    relative->format(day, word);
    plain->format(day, date);
    if (word == date) {
        return std::nullopt;
    }
    // Some locales write the word in lower case even to stand alone ("heute").
    word.toTitle(nullptr, locale.icu(), U_TITLECASE_SENTENCES | U_TITLECASE_NO_LOWERCASE);
    std::string out;
    word.toUTF8String(out);
    return out;
}

} // namespace platform
