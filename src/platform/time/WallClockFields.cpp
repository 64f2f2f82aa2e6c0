#include "platform/time/WallClockFields.h"

#include "platform/time/CivilDate.h"

#include <unicode/basictz.h>
#include <unicode/timezone.h>
#include <unicode/tztrans.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

namespace platform {

namespace {

constexpr double arithmeticFromMs = -11676096000000.0; // 1600-01-01T00:00:00Z
constexpr double arithmeticToMs = 253402214400000.0; // 9999-12-31T00:00:00Z
constexpr std::int64_t msPerDay = 86'400'000;

// The calendar fields of a count of days since 1970-01-01.
void setCivilDay(std::int64_t days, DateComponents& components)
{
    const CivilDate date = civilFromDays(days);
    components.year = static_cast<int>(date.year);
    components.month = static_cast<int>(date.month);
    components.day = static_cast<int>(date.day);
    // 1970-01-01 was a Thursday (5 when Sunday is 1).
    components.weekday = static_cast<int>(((days + 4) % 7 + 7) % 7 + 1);
}

// A zone's offset from GMT between two of its clock changes. ICU works an offset out from the zone's
// rules at every question (for recent years, a round of calendar arithmetic on the rule), while a
// list of instants (a history, newest first) mostly stays between the same two changes.
struct OffsetSpan {
    TimeZone zone; // kept alive, so that no other zone can take its ICU object's address
    double from; // the change that began the offset, included
    double to; // the next change, excluded
    std::int64_t offsetMs;
};

std::optional<std::int64_t> offsetMs(double ms, const TimeZone& zone)
{
    // Per thread, so that nothing is shared; a handful of zones at most.
    constexpr std::size_t keptSpans = 4;
    thread_local std::vector<OffsetSpan> spans;
    thread_local std::size_t oldest = 0;
    for (const OffsetSpan& span : spans) {
        if (&span.zone.icu() == &zone.icu() && span.from <= ms && ms < span.to) {
            return span.offsetMs;
        }
    }
    int32_t raw = 0;
    int32_t dst = 0;
    UErrorCode status = U_ZERO_ERROR;
    zone.icu().getOffset(ms, false, raw, dst, status);
    if (U_FAILURE(status)) {
        return std::nullopt;
    }
    const std::int64_t offset = std::int64_t(raw) + dst;
    if (const auto* rules = dynamic_cast<const icu::BasicTimeZone*>(&zone.icu())) {
        OffsetSpan span { zone, -std::numeric_limits<double>::infinity(),
            std::numeric_limits<double>::infinity(), offset };
        icu::TimeZoneTransition change;
        if (rules->getPreviousTransition(ms, true, change)) {
            span.from = change.getTime();
        }
        if (rules->getNextTransition(ms, false, change)) {
            span.to = change.getTime();
        }
        if (span.from <= ms && ms < span.to) {
            if (spans.size() < keptSpans) {
                spans.push_back(std::move(span));
            } else {
                spans[oldest] = std::move(span);
                oldest = (oldest + 1) % keptSpans;
            }
        }
    }
    return offset;
}

} // namespace

std::optional<DateComponents> wallClockFields(double ms, const TimeZone& zone)
{
    if (!(ms >= arithmeticFromMs && ms < arithmeticToMs)) {
        return std::nullopt;
    }
    const auto offset = offsetMs(ms, zone);
    if (!offset) {
        return std::nullopt;
    }
    const auto local = static_cast<std::int64_t>(std::floor(ms)) + *offset;
    const std::int64_t days = (local >= 0 ? local : local - (msPerDay - 1)) / msPerDay;
    const std::int64_t msOfDay = local - days * msPerDay;
    DateComponents components;
    setCivilDay(days, components);
    components.hour = static_cast<int>(msOfDay / 3'600'000);
    components.minute = static_cast<int>(msOfDay / 60'000 % 60);
    components.second = static_cast<int>(msOfDay / 1000 % 60);
    return components;
}

} // namespace platform
