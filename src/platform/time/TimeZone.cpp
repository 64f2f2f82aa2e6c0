#include "platform/time/TimeZone.h"

#include "platform/time/Date.h"

#include <fmt/format.h>

#include <unicode/timezone.h>
#include <unicode/unistr.h>

#include <atomic>
#include <cmath>
#include <ctime>
#include <memory>
#include <mutex>
#include <unordered_map>

namespace platform {

namespace {

std::mutex currentMutex;
std::optional<TimeZone> testingZone;
// ICU settles the machine's zone at its first use and keeps it: a zone pinned for testing and a
// change of the machine's zone that the Linux layer saw change what current() answers.
std::atomic<std::uint64_t> currentChanges { 0 };

bool isUnknown(const icu::TimeZone& zone)
{
    icu::UnicodeString id;
    zone.getID(id);
    return id == icu::UnicodeString(UCAL_UNKNOWN_ZONE_ID, -1, US_INV);
}

std::string toUtf8(const icu::UnicodeString& text)
{
    std::string out;
    text.toUTF8String(out);
    return out;
}

// ICU computes offsets in milliseconds from 1970 and rejects values it cannot represent.
std::optional<UDate> icuDate(Date date)
{
    const double ms = date.unixTime() * 1000.0;
    if (!std::isfinite(ms)) {
        return std::nullopt;
    }
    return ms;
}

} // namespace

TimeZone::TimeZone(std::shared_ptr<const icu::TimeZone> zone)
    : m_zone(std::move(zone))
{
}

TimeZone TimeZone::current()
{
    {
        std::lock_guard lock(currentMutex);
        if (testingZone) {
            return *testingZone;
        }
    }
    std::shared_ptr<const icu::TimeZone> zone(icu::TimeZone::createDefault());
    if (!zone || isUnknown(*zone)) {
        return utc();
    }
    return TimeZone(std::move(zone));
}

void TimeZone::setCurrentForTesting(std::optional<TimeZone> zone)
{
    std::lock_guard lock(currentMutex);
    testingZone = std::move(zone);
    currentChanges.fetch_add(1, std::memory_order_relaxed);
}

bool TimeZone::adoptMachineZone(const TimeZone& zone)
{
    {
        std::lock_guard lock(currentMutex);
        const std::unique_ptr<icu::TimeZone> machine(icu::TimeZone::createDefault());
        if (machine && *machine == zone.icu()) {
            return false;
        }
        icu::TimeZone::adoptDefault(zone.icu().clone());
    }
    // glibc reads TZ and /etc/localtime again only when asked to.
    ::tzset();
    currentChanges.fetch_add(1, std::memory_order_relaxed);
    return true;
}

std::uint64_t TimeZone::currentChangeCount()
{
    return currentChanges.load(std::memory_order_relaxed);
}

std::optional<TimeZone> TimeZone::withIdentifier(const std::string& identifier)
{
    if (identifier.empty()) {
        return std::nullopt;
    }
    // A stored history names the same few zones thousands of times; a zone never changes, so one
    // ICU object serves every copy of a name instead of one being built (and kept) per session.
    static std::mutex knownMutex;
    static std::unordered_map<std::string, std::shared_ptr<const icu::TimeZone>> known;
    constexpr std::size_t knownLimit = 256;
    {
        std::lock_guard lock(knownMutex);
        if (auto found = known.find(identifier); found != known.end()) {
            return TimeZone(found->second);
        }
    }
    std::shared_ptr<const icu::TimeZone> zone(
        icu::TimeZone::createTimeZone(icu::UnicodeString::fromUTF8(identifier)));
    if (!zone || isUnknown(*zone)) {
        return std::nullopt;
    }
    std::lock_guard lock(knownMutex);
    if (known.size() >= knownLimit) {
        known.clear();
    }
    known.emplace(identifier, zone);
    return TimeZone(std::move(zone));
}

TimeZone TimeZone::utc()
{
    static const TimeZone zone(std::shared_ptr<const icu::TimeZone>(icu::TimeZone::getGMT()->clone()));
    return zone;
}

std::optional<TimeZone> TimeZone::withSecondsFromGMT(int seconds)
{
    constexpr int limit = 18 * 3600;
    if (seconds < -limit || seconds > limit) {
        return std::nullopt;
    }
    if (seconds == 0) {
        return utc();
    }
    const int magnitude = seconds < 0 ? -seconds : seconds;
    const int hours = magnitude / 3600;
    const int minutes = magnitude % 3600 / 60;
    const int secs = magnitude % 60;
    const std::string id = secs != 0
        ? fmt::format("GMT{}{:02}:{:02}:{:02}", seconds < 0 ? '-' : '+', hours, minutes, secs)
        : fmt::format("GMT{}{:02}:{:02}", seconds < 0 ? '-' : '+', hours, minutes);
    return withIdentifier(id);
}

std::string TimeZone::identifier() const
{
    icu::UnicodeString id;
    m_zone->getID(id);
    return toUtf8(id);
}

double TimeZone::secondsFromGMT(Date date) const
{
    const auto when = icuDate(date);
    if (!when) {
        return 0;
    }
    int32_t raw = 0;
    int32_t dst = 0;
    UErrorCode status = U_ZERO_ERROR;
    m_zone->getOffset(*when, false, raw, dst, status);
    if (U_FAILURE(status)) {
        return 0;
    }
    return (raw + dst) / 1000.0;
}

bool TimeZone::isDaylightSavingTime(Date date) const
{
    const auto when = icuDate(date);
    if (!when) {
        return false;
    }
    int32_t raw = 0;
    int32_t dst = 0;
    UErrorCode status = U_ZERO_ERROR;
    m_zone->getOffset(*when, false, raw, dst, status);
    return U_SUCCESS(status) && dst != 0;
}

bool TimeZone::operator==(const TimeZone& other) const
{
    return m_zone == other.m_zone || *m_zone == *other.m_zone;
}

} // namespace platform
