#include "platform/time/DurationFormatter.h"

#include <unicode/measfmt.h>
#include <unicode/measunit.h>
#include <unicode/measure.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

namespace platform {

DurationFormatter::DurationFormatter(Locale locale, UnitsStyle style, Units units, int maximumUnitCount)
    : m_locale(std::move(locale))
    , m_units(units)
    , m_maximumUnitCount(std::max(1, maximumUnitCount))
{
    UErrorCode status = U_ZERO_ERROR;
    m_format = std::make_unique<icu::MeasureFormat>(
        m_locale.icu(), style == UnitsStyle::full ? UMEASFMT_WIDTH_WIDE : UMEASFMT_WIDTH_NARROW, status);
    if (U_FAILURE(status)) {
        m_format.reset();
    }
}

DurationFormatter::~DurationFormatter() = default;

std::optional<std::string> DurationFormatter::string(double seconds) const
{
    // Far beyond any span a person is active, and well inside what a 64-bit count of minutes holds.
    constexpr double limit = 1e15;
    if (!m_format || !std::isfinite(seconds) || std::fabs(seconds) >= limit) {
        return std::nullopt;
    }
    const bool negative = seconds < 0;
    const auto totalMinutes = static_cast<std::int64_t>(std::trunc(std::fabs(seconds) / 60.0));
    enum Unit { day, hour, minute };
    const bool withDays = m_units == Units::daysHoursMinutes;
    const std::array<std::int64_t, 3> amounts { withDays ? totalMinutes / (24 * 60) : 0,
        withDays ? (totalMinutes / 60) % 24 : totalMinutes / 60, totalMinutes % 60 };

    // The largest unit that is not zero; minutes when all are.
    int first = minute;
    for (int unit = day; unit <= minute; ++unit) {
        if (amounts[unit] != 0) {
            first = unit;
            break;
        }
    }
    const int last = std::min<int>(first + m_maximumUnitCount - 1, minute);

    UErrorCode status = U_ZERO_ERROR;
    std::vector<icu::Measure> measures;
    for (int unit = first; unit <= last; ++unit) {
        if (amounts[unit] == 0 && unit != first) {
            continue;
        }
        icu::MeasureUnit* measureUnit = unit == day ? icu::MeasureUnit::createDay(status)
            : unit == hour                          ? icu::MeasureUnit::createHour(status)
                                                    : icu::MeasureUnit::createMinute(status);
        const std::int64_t amount = negative && measures.empty() ? -amounts[unit] : amounts[unit];
        measures.emplace_back(icu::Formattable(static_cast<int64_t>(amount)), measureUnit, status);
    }
    if (U_FAILURE(status)) {
        return std::nullopt;
    }

    icu::UnicodeString text;
    icu::FieldPosition position;
    {
        std::lock_guard lock(m_mutex);
        m_format->formatMeasures(
            measures.data(), static_cast<int32_t>(measures.size()), text, position, status);
    }
    if (U_FAILURE(status) || text.isEmpty()) {
        return std::nullopt;
    }
    std::string out;
    text.toUTF8String(out);
    return out;
}

} // namespace platform
