#include "platform/desktop/IdleTimeSource.h"

#include "platform/fake/FakeClock.h"
#include "platform/fake/FakeIdleTimeSource.h"
#include "platform/linux/DBusIdleTimeSource.h"
#include "platform/linux/UnavailableIdleTimeSource.h"
#include "platform/linux/X11IdleTimeSource.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <mutex>
#include <unistd.h>

using platform::DBusIdleTimeSource;
using platform::IdleTimeSource;
using platform::InputEventType;
using platform::userInputEventTypes;

namespace {

// --- The fake ---------------------------------------------------------------------------------

TEST(FakeIdleTimeSourceTest, AnswersPerTypeAndFollowsEventsAndTime)
{
    platform::fake::FakeIdleTimeSource fake;
    for (auto type : userInputEventTypes) {
        EXPECT_EQ(fake.secondsSinceLastEvent(type), 0);
    }
    fake.clearQueries();
    fake.setAll(100);
    fake.setSecondsSinceLastEvent(InputEventType::scrollWheel, 250);
    fake.advance(5);
    fake.recordEvent(InputEventType::keyDown);
    EXPECT_EQ(fake.secondsSinceLastEvent(InputEventType::leftMouseDown), 105);
    EXPECT_EQ(fake.secondsSinceLastEvent(InputEventType::keyDown), 0);
    EXPECT_EQ(fake.secondsSinceLastEvent(InputEventType::scrollWheel), 255);
    EXPECT_EQ(fake.secondsSinceLastInput(), 0);
    fake.setSecondsSinceLastInput(42);
    fake.advance(1);
    EXPECT_EQ(fake.secondsSinceLastInput(), 43);
    EXPECT_EQ(fake.queries(),
        (std::vector<InputEventType> {
            InputEventType::leftMouseDown, InputEventType::keyDown, InputEventType::scrollWheel }));
}

TEST(FakeIdleTimeSourceTest, ScopedFakeBecomesTheSharedSource)
{
    {
        platform::fake::ScopedFakeIdleTimeSource scoped;
        scoped.source.setAll(7);
        EXPECT_EQ(&IdleTimeSource::shared(), &scoped.source);
        EXPECT_EQ(IdleTimeSource::shared().secondsSinceLastEvent(InputEventType::mouseMoved), 7);
    }
    IdleTimeSource::setShared(nullptr);
}

// --- Choosing a backend -----------------------------------------------------------------------

TEST(IdleTimeSourceTest, WaylandSessionsPreferTheDesktopsServicesOverXwayland)
{
    using B = IdleTimeSource::Backend;
    EXPECT_EQ(IdleTimeSource::candidateOrder(false), (std::vector<B> { B::x11, B::mutter, B::screenSaver }));
    EXPECT_EQ(IdleTimeSource::candidateOrder(true),
        (std::vector<B> { B::mutter, B::extIdleNotify, B::screenSaver, B::x11 }));
}

TEST(IdleTimeSourceTest, EventTypesKeepTheirNumbersAndOrder)
{
    EXPECT_EQ(static_cast<int>(userInputEventTypes[0]), 1);
    EXPECT_EQ(static_cast<int>(userInputEventTypes[1]), 3);
    EXPECT_EQ(static_cast<int>(userInputEventTypes[2]), 5);
    EXPECT_EQ(static_cast<int>(userInputEventTypes[3]), 10);
    EXPECT_EQ(static_cast<int>(userInputEventTypes[4]), 22);
    EXPECT_STREQ(platform::toString(InputEventType::scrollWheel), "scrollWheel");
}

TEST(IdleTimeSourceTest, UnavailableSourceCountsTheUserAsActiveAndSaysSoOnce)
{
    testing::internal::CaptureStderr();
    platform::UnavailableIdleTimeSource first("No idle service.");
    platform::UnavailableIdleTimeSource second("No idle service.");
    std::string output = testing::internal::GetCapturedStderr();
    EXPECT_NE(output.find("Idle detection is unavailable"), std::string::npos) << output;
    EXPECT_EQ(output.find("Idle detection is unavailable"), output.rfind("Idle detection is unavailable"));
    for (auto type : userInputEventTypes) {
        EXPECT_EQ(first.secondsSinceLastEvent(type), 0);
    }
    EXPECT_EQ(second.secondsSinceLastInput(), 0);
}

TEST(IdleTimeSourceTest, DefaultSourceAnswersSaneFigures)
{
    auto source = IdleTimeSource::createDefault();
    ASSERT_TRUE(source);
    EXPECT_FALSE(source->name().empty());
    for (auto type : userInputEventTypes) {
        double seconds = source->secondsSinceLastEvent(type);
        EXPECT_TRUE(std::isfinite(seconds));
        EXPECT_GE(seconds, 0);
    }
}

// --- X11 --------------------------------------------------------------------------------------

TEST(X11IdleTimeSourceTest, MissingDisplayGivesNoSource)
{
    EXPECT_FALSE(platform::X11IdleTimeSource::open(":4711"));
}

TEST(X11IdleTimeSourceTest, AnswersTheServersIdleTimeForEveryType)
{
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        GTEST_SKIP() << "no X display";
    }
    auto source = platform::X11IdleTimeSource::open();
    if (!source) {
        GTEST_SKIP() << "the X server lacks MIT-SCREEN-SAVER";
    }
    double first = source->secondsSinceLastInput();
    EXPECT_GE(first, 0);
    EXPECT_LT(first, 1e9);
    QTest::qWait(30);
    double keyDown = source->secondsSinceLastEvent(InputEventType::keyDown);
    double scroll = source->secondsSinceLastEvent(InputEventType::scrollWheel);
    // Nobody touches a test server: the figure only grows, and all types share it.
    EXPECT_GE(keyDown, first);
    EXPECT_NEAR(scroll, keyDown, 0.5);
}

// --- D-Bus ------------------------------------------------------------------------------------

// A stand-in for the desktop's idle service on a connection of its own. It answers with a set
// value or error, or holds calls until the test releases them.
class IdleService : public QDBusVirtualObject {
public:
    explicit IdleService(QString interface)
        : m_interface(std::move(interface))
    {
    }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override
    {
        if (message.interface() != m_interface) {
            return false;
        }
        std::lock_guard lock(m_mutex);
        ++m_calls;
        m_lastMember = message.member();
        if (m_holding) {
            m_held.push_back(message);
            return true;
        }
        connection.send(answer(message));
        return true;
    }

    QString introspect(const QString&) const override { return {}; }

    void setAnswer(QVariant value)
    {
        std::lock_guard lock(m_mutex);
        m_value = std::move(value);
        m_error.clear();
    }
    void setError(QString name)
    {
        std::lock_guard lock(m_mutex);
        m_error = std::move(name);
    }
    void hold(bool holding)
    {
        std::lock_guard lock(m_mutex);
        m_holding = holding;
    }
    void releaseHeld(const QDBusConnection& connection)
    {
        std::lock_guard lock(m_mutex);
        for (const auto& message : m_held) {
            connection.send(answer(message));
        }
        m_held.clear();
    }
    int calls() const
    {
        std::lock_guard lock(m_mutex);
        return m_calls;
    }
    QString lastMember() const
    {
        std::lock_guard lock(m_mutex);
        return m_lastMember;
    }

private:
    QDBusMessage answer(const QDBusMessage& message) const
    {
        if (!m_error.isEmpty()) {
            return message.createErrorReply(m_error, QStringLiteral("The test says no."));
        }
        return message.createReply(m_value);
    }

    QString m_interface;
    mutable std::mutex m_mutex;
    QVariant m_value;
    QString m_error;
    bool m_holding = false;
    std::vector<QDBusMessage> m_held;
    int m_calls = 0;
    QString m_lastMember;
};

class DBusIdleTimeSourceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) {
            GTEST_SKIP() << "no D-Bus session bus";
        }
        serviceConnection = std::make_unique<QDBusConnection>(QDBusConnection::connectToBus(
            QDBusConnection::SessionBus, QStringLiteral("kiruvo-idle-test-service")));
        ASSERT_TRUE(serviceConnection->isConnected());
        serviceName = QStringLiteral("com.zelvantorium.Kiruvo.IdleTest.p%1").arg(getpid());
        ASSERT_TRUE(serviceConnection->registerService(serviceName));
    }

    void TearDown() override
    {
        if (serviceConnection) {
            // Unregistered before it is destroyed: the D-Bus thread may be about to call it.
            serviceConnection->unregisterObject(path);
            m_standIn.reset();
            serviceConnection->unregisterService(serviceName);
            serviceConnection.reset();
            QDBusConnection::disconnectFromBus(QStringLiteral("kiruvo-idle-test-service"));
        }
    }

    // A stand-in for the service's interface, owned by the fixture.
    IdleService& standIn(const DBusIdleTimeSource::Service& service)
    {
        m_standIn = std::make_unique<IdleService>(service.interface);
        return *m_standIn;
    }

    // Serves the stand-in at the service's path under the test's own bus name.
    std::unique_ptr<DBusIdleTimeSource> serve(IdleService& object, DBusIdleTimeSource::Service service)
    {
        path = service.path;
        EXPECT_TRUE(serviceConnection->registerVirtualObject(path, &object));
        service.name = serviceName;
        return std::make_unique<DBusIdleTimeSource>(QDBusConnection::sessionBus(), std::move(service));
    }

    std::unique_ptr<QDBusConnection> serviceConnection;
    std::unique_ptr<IdleService> m_standIn;
    QString serviceName;
    QString path;
    platform::fake::ScopedFakeClock clock;
};

TEST_F(DBusIdleTimeSourceTest, MutterAnswersInMillisecondsAndTheFigureGrowsBetweenAnswers)
{
    IdleService& service = standIn(DBusIdleTimeSource::mutterIdleMonitor());
    service.setAnswer(QVariant::fromValue<quint64>(90500));
    auto source = serve(service, DBusIdleTimeSource::mutterIdleMonitor());

    // Nothing has answered yet: the user counts as active, and the question went out.
    EXPECT_EQ(source->secondsSinceLastEvent(InputEventType::keyDown), 0);
    QTRY_COMPARE_WITH_TIMEOUT(source->secondsSinceLastEvent(InputEventType::keyDown), 90.5, 5000);
    EXPECT_EQ(service.lastMember(), QStringLiteral("GetIdletime"));

    // The service now holds its answers; the cached figure keeps growing with the clock.
    service.hold(true);
    QTRY_COMPARE_WITH_TIMEOUT(service.calls() >= 1, true, 5000);
    clock.clock.advance(2.25);
    for (auto type : userInputEventTypes) {
        EXPECT_DOUBLE_EQ(source->secondsSinceLastEvent(type), 92.75);
    }
    EXPECT_DOUBLE_EQ(source->secondsSinceLastInput(), 92.75);

    // New input: the next answer replaces the figure.
    service.setAnswer(QVariant::fromValue<quint64>(300));
    service.releaseHeld(*serviceConnection);
    service.hold(false);
    QTRY_COMPARE_WITH_TIMEOUT(source->secondsSinceLastEvent(InputEventType::mouseMoved), 0.3, 5000);
}

TEST_F(DBusIdleTimeSourceTest, AskingNeverWaitsAndKeepsOneCallInFlight)
{
    IdleService& service = standIn(DBusIdleTimeSource::mutterIdleMonitor());
    service.setAnswer(QVariant::fromValue<quint64>(5000));
    service.hold(true);
    auto source = serve(service, DBusIdleTimeSource::mutterIdleMonitor());

    for (int tick = 0; tick < 20; ++tick) {
        for (auto type : userInputEventTypes) {
            EXPECT_EQ(source->secondsSinceLastEvent(type), 0);
        }
        QCoreApplication::processEvents();
    }
    QTRY_COMPARE_WITH_TIMEOUT(service.calls(), 1, 5000);
    QTest::qWait(20);
    EXPECT_EQ(service.calls(), 1);

    service.releaseHeld(*serviceConnection);
    QTRY_COMPARE_WITH_TIMEOUT(source->secondsSinceLastInput(), 5.0, 5000);
    // Once answered, the next question asks again.
    QTRY_COMPARE_WITH_TIMEOUT(service.calls(), 2, 5000);
}

TEST_F(DBusIdleTimeSourceTest, ScreenSaverAnswersInSeconds)
{
    IdleService& service = standIn(DBusIdleTimeSource::freedesktopScreenSaver());
    service.setAnswer(QVariant::fromValue<uint>(640));
    auto source = serve(service, DBusIdleTimeSource::freedesktopScreenSaver());
    source->secondsSinceLastInput();
    QTRY_COMPARE_WITH_TIMEOUT(source->secondsSinceLastEvent(InputEventType::leftMouseDown), 640.0, 5000);
    EXPECT_EQ(service.lastMember(), QStringLiteral("GetSessionIdleTime"));
}

TEST_F(DBusIdleTimeSourceTest, FailuresKeepTheLastFigureGrowingAndAreLoggedOnce)
{
    IdleService& service = standIn(DBusIdleTimeSource::mutterIdleMonitor());
    service.setAnswer(QVariant::fromValue<quint64>(10000));
    auto source = serve(service, DBusIdleTimeSource::mutterIdleMonitor());
    source->secondsSinceLastInput();
    QTRY_COMPARE_WITH_TIMEOUT(source->secondsSinceLastInput(), 10.0, 5000);

    service.setError(QStringLiteral("org.freedesktop.DBus.Error.Failed"));
    testing::internal::CaptureStderr();
    const int before = service.calls();
    // Let several calls fail in turn.
    QTRY_VERIFY_WITH_TIMEOUT((source->secondsSinceLastInput(), service.calls() >= before + 4), 5000);
    QTest::qWait(20);
    std::string output = testing::internal::GetCapturedStderr();
    EXPECT_NE(output.find("The test says no."), std::string::npos) << output;
    EXPECT_EQ(output.find("could not be read"), output.rfind("could not be read")) << output;

    clock.clock.advance(30);
    EXPECT_DOUBLE_EQ(source->secondsSinceLastInput(), 40.0);
}

TEST_F(DBusIdleTimeSourceTest, AnswersThatAreNoIdleTimeAreRefused)
{
    IdleService& service = standIn(DBusIdleTimeSource::mutterIdleMonitor());
    auto source = serve(service, DBusIdleTimeSource::mutterIdleMonitor());
    for (const QVariant& bad :
        { QVariant(QStringLiteral("12")), QVariant(2.5), QVariant::fromValue<qint64>(-5) }) {
        service.setAnswer(bad);
        testing::internal::CaptureStderr();
        const int before = service.calls();
        QTRY_VERIFY_WITH_TIMEOUT((source->secondsSinceLastInput(), service.calls() >= before + 2), 5000);
        (void)testing::internal::GetCapturedStderr();
        // No figure was ever taken from such an answer.
        EXPECT_EQ(source->secondsSinceLastInput(), 0) << bad.toString().toStdString();
    }
}

TEST_F(DBusIdleTimeSourceTest, ProbeTakesTheFirstAnswerOrReportsTheMissingService)
{
    // A blocking call waits without running this thread's events, so the stand-in answers from a
    // thread of its own, as a desktop service answers from its own process.
    QThread serviceThread;
    serviceThread.start();
    IdleService& service = standIn(DBusIdleTimeSource::freedesktopScreenSaver());
    service.moveToThread(&serviceThread);
    service.setAnswer(QVariant::fromValue<uint>(12));
    auto source = serve(service, DBusIdleTimeSource::freedesktopScreenSaver());
    std::string error;
    const bool answered = source->probe(2000, &error);
    serviceConnection->unregisterObject(path);
    serviceThread.quit();
    serviceThread.wait();
    m_standIn.reset();
    ASSERT_TRUE(answered) << error;
    // The first figure is there before any event has been processed.
    EXPECT_EQ(source->secondsSinceLastInput(), 12);

    auto missingService = DBusIdleTimeSource::freedesktopScreenSaver();
    missingService.name = serviceName + QStringLiteral(".Missing");
    DBusIdleTimeSource missing(QDBusConnection::sessionBus(), missingService);
    EXPECT_FALSE(missing.probe(2000, &error));
    EXPECT_NE(error.find("ServiceUnknown"), std::string::npos) << error;
}

} // namespace
