#include "platform/time/DurationFormatter.h"

#include <gtest/gtest.h>

#include <string>

using platform::DurationFormatter;
using platform::Locale;

// A formatter keeps the texts it has written; what it answers from them must be what it would
// write afresh, whatever was asked before.
TEST(DurationFormatter, TextsAskedAgainAreTheSameAsTheFirstTime)
{
    const DurationFormatter full(Locale("en_US"), DurationFormatter::UnitsStyle::full);
    const DurationFormatter narrow(Locale("en_US"), DurationFormatter::UnitsStyle::abbreviated);
    struct Case {
        double seconds;
        const char* full;
    };
    // Neighbours that share a text and neighbours that must not: the sign, the last second of a
    // minute, the last minute of an hour.
    const Case cases[] = {
        { 300, "5 minutes" },
        { -300, "-5 minutes" },
        { 359.9, "5 minutes" },
        { 3599, "59 minutes" },
        { 3600, "1 hour" },
        { -3600, "-1 hour" },
        { 3900, "1 hour, 5 minutes" },
        { 90'000, "25 hours" },
        { 0.5, "0 minutes" },
    };
    for (int round = 0; round < 2; ++round) {
        for (const Case& c : cases) {
            EXPECT_EQ(full.string(c.seconds), std::string(c.full)) << c.seconds << " round " << round;
        }
        EXPECT_EQ(narrow.string(3900), std::string("1h 5m")) << "round " << round;
        // More spans than are kept: the first ones are written again, the same.
        for (int minutes = 0; minutes < 5000; ++minutes) {
            ASSERT_TRUE(full.string(minutes * 60.0 + 7));
        }
    }
    EXPECT_EQ(full.string(4999 * 60.0), std::string("83 hours, 19 minutes"));
}
