#include "kit/foundation/SystemEventPublishers.h"
#include "platform/fake/FakeSystemEvents.h"
#include "platform/store/DefaultsDatabase.h"
#include "platform/store/UserDefaults.h"

#include <gtest/gtest.h>

using platform::combine::AnyCancellable;
using platform::combine::Void;
using zk::SystemEvents;

TEST(SystemEventPublishers, SameSharedPublisherOnEveryAccess)
{
    EXPECT_EQ(&SystemEvents::willTerminate(), &SystemEvents::willTerminate());
    EXPECT_EQ(&SystemEvents::didWake(), &SystemEvents::didWake());
    EXPECT_EQ(&SystemEvents::willSleep(), &SystemEvents::willSleep());
    EXPECT_EQ(&SystemEvents::isAwake(), &SystemEvents::isAwake());
}

TEST(SystemEventPublishers, IsAwakeFollowsSleepAndWakeWithoutAnInitialValue)
{
    platform::fake::FakeSystemEvents events;
    std::vector<bool> received;
    AnyCancellable subscription
        = SystemEvents::isAwake().sink([&](bool awake) { received.push_back(awake); });
    EXPECT_TRUE(received.empty());
    events.sleep();
    events.wake();
    events.wake();
    events.sleep();
    EXPECT_EQ(received, (std::vector<bool> { false, true, true, false }));
}

TEST(SystemEventPublishers, EachSubscriptionObservesOnItsOwnUntilCancelled)
{
    platform::fake::FakeSystemEvents events;
    int first = 0;
    int second = 0;
    AnyCancellable a = SystemEvents::didWake().sink([&](const Void&) { ++first; });
    AnyCancellable b = SystemEvents::didWake().sink([&](const Void&) { ++second; });
    events.wake();
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 1);
    a.cancel();
    events.wake();
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 2);
    {
        AnyCancellable c = SystemEvents::willSleep().sink([&](const Void&) { ++first; });
    }
    events.sleep();
    EXPECT_EQ(first, 1); // destroyed before the event
}

TEST(SystemEventPublishers, SubscriptionFollowsTheEventsInstalledWhenItIsMade)
{
    auto older = std::make_unique<platform::fake::FakeSystemEvents>();
    int count = 0;
    AnyCancellable onOlder = SystemEvents::willTerminate().sink([&](const Void&) { ++count; });
    platform::fake::FakeSystemEvents newer;
    AnyCancellable onNewer = SystemEvents::willTerminate().sink([&](const Void&) { count += 10; });
    newer.terminate();
    EXPECT_EQ(count, 10);
    older->terminate();
    EXPECT_EQ(count, 11);
    older.reset(); // the subscription outlives its events without harm
    onOlder.cancel();
}

TEST(SystemEventPublishers, WillTerminateArrivesOnce)
{
    platform::fake::FakeSystemEvents events;
    int count = 0;
    AnyCancellable subscription = SystemEvents::willTerminate().sink([&](const Void&) { ++count; });
    events.terminate();
    events.terminate();
    EXPECT_EQ(count, 1);
}

TEST(SystemEventPublishers, UserDefaultsDidChangeFollowsWritesOfAnySuiteUntilCancelled)
{
    EXPECT_EQ(&SystemEvents::userDefaultsDidChange(), &SystemEvents::userDefaultsDidChange());
    auto database = platform::DefaultsDatabase::open(":memory:");
    platform::UserDefaults standard(database, "standard");
    platform::UserDefaults other(database, "other");
    int first = 0;
    int second = 0;
    AnyCancellable a = SystemEvents::userDefaultsDidChange().sink([&](const Void&) { ++first; });
    AnyCancellable b = SystemEvents::userDefaultsDidChange().sink([&](const Void&) { ++second; });
    standard.setObject(platform::PropertyList(true), "a");
    other.removeObject("b");
    a.cancel();
    standard.setObject(platform::PropertyList(false), "a");
    EXPECT_EQ(first, 2);
    EXPECT_EQ(second, 3);
}
