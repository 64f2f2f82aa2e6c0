#pragma once

#include "platform/time/DateFormatter.h"
#include "platform/time/DateRange.h"

#include <memory>
#include <mutex>
#include <string>

#include <unicode/uversion.h>

U_NAMESPACE_BEGIN
class DateIntervalFormat;
U_NAMESPACE_END

namespace platform {

// The locale's spelling of a span between two instants, sharing what the two ends have in common:
// "9:30 – 11:00 AM", "1/5/24, 9:30 AM – 1/6/24, 9:30 AM" in en_US (thin spaces around the dash).
// The styles mean what they mean for DateFormatter. Thread-safe.
//
// A long list of spans (a history of thousands of sessions) shares a few arrangements of the
// fields and few distinct field texts: the formatter keeps both as ICU wrote them and writes a
// span from them, asking ICU only for what it has not seen.
class DateIntervalFormatter {
public:
    DateIntervalFormatter(
        DateFormatter::Style dateStyle, DateFormatter::Style timeStyle, Locale locale, TimeZone timeZone);
    ~DateIntervalFormatter();
    DateIntervalFormatter(const DateIntervalFormatter&) = delete;
    DateIntervalFormatter& operator=(const DateIntervalFormatter&) = delete;

    // Empty only for bounds that are not finite numbers.
    std::string string(Date start, Date end) const;
    std::string string(const DateRange& range) const { return string(range.lowerBound, range.upperBound); }

private:
    struct KeptTexts;

    std::string string(double fromMs, double toMs) const;

    mutable std::mutex m_mutex;
    std::unique_ptr<icu::DateIntervalFormat> m_format;
    TimeZone m_timeZone;
    std::unique_ptr<KeptTexts> m_kept;
};

} // namespace platform
