#include "platform/DurationFormatter.h"

#include <unicode/measfmt.h>
#include <unicode/measunit.h>
#include <unicode/measure.h>

#include <cmath>
#include <vector>

namespace platform {

DurationFormatter::DurationFormatter(Locale locale, UnitsStyle style)
    : m_locale(std::move(locale))
{
    UErrorCode status = U_ZERO_ERROR;
    m_format = std::make_unique<icu::MeasureFormat>(
        m_locale.icu(), style == UnitsStyle::full ? UMEASFMT_WIDTH_WIDE : UMEASFMT_WIDTH_SHORT, status);
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
    const std::int64_t hours = totalMinutes / 60;
    const std::int64_t minutes = totalMinutes % 60;

    UErrorCode status = U_ZERO_ERROR;
    std::vector<icu::Measure> measures;
    auto add = [&](std::int64_t amount, icu::MeasureUnit* unit) {
        const std::int64_t signedAmount = negative && measures.empty() ? -amount : amount;
        measures.emplace_back(icu::Formattable(static_cast<int64_t>(signedAmount)), unit, status);
    };
    if (hours > 0) {
        add(hours, icu::MeasureUnit::createHour(status));
    }
    if (minutes > 0 || hours == 0) {
        add(minutes, icu::MeasureUnit::createMinute(status));
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
