#include "platform/linux/XInput2GlobalInputSource.h"
#include "support/PrivateXServer.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

using Type = platform::GlobalInputEvent::Type;

TEST(XInput2GlobalInputSourceTest, RawKeysAnywhereOnTheDisplayWhileWatched)
{
    PrivateXServer server;
    ASSERT_TRUE(server.isRunning());
    platform::XInput2GlobalInputSource source(server.display());
    ASSERT_TRUE(source.isAvailable()) << source.unavailableReason().toStdString();
    std::vector<platform::GlobalInputEvent> seen;
    QObject::connect(&source, &platform::GlobalInputSource::inputEvent,
        [&](const platform::GlobalInputEvent& event) { seen.push_back(event); });

    // Not watched: nothing.
    server.tap(38);
    QSignalSpy spy(&source, &platform::GlobalInputSource::inputEvent);
    spy.wait(100);
    EXPECT_TRUE(seen.empty());

    source.start();
    server.tap(38);
    for (int i = 0; i < 100 && seen.size() < 2; ++i) {
        spy.wait(10);
    }
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].type, Type::keyDown);
    EXPECT_EQ(seen[0].detail, 38);
    EXPECT_EQ(seen[1].type, Type::keyUp);

    source.stop();
    source.stop();
    server.tap(38);
    spy.wait(100);
    EXPECT_EQ(seen.size(), 2u);
}

TEST(XInput2GlobalInputSourceTest, NoDisplayIsUnavailableWithAReason)
{
    platform::XInput2GlobalInputSource source(":9999");
    EXPECT_FALSE(source.isAvailable());
    EXPECT_FALSE(source.unavailableReason().isEmpty());
    source.start();
    source.stop();
}
