#include "platform/desktop/IdleTimeSource.h"
#include "support/TryWithTimeout.h"

#include "platform/Logger.h"
#include "platform/desktop/FallbackIdleTimeSource.h"
#include "platform/desktop/PolledIdleEvents.h"
#include "platform/fake/FakeClock.h"
#include "platform/fake/FakeIdleTimeSource.h"
#include "platform/linux/DBusIdleTimeSource.h"
#include "platform/linux/MutterIdleTimeSource.h"
#include "platform/linux/UnavailableIdleTimeSource.h"
#include "platform/linux/X11IdleTimeSource.h"
#include "support/HeldRepliesService.h"
#include "support/PrivateSessionBus.h"
#include "support/PrivateXServer.h"
#include "support/SeparateTestProcess.h"
#include "support/StandInIdleMonitor.h"
#include "support/StandInSessionManager.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusVirtualObject>
#include <QElapsedTimer>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <memory>
#include <mutex>
#include <optional>
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

TEST(IdleTimeSourceTest, EventTypesKeepTheirNumbersAndOrder)
{
    EXPECT_EQ(static_cast<int>(userInputEventTypes[0]), 1);
    EXPECT_EQ(static_cast<int>(userInputEventTypes[1]), 3);
    EXPECT_EQ(static_cast<int>(userInputEventTypes[2]), 5);
    EXPECT_EQ(static_cast<int>(userInputEventTypes[3]), 10);
    EXPECT_EQ(static_cast<int>(userInputEventTypes[4]), 22);
    EXPECT_STREQ(platform::toString(InputEventType::scrollWheel), "scrollWheel");
}

// Said once per program: the test runs in a program of its own, where no other test said it first.
TEST(IdleTimeSourceTest, UnavailableSourceCountsTheUserAsActiveAndSaysSoOnce)
{
    if (!SeparateTestProcess::isRunningAlone()) {
        SeparateTestProcess::runCurrentTest();
        return;
    }
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
    // A server of the test's own: on a developer's desktop someone may be typing.
    PrivateXServer server;
    if (!server.isRunning()) {
        GTEST_SKIP() << "Xvfb is not available";
    }
    auto source = platform::X11IdleTimeSource::open(server.display().c_str());
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

// --- Polled figures ------------------------------------------------------------------------------

TEST(PolledIdleEventsTest, TheUnitIsLearntFromHowFastTheFigureGrowsAndNothingIsDecidedBefore)
{
    using platform::PolledIdleEvents;
    // Seconds: 640, then 640 again a third of a second later, which in milliseconds would have
    // grown by 320 or, after input, be below 340.
    PolledIdleEvents seconds(std::nullopt);
    seconds.arm(600, std::nullopt, 1000);
    EXPECT_EQ(seconds.answered(640, 1000, 1000.01), std::nullopt);
    EXPECT_DOUBLE_EQ(seconds.nextQuestionAt(), 1000.33);
    auto told = seconds.answered(640, 1000.33, 1000.34);
    ASSERT_TRUE(told);
    EXPECT_EQ(told->type, platform::IdleEvent::Type::idle);
    EXPECT_DOUBLE_EQ(told->uptime, 360.34);
    EXPECT_EQ(seconds.secondsPerUnit(), 1.0);

    // Milliseconds counted from input every second: a figure that grew by 3 in 2 s, as seconds
    // would, answered a few milliseconds later than the one before.
    PolledIdleEvents typing(std::nullopt);
    typing.arm(600, std::nullopt, 1000);
    EXPECT_EQ(typing.answered(1000, 1000, 1000.002), std::nullopt);
    EXPECT_EQ(typing.answered(1003, 1002, 1002.019), std::nullopt);
    EXPECT_EQ(typing.secondsPerUnit(), std::nullopt);

    // Milliseconds: 640 (0.64 s), then input, then 2600 two seconds later: undecided, no break.
    PolledIdleEvents milliseconds(std::nullopt);
    milliseconds.arm(600, std::nullopt, 1000);
    EXPECT_EQ(milliseconds.answered(640, 1000, 1000), std::nullopt);
    EXPECT_EQ(milliseconds.answered(100, 1002, 1002), std::nullopt);
    EXPECT_EQ(milliseconds.secondsPerUnit(), std::nullopt);
    EXPECT_EQ(milliseconds.answered(2100, 1004, 1004), std::nullopt);
    EXPECT_EQ(milliseconds.secondsPerUnit(), 0.001);

    // Armed while the user is away, unit unknown: a small figure is a return, dated by the later
    // reading (milliseconds), never before the user can have been there.
    PolledIdleEvents away(std::nullopt);
    away.arm(600, 200, 1000);
    told = away.answered(300, 1000, 1000);
    ASSERT_TRUE(told);
    EXPECT_EQ(told->type, platform::IdleEvent::Type::active);
    EXPECT_DOUBLE_EQ(told->uptime, 999.7);
}

// --- D-Bus ------------------------------------------------------------------------------------

// A stand-in for the desktop's idle service on a connection of its own. It answers the idle time
// with a set value or error, or holds those calls until the test releases them; whether the screen
// saver is on only once told, as desktops without a screen saver of their own do not say.
class IdleService : public QDBusVirtualObject {
public:
    explicit IdleService(const DBusIdleTimeSource::Service& service)
        : m_interface(service.interface)
        , m_method(service.method)
    {
    }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override
    {
        if (message.interface() != m_interface) {
            return false;
        }
        std::lock_guard lock(m_mutex);
        if (message.member() != m_method) {
            if (message.member() == QLatin1String("GetActive")) {
                if (m_screenSaverActive) {
                    connection.send(message.createReply(*m_screenSaverActive));
                    return true;
                }
            }
            connection.send(
                message.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod"),
                    QStringLiteral("No such method.")));
            return true;
        }
        ++m_calls;
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
    // Answers GetActive from now on.
    void answerActive(bool active)
    {
        std::lock_guard lock(m_mutex);
        m_screenSaverActive = active;
    }
    // The signal telling that the screen saver came on or ended.
    QDBusMessage activeChanged(const QString& path, bool active) const
    {
        return QDBusMessage::createSignal(path, m_interface, QStringLiteral("ActiveChanged")) << active;
    }
    // The questions for the idle time.
    int calls() const
    {
        std::lock_guard lock(m_mutex);
        return m_calls;
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
    QString m_method;
    mutable std::mutex m_mutex;
    QVariant m_value;
    QString m_error;
    bool m_holding = false;
    std::vector<QDBusMessage> m_held;
    int m_calls = 0;
    std::optional<bool> m_screenSaverActive;
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
        m_standIn = std::make_unique<IdleService>(service);
        return *m_standIn;
    }

    // Serves the stand-in at the service's path under the test's own bus name.
    std::unique_ptr<DBusIdleTimeSource> serve(IdleService& object, DBusIdleTimeSource::Service service)
    {
        path = service.path;
        EXPECT_TRUE(serviceConnection->registerVirtualObject(path, &object));
        service.name = serviceName;
        auto source = std::make_unique<DBusIdleTimeSource>(QDBusConnection::sessionBus(), std::move(service));
        busWatchesForTheSources();
        return source;
    }

    // The bus has taken in the watch for the name that a source just made asked for, so who owns
    // the name can now change: the rule is sent without waiting, and the bus reads the test's own
    // connection, which takes and lets go of the name, in no fixed order with the source's. The
    // application needs no such step, as its first question follows the rule on the same connection.
    static void busWatchesForTheSources()
    {
        const QDBusMessage reply = QDBusConnection::sessionBus().call(QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
            QStringLiteral("org.freedesktop.DBus"), QStringLiteral("GetId")));
        EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
    }

    // The answers the stand-in sent have been taken in by the source, which asks nothing new until
    // then: the bus's own ping of the stand-in's connection is answered after them.
    void answersAreRead() const
    {
        readAfter(QDBusMessage::createMethodCall(
            serviceName, path, QStringLiteral("org.freedesktop.DBus.Peer"), QStringLiteral("Ping")));
    }

    // Everything the service sent before now has been read by the adapters: the answer to `call`,
    // sent on the same connection after it, has been.
    static void readAfter(const QDBusMessage& call)
    {
        QDBusPendingCallWatcher watcher(QDBusConnection::sessionBus().asyncCall(call));
        bool read = false;
        QObject::connect(&watcher, &QDBusPendingCallWatcher::finished, [&] { read = true; });
        EXPECT_TRUE(QTest::qWaitFor([&] { return read; }, 5000));
    }

    std::unique_ptr<QDBusConnection> serviceConnection;
    std::unique_ptr<IdleService> m_standIn;
    QString serviceName;
    QString path;
    platform::fake::ScopedFakeClock clock;
};

TEST_F(DBusIdleTimeSourceTest, ExactAnswersBecomeIdleAndActiveEventsAndNothingIsExtrapolated)
{
    IdleService& service = standIn(DBusIdleTimeSource::freedesktopScreenSaver());
    service.setAnswer(QVariant::fromValue<uint>(640));
    auto source = serve(service, DBusIdleTimeSource::freedesktopScreenSaver());
    EXPECT_EQ(source->kind(), IdleTimeSource::Kind::thresholdEvents);
    std::vector<platform::IdleEvent> told;
    source->setEventHandler([&](const platform::IdleEvent& event) { told.push_back(event); });
    EXPECT_EQ(service.calls(), 0) << "nothing is asked before the source is armed";

    // Away for longer than the threshold already, or for 0.64 s if the service counts
    // milliseconds: asked again shortly, and told from the last input once the figure has not
    // grown as milliseconds would, nor fallen as it would after input.
    const double now = clock.clock.systemUptime();
    source->armWatches(600, std::nullopt);
    KIRUVO_TRY_COMPARE_WITH_TIMEOUT(service.calls(), 1, 5000);
    KIRUVO_TRY_COMPARE_WITH_TIMEOUT(
        source->nextQuestionAt(), now + platform::PolledIdleEvents::confirmDelay(640), 5000);
    EXPECT_TRUE(told.empty());
    clock.clock.advance(0.5);
    source->ask();
    KIRUVO_TRY_COMPARE_WITH_TIMEOUT(told.size(), std::size_t(1), 5000);
    EXPECT_EQ(told[0].type, platform::IdleEvent::Type::idle);
    EXPECT_EQ(told[0].uptime, now + 0.5 - 640);
    EXPECT_TRUE(source->isIdle());

    EXPECT_EQ(source->nextQuestionAt(), now + 0.5 + platform::PolledIdleEvents::awayInterval)
        << "asked every second while the user is away";

    // The figure grows with the time: still away, nothing told.
    clock.clock.advance(3);
    service.setAnswer(QVariant::fromValue<uint>(643));
    source->ask();
    KIRUVO_TRY_COMPARE_WITH_TIMEOUT(service.calls(), 3, 5000);
    answersAreRead();
    EXPECT_EQ(told.size(), 1u);

    // It did not: input 2 s ago.
    clock.clock.advance(5);
    service.setAnswer(QVariant::fromValue<uint>(2));
    source->ask();
    KIRUVO_TRY_COMPARE_WITH_TIMEOUT(told.size(), std::size_t(2), 5000);
    EXPECT_EQ(told[1].type, platform::IdleEvent::Type::active);
    EXPECT_EQ(told[1].uptime, now + 8.5 - 2);
    // Present: the figure cannot reach the threshold before 598 s have passed.
    EXPECT_EQ(source->nextQuestionAt(), now + 8.5 - 2 + 600);

    // A pause shorter than the threshold tells nothing, however late the question.
    clock.clock.advance(900);
    service.setAnswer(QVariant::fromValue<uint>(50));
    source->ask();
    KIRUVO_TRY_COMPARE_WITH_TIMEOUT(service.calls(), 5, 5000);
    answersAreRead();
    EXPECT_EQ(told.size(), 2u);
    EXPECT_EQ(source->secondsSinceLastInput(), 0);
}

TEST_F(DBusIdleTimeSourceTest, AServiceAnsweringMillisecondsAsKdeDoesIsReadSo)
{
    IdleService& service = standIn(DBusIdleTimeSource::freedesktopScreenSaver());
    auto source = serve(service, DBusIdleTimeSource::freedesktopScreenSaver());
    std::vector<platform::IdleEvent> told;
    source->setEventHandler([&](const platform::IdleEvent& event) { told.push_back(event); });
    const double lastInput = clock.clock.systemUptime() - 1.5;
    const auto answerAt = [&](double at) {
        service.setAnswer(
            QVariant::fromValue<uint>(static_cast<uint>(std::llround((at - lastInput) * 1000))));
    };

    // 1.5 s without input, in milliseconds: no break of 1500 s.
    answerAt(clock.clock.systemUptime());
    source->armWatches(600, std::nullopt);
    KIRUVO_TRY_COMPARE_WITH_TIMEOUT(service.calls(), 1, 5000);
    answersAreRead();
    EXPECT_TRUE(told.empty());
    // It grew a thousand times faster than time: milliseconds.
    clock.clock.advance(platform::PolledIdleEvents::confirmDelay(1500));
    answerAt(clock.clock.systemUptime());
    source->ask();
    KIRUVO_TRY_COMPARE_WITH_TIMEOUT(source->nextQuestionAt(), lastInput + 600, 5000);
    EXPECT_TRUE(told.empty());

    // The break is seen when it is one, from the last input.
    clock.clock.advance(lastInput + 640 - clock.clock.systemUptime());
    answerAt(clock.clock.systemUptime());
    source->ask();
    KIRUVO_TRY_COMPARE_WITH_TIMEOUT(told.size(), std::size_t(1), 5000);
    EXPECT_EQ(told[0].type, platform::IdleEvent::Type::idle);
    EXPECT_NEAR(told[0].uptime, lastInput, 0.001);
    // And the return: input 3 s ago.
    clock.clock.advance(20);
    service.setAnswer(QVariant::fromValue<uint>(3000));
    source->ask();
    KIRUVO_TRY_COMPARE_WITH_TIMEOUT(told.size(), std::size_t(2), 5000);
    EXPECT_EQ(told[1].type, platform::IdleEvent::Type::active);
    EXPECT_NEAR(told[1].uptime, clock.clock.systemUptime() - 3, 0.001);
}

TEST_F(DBusIdleTimeSourceTest, AskingNeverWaitsAndKeepsOneCallInFlight)
{
    IdleService& service = standIn(DBusIdleTimeSource::freedesktopScreenSaver());
    service.setAnswer(QVariant::fromValue<uint>(5));
    service.hold(true);
    auto source = serve(service, DBusIdleTimeSource::freedesktopScreenSaver());
    source->armWatches(600, std::nullopt);
    for (int tick = 0; tick < 20; ++tick) {
        source->ask();
        EXPECT_EQ(source->secondsSinceLastInput(), 0);
        QCoreApplication::processEvents();
    }
    KIRUVO_TRY_COMPARE_WITH_TIMEOUT(service.calls(), 1, 5000);
    QTest::qWait(20);
    EXPECT_EQ(service.calls(), 1);

    service.releaseHeld(*serviceConnection);
    KIRUVO_TRY_COMPARE_WITH_TIMEOUT(source->nextQuestionAt(), clock.clock.systemUptime() + 595, 5000);
}

TEST_F(DBusIdleTimeSourceTest, FailuresTellNothingAndAreLoggedOnce)
{
    IdleService& service = standIn(DBusIdleTimeSource::freedesktopScreenSaver());
    service.setError(QStringLiteral("org.freedesktop.DBus.Error.Failed"));
    auto source = serve(service, DBusIdleTimeSource::freedesktopScreenSaver());
    int told = 0;
    source->setEventHandler([&](const platform::IdleEvent&) { ++told; });
    source->armWatches(600, std::nullopt);
    testing::internal::CaptureStderr();
    // Let several calls fail in turn.
    KIRUVO_TRY_VERIFY_WITH_TIMEOUT((source->ask(), service.calls() >= 4), 5000);
    QTest::qWait(20);
    std::string output = testing::internal::GetCapturedStderr();
    EXPECT_NE(output.find("The test says no."), std::string::npos) << output;
    EXPECT_EQ(output.find("could not be read"), output.rfind("could not be read")) << output;
    EXPECT_EQ(told, 0);
}

TEST_F(DBusIdleTimeSourceTest, AnswersThatAreNoIdleTimeAreRefused)
{
    IdleService& service = standIn(DBusIdleTimeSource::freedesktopScreenSaver());
    auto source = serve(service, DBusIdleTimeSource::freedesktopScreenSaver());
    int told = 0;
    source->setEventHandler([&](const platform::IdleEvent&) { ++told; });
    source->armWatches(1, std::nullopt);
    for (const QVariant& bad :
        { QVariant(QStringLiteral("12")), QVariant(2.5), QVariant::fromValue<qint64>(-5) }) {
        service.setAnswer(bad);
        testing::internal::CaptureStderr();
        const int before = service.calls();
        KIRUVO_TRY_VERIFY_WITH_TIMEOUT((source->ask(), service.calls() >= before + 2), 5000);
        (void)testing::internal::GetCapturedStderr();
        // No figure was ever taken from such an answer, though any would reach a 1 s threshold.
        EXPECT_EQ(told, 0) << bad.toString().toStdString();
    }
}

TEST_F(DBusIdleTimeSourceTest, TheServiceLeavingTheBusAndComingBackIsTold)
{
    IdleService& service = standIn(DBusIdleTimeSource::freedesktopScreenSaver());
    service.setAnswer(QVariant::fromValue<uint>(1));
    auto source = serve(service, DBusIdleTimeSource::freedesktopScreenSaver());
    int changes = 0;
    source->setEventHandler([&](const platform::IdleEvent& event) {
        changes += event.type == platform::IdleEvent::Type::changed ? 1 : 0;
    });
    source->armWatches(600, std::nullopt);
    platform::LogCapture log;
    ASSERT_TRUE(serviceConnection->unregisterService(serviceName));
    KIRUVO_TRY_VERIFY_WITH_TIMEOUT(!source->isAvailable(), 5000);
    EXPECT_EQ(changes, 1);
    ASSERT_TRUE(serviceConnection->registerService(serviceName));
    KIRUVO_TRY_VERIFY_WITH_TIMEOUT(source->isAvailable(), 5000);
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(log.countContaining("org.freedesktop.ScreenSaver is on the session bus again"), 1);
}

TEST_F(DBusIdleTimeSourceTest, AServiceNotOnTheBusAtStartIsNotSaidToBeBackWhenItComes)
{
    IdleService& service = standIn(DBusIdleTimeSource::freedesktopScreenSaver());
    service.setAnswer(QVariant::fromValue<uint>(1));
    ASSERT_TRUE(serviceConnection->unregisterService(serviceName));
    auto source = serve(service, DBusIdleTimeSource::freedesktopScreenSaver());
    source->setAbsent();
    platform::LogCapture log;
    ASSERT_TRUE(serviceConnection->registerService(serviceName));
    KIRUVO_TRY_VERIFY_WITH_TIMEOUT(source->isAvailable(), 5000);
    EXPECT_EQ(log.countContaining("org.freedesktop.ScreenSaver is on the session bus"), 1);
    EXPECT_EQ(log.countContaining("again"), 0);
}

// --- The desktop's screen saver ----------------------------------------------------------------

class ScreenSaverTest : public DBusIdleTimeSourceTest {
protected:
    double now() const { return clock.clock.systemUptime(); }

    // The stand-in, answering in seconds as most desktops do.
    IdleService& screenSaver() { return standIn(inSeconds()); }
    static DBusIdleTimeSource::Service inSeconds()
    {
        auto service = DBusIdleTimeSource::freedesktopScreenSaver();
        service.secondsPerUnit = 1.0;
        return service;
    }

    // The source, armed while the user has been away for `seconds`: it has told the break.
    std::unique_ptr<DBusIdleTimeSource> userAwayFor(IdleService& service, double seconds)
    {
        service.setAnswer(QVariant::fromValue<uint>(static_cast<uint>(seconds)));
        auto source = serve(service, inSeconds());
        source->setEventHandler([this](const platform::IdleEvent& event) { told.push_back(event); });
        source->armWatches(600, std::nullopt);
        EXPECT_TRUE(QTest::qWaitFor([&] { return told.size() == 1; }, 5000));
        answersAreRead();
        EXPECT_TRUE(source->isIdle());
        return source;
    }

    // The service's owner says the screen saver came on or ended, and the source has read it.
    void screenSaverSays(IdleService& service, bool active)
    {
        service.answerActive(active);
        PrivateSessionBus::sendSignal(*serviceConnection, service.activeChanged(path, active));
        answersAreRead();
    }

    std::vector<platform::IdleEvent> told;
};

TEST_F(ScreenSaverTest, WhileTheLockIsOnTheServiceIsStillAskedEverySecondAndTheFirstInputIsTheReturn)
{
    IdleService& service = screenSaver();
    service.answerActive(true);
    auto source = userAwayFor(service, 640);
    screenSaverSays(service, true);
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(source->nextQuestionAt(), now() + platform::PolledIdleEvents::awayInterval);
    for (int second = 1; second <= 3; ++second) {
        clock.clock.advance(platform::PolledIdleEvents::awayInterval);
        service.setAnswer(QVariant::fromValue<uint>(640 + second));
        source->ask();
        KIRUVO_TRY_COMPARE_WITH_TIMEOUT(service.calls(), 1 + second, 5000);
        answersAreRead();
        EXPECT_EQ(source->nextQuestionAt(), now() + platform::PolledIdleEvents::awayInterval);
    }
    EXPECT_EQ(told.size(), 1u);

    // A key pressed on the lock screen: the desktop says nothing of the lock, the next answer tells
    // the return, from that input.
    clock.clock.advance(platform::PolledIdleEvents::awayInterval);
    service.setAnswer(QVariant::fromValue<uint>(0));
    source->ask();
    KIRUVO_TRY_COMPARE_WITH_TIMEOUT(told.size(), std::size_t(2), 5000);
    EXPECT_EQ(told[1].type, platform::IdleEvent::Type::active);
    EXPECT_EQ(told[1].uptime, now());
}

// --- Mutter -----------------------------------------------------------------------------------

class MutterIdleTimeSourceTest : public DBusIdleTimeSourceTest {
protected:
    void SetUp() override
    {
        DBusIdleTimeSourceTest::SetUp();
        if (serviceConnection) {
            mutter = std::make_unique<StandInIdleMonitor>(*serviceConnection);
        }
    }
    std::unique_ptr<platform::MutterIdleTimeSource> serveMutter()
    {
        path = QString::fromLatin1(platform::MutterIdleTimeSource::objectPath);
        EXPECT_TRUE(serviceConnection->registerVirtualObject(path, mutter.get()));
        // The test's bus name stands in for the session manager too; it answers only when the test
        // serves one.
        auto source = std::make_unique<platform::MutterIdleTimeSource>(
            QDBusConnection::sessionBus(), serviceName, serviceName);
        busWatchesForTheSources();
        source->setEventHandler([this](const platform::IdleEvent& event) { told.push_back(event); });
        return source;
    }
    void TearDown() override
    {
        if (serviceConnection) {
            serviceConnection->unregisterObject(path);
        }
        DBusIdleTimeSourceTest::TearDown();
        mutter.reset();
    }

    double now() const { return clock.clock.systemUptime(); }
    // The user's last input was `seconds` ago on the test's clock.
    void userAwayFor(double seconds)
    {
        mutter->input(now() - seconds);
        mutter->reach(now());
    }
    // The test's clock moves on by `seconds`, and Mutter's with it.
    void advance(double seconds)
    {
        clock.clock.advance(seconds);
        mutter->reach(now());
    }

    // Everything Mutter sent before now has been read by the adapter: an answer on the adapter's
    // connection, sent after it, has been.
    void readWhatMutterSent()
    {
        auto message = QDBusMessage::createMethodCall(serviceName, path,
            QString::fromLatin1(platform::MutterIdleTimeSource::interfaceName),
            QStringLiteral("RemoveWatch"));
        message << uint(0);
        readAfter(message);
    }

    std::unique_ptr<StandInIdleMonitor> mutter;
    std::vector<platform::IdleEvent> told;
};

TEST(MutterIdleTimeSourceBusTest, AStalledBusHoldsNothingAndOnlyMutterFiresItsWatches)
{
    PrivateSessionBus bus;
    if (!bus.isRunning()) {
        GTEST_SKIP() << "no dbus-daemon for a private bus";
    }
    platform::fake::ScopedFakeClock clock;
    QDBusConnection mutterConnection = bus.connect(QStringLiteral("mutter"));
    StandInIdleMonitor mutter(mutterConnection);
    const QString objectPath = QString::fromLatin1(platform::MutterIdleTimeSource::objectPath);
    ASSERT_TRUE(mutterConnection.registerVirtualObject(objectPath, &mutter));
    ASSERT_TRUE(mutterConnection.registerService(QStringLiteral("org.gnome.Mutter.IdleMonitor")));
    QDBusConnection app = bus.connect(QStringLiteral("app"));

    std::unique_ptr<platform::MutterIdleTimeSource> source;
    EXPECT_TRUE(bus.finishesWhilePaused([&] {
        source = std::make_unique<platform::MutterIdleTimeSource>(
            app, QStringLiteral("org.gnome.Mutter.IdleMonitor"), QStringLiteral("org.gnome.SessionManager"));
    }));
    std::vector<platform::IdleEvent> told;
    source->setEventHandler([&](const platform::IdleEvent& event) { told.push_back(event); });
    const double now = clock.clock.systemUptime();
    mutter.input(now);
    mutter.reach(now);
    source->armWatches(300, std::nullopt);
    KIRUVO_TRY_COMPARE_WITH_TIMEOUT(mutter.idleWatchIntervals(), std::vector<quint64> { 300000 }, 5000);

    // Another process firing the idle watch on Mutter's path tells nothing; Mutter's own firing does.
    for (uint id = 1; id <= 2; ++id) {
        PrivateSessionBus::sendSignal(bus.connect(QStringLiteral("other")),
            QDBusMessage::createSignal(objectPath,
                QString::fromLatin1(platform::MutterIdleTimeSource::interfaceName),
                QStringLiteral("WatchFired"))
                << id);
    }
    clock.clock.advance(300);
    mutter.reach(clock.clock.systemUptime());
    KIRUVO_TRY_COMPARE_WITH_TIMEOUT(told.size(), std::size_t(1), 5000);
    EXPECT_EQ(told[0].type, platform::IdleEvent::Type::idle);
    EXPECT_EQ(told[0].uptime, now);
}

TEST_F(MutterIdleTimeSourceTest, TheIdleWatchTellsIdleAndAUserActiveWatchTellsTheReturn)
{
    userAwayFor(1);
    auto source = serveMutter();
    EXPECT_EQ(source->kind(), IdleTimeSource::Kind::thresholdEvents);
    source->armWatches(300, std::nullopt);
    KIRUVO_TRY_COMPARE_WITH_TIMEOUT(mutter->idleWatchIntervals(), std::vector<quint64> { 300000 }, 5000);
    QTest::qWait(20);
    EXPECT_TRUE(told.empty()) << "1 s idle is no break";

    advance(299);
    KIRUVO_TRY_COMPARE_WITH_TIMEOUT(told.size(), std::size_t(1), 5000);
    EXPECT_EQ(told[0].type, platform::IdleEvent::Type::idle);
    EXPECT_EQ(told[0].uptime, now() - 300);
    KIRUVO_TRY_COMPARE_WITH_TIMEOUT(mutter->activeWatchCount(), std::size_t(1), 5000);

    advance(500);
    mutter->input(now());
    KIRUVO_TRY_COMPARE_WITH_TIMEOUT(told.size(), std::size_t(2), 5000);
    EXPECT_EQ(told[1].type, platform::IdleEvent::Type::active);
    EXPECT_EQ(told[1].uptime, now());
    EXPECT_FALSE(source->isIdle());

    // A new threshold replaces the idle watch.
    source->armWatches(60, std::nullopt);
    KIRUVO_TRY_COMPARE_WITH_TIMEOUT(mutter->idleWatchIntervals(), std::vector<quint64> { 60000 }, 5000);
}

TEST_F(MutterIdleTimeSourceTest, ArmedWhenTheUserIsAwayAlreadyTellsTheLastInputOrWaitsForTheReturn)
{
    userAwayFor(700);
    auto source = serveMutter();
    // Mutter fires the idle watch at once, as it is past due: told once only, from the last input.
    source->armWatches(600, std::nullopt);
    KIRUVO_TRY_COMPARE_WITH_TIMEOUT(told.size(), std::size_t(1), 5000);
    EXPECT_EQ(told[0].type, platform::IdleEvent::Type::idle);
    EXPECT_EQ(told[0].uptime, now() - 700);
    QTest::qWait(50);
    EXPECT_EQ(told.size(), 1u);

    // Armed again while away, with a higher threshold: the return is still told.
    source->armWatches(900, told[0].uptime);
    KIRUVO_TRY_COMPARE_WITH_TIMEOUT(mutter->activeWatchCount(), std::size_t(1), 5000);
    mutter->input(now());
    KIRUVO_TRY_COMPARE_WITH_TIMEOUT(told.size(), std::size_t(2), 5000);
    EXPECT_EQ(told[1].type, platform::IdleEvent::Type::active);
}

TEST_F(MutterIdleTimeSourceTest, AnIdleWatchFiringBeforeItsIdIsReadIsNoReturn)
{
    // Armed while away, with a threshold the pause has passed: the user-active watch is asked for,
    // and the new idle watch fires at once, its firing read before either answer names its watch.
    userAwayFor(700);
    auto source = serveMutter();
    mutter->holdWatchAnswers();
    source->armWatches(600, now() - 700);
    ASSERT_TRUE(QTest::qWaitFor([&] { return mutter->heldWatchAnswers() == 2; }, 5000));
    readWhatMutterSent();
    EXPECT_EQ(mutter->releaseWatchAnswers(), 2u);
    readWhatMutterSent();
    EXPECT_TRUE(told.empty()) << "the idle watch's firing was taken for input";
    EXPECT_TRUE(source->isIdle());

    // The user-active watch still tells the return.
    mutter->input(now());
    KIRUVO_TRY_COMPARE_WITH_TIMEOUT(told.size(), std::size_t(1), 5000);
    EXPECT_EQ(told[0].type, platform::IdleEvent::Type::active);
    EXPECT_EQ(told[0].uptime, now());
}

TEST_F(MutterIdleTimeSourceTest, AnIdleTimeAnswerReadAfterTheIdleWatchStillDatesTheBreak)
{
    const auto toldCount
        = [this](std::size_t count) { return QTest::qWaitFor([&] { return told.size() == count; }, 5000); };
    // Armed with the answer to the idle time held back until the idle watch, past due, has fired.
    const auto armWithALateAnswer = [&](platform::MutterIdleTimeSource& source) {
        mutter->holdIdleTimeAnswers();
        source.armWatches(600, std::nullopt);
        return QTest::qWaitFor(
            [&] { return mutter->heldIdleTimeAnswers() == 1 && mutter->idleWatchIntervals().size() == 1; },
            5000);
    };

    // Away already when armed: Mutter answers the idle time first, but the answer is read after the
    // watch's firing.
    userAwayFor(700);
    auto source = serveMutter();
    ASSERT_TRUE(armWithALateAnswer(*source));
    ASSERT_FALSE(mutter->nextFiring());
    readWhatMutterSent();
    EXPECT_TRUE(told.empty()) << "the break is dated by the answer, which is on its way";
    EXPECT_EQ(mutter->releaseIdleTimeAnswers(), 1u);
    ASSERT_TRUE(toldCount(1));
    EXPECT_EQ(told[0].type, platform::IdleEvent::Type::idle);
    EXPECT_EQ(told[0].uptime, now() - 700) << "the last input, not the threshold ago";

    // Asked just before the threshold is reached, the answer falls short of it; the watch that
    // fires meanwhile dates the break.
    ASSERT_TRUE(QTest::qWaitFor([&] { return mutter->activeWatchCount() == 1; }, 5000));
    mutter->input(now());
    ASSERT_TRUE(toldCount(2));
    advance(599.5);
    ASSERT_TRUE(armWithALateAnswer(*source));
    advance(0.5);
    ASSERT_FALSE(mutter->nextFiring());
    readWhatMutterSent();
    EXPECT_EQ(told.size(), 2u);
    EXPECT_EQ(mutter->releaseIdleTimeAnswers(), 1u);
    ASSERT_TRUE(toldCount(3));
    EXPECT_EQ(told[2].type, platform::IdleEvent::Type::idle);
    EXPECT_EQ(told[2].uptime, now() - 600);
    QTest::qWait(20);
    EXPECT_EQ(told.size(), 3u);
}

TEST_F(MutterIdleTimeSourceTest, WhileIdleIsInhibitedTheIdleTimeIsAskedForOnlyWhenItCouldReachTheThreshold)
{
    platform::LogCapture log;
    StandInSessionManager sessionManager(*serviceConnection);
    ASSERT_TRUE(sessionManager.isServing());
    userAwayFor(1);
    auto source = serveMutter();
    source->armWatches(600, std::nullopt);
    KIRUVO_TRY_COMPARE_WITH_TIMEOUT(mutter->idleWatchIntervals(), std::vector<quint64> { 600000 }, 5000);
    QTest::qWait(20);
    EXPECT_FALSE(source->isIdleInhibited());
    EXPECT_EQ(source->nextQuestionAt(), std::nullopt) << "the watches serve: nothing is asked";

    // A video starts playing while the user has been away for longer than the threshold already:
    // Mutter's idle watch stays silent, and the idle time tells the break.
    mutter->setIdleInhibited(true, now());
    advance(699);
    sessionManager.setInhibitedActions(StandInSessionManager::idleInhibited | 2);
    KIRUVO_TRY_COMPARE_WITH_TIMEOUT(told.size(), std::size_t(1), 5000);
    EXPECT_EQ(told[0].type, platform::IdleEvent::Type::idle);
    EXPECT_EQ(told[0].uptime, now() - 700);
    EXPECT_TRUE(source->isIdleInhibited());
    EXPECT_EQ(source->nextQuestionAt(), std::nullopt) << "away: the user-active watch tells the return";
    EXPECT_EQ(log.countContaining("Another application inhibits idle"), 1);

    // Inhibitors leave user-active watches alone. Back: whether input goes on is asked shortly.
    KIRUVO_TRY_COMPARE_WITH_TIMEOUT(mutter->activeWatchCount(), std::size_t(1), 5000);
    mutter->input(now());
    KIRUVO_TRY_COMPARE_WITH_TIMEOUT(told.size(), std::size_t(2), 5000);
    EXPECT_EQ(told[1].type, platform::IdleEvent::Type::active);
    EXPECT_EQ(source->nextQuestionAt(), now() + platform::MutterIdleTimeSource::inputCheckInterval);
    EXPECT_EQ(source->lastInput(), std::nullopt);

    // Input the gone watch could not tell: the question finds it, with a new watch asked for
    // before it, and the next falls due when the figure could first reach the threshold.
    advance(3);
    mutter->input(now());
    advance(2);
    source->ask();
    KIRUVO_TRY_COMPARE_WITH_TIMEOUT(source->nextQuestionAt(), now() + 598, 5000);
    EXPECT_EQ(source->lastInput(), now() - 2) << "vouched for by the watch";
    EXPECT_EQ(mutter->activeWatchCount(), 1u);
    EXPECT_EQ(told.size(), 2u);
    // A break: told from the last input.
    advance(598);
    source->ask();
    KIRUVO_TRY_COMPARE_WITH_TIMEOUT(told.size(), std::size_t(3), 5000);
    EXPECT_EQ(told[2].type, platform::IdleEvent::Type::idle);
    EXPECT_EQ(told[2].uptime, now() - 600);
    KIRUVO_TRY_COMPARE_WITH_TIMEOUT(mutter->activeWatchCount(), std::size_t(1), 5000);
    mutter->input(now());
    KIRUVO_TRY_COMPARE_WITH_TIMEOUT(told.size(), std::size_t(4), 5000);

    // The inhibitor lets go at that input: Mutter counts afresh from its end, and the input the
    // watch saw stays the last one known; nothing more is asked but once, a threshold after it. The
    // idle watch held back so far fires late, and is dated by the figure.
    mutter->setIdleInhibited(false, now());
    sessionManager.setInhibitedActions(2);
    KIRUVO_TRY_VERIFY_WITH_TIMEOUT(!source->isIdleInhibited(), 5000);
    KIRUVO_TRY_COMPARE_WITH_TIMEOUT(source->nextQuestionAt(), std::optional(now() + 600), 5000);
    advance(650);
    KIRUVO_TRY_COMPARE_WITH_TIMEOUT(told.size(), std::size_t(5), 5000);
    EXPECT_EQ(told[4].uptime, now() - 650);
}

TEST_F(MutterIdleTimeSourceTest, WithoutASessionManagerIdleCountsAsNotInhibited)
{
    userAwayFor(1);
    auto source = serveMutter();
    source->armWatches(600, std::nullopt);
    KIRUVO_TRY_COMPARE_WITH_TIMEOUT(mutter->idleWatchIntervals(), std::vector<quint64> { 600000 }, 5000);
    QTest::qWait(50);
    EXPECT_FALSE(source->isIdleInhibited());
    EXPECT_EQ(source->nextQuestionAt(), std::nullopt);
    EXPECT_TRUE(told.empty());
}

TEST_F(MutterIdleTimeSourceTest, MutterLeavingTheBusAndComingBackIsTold)
{
    auto source = serveMutter();
    source->armWatches(600, std::nullopt);
    platform::LogCapture log;
    ASSERT_TRUE(serviceConnection->unregisterService(serviceName));
    KIRUVO_TRY_VERIFY_WITH_TIMEOUT(!source->isAvailable(), 5000);
    ASSERT_TRUE(serviceConnection->registerService(serviceName));
    KIRUVO_TRY_VERIFY_WITH_TIMEOUT(source->isAvailable(), 5000);
    ASSERT_EQ(told.size(), 2u);
    EXPECT_EQ(told[0].type, platform::IdleEvent::Type::changed);
    EXPECT_EQ(told[1].type, platform::IdleEvent::Type::changed);
    EXPECT_EQ(log.countContaining("GNOME Mutter's IdleMonitor is on the session bus again"), 1);
}

TEST_F(MutterIdleTimeSourceTest, MutterNotOnTheBusYetTakesOverWhenItComes)
{
    // The shell has not started yet: the stand-in's name is not on the bus.
    ASSERT_TRUE(serviceConnection->unregisterService(serviceName));
    auto made = serveMutter();
    platform::LogCapture log;
    made->probe(5000);
    KIRUVO_TRY_VERIFY_WITH_TIMEOUT(!made->isAsking(), 5000);
    EXPECT_FALSE(made->isAvailable());
    EXPECT_EQ(log.countContaining("it is used once it comes on the session bus"), 1);
    told.clear();
    platform::MutterIdleTimeSource* mutterSource = made.get();
    std::vector<std::unique_ptr<IdleTimeSource>> members;
    members.push_back(std::move(made));
    members.push_back(std::make_unique<platform::fake::FakeIdleTimeSource>());
    platform::FallbackIdleTimeSource chain(std::move(members));
    EXPECT_EQ(chain.name(), "fake");
    int changes = 0;
    chain.setEventHandler([&](const platform::IdleEvent& event) {
        changes += event.type == platform::IdleEvent::Type::changed ? 1 : 0;
    });

    ASSERT_TRUE(serviceConnection->registerService(serviceName));
    KIRUVO_TRY_COMPARE_WITH_TIMEOUT(chain.active(), static_cast<IdleTimeSource*>(mutterSource), 5000);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(chain.kind(), IdleTimeSource::Kind::thresholdEvents);
    EXPECT_EQ(log.countContaining("Idle time now comes from GNOME Mutter IdleMonitor instead of fake"), 1);
    // Its first arrival: nothing says it is back.
    EXPECT_EQ(log.countContaining("GNOME Mutter's IdleMonitor is on the session bus"), 1);
    EXPECT_EQ(log.countContaining("again"), 0);
    // Armed through the chain, the watch is Mutter's.
    chain.armWatches(600, std::nullopt);
    KIRUVO_TRY_COMPARE_WITH_TIMEOUT(mutter->idleWatchIntervals(), std::vector<quint64> { 600000 }, 5000);
}

// --- Asked at start ---------------------------------------------------------------------------

TEST_F(DBusIdleTimeSourceTest, TheFirstQuestionIsAskedWithoutWaitingAndItsAnswerDecides)
{
    struct Case {
        const char* name;
        std::function<void(IdleService&)> serviceSays;
        bool available;
    };
    const std::vector<Case> cases {
        { "a number", [](IdleService& service) { service.setAnswer(QVariant::fromValue<uint>(12)); }, true },
        { "no number", [](IdleService& service) { service.setAnswer(QStringLiteral("12")); }, false },
        { "an error",
            [](IdleService& service) {
                service.setError(QStringLiteral("org.freedesktop.DBus.Error.Failed"));
            },
            false },
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        IdleService& service = standIn(DBusIdleTimeSource::freedesktopScreenSaver());
        service.hold(true);
        test.serviceSays(service);
        auto source = serve(service, DBusIdleTimeSource::freedesktopScreenSaver());
        std::vector<platform::IdleEvent::Type> told;
        source->setEventHandler([&](const platform::IdleEvent& event) { told.push_back(event.type); });
        source->probe(5000);
        // Neither answering nor missing while the question is held.
        KIRUVO_TRY_COMPARE_WITH_TIMEOUT(service.calls(), 1, 5000);
        EXPECT_TRUE(source->isAsking());
        EXPECT_FALSE(source->isAvailable());
        EXPECT_TRUE(told.empty());

        service.releaseHeld(*serviceConnection);
        KIRUVO_TRY_VERIFY_WITH_TIMEOUT(!source->isAsking(), 5000);
        EXPECT_EQ(source->isAvailable(), test.available);
        EXPECT_EQ(told, std::vector<platform::IdleEvent::Type> { platform::IdleEvent::Type::changed });
        serviceConnection->unregisterObject(path);
    }
}

TEST_F(DBusIdleTimeSourceTest, AServiceMissingAtStartIsWaitedForAndOneThatComesWhileAskedIsTaken)
{
    IdleService& service = standIn(DBusIdleTimeSource::freedesktopScreenSaver());
    service.setAnswer(QVariant::fromValue<uint>(1));
    service.hold(true);
    ASSERT_TRUE(serviceConnection->unregisterService(serviceName));
    auto source = serve(service, DBusIdleTimeSource::freedesktopScreenSaver());
    platform::LogCapture log;
    source->probe(5000);
    KIRUVO_TRY_VERIFY_WITH_TIMEOUT(!source->isAsking(), 5000);
    EXPECT_FALSE(source->isAvailable());
    EXPECT_EQ(log.countContaining("ServiceUnknown"), 1);
    EXPECT_EQ(log.countContaining("it is used once it comes on the session bus"), 1);
    ASSERT_TRUE(serviceConnection->registerService(serviceName));
    KIRUVO_TRY_VERIFY_WITH_TIMEOUT(source->isAvailable(), 5000);

    // Asked again while the name is let go and taken back: the service that came is used, and the
    // answer to the question sent before it came changes nothing.
    auto onTheTestsBus = DBusIdleTimeSource::freedesktopScreenSaver();
    onTheTestsBus.name = serviceName;
    auto again = std::make_unique<DBusIdleTimeSource>(QDBusConnection::sessionBus(), onTheTestsBus);
    again->probe(5000);
    KIRUVO_TRY_COMPARE_WITH_TIMEOUT(service.calls(), 1, 5000);
    ASSERT_TRUE(serviceConnection->unregisterService(serviceName));
    ASSERT_TRUE(serviceConnection->registerService(serviceName));
    KIRUVO_TRY_VERIFY_WITH_TIMEOUT(again->isAvailable(), 5000);
    EXPECT_FALSE(again->isAsking());
    service.setError(QStringLiteral("org.freedesktop.DBus.Error.Failed"));
    service.releaseHeld(*serviceConnection);
    service.hold(false);
    readAfter(
        QDBusMessage::createMethodCall(serviceName, path, onTheTestsBus.interface, onTheTestsBus.method));
    EXPECT_TRUE(again->isAvailable());
}

TEST_F(DBusIdleTimeSourceTest, AServiceThatAnswersTheFirstQuestionAndThenLeavesIsWaitedFor)
{
    IdleService& service = standIn(DBusIdleTimeSource::freedesktopScreenSaver());
    service.setAnswer(QVariant::fromValue<uint>(1));
    service.hold(true);
    auto source = serve(service, DBusIdleTimeSource::freedesktopScreenSaver());
    std::vector<platform::IdleEvent::Type> told;
    source->setEventHandler([&](const platform::IdleEvent& event) { told.push_back(event.type); });
    source->probe(5000);
    KIRUVO_TRY_COMPARE_WITH_TIMEOUT(service.calls(), 1, 5000);
    // The answer is on its way when the service leaves: the bus sends the answer first.
    service.releaseHeld(*serviceConnection);
    ASSERT_TRUE(serviceConnection->unregisterService(serviceName));
    readAfter(QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"),
        QStringLiteral("/org/freedesktop/DBus"), QStringLiteral("org.freedesktop.DBus"),
        QStringLiteral("GetId")));
    EXPECT_FALSE(source->isAsking());
    EXPECT_FALSE(source->isAvailable()) << "a service gone from the bus is not used";
    EXPECT_FALSE(told.empty());

    // And it is used again once it comes back.
    ASSERT_TRUE(serviceConnection->registerService(serviceName));
    KIRUVO_TRY_VERIFY_WITH_TIMEOUT(source->isAvailable(), 5000);
}

// Sets an environment variable, or removes it, for as long as it lives.
class EnvironmentVariable {
public:
    EnvironmentVariable(const char* name, const char* value)
        : m_name(name)
        , m_wasSet(qEnvironmentVariableIsSet(name))
        , m_saved(qgetenv(name))
    {
        if (value) {
            qputenv(name, value);
        } else {
            qunsetenv(name);
        }
    }
    ~EnvironmentVariable()
    {
        if (m_wasSet) {
            qputenv(m_name, m_saved);
        } else {
            qunsetenv(m_name);
        }
    }

private:
    const char* m_name;
    bool m_wasSet;
    QByteArray m_saved;
};

// The desktop's services stand in on a bus of the test's own: on the shared one, the idle sources of
// other test programs running meanwhile would see Mutter come and ask it too.
// An X11 session without a display, whose screen saver stands in on the bus: Mutter, when it is there
// too, comes first, the screen saver after it.
class DefaultIdleTimeSourceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!bus.isRunning()) {
            GTEST_SKIP() << "no dbus-daemon for a private bus";
        }
        desktop = bus.connect(QStringLiteral("desktop"));
        application = bus.connect(QStringLiteral("application"));
        ASSERT_TRUE(desktop.registerVirtualObject(screenSaver.path, &screenSaverService));
        ASSERT_TRUE(desktop.registerService(screenSaver.name));
    }
    void TearDown() override
    {
        if (bus.isRunning()) {
            desktop.unregisterObject(screenSaver.path);
        }
    }

    PrivateSessionBus bus;
    EnvironmentVariable display { "DISPLAY", nullptr };
    EnvironmentVariable wayland { "WAYLAND_DISPLAY", nullptr };
    EnvironmentVariable session { "XDG_SESSION_TYPE", "x11" };
    const DBusIdleTimeSource::Service screenSaver = DBusIdleTimeSource::freedesktopScreenSaver();
    IdleService screenSaverService { screenSaver };
    QDBusConnection desktop { QString() };
    QDBusConnection application { QString() };
};

TEST_F(DefaultIdleTimeSourceTest, AtStartTheDesktopsServicesAreAskedWithoutWaitingAndTheBestThatAnswersIsUsed)
{
    const QString mutterName = QString::fromLatin1(platform::MutterIdleTimeSource::serviceName);
    screenSaverService.setAnswer(QVariant::fromValue<uint>(0));

    for (const bool mutterAnswers : { true, false }) {
        SCOPED_TRACE(mutterAnswers ? "Mutter answers" : "Mutter's call times out");
        // A compositor busy at login: its answer waits for the test.
        HeldRepliesService mutter(
            desktop, mutterName, QString::fromLatin1(platform::MutterIdleTimeSource::objectPath));
        ASSERT_TRUE(mutter.isServing());
        platform::LogCapture log;
        const int screenSaverCalls = screenSaverService.calls();
        // Longer than any test: the test says when Mutter's call ends, however slow the machine.
        auto source = IdleTimeSource::createDefault(application, 60000);
        int changes = 0;
        source->setEventHandler([&](const platform::IdleEvent& event) {
            changes += event.type == platform::IdleEvent::Type::changed ? 1 : 0;
        });
        KIRUVO_TRY_COMPARE_WITH_TIMEOUT(mutter.heldCalls().size(), qsizetype(1), 5000);
        EXPECT_EQ(mutter.heldCalls().front().member(), "GetIdletime");
        // The screen saver has answered by now, but Mutter is preferred and still asked.
        KIRUVO_TRY_COMPARE_WITH_TIMEOUT(screenSaverService.calls(), screenSaverCalls + 1, 5000);
        PrivateSessionBus::callServing(application,
            QDBusMessage::createMethodCall(
                screenSaver.name, screenSaver.path, screenSaver.interface, screenSaver.method));
        EXPECT_TRUE(source->isAsking());
        EXPECT_FALSE(source->isAvailable());
        EXPECT_EQ(changes, 0);
        EXPECT_EQ(log.countContaining("Idle time comes from"), 0);

        if (mutterAnswers) {
            mutter.answerOldest({ QVariant::fromValue<qulonglong>(1000) });
        } else {
            // What the bus hands back to a call that ran out of time.
            mutter.failOldest(QStringLiteral("org.freedesktop.DBus.Error.NoReply"));
        }
        KIRUVO_TRY_VERIFY_WITH_TIMEOUT(!source->isAsking(), 5000);
        EXPECT_TRUE(source->isAvailable());
        EXPECT_EQ(source->name(), mutterAnswers ? "GNOME Mutter IdleMonitor" : "org.freedesktop.ScreenSaver");
        EXPECT_EQ(changes, 1);
        EXPECT_EQ(
            log.countContaining("Idle time comes from " + source->name() + " (in order of preference"), 1);
        if (mutterAnswers) {
            EXPECT_EQ(mutter.heldCalls().size(), 0) << "Mutter was asked once";
            continue;
        }
        // On the bus but slow: asked again, and used once it answers, as GNOME Wayland has nothing
        // else. Each call that runs out of time is followed by one more, never two at once.
        for (int timedOut = 0; timedOut < 2; ++timedOut) {
            KIRUVO_TRY_COMPARE_WITH_TIMEOUT(mutter.heldCalls().size(), qsizetype(1), 5000);
            EXPECT_EQ(mutter.heldCalls().front().member(), "GetIdletime");
            mutter.failOldest(QStringLiteral("org.freedesktop.DBus.Error.NoReply"));
        }
        KIRUVO_TRY_COMPARE_WITH_TIMEOUT(mutter.heldCalls().size(), qsizetype(1), 5000);
        EXPECT_EQ(source->name(), "org.freedesktop.ScreenSaver");
        EXPECT_EQ(changes, 1);
        mutter.answerOldest({ QVariant::fromValue<qulonglong>(1000) });
        KIRUVO_TRY_COMPARE_WITH_TIMEOUT(source->name(), std::string("GNOME Mutter IdleMonitor"), 5000);
        EXPECT_EQ(changes, 2);
        EXPECT_EQ(log.countContaining("Idle time now comes from GNOME Mutter IdleMonitor instead of "
                                      "org.freedesktop.ScreenSaver"),
            1);
        EXPECT_EQ(log.countContaining("GNOME Mutter's IdleMonitor does not answer"), 1) << "logged once";
        EXPECT_EQ(mutter.heldCalls().size(), 0);
    }
}

// The last source of every order, where a desktop offers nothing else: too busy at login to answer in
// time, it is asked again, and used once it answers.
TEST_F(DefaultIdleTimeSourceTest,
    AScreenSaverTooSlowForTheFirstQuestionIsAskedAgainWaitingLongerAndUsedOnceItAnswers)
{
    // Without Mutter: the screen saver alone is there.
    IdleService& service = screenSaverService;
    service.setAnswer(QVariant::fromValue<uint>(3));
    service.hold(true);

    platform::LogCapture log;
    QElapsedTimer sinceStart;
    sinceStart.start();
    // Each call waits 100 ms, then 200, 400, ... for its answer.
    auto source = IdleTimeSource::createDefault(application, 100);
    int changes = 0;
    source->setEventHandler([&](const platform::IdleEvent& event) {
        changes += event.type == platform::IdleEvent::Type::changed ? 1 : 0;
    });
    KIRUVO_TRY_VERIFY_WITH_TIMEOUT(!source->isAsking(), 5000);
    EXPECT_FALSE(source->isAvailable());
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(log.countContaining("org.freedesktop.ScreenSaver does not answer "
                                  "(org.freedesktop.DBus.Error.NoReply"),
        1);

    // One call at a time, each waiting twice as long as the one before: the third is sent no sooner
    // than the first two have run out.
    KIRUVO_TRY_COMPARE_WITH_TIMEOUT(service.calls(), 3, 5000);
    EXPECT_GE(sinceStart.elapsed(), 100 + 200);
    EXPECT_FALSE(source->isAvailable());
    // Answers late: the fourth question, sent once the third has waited 400 ms, is answered.
    service.hold(false);
    KIRUVO_TRY_VERIFY_WITH_TIMEOUT(source->isAvailable(), 10000);
    EXPECT_GE(sinceStart.elapsed(), 100 + 200 + 400);
    EXPECT_EQ(service.calls(), 4);
    EXPECT_EQ(source->name(), "org.freedesktop.ScreenSaver");
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(log.countContaining("org.freedesktop.ScreenSaver answers now"), 1);
    EXPECT_EQ(log.countContaining("org.freedesktop.ScreenSaver does not answer"), 1) << "logged once";

    // The answers to the questions given up change nothing, and nothing more is asked.
    service.releaseHeld(desktop);
    // Answered by the service's connection after them.
    PrivateSessionBus::callServing(application,
        QDBusMessage::createMethodCall(screenSaver.name, screenSaver.path,
            QStringLiteral("org.freedesktop.DBus.Peer"), QStringLiteral("Ping")));
    EXPECT_TRUE(source->isAvailable());
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(service.calls(), 4);
}

TEST_F(MutterIdleTimeSourceTest, AHungMutterIsGivenUpAfterTheTimeoutAndTheNextSourceIsUsed)
{
    // Takes every call and answers none, as a hung compositor does.
    HeldRepliesService hung(
        *serviceConnection, serviceName, QString::fromLatin1(platform::MutterIdleTimeSource::objectPath));
    ASSERT_TRUE(hung.isServing());
    auto made = std::make_unique<platform::MutterIdleTimeSource>(
        QDBusConnection::sessionBus(), serviceName, serviceName);
    platform::MutterIdleTimeSource* mutterSource = made.get();
    std::vector<std::unique_ptr<IdleTimeSource>> members;
    members.push_back(std::move(made));
    members.push_back(std::make_unique<platform::fake::FakeIdleTimeSource>());
    // The bus's own timeout ends the call; short, so that the test waits little for it.
    mutterSource->probe(50);
    platform::LogCapture log;
    platform::FallbackIdleTimeSource chain(std::move(members));
    int changes = 0;
    chain.setEventHandler([&](const platform::IdleEvent& event) {
        changes += event.type == platform::IdleEvent::Type::changed ? 1 : 0;
    });
    EXPECT_TRUE(chain.isAsking());
    EXPECT_FALSE(chain.isAvailable());
    EXPECT_EQ(chain.active(), nullptr) << "the fallback waits for the preferred one";

    KIRUVO_TRY_VERIFY_WITH_TIMEOUT(!chain.isAsking(), 5000);
    EXPECT_EQ(chain.name(), "fake");
    EXPECT_EQ(changes, 1);
    EXPECT_FALSE(mutterSource->isAvailable());
    EXPECT_EQ(
        log.countContaining("GNOME Mutter's IdleMonitor does not answer (org.freedesktop.DBus.Error.NoReply"),
        1);
    EXPECT_EQ(log.countContaining("used once it comes"), 0) << "it is there, and failed";
    EXPECT_EQ(log.countContaining("Idle time comes from fake (in order of preference: GNOME Mutter "
                                  "IdleMonitor once it answers, fake)"),
        1);
}

} // namespace
