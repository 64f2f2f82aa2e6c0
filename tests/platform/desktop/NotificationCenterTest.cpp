#include "platform/desktop/NotificationCenter.h"
#include "platform/fake/FakeNotificationCenter.h"
#include "platform/linux/FreedesktopNotificationCenter.h"
#include "support/PrivateSessionBus.h"
#include "support/StandInNotificationService.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusContext>
#include <QElapsedTimer>
#include <QObject>
#include <QStringList>
#include <QTest>
#include <QVariantMap>
#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <vector>

using platform::NotificationCenter;
using platform::dbus::FreedesktopNotificationCenter;

namespace {

NotificationCenter::Request request(const char* summary)
{
    NotificationCenter::Request result;
    result.summary = summary;
    return result;
}

class FreedesktopNotificationCenterTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) {
            GTEST_SKIP() << "no session bus";
        }
        m_serviceConnection = QDBusConnection::connectToBus(
            QDBusConnection::SessionBus, QStringLiteral("notification-stand-in"));
        ASSERT_TRUE(m_serviceConnection.isConnected());
        m_serviceName = QStringLiteral("com.zelvantorium.Kiruvo.TestNotifications.p%1")
                            .arg(QCoreApplication::applicationPid());
        ASSERT_TRUE(m_serviceConnection.registerService(m_serviceName));
        ASSERT_TRUE(m_serviceConnection.registerObject(QStringLiteral("/org/freedesktop/Notifications"),
            &m_standIn, QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals));
    }

    void TearDown() override
    {
        if (m_serviceConnection.isConnected()) {
            m_serviceConnection.unregisterObject(QStringLiteral("/org/freedesktop/Notifications"));
            m_serviceConnection.unregisterService(m_serviceName);
        }
        QDBusConnection::disconnectFromBus(QStringLiteral("notification-stand-in"));
    }

    NotificationServiceStandIn m_standIn;
    QDBusConnection m_serviceConnection { QStringLiteral("unset") };
    QString m_serviceName;
};

TEST_F(FreedesktopNotificationCenterTest, asksThePostsAndClosesThroughTheService)
{
    FreedesktopNotificationCenter center(QDBusConnection::sessionBus(), m_serviceName);

    EXPECT_TRUE(QCoro::waitFor(center.requestAuthorization()));
    EXPECT_EQ(m_standIn.capabilityQueries, 1);

    const auto result = QCoro::waitFor(center.post(request("You have been active for 30 minutes")));
    ASSERT_TRUE(result.succeeded()) << result.errorName << " " << result.errorMessage;
    EXPECT_EQ(*result.identifier, 41u);
    ASSERT_EQ(m_standIn.posted.size(), 1u);
    EXPECT_EQ(m_standIn.posted[0].summary, QStringLiteral("You have been active for 30 minutes"));
    EXPECT_EQ(m_standIn.posted[0].body, QString());
    EXPECT_EQ(m_standIn.posted[0].appName, QStringLiteral("Kiruvo"));
    const QVariant urgency = m_standIn.posted[0].hints.value(QStringLiteral("urgency"));
    EXPECT_EQ(urgency.toInt(), 1) << urgency.typeName();
    EXPECT_EQ(center.deliveredIdentifiers().count(41u), 1u);

    QCoro::waitFor(center.removeAllDelivered());
    EXPECT_EQ(m_standIn.closed, std::vector<uint> { 41u });
    EXPECT_TRUE(center.deliveredIdentifiers().empty());

    // A second removal has nothing left to close.
    QCoro::waitFor(center.removeAllDelivered());
    EXPECT_EQ(m_standIn.closed.size(), 1u);
}

TEST_F(FreedesktopNotificationCenterTest, forgetsNotificationsThatTheServiceClosed)
{
    FreedesktopNotificationCenter center(QDBusConnection::sessionBus(), m_serviceName);
    const auto first = QCoro::waitFor(center.post(request("first")));
    const auto second = QCoro::waitFor(center.post(request("second")));
    ASSERT_TRUE(first.succeeded());
    ASSERT_TRUE(second.succeeded());

    Q_EMIT m_standIn.NotificationClosed(*first.identifier, 2);
    // The signal crosses the bus: wait for its delivery, a few milliseconds at most.
    QElapsedTimer waited;
    waited.start();
    while (center.deliveredIdentifiers().count(*first.identifier) != 0 && waited.elapsed() < 5000) {
        QTest::qWait(5);
    }
    EXPECT_EQ(center.deliveredIdentifiers().count(*first.identifier), 0u);

    QCoro::waitFor(center.removeAllDelivered());
    EXPECT_EQ(m_standIn.closed, std::vector<uint> { *second.identifier });
}

TEST(FreedesktopNotificationCenterBusTest, atStartTheBusIsNotWaitedForAndOnlyTheServiceClosesNotifications)
{
    PrivateSessionBus bus;
    if (!bus.isRunning()) {
        GTEST_SKIP() << "no dbus-daemon for a private bus";
    }
    NotificationServiceStandIn standIn;
    ASSERT_TRUE(bus.serve(QStringLiteral("stalled-notifications"),
        QString::fromLatin1(FreedesktopNotificationCenter::standardService),
        QStringLiteral("/org/freedesktop/Notifications"), &standIn));
    QDBusConnection client = bus.connect(QStringLiteral("stalled-notifications-client"));
    QDBusConnection other = bus.connect(QStringLiteral("stalled-notifications-other"));

    std::unique_ptr<FreedesktopNotificationCenter> center;
    EXPECT_TRUE(bus.finishesWhilePaused([&] {
        center = std::make_unique<FreedesktopNotificationCenter>(
            client, QString::fromLatin1(FreedesktopNotificationCenter::standardService));
    }));
    // Posting is asked after the service's owner, so its answers come after the owner's.
    const auto first = QCoro::waitFor(center->post(request("first")));
    const auto second = QCoro::waitFor(center->post(request("second")));
    ASSERT_TRUE(first.succeeded() && second.succeeded());

    // Another program's NotificationClosed on the same path forgets nothing; the service's does.
    QDBusMessage fake = QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("NotificationClosed"));
    fake << *first.identifier << 2u;
    PrivateSessionBus::sendSignal(other, fake);
    Q_EMIT standIn.NotificationClosed(*second.identifier, 2);
    ASSERT_TRUE(PrivateSessionBus::serveUntil(
        [&] { return center->deliveredIdentifiers().count(*second.identifier) == 0; }));
    EXPECT_EQ(center->deliveredIdentifiers(), std::set<std::uint32_t> { *first.identifier });
}

TEST_F(FreedesktopNotificationCenterTest, callsAnsweredAfterTheCenterIsGoneEndWithoutIt)
{
    // A caller's task runs on by itself (a notice posted at start), and the center may be gone
    // before the service answers.
    auto center
        = std::make_unique<FreedesktopNotificationCenter>(QDBusConnection::sessionBus(), m_serviceName);
    ASSERT_TRUE(QCoro::waitFor(center->post(request("first"))).succeeded());
    ASSERT_TRUE(QCoro::waitFor(center->post(request("second"))).succeeded());
    auto posting = center->post(request("third"));
    auto removing = center->removeAllDelivered();
    center.reset();

    const auto result = QCoro::waitFor(std::move(posting));
    EXPECT_TRUE(result.succeeded()) << "the service showed it";
    QCoro::waitFor(std::move(removing));
    EXPECT_EQ(m_standIn.closed, (std::vector<uint> { 41u, 42u }))
        << "the removal asked for goes on to the end";
}

TEST(FreedesktopNotificationCenterAbsentTest, aMissingServiceRefusesAndFailsToPost)
{
    if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) {
        GTEST_SKIP() << "no session bus";
    }
    FreedesktopNotificationCenter center(
        QDBusConnection::sessionBus(), QStringLiteral("com.zelvantorium.Kiruvo.NoSuchNotificationService"));
    EXPECT_FALSE(QCoro::waitFor(center.requestAuthorization()));
    const auto result = QCoro::waitFor(center.post(request("nobody listens")));
    EXPECT_FALSE(result.succeeded());
    EXPECT_FALSE(result.errorName.empty());
    EXPECT_TRUE(center.deliveredIdentifiers().empty());
}

TEST(FreedesktopNotificationCenterAbsentTest, withoutABusEverythingIsRefused)
{
    FreedesktopNotificationCenter center(
        QDBusConnection(QStringLiteral("never-connected")), QStringLiteral("org.freedesktop.Notifications"));
    EXPECT_FALSE(QCoro::waitFor(center.requestAuthorization()));
    EXPECT_FALSE(QCoro::waitFor(center.post(request("x"))).succeeded());
    QCoro::waitFor(center.removeAllDelivered());
}

TEST(NotificationCenterSharedTest, anInstalledCenterIsTheSharedOneUntilRemoved)
{
    platform::fake::FakeNotificationCenter fake;
    NotificationCenter::setShared(&fake);
    EXPECT_EQ(&NotificationCenter::shared(), &fake);
    NotificationCenter::setShared(nullptr);
    EXPECT_NE(&NotificationCenter::shared(), &fake);
    EXPECT_NE(dynamic_cast<FreedesktopNotificationCenter*>(&NotificationCenter::shared()), nullptr);
}

} // namespace
