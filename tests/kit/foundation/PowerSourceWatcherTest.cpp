#include "kit/foundation/PowerSourceWatcher.h"
#include "support/TryWithTimeout.h"

#include "support/HeldRepliesService.h"
#include "support/PrivateSessionBus.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

namespace {

// A stand-in UPower on the test's own session bus.
class FakeUPower : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.UPower")
    Q_PROPERTY(bool OnBattery READ onBattery)

public:
    bool battery = false;
    QList<QDBusObjectPath> devices;
    bool onBattery() const { return battery; }

public Q_SLOTS:
    QList<QDBusObjectPath> EnumerateDevices() const { return devices; }
};

class FakeDevice : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.UPower.Device")
    Q_PROPERTY(uint Type READ type)
    Q_PROPERTY(uint State READ state)

public:
    uint kind = 2;
    uint status = 1;
    uint type() const { return kind; }
    uint state() const { return status; }
};

class PowerSourceWatcherTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!bus.isConnected()) {
            GTEST_SKIP() << "no session bus";
        }
        ASSERT_TRUE(bus.registerService(service));
        ASSERT_TRUE(bus.registerObject("/org/freedesktop/UPower", &upower,
            QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllProperties));
        ASSERT_TRUE(bus.registerObject(
            "/org/freedesktop/UPower/devices/ups", &ups, QDBusConnection::ExportAllProperties));
    }
    void TearDown() override
    {
        bus.unregisterObject("/org/freedesktop/UPower");
        bus.unregisterObject("/org/freedesktop/UPower/devices/ups");
        bus.unregisterService(service);
    }
    void announceChange()
    {
        QDBusMessage signal = QDBusMessage::createSignal(
            "/org/freedesktop/UPower", "org.freedesktop.DBus.Properties", "PropertiesChanged");
        signal << QString("org.freedesktop.UPower") << QVariantMap { { "OnBattery", upower.battery } }
               << QStringList();
        bus.send(signal);
    }

    QDBusConnection bus = QDBusConnection::sessionBus();
    QString service = QString("org.kiruvo.test.UPower%1").arg(QCoreApplication::applicationPid());
    FakeUPower upower;
    FakeDevice ups;
};

} // namespace

TEST_F(PowerSourceWatcherTest, FollowsTheBatteryAndAnUninterruptibleSupply)
{
    zk::PowerSourceWatcher watcher(bus, service);
    std::vector<zk::PowerSourceWatcher::PowerSource> seen;
    auto subscription = watcher.didChangePublisher().sink([&](auto source) { seen.push_back(source); });
    EXPECT_EQ(watcher.powerSource(), zk::PowerSourceWatcher::PowerSource::externalUnlimited);

    // A change told before the bus has said who owns the name cannot be taken as UPower's, so
    // the first one is told again until it is heard.
    upower.battery = true;
    KIRUVO_TRY_COMPARE_WITH_TIMEOUT((announceChange(), watcher.powerSource()),
        zk::PowerSourceWatcher::PowerSource::internalBattery, 5000);

    ups.kind = 3; // an uninterruptible supply, discharging
    ups.status = 2;
    upower.devices = { QDBusObjectPath("/org/freedesktop/UPower/devices/ups") };
    announceChange();
    KIRUVO_TRY_COMPARE_WITH_TIMEOUT(
        watcher.powerSource(), zk::PowerSourceWatcher::PowerSource::externalUPS, 5000);

    upower.battery = false;
    announceChange();
    KIRUVO_TRY_COMPARE_WITH_TIMEOUT(
        watcher.powerSource(), zk::PowerSourceWatcher::PowerSource::externalUnlimited, 5000);
    EXPECT_EQ(seen.size(), 4u); // the first value, then each change once
}

TEST(PowerSourceWatcherAbsentTest, WithoutUPowerTheMachineCountsAsPluggedIn)
{
    zk::PowerSourceWatcher watcher(QDBusConnection::sessionBus(), "org.kiruvo.test.NoUPowerHere");
    EXPECT_EQ(watcher.powerSource(), zk::PowerSourceWatcher::PowerSource::externalUnlimited);
}

namespace {

using PowerSource = zk::PowerSourceWatcher::PowerSource;

// UPower on a bus of the test's own, answering only when the test says so.
class PowerSourceWatcherWaitTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!bus.isRunning()) {
            GTEST_SKIP() << "dbus-daemon is not available";
        }
        upower = std::make_unique<HeldRepliesService>(
            bus.connect("upower"), "org.freedesktop.UPower", "/org/freedesktop/UPower");
        ASSERT_TRUE(upower->isServing());
    }
    bool waitForHeldCalls(qsizetype count)
    {
        return QTest::qWaitFor([&] { return upower->heldCalls().size() == count; }, 5000);
    }
    void announceChange()
    {
        bus.connect("upower").send(QDBusMessage::createSignal("/org/freedesktop/UPower",
                                       "org.freedesktop.DBus.Properties", "PropertiesChanged")
            << QString("org.freedesktop.UPower") << QVariantMap {} << QStringList());
    }

    PrivateSessionBus bus;
    QDBusConnection app = bus.connect("app");
    std::unique_ptr<HeldRepliesService> upower;
};

} // namespace

TEST_F(PowerSourceWatcherWaitTest, StartsWithoutWaitingForUPowerAndTakesItsAnswerWhenItComes)
{
    zk::PowerSourceWatcher watcher(app, "org.freedesktop.UPower");
    std::vector<PowerSource> seen;
    auto subscription = watcher.didChangePublisher().sink([&](auto source) { seen.push_back(source); });
    ASSERT_TRUE(waitForHeldCalls(1));
    EXPECT_EQ(upower->heldCalls().front().member(), "Get");
    EXPECT_EQ(watcher.powerSource(), PowerSource::externalUnlimited);

    upower->answerOldestProperty(true);
    ASSERT_TRUE(waitForHeldCalls(1));
    EXPECT_EQ(upower->heldCalls().front().member(), "EnumerateDevices");
    EXPECT_EQ(watcher.powerSource(), PowerSource::externalUnlimited);
    upower->answerOldest({ QVariant::fromValue(QList<QDBusObjectPath> {}) });
    KIRUVO_TRY_COMPARE_WITH_TIMEOUT(watcher.powerSource(), PowerSource::internalBattery, 5000);
    EXPECT_EQ(seen, (std::vector { PowerSource::externalUnlimited, PowerSource::internalBattery }));
}

TEST_F(PowerSourceWatcherWaitTest, AStalledBusHoldsNothingAndOnlyUPowerIsHeard)
{
    std::unique_ptr<zk::PowerSourceWatcher> watcher;
    EXPECT_TRUE(bus.finishesWhilePaused(
        [&] { watcher = std::make_unique<zk::PowerSourceWatcher>(app, "org.freedesktop.UPower"); }));
    ASSERT_TRUE(waitForHeldCalls(1));
    upower->answerOldestProperty(false);

    // Another process's PropertiesChanged on UPower's path asks nothing.
    PrivateSessionBus::sendSignal(bus.connect("other"),
        QDBusMessage::createSignal(
            "/org/freedesktop/UPower", "org.freedesktop.DBus.Properties", "PropertiesChanged")
            << QString("org.freedesktop.UPower") << QVariantMap {} << QStringList());
    PrivateSessionBus::callServing(app,
        QDBusMessage::createMethodCall(
            "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "GetId"));
    PrivateSessionBus::callServing(app,
        QDBusMessage::createMethodCall("org.freedesktop.UPower", "/", "org.freedesktop.DBus.Peer", "Ping"));
    EXPECT_TRUE(upower->heldCalls().isEmpty());

    announceChange();
    ASSERT_TRUE(waitForHeldCalls(1));
}

TEST_F(PowerSourceWatcherWaitTest, AnAnswerOvertakenByAChangeIsNotTaken)
{
    zk::PowerSourceWatcher watcher(app, "org.freedesktop.UPower");
    ASSERT_TRUE(waitForHeldCalls(1));
    announceChange();
    ASSERT_TRUE(waitForHeldCalls(2));

    // The first read hears "on battery" and goes on to the devices; the second hears "plugged in".
    upower->answerOldestProperty(true);
    ASSERT_TRUE(waitForHeldCalls(2));
    upower->answerOldestProperty(false);
    ASSERT_TRUE(waitForHeldCalls(1));
    upower->answerOldest({ QVariant::fromValue(QList<QDBusObjectPath> {}) });
    // Messages from one sender arrive in order: once the next change's read is asked, the
    // devices' answer has been handled.
    announceChange();
    ASSERT_TRUE(waitForHeldCalls(1));
    EXPECT_EQ(watcher.powerSource(), PowerSource::externalUnlimited);
}

TEST_F(PowerSourceWatcherWaitTest, AnAnswerAfterTheWatcherWentIsDropped)
{
    auto gone = std::make_unique<zk::PowerSourceWatcher>(app, "org.freedesktop.UPower");
    ASSERT_TRUE(waitForHeldCalls(1));
    gone.reset();
    upower->answerOldestProperty(false);

    // Answers from one sender arrive in order: once the next watcher has its answer and asks
    // for the devices, the answer to the one that went has been handled.
    zk::PowerSourceWatcher next(app, "org.freedesktop.UPower");
    ASSERT_TRUE(waitForHeldCalls(1));
    upower->answerOldestProperty(true);
    ASSERT_TRUE(waitForHeldCalls(1));
    EXPECT_EQ(upower->heldCalls().front().member(), "EnumerateDevices");
}

#include "PowerSourceWatcherTest.moc"
