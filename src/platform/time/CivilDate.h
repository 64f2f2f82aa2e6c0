#pragma once

namespace platform {

// A date of the proleptic Gregorian calendar.
struct CivilDate {
    long long year;
    unsigned month; // 1-12
    unsigned day; // 1-31
};

// The date of a day counted from 1970-01-01, counting in eras of 400 years that begin on the 1st
// of March (so the leap day ends a year).
constexpr CivilDate civilFromDays(long long days)
{
    days += 719468; // from 0000-03-01
    const long long era = (days >= 0 ? days : days - 146096) / 146097;
    const auto dayOfEra = static_cast<unsigned>(days - era * 146097);
    const unsigned yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const unsigned shiftedMonth = (5 * dayOfYear + 2) / 153;
    const unsigned day = dayOfYear - (153 * shiftedMonth + 2) / 5 + 1;
    const unsigned month = shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9;
    return { static_cast<long long>(yearOfEra) + era * 400 + (month <= 2 ? 1 : 0), month, day };
}

} // namespace platform
