#include "platform/linux/WaylandIdleTimeSource.h"

#include "platform/Logger.h"
#include "platform/fake/FakeClock.h"

#include "ext-idle-notify-v1-server-protocol.h"
#include <wayland-server.h>

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

// A compositor of the test's own: a seat and, unless told otherwise, ext_idle_notifier_v1, on a
// socket in a private XDG_RUNTIME_DIR. It serves its clients from a thread of its own and sends
// "idled" and "resumed" to every live notification when told.
class StandInCompositor {
public:
    StandInCompositor(const char* socket, bool offersIdleNotifier)
    {
        m_display = wl_display_create();
        if (wl_display_add_socket(m_display, socket) != 0) {
            return;
        }
        wl_global_create(m_display, &wl_seat_interface, 1, this, &StandInCompositor::bindSeat);
        if (offersIdleNotifier) {
            wl_global_create(
                m_display, &ext_idle_notifier_v1_interface, 1, this, &StandInCompositor::bindNotifier);
        }
        m_listening = true;
        m_thread = std::thread([this] { serve(); });
    }

    ~StandInCompositor() { stop(); }

    bool isListening() const { return m_listening; }

    // Ends the compositor: its clients' connections break.
    void stop()
    {
        if (m_thread.joinable()) {
            m_stop = true;
            m_thread.join();
        }
        if (m_display) {
            wl_display_destroy_clients(m_display);
            wl_display_destroy(m_display);
            m_display = nullptr;
        }
    }

    void sendIdled()
    {
        perform([this] {
            for (wl_resource* notification : m_notifications) {
                ext_idle_notification_v1_send_idled(notification);
            }
        });
    }
    void sendResumed()
    {
        perform([this] {
            for (wl_resource* notification : m_notifications) {
                ext_idle_notification_v1_send_resumed(notification);
            }
        });
    }

    // The timeouts of the notifications alive now, in milliseconds.
    std::vector<uint32_t> liveTimeouts()
    {
        std::vector<uint32_t> timeouts;
        perform([&] {
            for (wl_resource* notification : m_notifications) {
                timeouts.push_back(
                    static_cast<Notification*>(wl_resource_get_user_data(notification))->timeout);
            }
        });
        return timeouts;
    }

private:
    // Runs `command` on the compositor's thread and waits for it.
    void perform(std::function<void()> command)
    {
        std::unique_lock lock(m_mutex);
        m_commands.push_back(std::move(command));
        const std::size_t target = ++m_queued;
        m_done.wait(lock, [&] { return m_performed >= target; });
    }

    void serve()
    {
        wl_event_loop* loop = wl_display_get_event_loop(m_display);
        while (!m_stop) {
            wl_event_loop_dispatch(loop, 5);
            std::vector<std::function<void()>> commands;
            {
                std::lock_guard lock(m_mutex);
                commands.swap(m_commands);
            }
            for (auto& command : commands) {
                command();
            }
            wl_display_flush_clients(m_display);
            if (!commands.empty()) {
                std::lock_guard lock(m_mutex);
                m_performed += commands.size();
                m_done.notify_all();
            }
        }
    }

    // What a notification resource carries.
    struct Notification {
        StandInCompositor* owner;
        uint32_t timeout;
    };

    static void bindSeat(wl_client* client, void*, uint32_t version, uint32_t id)
    {
        static const struct wl_seat_interface seat = {
            [](wl_client*, wl_resource*, uint32_t) {},
            [](wl_client*, wl_resource*, uint32_t) {},
            [](wl_client*, wl_resource*, uint32_t) {},
            [](wl_client*, wl_resource* resource) { wl_resource_destroy(resource); },
        };
        wl_resource* resource = wl_resource_create(client, &wl_seat_interface, static_cast<int>(version), id);
        wl_resource_set_implementation(resource, &seat, nullptr, nullptr);
        wl_seat_send_capabilities(resource, WL_SEAT_CAPABILITY_POINTER | WL_SEAT_CAPABILITY_KEYBOARD);
    }

    static void bindNotifier(wl_client* client, void* data, uint32_t version, uint32_t id)
    {
        static const struct ext_idle_notifier_v1_interface notifier = {
            [](wl_client*, wl_resource* resource) { wl_resource_destroy(resource); },
            [](wl_client* client, wl_resource* resource, uint32_t newId, uint32_t timeout, wl_resource*) {
                static const struct ext_idle_notification_v1_interface notification = {
                    [](wl_client*, wl_resource* made) { wl_resource_destroy(made); },
                };
                auto* compositor = static_cast<StandInCompositor*>(wl_resource_get_user_data(resource));
                wl_resource* made = wl_resource_create(client, &ext_idle_notification_v1_interface, 1, newId);
                wl_resource_set_implementation(
                    made, &notification, new Notification { compositor, timeout }, [](wl_resource* gone) {
                        auto* state = static_cast<Notification*>(wl_resource_get_user_data(gone));
                        auto& list = state->owner->m_notifications;
                        list.erase(std::remove(list.begin(), list.end(), gone), list.end());
                        delete state;
                    });
                compositor->m_notifications.push_back(made);
            },
        };
        wl_resource* resource
            = wl_resource_create(client, &ext_idle_notifier_v1_interface, static_cast<int>(version), id);
        wl_resource_set_implementation(resource, &notifier, data, nullptr);
    }

    wl_display* m_display = nullptr;
    bool m_listening = false;
    std::thread m_thread;
    std::atomic<bool> m_stop = false;
    std::mutex m_mutex;
    std::condition_variable m_done;
    std::vector<std::function<void()>> m_commands;
    std::size_t m_queued = 0;
    std::size_t m_performed = 0;
    std::vector<wl_resource*> m_notifications;
};

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

    platform::fake::ScopedFakeClock fake;
    QTemporaryDir m_runtime;
    QByteArray m_savedRuntime;
    platform::LogCapture m_log;
};

} // namespace

TEST_F(WaylandIdleTimeSourceTest, IdledIsIdleSinceTheThresholdAgoAndResumedIsActiveNow)
{
    StandInCompositor compositor("kiruvo-test", true);
    ASSERT_TRUE(compositor.isListening());
    std::string error;
    auto source = WaylandIdleTimeSource::open("kiruvo-test", &error);
    ASSERT_NE(source, nullptr) << error;
    EXPECT_EQ(source->name(), "Wayland ext-idle-notify-v1");
    EXPECT_EQ(source->kind(), platform::IdleTimeSource::Kind::thresholdEvents);
    EXPECT_FALSE(source->distinguishesEventTypes());
    EXPECT_EQ(compositor.liveTimeouts(), std::vector<uint32_t> { 180000 });
    std::vector<platform::IdleEvent> told;
    source->setEventHandler([&](const platform::IdleEvent& event) { told.push_back(event); });

    // The engine's threshold replaces the notification: one alive, with the new timeout.
    source->armWatches(600, std::nullopt);
    ASSERT_TRUE(serveUntil([&] { return compositor.liveTimeouts() == std::vector<uint32_t> { 600000 }; }));
    source->armWatches(std::numeric_limits<double>::quiet_NaN(), std::nullopt);
    source->armWatches(0, std::nullopt);
    EXPECT_EQ(source->idleThreshold(), 600);

    EXPECT_EQ(source->secondsSinceLastInput(), 0);
    fake.clock.advance(100);
    EXPECT_EQ(source->secondsSinceLastInput(), 0) << "no figure before the compositor says idled";

    const double idledAt = fake.clock.systemUptime();
    compositor.sendIdled();
    ASSERT_TRUE(serveUntil([&] { return source->isIdle(); }));
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0].type, platform::IdleEvent::Type::idle);
    EXPECT_EQ(told[0].uptime, idledAt - 600);
    EXPECT_EQ(source->secondsSinceLastInput(), 600);
    fake.clock.advance(42);
    for (const auto type : platform::userInputEventTypes) {
        EXPECT_EQ(source->secondsSinceLastEvent(type), 642);
    }

    compositor.sendResumed();
    ASSERT_TRUE(serveUntil([&] { return !source->isIdle(); }));
    ASSERT_EQ(told.size(), 2u);
    EXPECT_EQ(told[1].type, platform::IdleEvent::Type::active);
    EXPECT_EQ(told[1].uptime, idledAt + 42);
    EXPECT_EQ(source->secondsSinceLastEvent(InputEventType::keyDown), 0);
}

TEST_F(WaylandIdleTimeSourceTest, ArmedWhileTheUserIsAwayAShortNotificationWaitsForTheReturn)
{
    StandInCompositor compositor("kiruvo-return", true);
    auto source = WaylandIdleTimeSource::open("kiruvo-return");
    ASSERT_NE(source, nullptr);
    std::vector<platform::IdleEvent> told;
    source->setEventHandler([&](const platform::IdleEvent& event) { told.push_back(event); });
    const double away = fake.clock.systemUptime() - 700;
    source->armWatches(300, away);
    EXPECT_TRUE(source->isIdle());
    EXPECT_TRUE(source->isWaitingForReturn());
    ASSERT_TRUE(serveUntil([&] {
        auto live = compositor.liveTimeouts();
        std::sort(live.begin(), live.end());
        return live == std::vector<uint32_t> { 2000, 300000 };
    }));
    // Both say idled (the short one first); the user is known to be away: nothing new is told. The
    // connection keeps the order of events, so once "resumed" is handled "idled" was handled before.
    compositor.sendIdled();
    compositor.sendResumed();
    ASSERT_TRUE(serveUntil([&] { return !source->isIdle(); }));
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0].type, platform::IdleEvent::Type::active);
    EXPECT_FALSE(source->isWaitingForReturn());
    ASSERT_TRUE(serveUntil([&] { return compositor.liveTimeouts() == std::vector<uint32_t> { 300000 }; }));
}

TEST_F(WaylandIdleTimeSourceTest, ACompositorWithoutTheProtocolOrNoneGivesNoSource)
{
    std::string error;
    EXPECT_EQ(WaylandIdleTimeSource::open("kiruvo-nobody", &error), nullptr);
    EXPECT_EQ(error, "no Wayland compositor answers");

    StandInCompositor compositor("kiruvo-plain", false);
    ASSERT_TRUE(compositor.isListening());
    EXPECT_EQ(WaylandIdleTimeSource::open("kiruvo-plain", &error), nullptr);
    EXPECT_EQ(error, "the Wayland compositor does not offer ext_idle_notifier_v1");
}

TEST_F(WaylandIdleTimeSourceTest, ALostCompositorIsToldLoggedAndFoundAgainWhenBack)
{
    auto compositor = std::make_unique<StandInCompositor>("kiruvo-lost", true);
    auto source = WaylandIdleTimeSource::open("kiruvo-lost");
    ASSERT_NE(source, nullptr);
    source->setReconnectInterval(20);
    int changes = 0;
    source->setEventHandler([&](const platform::IdleEvent& event) {
        changes += event.type == platform::IdleEvent::Type::changed ? 1 : 0;
    });
    source->armWatches(300, std::nullopt);
    // "idled" goes to the notifications the compositor holds when it is sent: the new one must be
    // among them first, or nothing is ever sent to it.
    ASSERT_TRUE(serveUntil([&] { return compositor->liveTimeouts() == std::vector<uint32_t> { 300000 }; }));
    compositor->sendIdled();
    ASSERT_TRUE(serveUntil([&] { return source->isIdle(); }));
    compositor->stop();
    ASSERT_TRUE(serveUntil([&] { return !source->isAvailable(); }));
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(source->secondsSinceLastInput(), 0);
    source->armWatches(300, std::nullopt); // nothing to renew, and no crash
    EXPECT_EQ(m_log.countContaining("connection was lost"), 1);

    // A restarted compositor on the same socket: found again, told, and armed by the engine.
    compositor.reset();
    StandInCompositor restarted("kiruvo-lost", true);
    ASSERT_TRUE(restarted.isListening());
    ASSERT_TRUE(serveUntil([&] { return source->isAvailable(); }));
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(m_log.countContaining("answers again"), 1);
    source->armWatches(300, std::nullopt);
    ASSERT_TRUE(serveUntil([&] { return restarted.liveTimeouts() == std::vector<uint32_t> { 300000 }; }));
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
    StandInCompositor compositor("kiruvo-session", true);
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
    EXPECT_EQ(source->name(), "Wayland ext-idle-notify-v1");
    EXPECT_EQ(source->kind(), platform::IdleTimeSource::Kind::thresholdEvents);
}
