#include "kit/foundation/core/KitUtilities.h"
#include "kit/foundation/core/DeinitObserver.h"
#include "kit/foundation/core/DispatchTimeInterval.h"
#include "kit/foundation/core/MacSystemSound.h"
#include "kit/foundation/core/MediaTimingFunction.h"

#include <gtest/gtest.h>

#include <cctype>
#include <limits>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>

using zk::DispatchTimeInterval;
using zk::MacSystemSound;

TEST(KitUtilities, ExcludingKeepsOrderAndDuplicates)
{
    EXPECT_EQ(zk::excluding(std::vector<int> { 1, 2, 3, 2, 4, 1 }, std::vector<int> { 1, 4 }),
        (std::vector<int> { 2, 3, 2 }));
    EXPECT_EQ(zk::excluding(std::vector<std::string> { "a" }, std::vector<std::string> {}),
        (std::vector<std::string> { "a" }));
}

TEST(KitUtilities, PartitionedPutsFalseFirstAndPassesFailuresOn)
{
    const auto [odd, even]
        = zk::partitioned(std::vector<int> { 1, 2, 3, 4, 5 }, [](int n) { return n % 2 == 0; });
    EXPECT_EQ(odd, (std::vector<int> { 1, 3, 5 }));
    EXPECT_EQ(even, (std::vector<int> { 2, 4 }));

    int seen = 0;
    EXPECT_THROW(zk::partitioned(std::vector<int> { 1, 2, 3 },
                     [&](int n) {
                         ++seen;
                         if (n == 2) {
                             throw std::runtime_error("bad");
                         }
                         return false;
                     }),
        std::runtime_error);
    EXPECT_EQ(seen, 2); // the walk stopped at the failure
}

TEST(KitUtilities, EmailAddressMustBeTheWholeText)
{
    EXPECT_TRUE(zk::isEmailAddress("user@example.com"));
    EXPECT_TRUE(zk::isEmailAddress("first.last+tag@mail.example.co.uk"));
    EXPECT_TRUE(zk::isEmailAddress("j\xC3\xB6rg@b\xC3\xBC"
                                   "cher.de"));
    EXPECT_FALSE(zk::isEmailAddress("user@example.com and more"));
    EXPECT_FALSE(zk::isEmailAddress(" user@example.com"));
    EXPECT_FALSE(zk::isEmailAddress("mailto:user@example.com"));
    EXPECT_FALSE(zk::isEmailAddress("https://example.com"));
    EXPECT_FALSE(zk::isEmailAddress("user@localhost"));
    EXPECT_FALSE(zk::isEmailAddress("user.@example.com"));
    EXPECT_FALSE(zk::isEmailAddress(""));
}

TEST(KitUtilities, DispatchTimeIntervalOrdering)
{
    const auto never = DispatchTimeInterval::never();
    EXPECT_TRUE(never > DispatchTimeInterval::seconds(1'000'000));
    EXPECT_FALSE(never < never);
    EXPECT_TRUE(never >= never);
    EXPECT_TRUE(DispatchTimeInterval::milliseconds(1500) > DispatchTimeInterval::seconds(1));
    EXPECT_FALSE(DispatchTimeInterval::seconds(1) < DispatchTimeInterval::milliseconds(1000));
    EXPECT_FALSE(DispatchTimeInterval::seconds(1) > DispatchTimeInterval::milliseconds(1000));
    EXPECT_TRUE(DispatchTimeInterval::seconds(1) <= DispatchTimeInterval::milliseconds(1000));
    EXPECT_TRUE(DispatchTimeInterval::microseconds(1) < DispatchTimeInterval::nanoseconds(1001));

    EXPECT_EQ(DispatchTimeInterval::seconds(3).totalNanoseconds(), 3'000'000'000);
    EXPECT_EQ(DispatchTimeInterval::microseconds(-2).totalNanoseconds(), -2'000);
    EXPECT_EQ(never.totalNanoseconds(), 0);
    // Counts beyond the 64-bit range saturate instead of overflowing.
    EXPECT_EQ(DispatchTimeInterval::seconds(std::numeric_limits<std::int64_t>::max()).totalNanoseconds(),
        std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(DispatchTimeInterval::milliseconds(std::numeric_limits<std::int64_t>::min()).totalNanoseconds(),
        std::numeric_limits<std::int64_t>::min());
    EXPECT_TRUE(DispatchTimeInterval::seconds(std::numeric_limits<std::int64_t>::max()) < never);
}

TEST(KitUtilities, DeinitObserverRunsOnceWhenTheLastReferenceGoes)
{
    int runs = 0;
    auto observer = std::make_shared<zk::DeinitObserver>([&] { ++runs; });
    auto second = observer;
    observer.reset();
    EXPECT_EQ(runs, 0);
    second.reset();
    EXPECT_EQ(runs, 1);
}

TEST(MacSystemSound, RawValuesRoundTripAndMatchExactly)
{
    std::set<std::string_view> names;
    for (const MacSystemSound sound : zk::allMacSystemSounds) {
        const std::string_view name = zk::rawValue(sound);
        ASSERT_FALSE(name.empty());
        EXPECT_TRUE(std::isupper(static_cast<unsigned char>(name.front()))) << name;
        names.insert(name);
        EXPECT_EQ(zk::macSystemSoundFromRawValue(name), sound);
    }
    EXPECT_EQ(names.size(), 14u);
    EXPECT_EQ(zk::rawValue(MacSystemSound::sosumi), "Sosumi");
    EXPECT_EQ(zk::rawValue(zk::allMacSystemSounds.front()), "Basso");
    EXPECT_EQ(zk::rawValue(zk::allMacSystemSounds.back()), "Tink");
    EXPECT_FALSE(zk::macSystemSoundFromRawValue("ping"));
    EXPECT_FALSE(zk::macSystemSoundFromRawValue("PING"));
    EXPECT_FALSE(zk::macSystemSoundFromRawValue("Ping "));
    EXPECT_FALSE(zk::macSystemSoundFromRawValue(""));
}

TEST(MediaTimingFunction, CurvesRunFromStartToEndWithTheirShapes)
{
    for (const QEasingCurve* curve : { &zk::MediaTimingFunction::defaultFunction(),
             &zk::MediaTimingFunction::easeIn(), &zk::MediaTimingFunction::easeInOut() }) {
        EXPECT_NEAR(curve->valueForProgress(0), 0, 1e-6);
        EXPECT_NEAR(curve->valueForProgress(1), 1, 1e-6);
    }
    // Ease in starts slowly; the standard curve starts fast; ease in and out is symmetric.
    EXPECT_LT(zk::MediaTimingFunction::easeIn().valueForProgress(0.25), 0.25);
    EXPECT_GT(zk::MediaTimingFunction::defaultFunction().valueForProgress(0.25), 0.25);
    EXPECT_NEAR(zk::MediaTimingFunction::easeInOut().valueForProgress(0.5), 0.5, 0.01);
    EXPECT_EQ(&zk::MediaTimingFunction::easeIn(), &zk::MediaTimingFunction::easeIn());
}
