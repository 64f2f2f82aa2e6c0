#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include <unicode/uversion.h>

U_NAMESPACE_BEGIN
class TimeZone;
U_NAMESPACE_END

namespace platform {

struct Date;

// A time zone of the tz database (or a fixed offset from GMT), as an immutable value over ICU's
// zone. Copies share the same ICU object. Thread-safe.
class TimeZone {
public:
    // The zone of the machine: ICU's default, which follows TZ and /etc/localtime; UTC when the
    // machine's zone cannot be told. Tests pin it with setCurrentForTesting().
    static TimeZone current();
    // Nothing restores the machine's zone.
    static void setCurrentForTesting(std::optional<TimeZone> zone);
    // The machine's zone changed to `zone` (the Linux layer watches it): current() answers it from
    // now on, and libc's local time follows. Whether it is another zone than before.
    static bool adoptMachineZone(const TimeZone& zone);
    // Changes whenever current() may answer another zone than before, so that what was worked out
    // in the current zone can be kept until then without asking for the zone again.
    static std::uint64_t currentChangeCount();

    // A region name of the tz database ("Europe/Oslo"), "UTC"/"GMT", or a custom offset such as
    // "GMT+01:00". Unknown names give nothing.
    static std::optional<TimeZone> withIdentifier(const std::string& identifier);
    static TimeZone utc();
    // A zone with a fixed offset and no daylight saving time; nothing beyond ±18 hours.
    static std::optional<TimeZone> withSecondsFromGMT(int seconds);

    std::string identifier() const;
    // The offset from GMT at the given instant, daylight saving time included; 0 for a date that
    // is not a finite number.
    double secondsFromGMT(Date date) const;
    bool isDaylightSavingTime(Date date) const;

    const icu::TimeZone& icu() const { return *m_zone; }

    // Equal when the identifiers and the rules are equal.
    bool operator==(const TimeZone& other) const;

private:
    explicit TimeZone(std::shared_ptr<const icu::TimeZone> zone);
    std::shared_ptr<const icu::TimeZone> m_zone;
};

} // namespace platform

template <> struct std::hash<platform::TimeZone> {
    std::size_t operator()(const platform::TimeZone& zone) const noexcept
    {
        return std::hash<std::string>()(zone.identifier());
    }
};
