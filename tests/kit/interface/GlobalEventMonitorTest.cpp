#include "kit/interface/GlobalEventMonitor.h"
#include "platform/fake/FakeGlobalInputSource.h"

#include <gtest/gtest.h>

using Type = platform::GlobalInputEvent::Type;

TEST(GlobalEventMonitorTest, SeesOnlyItsTypesWhileStarted)
{
    platform::FakeGlobalInputSource source;
    std::vector<platform::GlobalInputEvent> seen;
    {
        zk::GlobalEventMonitor monitor(
            { Type::keyDown, Type::buttonDown },
            [&](const platform::GlobalInputEvent& event) { seen.push_back(event); }, source);
        source.send({ Type::keyDown, 38 });
        EXPECT_TRUE(seen.empty());
        monitor.start();
        monitor.start();
        EXPECT_EQ(source.watchers, 1);
        source.send({ Type::keyDown, 38 });
        source.send({ Type::pointerMoved, 0 });
        source.send({ Type::buttonDown, 1 });
        ASSERT_EQ(seen.size(), 2u);
        EXPECT_EQ(seen[0].detail, 38);
        EXPECT_EQ(seen[1].type, Type::buttonDown);
    }
    // Destroyed: stopped.
    EXPECT_EQ(source.watchers, 0);
}

TEST(GlobalEventMonitorTest, UnavailableSourceSaysWhyAndNeverStarts)
{
    platform::FakeGlobalInputSource source;
    source.available = false;
    int calls = 0;
    zk::GlobalEventMonitor monitor(
        { Type::keyDown }, [&](const auto&) { ++calls; }, source);
    EXPECT_FALSE(monitor.isAvailable());
    EXPECT_TRUE(monitor.unavailableReason().contains("Wayland"));
    monitor.start();
    EXPECT_FALSE(monitor.isStarted());
    EXPECT_EQ(source.watchers, 0);
}
