#include "platform/linux/WaylandIdleTimeSource.h"

#include "platform/Logger.h"
#include "platform/fake/FakeClock.h"

#include "support/StandInIdleCompositor.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

using platform::InputEventType;
using platform::WaylandIdleTimeSource;

namespace {

class WaylandIdleTimeSourceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_runtime.isValid());
        m_savedRuntime = qgetenv("XDG_RUNTIME_DIR");
        qputenv("XDG_RUNTIME_DIR", m_runtime.path().toLocal8Bit());
    }
    void TearDown() override { qputenv("XDG_RUNTIME_DIR", m_savedRuntime); }

    // Serves events until `done` holds or two seconds have passed.
    static bool serveUntil(const std::function<bool()>& done) { return QTest::qWaitFor(done, 2000); }

    double now() const { return fake.clock.systemUptime(); }
    // Time passes for the test and the compositor alike; what the compositor says is read.
    void pass(StandInIdleCompositor& compositor, double seconds)
    {
        const double until = now() + seconds;
        for (auto due = compositor.nextIdledAt(); due && *due <= until; due = compositor.nextIdledAt()) {
            fake.clock.advance(std::max(0.0, *due - now()));
            compositor.advanceTo(now());
            settle();
        }
        fake.clock.advance(until - now());
        compositor.advanceTo(now());
        settle();
    }
    void input(StandInIdleCompositor& compositor)
    {
        compositor.input(now());
        settle();
    }
    // The compositor's events have been sent when its calls return: reading them takes a look at
    // the connection, and the answers they cause reach the compositor before its next call.
    static void settle()
    {
        for (int i = 0; i < 3; ++i) {
            QCoreApplication::processEvents();
        }
    }
    using Live = StandInIdleCompositor::Live;

    platform::fake::ScopedFakeClock fake;
    QTemporaryDir m_runtime;
    QByteArray m_savedRuntime;
    platform::LogCapture m_log;
};

} // namespace

TEST_F(WaylandIdleTimeSourceTest, IdledIsIdleSinceTheLastInputAndResumedIsActiveNow)
{
    StandInIdleCompositor compositor("kiruvo-test", 2, now());
    ASSERT_TRUE(compositor.isListening());
    std::string error;
    auto source = WaylandIdleTimeSource::open("kiruvo-test", &error);
    ASSERT_NE(source, nullptr) << error;
    EXPECT_EQ(source->name(), "Wayland ext-idle-notify-v1");
    EXPECT_EQ(source->kind(), platform::IdleTimeSource::Kind::thresholdEvents);
    EXPECT_FALSE(source->distinguishesEventTypes());
    EXPECT_TRUE(source->countsInputAlone());
    EXPECT_EQ(compositor.live(), (std::vector<Live> { { 2000, true }, { 180000, true } }));
    std::vector<platform::IdleEvent> told;
    source->setEventHandler([&](const platform::IdleEvent& event) { told.push_back(event); });

    // The engine's threshold replaces the notification; the pause mark stays.
    source->armWatches(600, std::nullopt);
    EXPECT_EQ(compositor.liveTimeouts(), (std::vector<uint32_t> { 2000, 600000 }));
    source->armWatches(std::numeric_limits<double>::quiet_NaN(), std::nullopt);
    source->armWatches(0, std::nullopt);
    EXPECT_EQ(source->idleThreshold(), 600);

    const double lastInput = now();
    input(compositor);
    EXPECT_EQ(source->secondsSinceLastInput(), 0);
    pass(compositor, 100);
    EXPECT_EQ(source->secondsSinceLastInput(), 100) << "a pause is known from its mark";
    EXPECT_TRUE(told.empty());

    pass(compositor, 500);
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0].type, platform::IdleEvent::Type::idle);
    EXPECT_EQ(told[0].uptime, lastInput);
    EXPECT_TRUE(source->isIdle());
    pass(compositor, 42);
    for (const auto type : platform::userInputEventTypes) {
        EXPECT_EQ(source->secondsSinceLastEvent(type), 642);
    }

    input(compositor);
    ASSERT_EQ(told.size(), 2u);
    EXPECT_EQ(told[1].type, platform::IdleEvent::Type::active);
    EXPECT_EQ(told[1].uptime, lastInput + 642);
    EXPECT_EQ(source->secondsSinceLastEvent(InputEventType::keyDown), 0);
}

TEST_F(WaylandIdleTimeSourceTest, ABreakWhileAnotherClientInhibitsIdleIsSeenWithInputIdleNotifications)
{
    for (const uint32_t version : { 2u, 1u }) {
        const std::string socket = "kiruvo-inhibit-" + std::to_string(version);
        StandInIdleCompositor compositor(socket.c_str(), version, now());
        auto source = WaylandIdleTimeSource::open(socket.c_str());
        ASSERT_NE(source, nullptr);
        EXPECT_EQ(source->countsInputAlone(), version >= 2);
        std::vector<platform::IdleEvent> told;
        source->setEventHandler([&](const platform::IdleEvent& event) { told.push_back(event); });
        source->armWatches(300, std::nullopt);
        compositor.setIdleInhibited(true, now()); // a video plays
        const double lastInput = now();
        input(compositor);
        pass(compositor, 400);
        if (version >= 2) {
            ASSERT_EQ(told.size(), 1u);
            EXPECT_EQ(told[0].uptime, lastInput);
        } else {
            // Version 1 knows no better, and the log says so once.
            EXPECT_TRUE(told.empty());
            EXPECT_EQ(m_log.countContaining("ext-idle-notify version 1 only"), 1);
        }
    }
}

TEST_F(WaylandIdleTimeSourceTest, ArmedAgainDuringAPauseTheBreakStillEndsAtTheLastInput)
{
    StandInIdleCompositor compositor("kiruvo-rearm", 2, now());
    auto source = WaylandIdleTimeSource::open("kiruvo-rearm");
    ASSERT_NE(source, nullptr);
    std::vector<platform::IdleEvent> told;
    source->setEventHandler([&](const platform::IdleEvent& event) { told.push_back(event); });
    source->armWatches(60, std::nullopt);

    // Raised 30 s into a pause: the break is seen 600 s after the last input, dated there.
    double lastInput = now();
    input(compositor);
    pass(compositor, 30);
    source->armWatches(600, std::nullopt);
    EXPECT_EQ(compositor.liveTimeouts(), (std::vector<uint32_t> { 2000, 570000 }));
    pass(compositor, 569);
    EXPECT_TRUE(told.empty());
    pass(compositor, 1);
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0].type, platform::IdleEvent::Type::idle);
    EXPECT_EQ(told[0].uptime, lastInput);
    input(compositor);
    ASSERT_EQ(told.size(), 2u);
    EXPECT_EQ(told[1].type, platform::IdleEvent::Type::active);

    // A pause shorter than the threshold left of a shortened notification is no break: after
    // input the notification counts the whole threshold again.
    pass(compositor, 100);
    source->armWatches(600, std::nullopt);
    EXPECT_EQ(compositor.liveTimeouts(), (std::vector<uint32_t> { 2000, 500000 }));
    input(compositor);
    EXPECT_EQ(compositor.liveTimeouts(), (std::vector<uint32_t> { 2000, 600000 }));
    pass(compositor, 550);
    EXPECT_EQ(told.size(), 2u);

    // Lowered below the pause already taken: the break is told at once, from the last input.
    lastInput = now();
    input(compositor);
    pass(compositor, 100);
    source->armWatches(60, std::nullopt);
    ASSERT_TRUE(serveUntil([&] { return told.size() == 3; }));
    EXPECT_EQ(told[2].type, platform::IdleEvent::Type::idle);
    EXPECT_EQ(told[2].uptime, lastInput);
}

TEST_F(WaylandIdleTimeSourceTest, ArmedWhileTheUserIsAwayTheNextInputIsTheReturn)
{
    StandInIdleCompositor compositor("kiruvo-return", 1, now());
    auto source = WaylandIdleTimeSource::open("kiruvo-return");
    ASSERT_NE(source, nullptr);
    std::vector<platform::IdleEvent> told;
    source->setEventHandler([&](const platform::IdleEvent& event) { told.push_back(event); });
    const double away = now() - 700;
    source->armWatches(300, away);
    EXPECT_TRUE(source->isIdle());
    EXPECT_EQ(compositor.live(), (std::vector<Live> { { 2000, false }, { 300000, false } }));
    pass(compositor, 2);
    EXPECT_TRUE(told.empty()) << "the user is known to be away";
    input(compositor);
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0].type, platform::IdleEvent::Type::active);
    EXPECT_EQ(told[0].uptime, now());
    EXPECT_FALSE(source->isIdle());
}

TEST_F(WaylandIdleTimeSourceTest, ACompositorWithoutTheProtocolOrNoneGivesNoSource)
{
    std::string error;
    EXPECT_EQ(WaylandIdleTimeSource::open("kiruvo-nobody", &error), nullptr);
    EXPECT_EQ(error, "no Wayland compositor answers");

    StandInIdleCompositor compositor("kiruvo-plain", 0);
    ASSERT_TRUE(compositor.isListening());
    EXPECT_EQ(WaylandIdleTimeSource::open("kiruvo-plain", &error), nullptr);
    EXPECT_EQ(error, "the Wayland compositor does not offer ext_idle_notifier_v1");
}

TEST_F(WaylandIdleTimeSourceTest, ALostCompositorIsToldLoggedAndFoundAgainWhenBack)
{
    auto compositor = std::make_unique<StandInIdleCompositor>("kiruvo-lost", 2, now());
    auto source = WaylandIdleTimeSource::open("kiruvo-lost");
    ASSERT_NE(source, nullptr);
    source->setReconnectInterval(20);
    int changes = 0;
    source->setEventHandler([&](const platform::IdleEvent& event) {
        changes += event.type == platform::IdleEvent::Type::changed ? 1 : 0;
    });
    source->armWatches(300, std::nullopt);
    pass(*compositor, 300);
    ASSERT_TRUE(source->isIdle());
    compositor->stop();
    ASSERT_TRUE(serveUntil([&] { return !source->isAvailable(); }));
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(source->secondsSinceLastInput(), 0);
    source->armWatches(300, std::nullopt); // nothing to renew, and no crash
    EXPECT_EQ(m_log.countContaining("connection was lost"), 1);

    // A restarted compositor on the same socket: found again, told, and armed by the engine.
    compositor.reset();
    StandInIdleCompositor restarted("kiruvo-lost", 2, now());
    ASSERT_TRUE(restarted.isListening());
    ASSERT_TRUE(serveUntil([&] { return source->isAvailable(); }));
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(m_log.countContaining("answers again"), 1);
    source->armWatches(300, std::nullopt);
    EXPECT_EQ(restarted.liveTimeouts(), (std::vector<uint32_t> { 2000, 300000 }));
}

TEST_F(WaylandIdleTimeSourceTest, InAWaylandSessionTheCompositorComesAfterMutterAndBeforeTheScreenSaver)
{
    // The process keeps its first session-bus connection for good: the test's own bus is used,
    // not one that would be gone for the tests after this one.
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        GTEST_SKIP() << "no D-Bus session bus";
    }
    for (const char* name : { "org.gnome.Mutter.IdleMonitor", "org.freedesktop.ScreenSaver" }) {
        if (bus.interface()->isServiceRegistered(QString::fromLatin1(name))) {
            GTEST_SKIP() << name << " is on this session bus and comes first";
        }
    }
    // The stand-in compositor as the session's, for this test only.
    const QByteArray savedWayland = qgetenv("WAYLAND_DISPLAY");
    const QByteArray savedDisplay = qgetenv("DISPLAY");
    StandInIdleCompositor compositor("kiruvo-session", 2);
    qputenv("WAYLAND_DISPLAY", "kiruvo-session");
    qunsetenv("DISPLAY");
    auto source = platform::IdleTimeSource::createDefault();
    qputenv("WAYLAND_DISPLAY", savedWayland);
    if (savedWayland.isEmpty()) {
        qunsetenv("WAYLAND_DISPLAY");
    }
    if (!savedDisplay.isEmpty()) {
        qputenv("DISPLAY", savedDisplay);
    }
    ASSERT_NE(source, nullptr);
    // Mutter, preferred, is asked first: the compositor is used once the bus says it is missing.
    ASSERT_TRUE(serveUntil([&] { return !source->isAsking(); }));
    EXPECT_EQ(source->name(), "Wayland ext-idle-notify-v1");
    EXPECT_EQ(source->kind(), platform::IdleTimeSource::Kind::thresholdEvents);
}
