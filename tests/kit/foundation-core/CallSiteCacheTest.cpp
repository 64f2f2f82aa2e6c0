#include "kit/foundation/core/CallSiteCache.h"

#include "platform/Logger.h"
#include "platform/fake/FakeClock.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include <atomic>
#include <string>
#include <thread>

using platform::Date;
using platform::fake::ScopedFakeClock;
using zk::AggregateHashable;
using zk::AnyHashable;
using zk::CallSiteCache;

namespace {

// A key whose hash is the same for every value, to force collisions.
struct CollidingKey {
    int value;
    bool operator==(const CollidingKey&) const = default;
};

} // namespace

template <> struct std::hash<CollidingKey> {
    std::size_t operator()(const CollidingKey&) const { return 7; }
};

namespace {

// Delayed sweeps that run only when the test fires them.
struct ManualStarter {
    struct Pending {
        double delay = 0;
        std::function<void()> work;
        bool cancelled = false;
    };
    std::vector<std::shared_ptr<Pending>> started;

    CallSiteCache::DelayedStarter starter()
    {
        return [this](double delay, std::function<void()> work) {
            auto pending = std::make_shared<Pending>(Pending { delay, std::move(work), false });
            started.push_back(pending);
            return [pending] { pending->cancelled = true; };
        };
    }
    void fire(std::size_t index)
    {
        if (!started.at(index)->cancelled) {
            started.at(index)->work();
        }
    }
};

class CallSiteCacheTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        CallSiteCache::setDelayedStarterForTesting(manual.starter());
        CallSiteCache::resetForTesting();
    }
    void TearDown() override
    {
        CallSiteCache::resetForTesting();
        CallSiteCache::setDelayedStarterForTesting(nullptr);
    }

    // One call site for every lookup made through it.
    int lookup(std::vector<AnyHashable> keys, double duration)
    {
        const int result = zk::memoize(std::move(keys), duration, [this] { return ++calls; });
        CallSiteCache::timedCache().waitForPendingWrites();
        return result;
    }

    static void storeAt(ScopedFakeClock& fake, Date date, const std::string& name)
    {
        fake.clock.setNow(date);
        CallSiteCache::store(AggregateHashable({ name }), std::any(0));
        CallSiteCache::timedCache().waitForPendingWrites();
    }
    static bool has(const std::string& name)
    {
        CallSiteCache::timedCache().waitForPendingWrites();
        return CallSiteCache::timedCache().get(AggregateHashable({ name })).has_value();
    }

    ScopedFakeClock fake { Date(1000.0) };
    ManualStarter manual;
    int calls = 0;
};

TEST_F(CallSiteCacheTest, ReusesResultWithinItsLifetime)
{
    EXPECT_EQ(lookup({}, 0.5), 1);
    fake.clock.advance(0.2);
    EXPECT_EQ(lookup({}, 0.5), 1);
    fake.clock.advance(0.29);
    EXPECT_EQ(lookup({}, 0.5), 1);
    fake.clock.advance(0.01); // exactly 0.5 s after the store
    EXPECT_EQ(lookup({}, 0.5), 2);
    EXPECT_EQ(lookup({}, 0.5), 2);
}

TEST_F(CallSiteCacheTest, LifetimeStartsWhenTheResultIsStored)
{
    const auto slow = [&] {
        fake.clock.advance(3); // the computation itself takes 3 s
        return ++calls;
    };
    const auto lookupSlow = [&] {
        const int result = zk::memoize({}, 1.0, slow);
        CallSiteCache::timedCache().waitForPendingWrites();
        return result;
    };
    EXPECT_EQ(lookupSlow(), 1);
    fake.clock.advance(0.9);
    EXPECT_EQ(lookupSlow(), 1);
}

TEST_F(CallSiteCacheTest, ChangedExtraKeyRecomputesAtOnce)
{
    EXPECT_EQ(lookup({ std::string("history-1") }, 60), 1);
    EXPECT_EQ(lookup({ std::string("history-1") }, 60), 1);
    EXPECT_EQ(lookup({ std::string("history-2") }, 60), 2);
    EXPECT_EQ(lookup({ "history-1" }, 60), 1); // a literal is the same text as a std::string
    EXPECT_EQ(lookup({ std::string("history-1"), 5 }, 60), 3); // a longer list is another key
}

TEST_F(CallSiteCacheTest, DurationZeroOrLessNeverReuses)
{
    EXPECT_EQ(lookup({}, 0), 1);
    EXPECT_EQ(lookup({}, 0), 2);
    EXPECT_EQ(lookup({}, -5), 3);
}

TEST_F(CallSiteCacheTest, DifferentLinesKeepSeparateEntries)
{
    int counter = 0;
    const auto compute = [&] { return ++counter; };
    const int first = zk::memoize({}, 60, compute);
    const int second = zk::memoize({}, 60, compute);
    CallSiteCache::timedCache().waitForPendingWrites();
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 2);
    EXPECT_EQ(CallSiteCache::timedCache().size(), 2u);
}

TEST_F(CallSiteCacheTest, KeysWhoseHashesCollideStayDistinct)
{
    const AggregateHashable a({ CollidingKey { 1 } });
    const AggregateHashable b({ CollidingKey { 2 } });
    ASSERT_EQ(a.cachedHashValue(), b.cachedHashValue());
    EXPECT_NE(a, b);
    EXPECT_EQ(a, AggregateHashable({ CollidingKey { 1 } }));

    EXPECT_EQ(lookup({ CollidingKey { 1 } }, 60), 1);
    EXPECT_EQ(lookup({ CollidingKey { 2 } }, 60), 2);
    EXPECT_EQ(lookup({ CollidingKey { 1 } }, 60), 1);
    EXPECT_EQ(lookup({ CollidingKey { 2 } }, 60), 2);
}

TEST_F(CallSiteCacheTest, ElementsCompareByTypeAndValue)
{
    EXPECT_EQ(
        AggregateHashable({ 1, "a" }), AggregateHashable({ std::int64_t { 1 }, std::string_view("a") }));
    EXPECT_NE(AggregateHashable({ 1 }), AggregateHashable({ 1.0 }));
    EXPECT_NE(AggregateHashable({ 1 }), AggregateHashable({ true }));
    EXPECT_NE(AggregateHashable({ 1, 2 }), AggregateHashable({ 2, 1 }));
    EXPECT_NE(AggregateHashable({}), AggregateHashable({ 0 }));
}

TEST_F(CallSiteCacheTest, FirstSweepCallDoesNothingAndTheSecondSweepsAtOnce)
{
    storeAt(fake, Date(1000.0), "old");
    storeAt(fake, Date(1009.0), "young");
    fake.clock.setNow(Date(1010.0));

    zk::scheduleTimedCacheCleanup(5);
    EXPECT_TRUE(has("old"));
    zk::scheduleTimedCacheCleanup(5);
    EXPECT_FALSE(has("old"));
    EXPECT_TRUE(has("young"));
    EXPECT_TRUE(manual.started.empty());
}

TEST_F(CallSiteCacheTest, EntryExactlyAsOldAsTheIntervalStays)
{
    storeAt(fake, Date(1000.0), "edge");
    fake.clock.setNow(Date(1005.0));
    zk::cleanUpTimedCache(5);
    EXPECT_TRUE(has("edge"));
    fake.clock.setNow(Date(1005.001));
    zk::cleanUpTimedCache(5);
    EXPECT_FALSE(has("edge"));
}

TEST_F(CallSiteCacheTest, SweepUsesTheTriggeringIntervalForEveryEntry)
{
    storeAt(fake, Date(1000.0), "long-lived");
    fake.clock.setNow(Date(1001.0));
    zk::cleanUpTimedCache(0.5);
    EXPECT_FALSE(has("long-lived"));
}

TEST_F(CallSiteCacheTest, SweepsSoonAfterTheLastOneAreDelayedAndReplaced)
{
    zk::scheduleTimedCacheCleanup(1);
    zk::scheduleTimedCacheCleanup(1); // sweeps at once: there was none before

    fake.clock.advance(10);
    zk::scheduleTimedCacheCleanup(1);
    zk::scheduleTimedCacheCleanup(1); // within 60 s of the sweep: delayed
    ASSERT_EQ(manual.started.size(), 1u);
    EXPECT_DOUBLE_EQ(manual.started[0]->delay, 10);

    fake.clock.advance(1);
    zk::scheduleTimedCacheCleanup(1);
    zk::scheduleTimedCacheCleanup(1); // within 2 s of the last schedule: nothing
    EXPECT_EQ(manual.started.size(), 1u);

    fake.clock.advance(2);
    zk::scheduleTimedCacheCleanup(1);
    zk::scheduleTimedCacheCleanup(1); // more than 2 s later: replaces the pending sweep
    ASSERT_EQ(manual.started.size(), 2u);
    EXPECT_TRUE(manual.started[0]->cancelled);
    EXPECT_FALSE(manual.started[1]->cancelled);

    storeAt(fake, Date(1013.0), "stale");
    fake.clock.setNow(Date(1023.0));
    std::optional<platform::LogCapture> log(std::in_place);
    testing::internal::CaptureStdout();
    manual.fire(0); // the replaced sweep neither sweeps nor notes anything
    EXPECT_TRUE(has("stale"));
    EXPECT_TRUE(log->messages().empty());

    manual.fire(1);
    EXPECT_FALSE(has("stale"));
    // The sweep is noted in the log only: standard output belongs to the user.
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(log->messages(), std::vector<std::string> { "CLEANUP" });
    log.reset();

    // The delayed sweep counts as the last one: another call within 60 s of it is delayed again.
    fake.clock.advance(30);
    zk::scheduleTimedCacheCleanup(1);
    zk::scheduleTimedCacheCleanup(1);
    EXPECT_EQ(manual.started.size(), 3u);
}

TEST_F(CallSiteCacheTest, ClockSetBackSweepsAtOnce)
{
    zk::scheduleTimedCacheCleanup(1);
    zk::scheduleTimedCacheCleanup(1); // sweep at 1000
    storeAt(fake, Date(900.0), "before");
    fake.clock.setNow(Date(950.0)); // the last sweep now lies in the future
    zk::scheduleTimedCacheCleanup(1);
    zk::scheduleTimedCacheCleanup(1);
    EXPECT_TRUE(manual.started.empty());
    EXPECT_FALSE(has("before"));
}

TEST_F(CallSiteCacheTest, MemoizedAccessesDriveTheSweep)
{
    storeAt(fake, Date(990.0), "stale");
    fake.clock.setNow(Date(1000.0));
    lookup({}, 0.5);
    EXPECT_TRUE(has("stale"));
    lookup({}, 0.5); // a hit, and the second access: sweeps
    EXPECT_FALSE(has("stale"));
    EXPECT_EQ(calls, 1);
}

TEST_F(CallSiteCacheTest, ConcurrentCallersEachGetAResult)
{
    CallSiteCache::setDelayedStarterForTesting(nullptr);
    std::atomic<int> computations { 0 };
    std::vector<std::thread> threads;
    std::atomic<bool> allCorrect { true };
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 200; ++i) {
                const int key = (i + t) % 4;
                const std::string value = zk::memoize({ key }, 60, [&] {
                    ++computations;
                    return std::to_string(key);
                });
                if (value != std::to_string(key)) {
                    allCorrect = false;
                }
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_TRUE(allCorrect);
    EXPECT_GE(computations.load(), 4);
    CallSiteCache::setDelayedStarterForTesting(manual.starter());
}

} // namespace
