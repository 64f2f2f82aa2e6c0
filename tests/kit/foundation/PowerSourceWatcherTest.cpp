#include "kit/foundation/PowerSourceWatcher.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QTest>
#include <gtest/gtest.h>

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

    upower.battery = true;
    announceChange();
    QTRY_COMPARE_WITH_TIMEOUT(
        watcher.powerSource(), zk::PowerSourceWatcher::PowerSource::internalBattery, 5000);

    ups.kind = 3; // an uninterruptible supply, discharging
    ups.status = 2;
    upower.devices = { QDBusObjectPath("/org/freedesktop/UPower/devices/ups") };
    announceChange();
    QTRY_COMPARE_WITH_TIMEOUT(watcher.powerSource(), zk::PowerSourceWatcher::PowerSource::externalUPS, 5000);

    upower.battery = false;
    announceChange();
    QTRY_COMPARE_WITH_TIMEOUT(
        watcher.powerSource(), zk::PowerSourceWatcher::PowerSource::externalUnlimited, 5000);
    EXPECT_EQ(seen.size(), 4u); // the first value, then each change once
}

TEST(PowerSourceWatcherAbsentTest, WithoutUPowerTheMachineCountsAsPluggedIn)
{
    zk::PowerSourceWatcher watcher(QDBusConnection::sessionBus(), "org.kiruvo.test.NoUPowerHere");
    EXPECT_EQ(watcher.powerSource(), zk::PowerSourceWatcher::PowerSource::externalUnlimited);
}

#include "PowerSourceWatcherTest.moc"
