#include "platform/time/DurationFormatter.h"

#include <unicode/listformatter.h>
#include <unicode/measunit.h>
#include <unicode/numberformatter.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <mutex>
#include <unordered_map>
#include <vector>

namespace platform {

// One amount of each unit with its name ("5 minutes", "5 min"), and the locale's way of joining
// amounts of units ("1 hour, 5 minutes"). Formatting with them changes nothing in them, so one set
// serves every thread at once.
//
// A text depends only on the sign and the whole minutes, and a history of thousands of sessions
// holds a few hundred distinct lengths: the texts already written are kept, keyed by signed
// minutes (-1 for "-0 minutes"), up to a bound past which they are forgotten all at once.
struct DurationFormatter::Formatters {
    std::array<icu::number::LocalizedNumberFormatter, 3> units; // days, hours, minutes
    std::unique_ptr<const icu::ListFormatter> list;

    static constexpr std::size_t maximumKeptTexts = 4096;
    mutable std::mutex textsMutex;
    mutable std::unordered_map<std::int64_t, std::string> texts;
};

DurationFormatter::DurationFormatter(Locale locale, UnitsStyle style, Units units, int maximumUnitCount)
    : m_locale(std::move(locale))
    , m_units(units)
    , m_maximumUnitCount(std::max(1, maximumUnitCount))
{
    const bool full = style == UnitsStyle::full;
    const auto base = icu::number::NumberFormatter::withLocale(m_locale.icu())
                          .unitWidth(full ? UNUM_UNIT_WIDTH_FULL_NAME : UNUM_UNIT_WIDTH_NARROW);
    auto formatters = std::make_unique<Formatters>();
    formatters->units = { base.unit(icu::MeasureUnit::getDay()), base.unit(icu::MeasureUnit::getHour()),
        base.unit(icu::MeasureUnit::getMinute()) };
    UErrorCode status = U_ZERO_ERROR;
    formatters->list.reset(icu::ListFormatter::createInstance(
        m_locale.icu(), ULISTFMT_TYPE_UNITS, full ? ULISTFMT_WIDTH_WIDE : ULISTFMT_WIDTH_NARROW, status));
    if (U_SUCCESS(status) && formatters->list) {
        m_formatters = std::move(formatters);
    }
}

DurationFormatter::~DurationFormatter() = default;

std::optional<std::string> DurationFormatter::string(double seconds) const
{
    // Far beyond any span a person is active, and well inside what a 64-bit count of minutes holds.
    constexpr double limit = 1e15;
    if (!m_formatters || !std::isfinite(seconds) || std::fabs(seconds) >= limit) {
        return std::nullopt;
    }
    const bool negative = seconds < 0;
    const auto totalMinutes = static_cast<std::int64_t>(std::trunc(std::fabs(seconds) / 60.0));
    const std::int64_t key = negative ? -totalMinutes - 1 : totalMinutes;
    {
        std::lock_guard lock(m_formatters->textsMutex);
        if (const auto kept = m_formatters->texts.find(key); kept != m_formatters->texts.end()) {
            return kept->second;
        }
    }
    auto text = string(negative, totalMinutes);
    if (text) {
        std::lock_guard lock(m_formatters->textsMutex);
        if (m_formatters->texts.size() >= Formatters::maximumKeptTexts) {
            m_formatters->texts.clear();
        }
        m_formatters->texts.emplace(key, *text);
    }
    return text;
}

std::optional<std::string> DurationFormatter::string(bool negative, std::int64_t totalMinutes) const
{
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
    std::vector<icu::UnicodeString> parts;
    for (int unit = first; unit <= last; ++unit) {
        if (amounts[unit] == 0 && unit != first) {
            continue;
        }
        const std::int64_t amount = negative && parts.empty() ? -amounts[unit] : amounts[unit];
        parts.push_back(
            m_formatters->units[static_cast<std::size_t>(unit)].formatInt(amount, status).toString(status));
    }
    icu::UnicodeString text;
    if (U_SUCCESS(status)) {
        std::lock_guard lock(m_listMutex);
        m_formatters->list->format(parts.data(), static_cast<int32_t>(parts.size()), text, status);
    }
    if (U_FAILURE(status) || text.isEmpty()) {
        return std::nullopt;
    }
    std::string out;
    text.toUTF8String(out);
    return out;
}

} // namespace platform
