#include "platform/time/Calendar.h"

#include <gtest/gtest.h>

#include <unicode/basictz.h>
#include <unicode/gregocal.h>
#include <unicode/tztrans.h>

#include <cmath>
#include <memory>
#include <random>
#include <string>
#include <vector>

using platform::Calendar;
using platform::Date;
using platform::DateComponents;
using platform::Locale;
using platform::TimeZone;

// The calendar fields of an instant must be exactly those of ICU's Gregorian calendar, the one
// that formats and parses dates elsewhere: every date a script receives is compared with them.
namespace {

constexpr double msPerDay = 86'400'000;

// ICU's own answer, the reference every figure is held to.
class IcuFields {
public:
    explicit IcuFields(const TimeZone& zone)
    {
        UErrorCode status = U_ZERO_ERROR;
        m_calendar = std::make_unique<icu::GregorianCalendar>(zone.icu(), icu::Locale("en_US"), status);
        EXPECT_TRUE(U_SUCCESS(status));
    }

    DateComponents at(double ms)
    {
        UErrorCode status = U_ZERO_ERROR;
        m_calendar->setTime(ms, status);
        DateComponents fields;
        fields.year = m_calendar->get(UCAL_EXTENDED_YEAR, status);
        fields.month = m_calendar->get(UCAL_MONTH, status) + 1;
        fields.day = m_calendar->get(UCAL_DATE, status);
        fields.hour = m_calendar->get(UCAL_HOUR_OF_DAY, status);
        fields.minute = m_calendar->get(UCAL_MINUTE, status);
        fields.second = m_calendar->get(UCAL_SECOND, status);
        fields.weekday = m_calendar->get(UCAL_DAY_OF_WEEK, status);
        EXPECT_TRUE(U_SUCCESS(status));
        return fields;
    }

private:
    std::unique_ptr<icu::Calendar> m_calendar;
};

std::string describe(const DateComponents& fields)
{
    const auto field = [](const std::optional<int>& value) { return value ? std::to_string(*value) : "-"; };
    return field(fields.year) + "-" + field(fields.month) + "-" + field(fields.day) + " " + field(fields.hour)
        + ":" + field(fields.minute) + ":" + field(fields.second) + " weekday " + field(fields.weekday);
}

// Compares every field but the zone and the nanosecond, which ICU does not work out.
void expectSameFields(const Calendar& calendar, const TimeZone& zone, IcuFields& icu, double ms)
{
    const auto fields = calendar.dateComponents(Date::fromUnixTime(ms / 1000), zone);
    ASSERT_TRUE(fields) << zone.identifier() << " at " << ms;
    const DateComponents expected = icu.at(ms);
    EXPECT_EQ(describe(*fields), describe(expected)) << zone.identifier() << " at " << ms << " ms";
}

// Instants around each of the zone's clock changes in [from, to): the last millisecond before, the
// first after, and a fraction of a millisecond on either side.
std::vector<double> aroundTransitions(const TimeZone& zone, double from, double to)
{
    std::vector<double> instants;
    const auto* basic = dynamic_cast<const icu::BasicTimeZone*>(&zone.icu());
    if (!basic) {
        return instants;
    }
    icu::TimeZoneTransition transition;
    double at = from;
    while (at < to && basic->getNextTransition(at, false, transition)) {
        at = transition.getTime();
        for (const double offset : { -1.0, -0.25, 0.0, 0.5, 1.0, 3'600'000.0 }) {
            instants.push_back(at + offset);
        }
    }
    return instants;
}

const char* const zones[] = {
    "Europe/Oslo",
    "America/New_York",
    "America/St_Johns", // whole and half-hour offsets with DST
    "Australia/Lord_Howe", // a half-hour change of the clocks
    "Asia/Kathmandu", // +05:45
    "Pacific/Apia", // skipped 2011-12-30 entirely
    "Pacific/Kiritimati", // +14:00
    "Pacific/Pago_Pago", // -11:00
    "UTC",
    "GMT+01:30",
};

} // namespace

TEST(CalendarFields, AgreeWithIcuAcrossClockChangesMidnightsAndYearEnds)
{
    const Calendar calendar(TimeZone::utc(), Locale("en_US"));
    for (const char* name : zones) {
        const auto zone = TimeZone::withIdentifier(name);
        ASSERT_TRUE(zone) << name;
        IcuFields icu(*zone);
        // From 1900 to 2040: every transition of the tz database in that span.
        for (const double ms : aroundTransitions(*zone, -2'208'988'800'000.0, 2'208'988'800'000.0)) {
            expectSameFields(calendar, *zone, icu, ms);
        }
        // The last and first milliseconds of every local day for four years around 2000 and the
        // leap day of 2024, with the day boundary taken from the zone's own offset.
        for (double day = 10'500; day < 12'000; ++day) {
            const double midnightUtc = day * msPerDay;
            const double offset = zone->secondsFromGMT(Date::fromUnixTime(midnightUtc / 1000)) * 1000;
            for (const double delta : { -1.0, -0.001, 0.0, 0.999, 1000.0 }) {
                expectSameFields(calendar, *zone, icu, midnightUtc - offset + delta);
            }
        }
        for (const double ms : { 1'709'164'800'000.0, 1'709'251'199'999.0, 1'735'689'599'999.0 }) {
            expectSameFields(calendar, *zone, icu, ms);
        }
    }
}

TEST(CalendarFields, AgreeWithIcuAtRandomInstantsFromTheYear1000To12000)
{
    // Before 1582 ICU counts in the Julian calendar, and far ahead milliseconds lose precision:
    // both lie beyond what is worked out without ICU, and must still answer ICU's fields.
    const Calendar calendar(*TimeZone::withIdentifier("Europe/Oslo"), Locale("en_US"));
    std::mt19937_64 random(20261207);
    std::uniform_real_distribution<double> instant(-30'610'224'000'000.0, 316'530'000'000'000.0);
    for (const char* name : zones) {
        const auto zone = *TimeZone::withIdentifier(name);
        IcuFields icu(zone);
        for (int i = 0; i < 4000; ++i) {
            const double ms = instant(random);
            expectSameFields(calendar, zone, icu, ms);
            expectSameFields(calendar, zone, icu, std::floor(ms));
        }
    }
}

TEST(CalendarFields, TheDayBeginsAtTheSameInstantAsInIcu)
{
    // The day's fields decide whether two instants share a day; around the Oslo change of
    // 2024-10-27 the repeated hour stays on the same day and 23:59:59.999 is not the next.
    const auto oslo = *TimeZone::withIdentifier("Europe/Oslo");
    const Calendar calendar(oslo, Locale("en_US"));
    const Date lastBeforeMidnight = Date::fromUnixTime(1'729'979'999.999); // 2024-10-26 23:59:59.999 +02
    const Date midnight = Date::fromUnixTime(1'729'980'000); // 2024-10-27 00:00 +02
    const Date firstRepeatedTwo = Date::fromUnixTime(1'729'987'200); // 02:00 +02
    const Date secondRepeatedTwo = Date::fromUnixTime(1'729'990'800); // 02:00 +01
    EXPECT_FALSE(calendar.isDateInSameDay(lastBeforeMidnight, midnight));
    EXPECT_TRUE(calendar.isDateInSameDay(firstRepeatedTwo, secondRepeatedTwo));
    EXPECT_EQ(calendar.dateComponents(firstRepeatedTwo)->hour, 2);
    EXPECT_EQ(calendar.dateComponents(secondRepeatedTwo)->hour, 2);
    EXPECT_EQ(calendar.dateComponents(lastBeforeMidnight)->second, 59);
}
