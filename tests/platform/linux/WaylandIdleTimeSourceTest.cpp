#include "platform/linux/WaylandIdleTimeSource.h"

#include "platform/Logger.h"
#include "platform/fake/FakeClock.h"

#include "support/PrivateXServer.h"
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
    // The user at work for a few seconds after the source opened, as one is when launching it.
    void work(StandInIdleCompositor& compositor, int seconds = 3)
    {
        for (int second = 0; second < seconds; ++second) {
            input(compositor);
            pass(compositor, 1);
        }
    }

    platform::fake::ScopedFakeClock fake;
    QTemporaryDir m_runtime;
    QByteArray m_savedRuntime;
    platform::LogCapture m_log;
};

// What holds of both protocols: ext-idle-notify (at version 2 unless a test says otherwise) and
// KDE's org_kde_kwin_idle, each from a compositor that offers only it.
class WaylandIdleProtocolTest : public WaylandIdleTimeSourceTest,
                                public ::testing::WithParamInterface<WaylandIdleTimeSource::Protocol> {
protected:
    bool isKde() const { return GetParam() == WaylandIdleTimeSource::Protocol::kdeIdle; }
    std::unique_ptr<StandInIdleCompositor> offer(const char* socket, uint32_t extVersion = 2)
    {
        return std::make_unique<StandInIdleCompositor>(socket, isKde() ? 0 : extVersion, now(), isKde());
    }
    std::unique_ptr<WaylandIdleTimeSource> open(const char* socket, std::string* error = nullptr)
    {
        return WaylandIdleTimeSource::open(socket, error, GetParam());
    }
};

std::string protocolName(const ::testing::TestParamInfo<WaylandIdleTimeSource::Protocol>& info)
{
    return info.param == WaylandIdleTimeSource::Protocol::kdeIdle ? "KdeIdle" : "ExtIdleNotify";
}

} // namespace

INSTANTIATE_TEST_SUITE_P(BothProtocols, WaylandIdleProtocolTest,
    ::testing::Values(
        WaylandIdleTimeSource::Protocol::extIdleNotify, WaylandIdleTimeSource::Protocol::kdeIdle),
    protocolName);

TEST_P(WaylandIdleProtocolTest, IdledIsIdleSinceTheLastInputAndResumedIsActiveNow)
{
    auto offered = offer("kiruvo-test");
    StandInIdleCompositor& compositor = *offered;
    ASSERT_TRUE(compositor.isListening());
    std::string error;
    auto source = open("kiruvo-test", &error);
    ASSERT_NE(source, nullptr) << error;
    EXPECT_EQ(source->name(), isKde() ? "Wayland org_kde_kwin_idle" : "Wayland ext-idle-notify-v1");
    EXPECT_EQ(source->kind(), platform::IdleTimeSource::Kind::thresholdEvents);
    EXPECT_FALSE(source->distinguishesEventTypes());
    EXPECT_EQ(source->countsInputAlone(), !isKde());
    EXPECT_EQ(compositor.live(), (std::vector<Live> { { 2000, !isKde() }, { 180000, !isKde() } }));
    std::vector<platform::IdleEvent> told;
    source->setEventHandler([&](const platform::IdleEvent& event) { told.push_back(event); });
    work(compositor);

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
    // ext-idle-notify version 2 and 1, and KDE's protocol.
    for (const uint32_t version : { 2u, 1u, 0u }) {
        const std::string socket = "kiruvo-inhibit-" + std::to_string(version);
        StandInIdleCompositor compositor(socket.c_str(), version, now(), version == 0);
        auto source = WaylandIdleTimeSource::open(socket.c_str(), nullptr,
            version == 0 ? WaylandIdleTimeSource::Protocol::kdeIdle
                         : WaylandIdleTimeSource::Protocol::extIdleNotify);
        ASSERT_NE(source, nullptr);
        EXPECT_EQ(source->countsInputAlone(), version >= 2);
        std::vector<platform::IdleEvent> told;
        source->setEventHandler([&](const platform::IdleEvent& event) { told.push_back(event); });
        source->armWatches(300, std::nullopt);
        work(compositor);
        compositor.setIdleInhibited(true, now()); // a video plays
        const double lastInput = now();
        input(compositor);
        pass(compositor, 400);
        if (version >= 2) {
            ASSERT_EQ(told.size(), 1u);
            EXPECT_EQ(told[0].uptime, lastInput);
        } else {
            // Those know no better, and the log says so once.
            EXPECT_TRUE(told.empty());
        }
    }
    EXPECT_EQ(m_log.countContaining("ext-idle-notify version 1 only"), 1);
    EXPECT_EQ(
        m_log.countContaining("org_kde_kwin_idle counts idle time only while nothing inhibits idle"), 1);
}

TEST_P(WaylandIdleProtocolTest, ArmedAgainDuringAPauseTheBreakStillEndsAtTheLastInput)
{
    auto offered = offer("kiruvo-rearm");
    StandInIdleCompositor& compositor = *offered;
    auto source = open("kiruvo-rearm");
    ASSERT_NE(source, nullptr);
    std::vector<platform::IdleEvent> told;
    source->setEventHandler([&](const platform::IdleEvent& event) { told.push_back(event); });
    source->armWatches(60, std::nullopt);
    work(compositor);

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

TEST_P(WaylandIdleProtocolTest, ArmedWhileTheUserIsAwayTheNextInputIsTheReturn)
{
    auto offered = offer("kiruvo-return", 1);
    StandInIdleCompositor& compositor = *offered;
    auto source = open("kiruvo-return");
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

// The compositor knows no input from before the source opened. A user away when the application
// starts gives none in the first moments after: they count as away since it opened (and the
// session that enabling started ends) as soon as the mark says so, not a whole threshold later.
// One at work then, or back soon, is not taken for away later on.
TEST_P(WaylandIdleProtocolTest, OpenedWhileTheUserIsAwayTheBreakIsToldOnceTheMarkSaysSo)
{
    auto offered = offer("kiruvo-opened");
    StandInIdleCompositor& compositor = *offered;
    const double opened = now();
    auto source = open("kiruvo-opened");
    ASSERT_NE(source, nullptr);
    std::vector<platform::IdleEvent> told;
    source->setEventHandler([&](const platform::IdleEvent& event) { told.push_back(event); });
    source->armWatches(600, std::nullopt);
    pass(compositor, 2);
    ASSERT_EQ(told.size(), 1u) << "not told within the mark's timeout";
    EXPECT_EQ(told[0].type, platform::IdleEvent::Type::idle);
    EXPECT_EQ(told[0].uptime, opened);
    pass(compositor, 700);
    EXPECT_EQ(told.size(), 1u) << "the threshold's own event is the same break";
    input(compositor);
    ASSERT_EQ(told.size(), 2u);
    EXPECT_EQ(told[1].type, platform::IdleEvent::Type::active);

    // A pause after work is no break before the threshold, however soon after opening it comes.
    for (const double firstInput : { 0.0, 0.5, 1.5 }) {
        SCOPED_TRACE(firstInput);
        auto other = std::make_unique<StandInIdleCompositor>(
            "kiruvo-opened-at-work", isKde() ? 0 : 2, now(), isKde());
        auto atWork = open("kiruvo-opened-at-work");
        ASSERT_NE(atWork, nullptr);
        std::vector<platform::IdleEvent> toldAtWork;
        atWork->setEventHandler([&](const platform::IdleEvent& event) { toldAtWork.push_back(event); });
        atWork->armWatches(600, std::nullopt);
        pass(*other, firstInput);
        work(*other, 60);
        pass(*other, 300);
        EXPECT_TRUE(toldAtWork.empty());
    }
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
    EXPECT_EQ(WaylandIdleTimeSource::open("kiruvo-plain", &error, WaylandIdleTimeSource::Protocol::kdeIdle),
        nullptr);
    EXPECT_EQ(error, "the Wayland compositor does not offer org_kde_kwin_idle");
}

TEST_P(WaylandIdleProtocolTest, ALostCompositorIsToldLoggedAndFoundAgainWhenBack)
{
    auto compositor = offer("kiruvo-lost");
    auto source = open("kiruvo-lost");
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
    auto restarted = offer("kiruvo-lost");
    ASSERT_TRUE(restarted->isListening());
    ASSERT_TRUE(serveUntil([&] { return source->isAvailable(); }));
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(m_log.countContaining("answers again"), 1);
    source->armWatches(300, std::nullopt);
    EXPECT_EQ(restarted->liveTimeouts(), (std::vector<uint32_t> { 2000, 300000 }));
}

// Which source a Wayland session gets, with the desktop's D-Bus services absent and Xwayland
// running (an X server of the test's own): the compositor's newer protocol, else its older one,
// else none at all. Xwayland sees only the input that goes to X windows, and is never taken.
TEST_F(WaylandIdleTimeSourceTest, AWaylandSessionTakesTheCompositorsIdleProtocolAndNeverXwayland)
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
    PrivateXServer xwayland;
    ASSERT_TRUE(xwayland.isRunning()) << "Xvfb did not start";
    struct Case {
        uint32_t extVersion;
        bool kdeIdle;
        const char* expected;
    };
    for (const Case& c : { Case { 2, true, "Wayland ext-idle-notify-v1" },
             Case { 0, true, "Wayland org_kde_kwin_idle" }, Case { 0, false, "none" } }) {
        SCOPED_TRACE(c.expected);
        const QByteArray savedWayland = qgetenv("WAYLAND_DISPLAY");
        const QByteArray savedDisplay = qgetenv("DISPLAY");
        StandInIdleCompositor compositor("kiruvo-session", c.extVersion, now(), c.kdeIdle);
        qputenv("WAYLAND_DISPLAY", "kiruvo-session");
        qputenv("DISPLAY", QByteArray::fromStdString(xwayland.display()));
        auto source = platform::IdleTimeSource::createDefault();
        qputenv("WAYLAND_DISPLAY", savedWayland);
        if (savedWayland.isEmpty()) {
            qunsetenv("WAYLAND_DISPLAY");
        }
        qputenv("DISPLAY", savedDisplay);
        if (savedDisplay.isEmpty()) {
            qunsetenv("DISPLAY");
        }
        ASSERT_NE(source, nullptr);
        // Mutter, preferred, is asked first: the compositor is used once the bus says it is missing.
        ASSERT_TRUE(serveUntil([&] { return !source->isAsking(); }));
        EXPECT_EQ(source->name(), c.expected);
        EXPECT_EQ(source->isAvailable(), c.extVersion > 0 || c.kdeIdle);
    }
    EXPECT_EQ(m_log.countContaining("Idle time comes from X11"), 0);
}
