#include "platform/linux/BusLossWatch.h"
#include "platform/Logger.h"
#include "support/PrivateSessionBus.h"

#include <QDBusConnection>

#include <gtest/gtest.h>

#include <memory>

namespace {

// The bus daemon ends under a connection that stays open: the application's side learns of it
// only from libdbus, and the log must say so, once.
TEST(BusLossWatchTest, ABusThatEndsIsToldOnceInTheLog)
{
    auto bus = std::make_unique<PrivateSessionBus>();
    if (!bus->isRunning()) {
        GTEST_SKIP() << "dbus-daemon is not available";
    }
    const QString name = QStringLiteral("bus-loss-watch");
    platform::BusLossWatch watch(QDBusConnection::connectToBus(bus->address(), name));
    ASSERT_TRUE(watch.isWatching());
    int lost = 0;
    QObject::connect(&watch, &platform::BusLossWatch::lost, [&lost] { ++lost; });
    const platform::LogCapture log;

    bus.reset();
    EXPECT_TRUE(PrivateSessionBus::serveUntil([&lost] { return lost > 0; }));
    EXPECT_EQ(log.countContaining("lost its connection to the session bus"), 1);
    EXPECT_FALSE(QDBusConnection(name).isConnected());
    QDBusConnection::disconnectFromBus(name);
}

} // namespace
