#include "kit/foundation/Timer.h"
#include "platform/combine/ManualScheduler.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using platform::combine::ManualScheduler;

class TimerTest : public ::testing::Test {
protected:
    zk::TimerSource source()
    {
        return zk::TimerSource { &scheduler, [this] { return scheduler.now() + lateness; } };
    }

    ManualScheduler scheduler;
    // How late the clock reads against the scheduler's firings, as a busy thread makes them.
    double lateness = 0;
};

// A coroutine that records when the awaited timer returned.
QCoro::Task<void> awaitRepeating(double interval, double total, std::vector<double>* repeats,
    std::shared_ptr<zk::Timer>* slot, ManualScheduler* scheduler, std::optional<double>* returnedAt)
{
    const zk::TimerSource source { scheduler, [scheduler] { return scheduler->now(); } };
    co_await zk::Timer::scheduledRepeatingTimer(
        interval, total, [repeats, scheduler](zk::Timer&) { repeats->push_back(scheduler->now()); }, slot,
        source);
    *returnedAt = scheduler->now();
}

} // namespace

TEST_F(TimerTest, OneShotFiresOnceAfterItsIntervalAndEndsInvalid)
{
    std::vector<double> firings;
    auto timer = zk::Timer::scheduledInCommonModes(
        1.5, false,
        [&](zk::Timer& t) {
            firings.push_back(scheduler.now());
            EXPECT_TRUE(t.isValid());
        },
        source());
    scheduler.advance(1.4);
    EXPECT_TRUE(firings.empty());
    scheduler.advance(10);
    EXPECT_EQ(firings, (std::vector<double> { 1.5 }));
    EXPECT_FALSE(timer->isValid());
    EXPECT_EQ(scheduler.pendingCount(), 0U);
}

TEST_F(TimerTest, ARepeatingTimerKeepsItselfAliveUntilInvalidatedFromItsBlock)
{
    std::vector<double> firings;
    std::weak_ptr<zk::Timer> weak = zk::Timer::scheduledInCommonModes(
        1, true,
        [&](zk::Timer& timer) {
            firings.push_back(scheduler.now());
            if (firings.size() == 3) {
                timer.invalidate();
            }
        },
        source());
    // The handle was dropped at once; the scheduled firing holds the timer.
    EXPECT_FALSE(weak.expired());
    scheduler.advance(10);
    EXPECT_EQ(firings, (std::vector<double> { 1, 2, 3 }));
    EXPECT_TRUE(weak.expired());
}

TEST_F(TimerTest, FiringsStayOnTheirGridAndMissedOnesAreSkipped)
{
    std::vector<double> firings;
    auto timer = zk::Timer::scheduledInCommonModes(
        1, true,
        [&](zk::Timer&) {
            firings.push_back(scheduler.now());
            if (firings.size() == 2) {
                lateness = 2.5; // the thread was busy for a while
            }
        },
        source());
    scheduler.advance(6);
    // After the stall at 2 (read as 4.5), the next firing is the next point on the grid, 5.
    ASSERT_GE(firings.size(), 3U);
    EXPECT_EQ(firings[0], 1);
    EXPECT_EQ(firings[1], 2);
    EXPECT_DOUBLE_EQ(firings[2], 2.5);
    timer->invalidate();
}

TEST_F(TimerTest, RepeatingWithATotalDurationRepeatsUntilTheEndAndFinishesOnTheNextFiring)
{
    std::vector<double> repeats;
    std::vector<double> finishes;
    auto timer = zk::Timer::scheduledRepeating(
        0.5, 2, [&](zk::Timer&) { repeats.push_back(scheduler.now()); },
        [&] { finishes.push_back(scheduler.now()); }, source());
    scheduler.advance(10);
    // A firing exactly at the end still repeats.
    EXPECT_EQ(repeats, (std::vector<double> { 0.5, 1.0, 1.5, 2.0 }));
    EXPECT_EQ(finishes, (std::vector<double> { 2.5 }));
    EXPECT_FALSE(timer->isValid());
    EXPECT_EQ(scheduler.pendingCount(), 0U);
}

TEST_F(TimerTest, AFiringThatComesLateAtTheEndFinishes)
{
    std::vector<double> repeats;
    int finishes = 0;
    auto timer = zk::Timer::scheduledRepeating(
        0.5, 2, [&](zk::Timer&) { repeats.push_back(scheduler.now()); }, [&] { ++finishes; }, source());
    scheduler.advance(1.9);
    lateness = 0.001; // the firing due at 2 runs a moment after it
    scheduler.advance(10);
    EXPECT_EQ(repeats, (std::vector<double> { 0.5, 1.0, 1.5 }));
    EXPECT_EQ(finishes, 1);
}

TEST_F(TimerTest, ATotalShorterThanTheIntervalNeverRepeats)
{
    int repeats = 0;
    std::vector<double> finishes;
    auto timer = zk::Timer::scheduledRepeating(
        1, 0.3, [&](zk::Timer&) { ++repeats; }, [&] { finishes.push_back(scheduler.now()); }, source());
    scheduler.advance(5);
    EXPECT_EQ(repeats, 0);
    EXPECT_EQ(finishes, (std::vector<double> { 1 }));
}

TEST_F(TimerTest, AnUnusableIntervalDoesNotSpinForever)
{
    int firings = 0;
    auto timer = zk::Timer::scheduledInCommonModes(
        std::numeric_limits<double>::quiet_NaN(), true, [&](zk::Timer&) { ++firings; }, source());
    scheduler.advance(0.001);
    EXPECT_EQ(firings, 10);
    timer->invalidate();
    EXPECT_EQ(scheduler.pendingCount(), 0U);
}

TEST_F(TimerTest, TheAwaitedTimerReturnsAfterItFinishes)
{
    std::vector<double> repeats;
    std::shared_ptr<zk::Timer> slot;
    std::optional<double> returnedAt;
    auto task = awaitRepeating(0.5, 2, &repeats, &slot, &scheduler, &returnedAt);
    ASSERT_TRUE(slot);
    EXPECT_TRUE(slot->isValid());
    scheduler.advance(2.4);
    EXPECT_FALSE(returnedAt);
    scheduler.advance(1);
    EXPECT_EQ(repeats.size(), 4U);
    ASSERT_TRUE(returnedAt);
    EXPECT_EQ(*returnedAt, 2.5);
    EXPECT_FALSE(slot->isValid());
}

TEST_F(TimerTest, InvalidatingTheAwaitedTimerEarlyReleasesTheWaiterWithoutMoreRepeats)
{
    std::vector<double> repeats;
    std::shared_ptr<zk::Timer> slot;
    std::optional<double> returnedAt;
    auto task = awaitRepeating(0.5, 10, &repeats, &slot, &scheduler, &returnedAt);
    scheduler.advance(1.2);
    ASSERT_EQ(repeats.size(), 2U);
    zk::Timer::invalidate(slot);
    // Not inside invalidate(): on the scheduler's next turn.
    EXPECT_FALSE(returnedAt);
    scheduler.runPending();
    ASSERT_TRUE(returnedAt);
    EXPECT_EQ(*returnedAt, 1.2);
    scheduler.advance(20);
    EXPECT_EQ(repeats.size(), 2U);
}

TEST_F(TimerTest, ANewAwaitedTimerReplacesTheOneInTheSlotWhichRunsToItsOwnEnd)
{
    std::vector<double> firstRepeats;
    std::vector<double> secondRepeats;
    std::shared_ptr<zk::Timer> slot;
    std::optional<double> firstReturned;
    std::optional<double> secondReturned;
    auto first = awaitRepeating(1, 2, &firstRepeats, &slot, &scheduler, &firstReturned);
    const std::weak_ptr<zk::Timer> firstTimer = slot;
    auto second = awaitRepeating(1, 5, &secondRepeats, &slot, &scheduler, &secondReturned);
    EXPECT_NE(slot, firstTimer.lock());
    scheduler.advance(10);
    EXPECT_EQ(firstReturned, 3.0);
    EXPECT_EQ(secondReturned, 6.0);
    EXPECT_TRUE(firstTimer.expired());
}
