#include "kit/foundation/core/TimeOperations.h"

#include "platform/fake/FakeClock.h"

#include <QCoroTask>
#include <QElapsedTimer>
#include <QTimer>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using platform::Date;
using platform::DateRange;

namespace {

constexpr double infinity = std::numeric_limits<double>::infinity();
constexpr double notANumber = std::numeric_limits<double>::quiet_NaN();

DateRange tenToHalfPast()
{
    return DateRange { Date(36000.0), Date(37800.0) };
}

} // namespace

TEST(TimeOperations, RangeByAddingNeverEndsBeforeItStarts)
{
    EXPECT_EQ(zk::rangeByAdding(tenToHalfPast(), -600), (DateRange { Date(36000.0), Date(37200.0) }));
    EXPECT_EQ(zk::rangeByAdding(tenToHalfPast(), -3600), (DateRange { Date(36000.0), Date(36000.0) }));
    EXPECT_EQ(zk::rangeByAdding(tenToHalfPast(), 60), (DateRange { Date(36000.0), Date(37860.0) }));
    EXPECT_EQ(zk::rangeByAdding(tenToHalfPast(), notANumber), tenToHalfPast());
    EXPECT_EQ(zk::rangeByAdding(tenToHalfPast(), -infinity), tenToHalfPast());
}

TEST(TimeOperations, SleepNanosecondsClampsBadCounts)
{
    EXPECT_EQ(zk::sleepNanoseconds(0.25), 250'000'000u);
    EXPECT_EQ(zk::sleepNanoseconds(1.9999999999), 1'999'999'999u); // the fraction is dropped
    EXPECT_EQ(zk::sleepNanoseconds(0), 0u);
    EXPECT_EQ(zk::sleepNanoseconds(-3), 0u);
    EXPECT_EQ(zk::sleepNanoseconds(notANumber), 0u);
    EXPECT_EQ(zk::sleepNanoseconds(-infinity), 0u);
    EXPECT_EQ(zk::sleepNanoseconds(infinity), std::numeric_limits<std::uint64_t>::max());
    EXPECT_EQ(zk::sleepNanoseconds(1e11), std::numeric_limits<std::uint64_t>::max()); // beyond 2^64 ns
    EXPECT_EQ(zk::sleepNanoseconds(1.8e10), 18'000'000'000'000'000'000u);
}

TEST(TimeOperations, SleepReturnsAfterItsTime)
{
    QElapsedTimer elapsed;
    elapsed.start();
    EXPECT_TRUE(QCoro::waitFor(zk::sleep(0.005)));
    EXPECT_GE(elapsed.elapsed(), 5);
    EXPECT_TRUE(QCoro::waitFor(zk::sleep(notANumber)));
    EXPECT_TRUE(QCoro::waitFor(zk::sleep(-1)));
}

TEST(TimeOperations, CancelledSleepEndsEarlyWithoutError)
{
    std::stop_source source;
    QTimer::singleShot(0, [&] { source.request_stop(); });
    EXPECT_FALSE(QCoro::waitFor(zk::sleep(infinity, source.get_token()))); // far longer than one timer step

    std::stop_source already;
    already.request_stop();
    EXPECT_FALSE(QCoro::waitFor(zk::sleep(3600, already.get_token())));
}

TEST(TimeOperations, FormatTimerDuration)
{
    EXPECT_EQ(zk::formatTimerDuration(3725, false, true, true), "01:02:05");
    EXPECT_EQ(zk::formatTimerDuration(59.9, false, false, false), "00");
    EXPECT_EQ(zk::formatTimerDuration(3700, false, true, false), "01:40"); // minutes within the hour
    EXPECT_EQ(zk::formatTimerDuration(3599, true, true, true), "59:59"); // hours only when needed
    EXPECT_EQ(zk::formatTimerDuration(61, true, false, false), "00:01");
    EXPECT_EQ(zk::formatTimerDuration(360000, true, true, false), "100:00:00"); // hours not capped
}

TEST(TimeOperations, FormatTimerDurationClampsBadCounts)
{
    EXPECT_EQ(zk::formatTimerDuration(notANumber, true, true, false), "00:00:00");
    EXPECT_EQ(zk::formatTimerDuration(-125, true, true, false), "00:00:00");
    EXPECT_EQ(zk::formatTimerDuration(-infinity, false, true, false), "00:00");
    EXPECT_EQ(zk::formatTimerDuration(infinity, true, true, false), "2562047788015215:30:07");
    EXPECT_EQ(zk::formatTimerDuration(1e300, true, true, false), "2562047788015215:30:07");
}

TEST(TimeOperations, FutureAndPastFollowTheSharedClock)
{
    platform::fake::ScopedFakeClock fake(Date(5000.0));
    EXPECT_FALSE(zk::isInFuture(Date(5000.0)));
    EXPECT_FALSE(zk::isInPast(Date(5000.0)));
    EXPECT_TRUE(zk::isInFuture(Date(5000.5)));
    EXPECT_TRUE(zk::isInPast(Date(4999.5)));
    fake.clock.advance(1);
    EXPECT_TRUE(zk::isInPast(Date(5000.5)));
}

TEST(TimeOperations, SortedByKey)
{
    struct Item {
        int size;
        char name;
    };
    const std::vector<Item> items { { 2, 'b' }, { 3, 'c' }, { 1, 'a' }, { 2, 'B' } };
    const auto descending = zk::sortedBy(items, &Item::size, true);
    ASSERT_EQ(descending.size(), 4u);
    EXPECT_EQ(descending[0].name, 'c');
    EXPECT_EQ(descending[3].name, 'a');
    const auto ascending = zk::sortedBy(
        items, [](const Item& item) { return item.name; }, false);
    EXPECT_EQ(ascending[0].name, 'B');
    EXPECT_EQ(ascending[3].name, 'c');
    // Booleans: false before true ascending, true first descending.
    struct Flagged {
        bool flag;
        int id;
    };
    const std::vector<Flagged> flagged { { true, 1 }, { false, 2 }, { true, 3 } };
    EXPECT_EQ(zk::sortedBy(flagged, &Flagged::flag, false).front().id, 2);
    EXPECT_EQ(zk::sortedBy(flagged, &Flagged::flag, true).back().id, 2);
}

TEST(RangeByAddingTest, TheRangeAndTheKitShortenAlikeAndNeverBeforeTheStart)
{
    const platform::Date ten = platform::Date::fromUnixTime(36000);
    const platform::DateRange half { ten, ten.addingTimeInterval(1800) };
    for (const auto& shortened : { half.rangeByAdding(-3600), zk::rangeByAdding(half, -3600) }) {
        EXPECT_EQ(shortened.lowerBound, ten);
        EXPECT_EQ(shortened.upperBound, ten);
    }
    EXPECT_EQ(half.rangeByAdding(-600).upperBound, ten.addingTimeInterval(1200));
    EXPECT_EQ(half.rangeByAdding(60).upperBound, ten.addingTimeInterval(1860));
    EXPECT_EQ(half.rangeByAdding(std::numeric_limits<double>::quiet_NaN()), half);
}
