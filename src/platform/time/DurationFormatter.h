#pragma once

#include "platform/time/Locale.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include <unicode/uversion.h>

namespace platform {

// Writes a span of time with the locale's unit names: "1 hour, 5 minutes" (full) or "1h 5m"
// (abbreviated: the locale's narrow units, short enough for a panel). The units are hours and
// minutes (90,000 s is "25 hours") or days, hours and minutes ("1 day, 1 hour"); at most `maximumUnitCount`
// of them are written, starting from the largest that is not zero, and a zero unit after it is left out ("1
// day" for a day and five minutes). Seconds are dropped rather than rounded, and a span under a minute reads
// "0 minutes". Thread-safe.
//
// The number formatter of each unit and the list formatter that joins them are built once, with
// the formatter: a history of thousands of sessions is written with the same few objects.
class DurationFormatter {
public:
    enum class UnitsStyle { abbreviated, full };
    enum class Units { hoursMinutes, daysHoursMinutes };

    DurationFormatter(
        Locale locale, UnitsStyle style, Units units = Units::hoursMinutes, int maximumUnitCount = 2);
    ~DurationFormatter();
    DurationFormatter(const DurationFormatter&) = delete;
    DurationFormatter& operator=(const DurationFormatter&) = delete;

    const Locale& locale() const { return m_locale; }

    // Nothing for a span that is not a finite number or too long to count in minutes. A negative
    // span carries its sign on the first unit ("-1 hour, 5 minutes").
    std::optional<std::string> string(double seconds) const;

private:
    std::optional<std::string> string(bool negative, std::int64_t totalMinutes) const;

    Locale m_locale;
    Units m_units;
    int m_maximumUnitCount;
    struct Formatters;
    std::unique_ptr<const Formatters> m_formatters;
    // ICU promises concurrent use of its number formatters, not of its list formatter.
    mutable std::mutex m_listMutex;
};

} // namespace platform
