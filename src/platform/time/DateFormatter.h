#pragma once

#include "platform/time/Locale.h"
#include "platform/time/TimeZone.h"

#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include <unicode/uversion.h>

U_NAMESPACE_BEGIN
class DateFormat;
U_NAMESPACE_END

namespace platform {

struct Date;

// The locale's own spelling of a date and/or time of day, chosen by style: in en_US a short time
// is "9:30 AM" (with a narrow no-break space before AM) and a short date "1/5/24". Thread-safe.
class DateFormatter {
public:
    enum class Style { none, shortStyle, medium, longStyle, full };

    // Both styles `none` falls back to a short date and time, as there would be nothing to show.
    DateFormatter(Style dateStyle, Style timeStyle, Locale locale, TimeZone timeZone);
    // The locale's own arrangement of the fields a template names: "EEEEMMMMd" gives
    // "Wednesday, May 15" in en_US and "onsdag 15. mai" in nb_NO.
    DateFormatter(const std::string& dateFormatTemplate, Locale locale, TimeZone timeZone);
    ~DateFormatter();
    DateFormatter(const DateFormatter&) = delete;
    DateFormatter& operator=(const DateFormatter&) = delete;

    const Locale& locale() const { return m_locale; }
    const TimeZone& timeZone() const { return m_timeZone; }
    // The ICU pattern in use ("h:mm a").
    std::string pattern() const;

    // Always a text; empty only for a date that is not a finite number.
    std::string string(Date date) const;

    // The locale's own word for the day `days` from today ("Today" for 0, "Yesterday" for -1 in
    // en_US, "I dag" and "I går" in nb_NO), capitalised to stand alone; nothing when the locale
    // has none for that day.
    static std::optional<std::string> relativeDayName(int days, const Locale& locale);

private:
    void finishSetUp();

    Locale m_locale;
    TimeZone m_timeZone;
    mutable std::mutex m_mutex;
    std::unique_ptr<icu::DateFormat> m_format;
};

} // namespace platform
