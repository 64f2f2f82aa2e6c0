#include "platform/time/DateIntervalFormatter.h"

#include "platform/time/Date.h"

#include <gtest/gtest.h>

#include <unicode/dtitvfmt.h>
#include <unicode/dtptngen.h>

#include <cmath>
#include <memory>
#include <random>
#include <string>
#include <vector>

using platform::Date;
using platform::DateFormatter;
using platform::DateIntervalFormatter;
using platform::Locale;
using platform::TimeZone;

// A formatter writes the spans of a long list from the texts ICU wrote for earlier spans; every
// text must be the one ICU itself writes for that span.
namespace {

// ICU's own interval format for the fields the styles show, the reference every text is held to.
class IcuIntervals {
public:
    IcuIntervals(DateFormatter::Style dateStyle, DateFormatter::Style timeStyle, const Locale& locale,
        const TimeZone& zone)
    {
        const DateFormatter single(dateStyle, timeStyle, locale, zone);
        UErrorCode status = U_ZERO_ERROR;
        const auto skeleton = icu::DateTimePatternGenerator::staticGetSkeleton(
            icu::UnicodeString::fromUTF8(single.pattern()), status);
        m_format.reset(icu::DateIntervalFormat::createInstance(skeleton, locale.icu(), status));
        EXPECT_TRUE(U_SUCCESS(status) && m_format);
        m_format->setTimeZone(zone.icu());
    }

    std::string text(double fromSeconds, double toSeconds)
    {
        const icu::DateInterval interval(std::floor(fromSeconds * 1000), std::floor(toSeconds * 1000));
        icu::UnicodeString text;
        icu::FieldPosition position;
        UErrorCode status = U_ZERO_ERROR;
        m_format->format(&interval, text, position, status);
        std::string out;
        text.toUTF8String(out);
        return out;
    }

private:
    std::unique_ptr<icu::DateIntervalFormat> m_format;
};

struct Span {
    double from;
    double to;
};

// Spans as a history holds them, and the ones whose texts differ in shape: within an hour, across
// noon and midnight, over days, months and years, none at all, under a second and reversed.
std::vector<Span> spans()
{
    std::vector<Span> all;
    std::mt19937_64 random(7);
    std::uniform_real_distribution<double> start(1'700'000'000.0, 1'740'000'000.0); // 2023 to 2025
    std::uniform_real_distribution<double> minutes(0, 600);
    for (int i = 0; i < 1500; ++i) {
        const double from = start(random);
        all.push_back({ from, from + minutes(random) * 60 });
    }
    for (const double length :
        { 0.0, 0.0004, 0.6, 59.0, 3600.0, 86'400.0, 40 * 86'400.0, 400 * 86'400.0, -300.0 }) {
        for (const double from : { 1'735'689'300.0, 1'711'846'800.5, 1'729'989'000.0, 1'715'601'600.0 }) {
            all.push_back({ from, from + length });
        }
    }
    return all;
}

} // namespace

TEST(DateIntervalFormatter, WritesWhatIcuWritesInEveryLocaleZoneAndForm)
{
    using Style = DateFormatter::Style;
    const std::vector<Span> list = spans();
    for (const char* localeName :
        { "en_US", "en_GB", "de_DE", "nb_NO", "fi_FI", "ja_JP", "ko_KR", "ar_EG", "he_IL" }) {
        for (const char* zoneName :
            { "Europe/Oslo", "America/New_York", "Australia/Lord_Howe", "Asia/Kathmandu" }) {
            for (const Style dateStyle : { Style::shortStyle, Style::none, Style::medium }) {
                const Locale locale(localeName);
                const auto zone = *TimeZone::withIdentifier(zoneName);
                const DateIntervalFormatter formatter(dateStyle, Style::shortStyle, locale, zone);
                IcuIntervals icu(dateStyle, Style::shortStyle, locale, zone);
                int wrong = 0;
                for (const Span& span : list) {
                    const std::string expected = icu.text(span.from, span.to);
                    const std::string written
                        = formatter.string(Date::fromUnixTime(span.from), Date::fromUnixTime(span.to));
                    if (written != expected && ++wrong <= 3) {
                        ADD_FAILURE() << localeName << " " << zoneName << " date style "
                                      << static_cast<int>(dateStyle) << " from " << span.from << " to "
                                      << span.to << ": \"" << written << "\", ICU \"" << expected << "\"";
                    }
                }
            }
        }
    }
}

TEST(DateIntervalFormatter, TheSameSpanAskedAgainReadsTheSame)
{
    const DateIntervalFormatter formatter(DateFormatter::Style::none, DateFormatter::Style::shortStyle,
        Locale("en_US"), *TimeZone::withIdentifier("UTC"));
    const Date nine = Date::fromUnixTime(1'715'590'800); // 2024-05-13 09:00 UTC
    for (int round = 0; round < 3; ++round) {
        EXPECT_EQ(formatter.string(nine, nine.addingTimeInterval(1800)), "9:00\u2009–\u20099:30\u202fAM");
        EXPECT_EQ(formatter.string(nine, nine.addingTimeInterval(4 * 3600)),
            "9:00\u202fAM\u2009–\u20091:00\u202fPM");
        EXPECT_EQ(
            formatter.string(nine.addingTimeInterval(2 * 3600), nine.addingTimeInterval(2 * 3600 + 1800)),
            "11:00\u2009–\u200911:30\u202fAM");
        EXPECT_EQ(formatter.string(nine, nine), "9:00\u202fAM");
    }
}
