#include "platform/linux/ReduceMotionPortal.h"

#include "support/HeldRepliesService.h"
#include "support/PrivateSessionBus.h"

#include <QDBusMessage>
#include <QDBusVariant>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>

using platform::ReduceMotionPortal;
using platform::SettingsPortal;

namespace {

const QString portalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString settingsInterface = QStringLiteral("org.freedesktop.portal.Settings");

// The settings portal on a bus of the test's own, answering only when the test says so.
class ReduceMotionPortalTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!bus.isRunning()) {
            GTEST_SKIP() << "dbus-daemon is not available";
        }
        portal = std::make_unique<HeldRepliesService>(portalConnection, SettingsPortal::service, portalPath);
        ASSERT_TRUE(portal->isServing());
    }
    bool waitForHeldReads(qsizetype count)
    {
        return QTest::qWaitFor([&] { return portal->heldCalls().size() == count; }, 5000);
    }
    // Read (version 1) wraps the value in one more variant.
    void answerOldestRead(const QVariant& value)
    {
        portal->answerOldest({ QVariant::fromValue(QDBusVariant(QVariant::fromValue(QDBusVariant(value)))) });
    }
    void announce(const QString& ns, const QString& key, const QVariant& value)
    {
        portalConnection.send(QDBusMessage::createSignal(portalPath, settingsInterface, "SettingChanged")
            << ns << key << QVariant::fromValue(QDBusVariant(value)));
    }
    // A round trip to the portal's connection: what it sent before has been handled on return.
    void settle()
    {
        PrivateSessionBus::callServing(app,
            QDBusMessage::createMethodCall(
                SettingsPortal::service, "/", "org.freedesktop.DBus.Peer", "Ping"));
    }

    PrivateSessionBus bus;
    QDBusConnection app = bus.connect("app");
    QDBusConnection portalConnection = bus.connect("portal");
    std::unique_ptr<HeldRepliesService> portal;
};

} // namespace

TEST_F(ReduceMotionPortalTest, AnimatesUntilTheDesktopAnswersThenFollowsGnome)
{
    ReduceMotionPortal reduceMotion(app);
    ASSERT_TRUE(waitForHeldReads(2));
    EXPECT_EQ(portal->heldCalls().front().arguments(),
        (QVariantList { "org.gnome.desktop.interface", "enable-animations" }));
    EXPECT_FALSE(reduceMotion.isEnabled());

    answerOldestRead(false);
    EXPECT_TRUE(QTest::qWaitFor([&] { return reduceMotion.isEnabled(); }, 5000));
    // KDE's animation speed says otherwise; GNOME's setting counts.
    answerOldestRead(1.0);
    settle();
    EXPECT_TRUE(reduceMotion.isEnabled());

    announce("org.gnome.desktop.interface", "enable-animations", QVariant(true));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !reduceMotion.isEnabled(); }, 5000));
}

TEST_F(ReduceMotionPortalTest, AStalledBusHoldsNothingAndOnlyThePortalIsHeard)
{
    std::unique_ptr<ReduceMotionPortal> reduceMotion;
    EXPECT_TRUE(bus.finishesWhilePaused([&] { reduceMotion = std::make_unique<ReduceMotionPortal>(app); }));
    ASSERT_TRUE(waitForHeldReads(2));
    answerOldestRead(false);
    answerOldestRead(1.0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return reduceMotion->isEnabled(); }, 5000));

    // Another process's SettingChanged on the portal's path changes nothing.
    PrivateSessionBus::sendSignal(bus.connect("other"),
        QDBusMessage::createSignal(portalPath, settingsInterface, "SettingChanged")
            << QString("org.gnome.desktop.interface") << QString("enable-animations")
            << QVariant::fromValue(QDBusVariant(QVariant(true))));
    settle();
    EXPECT_TRUE(reduceMotion->isEnabled());

    announce("org.gnome.desktop.interface", "enable-animations", QVariant(true));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !reduceMotion->isEnabled(); }, 5000));
}

TEST_F(ReduceMotionPortalTest, KdesSpeedCountsOnceGnomeSaysNothing)
{
    ReduceMotionPortal reduceMotion(app);
    ASSERT_TRUE(waitForHeldReads(2));
    portal->failOldest("org.freedesktop.portal.Error.NotFound");
    settle();
    EXPECT_FALSE(reduceMotion.isEnabled());
    answerOldestRead(0.0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return reduceMotion.isEnabled(); }, 5000));
}

TEST_F(ReduceMotionPortalTest, AChangeIsNewerThanAReadStillOnItsWay)
{
    ReduceMotionPortal reduceMotion(app);
    ASSERT_TRUE(waitForHeldReads(2));
    announce("org.kde.kdeglobals.KDE", "AnimationDurationFactor", 0.0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return reduceMotion.isEnabled(); }, 5000));
    answerOldestRead(true);
    answerOldestRead(1.0);
    settle();
    EXPECT_TRUE(reduceMotion.isEnabled());
}
