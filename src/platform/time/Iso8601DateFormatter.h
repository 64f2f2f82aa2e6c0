#pragma once

#include "platform/time/TimeZone.h"

#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include <unicode/uversion.h>

U_NAMESPACE_BEGIN
class SimpleDateFormat;
U_NAMESPACE_END

namespace platform {

struct Date;

// ISO 8601 text of an instant in a zone, independent of the user's locale: the internet
// date-time form "2024-01-05T09:30:00+01:00" ("Z" for a zero offset), or the full-date form
// "2024-01-05". Fractions of a second are dropped. Thread-safe.
class Iso8601DateFormatter {
public:
    enum class Form { internetDateTime, fullDate };

    explicit Iso8601DateFormatter(Form form, TimeZone timeZone = TimeZone::utc());
    ~Iso8601DateFormatter();
    Iso8601DateFormatter(const Iso8601DateFormatter&) = delete;
    Iso8601DateFormatter& operator=(const Iso8601DateFormatter&) = delete;

    // Nothing for a date that is not a finite number.
    std::optional<std::string> string(Date date) const;

private:
    // The text for the dates that need no calendar beyond the Gregorian one: years 1600 to 9999
    // in a zone whose offset is a whole number of minutes. Nothing for every other date.
    std::optional<std::string> directString(double unixSeconds) const;

    Form m_form;
    TimeZone m_timeZone;
    mutable std::mutex m_mutex;
    // Made on first need: most dates are written without it, and making one is costly.
    mutable std::unique_ptr<icu::SimpleDateFormat> m_format;
};

} // namespace platform
