#include "app/SessionEngineFixture.h"

#include "libraries/defaults/Defaults.h"
#include "platform/Logger.h"
#include "platform/desktop/FallbackIdleTimeSource.h"
#include "platform/linux/DBusIdleTimeSource.h"
#include "platform/linux/MutterIdleTimeSource.h"
#include "platform/linux/WaylandIdleTimeSource.h"
#include "platform/linux/X11IdleTimeSource.h"
#include "platform/linux/X11SyncIdleTimeSource.h"
#include "support/StandInIdleCompositor.h"
#include "support/StandInIdleCounter.h"
#include "support/StandInIdleMonitor.h"
#include "support/StandInSessionManager.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <atomic>
#include <cmath>
#include <functional>
#include <mutex>
#include <ostream>
#include <random>
#include <unistd.h>

// The engine and the real idle adapters against the outside world each of them talks to, all on
// the test's fake clock: an X server's IDLETIME counter and its alarms, or its MIT-SCREEN-SAVER
// idle-time reply; Mutter's IdleMonitor and GNOME's session
// manager on the test's bus; a Wayland compositor offering ext-idle-notify version 1 or 2, or only
// KDE's org_kde_kwin_idle; the screen saver service answering seconds, or milliseconds as KDE's
// does, each of these answers delivered a little late as a real service's is.

namespace {

enum class Backend {
    x11,
    x11ScreenSaver,
    mutter,
    extIdleNotifyV1,
    extIdleNotifyV2,
    kdeIdle,
    screenSaverSeconds,
    screenSaverMilliseconds
};

const char* toString(Backend backend)
{
    switch (backend) {
    case Backend::x11:
        return "x11";
    case Backend::x11ScreenSaver:
        return "x11ScreenSaver";
    case Backend::mutter:
        return "mutter";
    case Backend::extIdleNotifyV1:
        return "extIdleNotifyV1";
    case Backend::extIdleNotifyV2:
        return "extIdleNotifyV2";
    case Backend::kdeIdle:
        return "kdeIdle";
    case Backend::screenSaverSeconds:
        return "screenSaverSeconds";
    case Backend::screenSaverMilliseconds:
        return "screenSaverMilliseconds";
    }
    return "unknown";
}

// Notifications that stay silent while another application inhibits idle.
bool isInhibitable(Backend backend)
{
    return backend == Backend::extIdleNotifyV1 || backend == Backend::kdeIdle;
}

bool isScreenSaver(Backend backend)
{
    return backend == Backend::screenSaverSeconds || backend == Backend::screenSaverMilliseconds;
}

// The user at the desktop: when the last input was, on the test's clock, and when a program last
// reset the X server's screen saver.
struct User {
    double lastInput = 0;
    double lastReset = 0;
};

// --- The desktop's D-Bus services ----------------------------------------------------------------

// What the stand-ins share: the user, the time the test has reached (for the screen saver, the
// moment it takes its figure), and a count of the calls they answered.
struct DesktopState {
    std::mutex mutex;
    double now = 0;
    double lastInput = 0;
    std::atomic<int> calls = 0;
};

// org.freedesktop.ScreenSaver's GetSessionIdleTime, in whole seconds or in milliseconds.
class ScreenSaverStandIn : public QDBusVirtualObject {
public:
    ScreenSaverStandIn(DesktopState& state, bool milliseconds)
        : m_state(state)
        , m_milliseconds(milliseconds)
    {
    }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override
    {
        if (message.member() != QLatin1String("GetSessionIdleTime")) {
            return false;
        }
        ++m_state.calls;
        std::lock_guard lock(m_state.mutex);
        const double idle = m_state.now - m_state.lastInput;
        const auto units
            = static_cast<uint>(m_milliseconds ? std::llround(idle * 1000) : std::floor(idle + 1e-9));
        connection.send(message.createReply(QVariant::fromValue(units)));
        return true;
    }
    QString introspect(const QString&) const override { return {}; }

private:
    DesktopState& m_state;
    bool m_milliseconds;
};

// Answers at once: once its answer is back, every call sent to the services before it has been
// answered, and what they sent before the answer has arrived.
class Barrier : public QDBusVirtualObject {
public:
    explicit Barrier(DesktopState& state)
        : m_state(state)
    {
    }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override
    {
        ++m_state.calls;
        connection.send(message.createReply());
        return true;
    }
    QString introspect(const QString&) const override { return {}; }

private:
    DesktopState& m_state;
};

// --- The desktops ----------------------------------------------------------------------------------

// The outside world of one backend.
class Desktop {
public:
    virtual ~Desktop() = default;
    // The real adapter, talking to this desktop.
    virtual std::unique_ptr<platform::IdleTimeSource> makeSource() = 0;
    // The user gives input at `now`.
    virtual void input(double now) = 0;
    // The clock has reached `now`: what falls due happens.
    virtual void reach(double now) = 0;
    // The next moment at which the desktop tells, or the adapter asks, something.
    virtual std::optional<double> nextMoment() = 0;
    // Until everything on its way has arrived and been answered.
    virtual void settle() = 0;
    // After the engine's tick.
    virtual void tickDone() { settle(); }
    // The service stops answering, or is back.
    virtual void setAvailable(bool available, double now) = 0;
    virtual void setIdleInhibited(bool inhibited, double now) = 0;
    // A program resets the X server's screen saver (XResetScreenSaver), as video players do: the X
    // server counts it as input. The compositors' own idle time knows nothing of it.
    virtual void resetScreenSaver() { }
    // The adapter just made asks whether its service answers, as at start, and the answer is held
    // until answerAtStart(). Only where the service can hold it (Mutter).
    virtual void askAtStart() { ADD_FAILURE() << "this desktop cannot hold the first answer"; }
    virtual void answerAtStart() { }
};

// An X server whose MIT-SCREEN-SAVER reply is the time since the user's last input or the last
// screen saver reset; inhibitors leave it alone.
class XScreenSaverDesktop final : public Desktop {
public:
    XScreenSaverDesktop(User& user, platform::fake::FakeClock& clock)
        : m_user(user)
        , m_clock(clock)
    {
    }
    std::unique_ptr<platform::IdleTimeSource> makeSource() override
    {
        return platform::X11IdleTimeSource::withQuery([this]() -> std::optional<unsigned long> {
            return static_cast<unsigned long>(
                std::llround((m_clock.systemUptime() - std::max(m_user.lastInput, m_user.lastReset)) * 1000));
        });
    }
    void input(double) override { }
    void reach(double) override { }
    std::optional<double> nextMoment() override { return std::nullopt; }
    void settle() override { }
    // The X server goes only with the session.
    void setAvailable(bool, double) override { }
    void setIdleInhibited(bool, double) override { }

private:
    User& m_user;
    platform::fake::FakeClock& m_clock;
};

// An X server with the SYNC extension's IDLETIME counter and raw input events; inhibitors leave it
// alone.
class XSyncDesktop final : public Desktop {
public:
    explicit XSyncDesktop(platform::fake::FakeClock& clock)
        : m_ownCounter(std::make_unique<StandInIdleCounter>(clock))
        , m_counter(m_ownCounter.get())
    {
    }
    std::unique_ptr<platform::IdleTimeSource> makeSource() override
    {
        // The adapter holds its connection; the test goes on driving the server behind it.
        auto source = platform::X11SyncIdleTimeSource::withCounter(std::move(m_ownCounter));
        EXPECT_NE(source, nullptr);
        m_source = source.get();
        // Looked for again at once when gone: the test waits for it.
        m_source->setReconnectInterval(10);
        return source;
    }
    void input(double) override
    {
        m_counter->input();
        settle();
    }
    void reach(double now) override
    {
        m_counter->reach();
        settle();
        // The adapter's timer, at the moment it falls due on the test's clock.
        if (m_source && m_source->nextTimeoutAt() && *m_source->nextTimeoutAt() <= now + 1e-9) {
            m_source->timeout();
            settle();
        }
    }
    std::optional<double> nextMoment() override
    {
        std::optional<double> next = m_counter->nextCrossing();
        if (const auto timeout = m_source ? m_source->nextTimeoutAt() : std::nullopt;
            timeout && (!next || *timeout < *next)) {
            next = timeout;
        }
        return next;
    }
    void settle() override
    {
        for (int i = 0; i < 3; ++i) {
            QCoreApplication::processEvents();
        }
    }
    void setAvailable(bool available, double) override
    {
        m_counter->setRunning(available);
        EXPECT_TRUE(QTest::qWaitFor([&] { return m_source->isAvailable() == available; }, 5000));
        settle();
    }
    void setIdleInhibited(bool, double) override { }
    void resetScreenSaver() override
    {
        m_counter->resetScreenSaver();
        settle();
    }
    // How often the adapter asked the server for the counter.
    int questions() const { return m_counter->questions(); }

private:
    std::unique_ptr<StandInIdleCounter> m_ownCounter;
    StandInIdleCounter* m_counter;
    platform::X11SyncIdleTimeSource* m_source = nullptr;
};

// Mutter, GNOME's session manager and the screen saver service on the test's bus, served from a
// thread of their own.
class BusDesktop final : public Desktop {
public:
    BusDesktop(Backend backend, platform::fake::FakeClock& clock, bool& ready)
        : m_backend(backend)
        , m_clock(clock)
        , m_connectionName(QStringLiteral("kiruvo-idle-scenario-%1").arg(++s_connections))
        , m_connection(QDBusConnection::connectToBus(QDBusConnection::SessionBus, m_connectionName))
        , m_name(QStringLiteral("com.zelvantorium.Kiruvo.IdleScenario.p%1").arg(getpid()))
        , m_idleMonitor(m_connection)
        , m_screenSaver(m_state, backend == Backend::screenSaverMilliseconds)
        , m_barrier(m_state)
        , m_sessionManager(m_connection)
    {
        m_idleMonitor.countCallsIn(&m_state.calls);
        m_sessionManager.countCallsIn(&m_state.calls);
        m_thread.start();
        for (QObject* object : std::initializer_list<QObject*> {
                 &m_idleMonitor, &m_screenSaver, &m_barrier, &m_sessionManager }) {
            object->moveToThread(&m_thread);
        }
        ready = m_connection.isConnected() && m_sessionManager.isServing()
            && m_connection.registerVirtualObject(
                QString::fromLatin1(platform::MutterIdleTimeSource::objectPath), &m_idleMonitor)
            && m_connection.registerVirtualObject(
                platform::DBusIdleTimeSource::freedesktopScreenSaver().path, &m_screenSaver)
            && m_connection.registerVirtualObject(QStringLiteral("/barrier"), &m_barrier)
            && m_connection.registerService(m_name);
    }

    ~BusDesktop() override
    {
        m_connection.unregisterObject(QString::fromLatin1(platform::MutterIdleTimeSource::objectPath));
        m_connection.unregisterObject(platform::DBusIdleTimeSource::freedesktopScreenSaver().path);
        m_connection.unregisterObject(QStringLiteral("/barrier"));
        m_connection.unregisterService(m_name);
        m_thread.quit();
        m_thread.wait();
    }

    std::unique_ptr<platform::IdleTimeSource> makeSource() override
    {
        if (m_backend == Backend::mutter) {
            auto source = std::make_unique<platform::MutterIdleTimeSource>(
                QDBusConnection::sessionBus(), m_name, m_name);
            m_mutter = source.get();
            return source;
        }
        auto service = platform::DBusIdleTimeSource::freedesktopScreenSaver();
        service.name = m_name;
        auto source = std::make_unique<platform::DBusIdleTimeSource>(QDBusConnection::sessionBus(), service);
        m_screenSaverSource = source.get();
        return source;
    }

    void input(double now) override
    {
        {
            std::lock_guard lock(m_state.mutex);
            m_state.now = now;
            m_state.lastInput = now;
        }
        if (m_idleMonitor.input(now)) {
            settle();
        }
    }

    void reach(double now) override
    {
        {
            std::lock_guard lock(m_state.mutex);
            m_state.now = now;
        }
        bool happened = m_idleMonitor.reach(now);
        // The adapter's timer, at the moment it falls due on the test's clock.
        if (m_mutter && m_mutter->nextQuestionAt() && *m_mutter->nextQuestionAt() <= now + 1e-9) {
            m_mutter->ask();
            happened = true;
        }
        if (m_screenSaverSource && m_screenSaverSource->isAvailable()
            && m_screenSaverSource->nextQuestionAt() <= now + 1e-9) {
            // A real service's answer arrives up to 20 ms after the question, its figure taken at
            // some moment in between, and the delays vary from one answer to the next: a few
            // milliseconds that matter to figures in milliseconds. (Whole seconds are taken at the
            // question, so that a pause of exactly the threshold stays one.)
            const double delay = m_backend == Backend::screenSaverMilliseconds ? m_delays(m_random) : 0.0;
            {
                std::lock_guard lock(m_state.mutex);
                m_state.now = now + delay * m_takenWithin(m_random);
            }
            m_screenSaverSource->ask();
            m_clock.advance(delay);
            happened = true;
        }
        if (happened) {
            settle();
        }
    }
    // The engine's tick asks these adapters nothing.
    void tickDone() override { }

    void askAtStart() override
    {
        ASSERT_NE(m_mutter, nullptr);
        m_idleMonitor.holdIdleTimeAnswers();
        // Longer than any test: the test says when the answer comes.
        m_mutter->probe(60000);
        EXPECT_TRUE(QTest::qWaitFor([&] { return m_idleMonitor.heldIdleTimeAnswers() == 1; }, 5000));
    }
    void answerAtStart() override
    {
        EXPECT_EQ(m_idleMonitor.releaseIdleTimeAnswers(), 1u);
        EXPECT_TRUE(QTest::qWaitFor([&] { return !m_mutter->isAsking(); }, 5000));
        settle();
    }

    std::optional<double> nextMoment() override
    {
        std::optional<double> next = m_idleMonitor.nextFiring();
        const auto earliest = [&](std::optional<double> moment) {
            if (moment && (!next || *moment < *next)) {
                next = moment;
            }
        };
        if (m_mutter) {
            earliest(m_mutter->nextQuestionAt());
        }
        if (m_screenSaverSource && m_screenSaverSource->isAvailable()) {
            earliest(m_screenSaverSource->nextQuestionAt());
        }
        return next;
    }

    void settle() override
    {
        const auto barrier = [this] {
            const QDBusMessage reply = QDBusConnection::sessionBus().call(
                // The unique name: the well-known one may be let go, as a service that quits does.
                QDBusMessage::createMethodCall(m_connection.baseService(), QStringLiteral("/barrier"),
                    QStringLiteral("com.zelvantorium.Test"), QStringLiteral("Wait")),
                QDBus::Block, 5000);
            EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
            for (int i = 0; i < 3; ++i) {
                QCoreApplication::processEvents();
            }
        };
        barrier();
        // Quiet once a round carried nothing but the barrier.
        for (int round = 0; round < 50; ++round) {
            const int before = m_state.calls;
            barrier();
            if (m_state.calls == before + 1) {
                return;
            }
        }
        ADD_FAILURE() << "the adapter kept calling";
    }

    void setAvailable(bool available, double) override
    {
        platform::IdleTimeSource* source = m_mutter
            ? static_cast<platform::IdleTimeSource*>(m_mutter)
            : static_cast<platform::IdleTimeSource*>(m_screenSaverSource);
        if (available) {
            EXPECT_TRUE(m_connection.registerService(m_name));
        } else {
            EXPECT_TRUE(m_connection.unregisterService(m_name));
        }
        // The bus tells the owner's change; nothing of the test's clock depends on how soon.
        EXPECT_TRUE(QTest::qWaitFor([&] { return source->isAvailable() == available; }, 5000));
        settle();
    }

    void setIdleInhibited(bool inhibited, double now) override
    {
        {
            std::lock_guard lock(m_state.mutex);
            m_state.now = now;
        }
        m_idleMonitor.setIdleInhibited(inhibited, now);
        m_sessionManager.setInhibitedActions(inhibited ? StandInSessionManager::idleInhibited : 0);
        settle();
        m_idleMonitor.reach(now);
        settle();
    }

private:
    // Closes the test's connection once everything served on it has gone.
    struct Closer {
        QString name;
        ~Closer() { QDBusConnection::disconnectFromBus(name); }
    };

    static inline int s_connections = 0;
    Backend m_backend;
    platform::fake::FakeClock& m_clock;
    std::mt19937 m_random { 50 };
    std::uniform_real_distribution<double> m_delays { 0.0, 0.02 };
    std::uniform_real_distribution<double> m_takenWithin { 0.0, 1.0 };
    QString m_connectionName;
    Closer m_closer { m_connectionName };
    QDBusConnection m_connection;
    QString m_name;
    DesktopState m_state;
    QThread m_thread;
    StandInIdleMonitor m_idleMonitor;
    ScreenSaverStandIn m_screenSaver;
    Barrier m_barrier;
    StandInSessionManager m_sessionManager;
    platform::MutterIdleTimeSource* m_mutter = nullptr;
    platform::DBusIdleTimeSource* m_screenSaverSource = nullptr;
};

// A compositor offering ext-idle-notify at `version`, or with version 0 only org_kde_kwin_idle, on
// a socket of the test's own.
class WaylandDesktop final : public Desktop {
public:
    WaylandDesktop(uint32_t version, double now)
        : m_version(version)
        , m_socket("kiruvo-scenario-" + std::to_string(getpid()))
    {
        m_compositor = std::make_unique<StandInIdleCompositor>(m_socket.c_str(), version, now, version == 0);
    }
    std::unique_ptr<platform::IdleTimeSource> makeSource() override
    {
        auto source = platform::WaylandIdleTimeSource::open(m_socket.c_str(), nullptr,
            m_version == 0 ? platform::WaylandIdleTimeSource::Protocol::kdeIdle
                           : platform::WaylandIdleTimeSource::Protocol::extIdleNotify);
        EXPECT_NE(source, nullptr);
        m_source = source.get();
        // Looked for again at once when gone: the test waits for it.
        m_source->setReconnectInterval(10);
        return source;
    }
    void input(double now) override
    {
        m_compositor->input(now);
        settle();
    }
    void reach(double now) override
    {
        m_compositor->advanceTo(now);
        settle();
    }
    std::optional<double> nextMoment() override { return m_compositor->nextIdledAt(); }
    void settle() override
    {
        for (int i = 0; i < 3; ++i) {
            QCoreApplication::processEvents();
        }
    }
    void setAvailable(bool available, double now) override
    {
        if (available) {
            m_compositor
                = std::make_unique<StandInIdleCompositor>(m_socket.c_str(), m_version, now, m_version == 0);
        } else {
            m_compositor->stop();
        }
        EXPECT_TRUE(QTest::qWaitFor([&] { return m_source->isAvailable() == available; }, 5000));
        settle();
    }
    void setIdleInhibited(bool inhibited, double now) override
    {
        m_compositor->setIdleInhibited(inhibited, now);
        settle();
    }

private:
    uint32_t m_version;
    std::string m_socket;
    std::unique_ptr<StandInIdleCompositor> m_compositor;
    platform::WaylandIdleTimeSource* m_source = nullptr;
};

// --- The table ---------------------------------------------------------------------------------

// A session, in seconds of wall-clock time since the scenario began.
struct Span {
    double start;
    double end;
};

std::ostream& operator<<(std::ostream& out, const Span& span)
{
    return out << "[" << span.start << ", " << span.end << "]";
}

class IdleScenarioTest;

// One line of the table: what the user and the machine do, and the sessions that must be stored
// with each backend (the same for all, unless a backend cannot know better).
struct Scenario {
    const char* name;
    std::function<void(IdleScenarioTest&)> run;
    std::function<std::vector<Span>(Backend)> expected;
};

const std::vector<Scenario>& scenarios();

// Every scenario against every backend, through the fallback chain the application uses: the
// backend under test first, the X server's figure after it. The user, the desktop, the clock and
// the engine's own check are all driven by the test.
class IdleScenarioTest : public SessionEngineTest,
                         public ::testing::WithParamInterface<std::tuple<Backend, std::size_t>> {
public:
    Backend backend() const { return std::get<0>(GetParam()); }
    const Scenario& scenario() const { return scenarios()[std::get<1>(GetParam())]; }
    double now() const { return fake.clock.systemUptime(); }

    // Input every second for `seconds`.
    void work(int seconds)
    {
        for (int second = 0; second < seconds; ++second) {
            user.lastInput = now();
            desktop->input(now());
            away(1);
        }
    }
    // No input for `seconds`: the clock stops at every moment the desktop tells or the adapter
    // asks something, and at every moment the engine armed its own check for, where the check
    // runs as its timer would run it. Nothing else drives the engine. The stretches follow one
    // another on the scenario's time line: an answer delivered after the end of one is late, and
    // its delay does not push the next stretches back.
    void away(double seconds)
    {
        m_timeline += seconds;
        const double until = m_timeline;
        int checksAtThisMoment = 0;
        while (now() < until - 1e-9) {
            double next = until;
            for (const auto moment : { controller().nextCheckAt(), desktop->nextMoment(), m_nextReset }) {
                if (moment && *moment < next) {
                    next = std::max(*moment, now());
                }
            }
            const double before = now();
            fake.clock.advance(next - now());
            desktop->reach(now());
            if (m_nextReset && *m_nextReset <= now() + 1e-9) {
                user.lastReset = now();
                desktop->resetScreenSaver();
                *m_nextReset += m_resetInterval;
            }
            if (const auto check = controller().nextCheckAt(); check && *check <= now() + 1e-9) {
                checksAtThisMoment = now() > before ? 1 : checksAtThisMoment + 1;
                if (checksAtThisMoment > 10) {
                    ADD_FAILURE() << "the engine keeps checking at " << now() - startUptime;
                    return;
                }
                ++checks;
                controller().checkIdle();
                desktop->tickDone();
            }
        }
    }
    void setThreshold(double seconds)
    {
        Defaults::set(kiruvo::Keys::idleDurationBeforeStop(), zk::Duration::fromSeconds(seconds));
        desktop->settle();
    }
    void sleepFor(double seconds)
    {
        events.sleep();
        fake.clock.sleep(seconds);
        events.wake();
        desktop->settle();
    }
    // The backend under test stops answering, or is back.
    void setPrimaryAvailable(bool available) { desktop->setAvailable(available, now()); }
    // Another application inhibits idle (a video plays), or lets go.
    void setIdleInhibited(bool inhibited) { desktop->setIdleInhibited(inhibited, now()); }
    // From now on a program resets the X server's screen saver every `seconds`, as a video player
    // does, or no longer.
    void resetScreenSaverEvery(std::optional<double> seconds)
    {
        m_resetInterval = seconds.value_or(0);
        m_nextReset = seconds ? std::optional(now() + *seconds) : std::nullopt;
    }
    // Quits: the running session is stored.
    void quit() { events.terminate(); }

    std::vector<Span> stored()
    {
        std::vector<Span> spans;
        for (const auto& session : controller().allSessions()) {
            spans.push_back({ session.dateRange().lowerBound.timeIntervalSince(startDate),
                session.dateRange().upperBound.timeIntervalSince(startDate) });
        }
        std::reverse(spans.begin(), spans.end());
        return spans;
    }

    void SetUp() override
    {
        SessionEngineTest::SetUp();
        ASSERT_TRUE(m_runtime.isValid());
        m_savedRuntime = qgetenv("XDG_RUNTIME_DIR");
        qputenv("XDG_RUNTIME_DIR", m_runtime.path().toLocal8Bit());
        user.lastInput = now();
        startUptime = now();
        m_timeline = now();
        switch (backend()) {
        case Backend::x11:
            desktop = std::make_unique<XSyncDesktop>(fake.clock);
            break;
        case Backend::x11ScreenSaver:
            desktop = std::make_unique<XScreenSaverDesktop>(user, fake.clock);
            break;
        case Backend::mutter:
        case Backend::screenSaverSeconds:
        case Backend::screenSaverMilliseconds: {
            if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) {
                GTEST_SKIP() << "no D-Bus session bus";
            }
            bool ready = false;
            desktop = std::make_unique<BusDesktop>(backend(), fake.clock, ready);
            ASSERT_TRUE(ready) << "the stand-in services could not be served";
            break;
        }
        case Backend::extIdleNotifyV1:
        case Backend::extIdleNotifyV2:
        case Backend::kdeIdle:
            desktop = std::make_unique<WaylandDesktop>(backend() == Backend::extIdleNotifyV1 ? 1
                    : backend() == Backend::extIdleNotifyV2                                  ? 2
                                                                                             : 0,
                now());
            break;
        }
        desktop->input(now());
        std::vector<std::unique_ptr<platform::IdleTimeSource>> members;
        members.push_back(desktop->makeSource());
        ASSERT_NE(members.back(), nullptr);
        if (m_askedAtStart) {
            desktop->askAtStart();
        }
        members.push_back(m_fallbackX.makeSource());
        chain = std::make_unique<platform::FallbackIdleTimeSource>(std::move(members));
        platform::IdleTimeSource::setShared(chain.get());
        startDate = fake.clock.now();
        // Armed by the engine; enabled at launch as the status item does, which starts a session.
        controller().setEnabled(true);
        desktop->settle();
    }

    void TearDown() override
    {
        m_controller.reset();
        platform::IdleTimeSource::setShared(nullptr);
        chain.reset();
        desktop.reset();
        qputenv("XDG_RUNTIME_DIR", m_savedRuntime);
        SessionEngineTest::TearDown();
    }

    User user;
    std::unique_ptr<Desktop> desktop;
    // Whether the primary backend is still asking whether it answers when the engine starts.
    bool m_askedAtStart = false;
    std::unique_ptr<platform::FallbackIdleTimeSource> chain;
    platform::Date startDate;
    platform::LogCapture log;

    double startUptime = 0;
    // How often the engine's own check ran.
    int checks = 0;

private:
    QTemporaryDir m_runtime;
    QByteArray m_savedRuntime;
    std::optional<double> m_nextReset;
    double m_resetInterval = 0;
    // Where the scenario has reached: the clock is there, or a delivery's delay past it.
    double m_timeline = 0;
    XScreenSaverDesktop m_fallbackX { user, fake.clock };
};

// Work until 649, a break, work again from 1550 to 1850, with screen saver resets throughout.
std::vector<Span> breakThroughResets(Backend backend)
{
    // MIT-SCREEN-SAVER counts the resets as input, and has nothing else to tell.
    if (backend == Backend::x11ScreenSaver) {
        return { { 0, 1850 } };
    }
    return { { 0, 649 }, { 1550, 1850 } };
}

const std::vector<Scenario>& scenarios()
{
    // The threshold is the default 600 s. work(n) gives input at seconds 0 to n-1 of its stretch.
    static const std::vector<Scenario> table {
        { "AwayLongerThanTheThreshold",
            [](IdleScenarioTest& t) {
                t.work(650); // last input at 649
                t.away(900);
                t.work(300); // back at 1550
                t.quit();
            },
            [](Backend) {
                return std::vector<Span> { { 0, 649 }, { 1550, 1850 } };
            } },
        { "APauseJustShorterThanTheThresholdThenWork",
            [](IdleScenarioTest& t) {
                t.work(650);
                t.away(550); // idle 551 s at the next input
                t.work(300);
                t.quit();
            },
            [](Backend) {
                return std::vector<Span> { { 0, 1500 } };
            } },
        { "AwayExactlyOneThreshold",
            [](IdleScenarioTest& t) {
                t.work(650);
                t.away(599); // the next input comes 600 s after the last
                t.work(300);
                t.quit();
            },
            [](Backend backend) {
                // The screen saver in seconds has not shown its unit yet: its figure of exactly the
                // threshold may be milliseconds, and is asked for again a moment later, when the
                // input has come.
                if (backend == Backend::screenSaverSeconds) {
                    return std::vector<Span> { { 0, 1549 } };
                }
                return std::vector<Span> { { 0, 649 }, { 1249, 1549 } };
            } },
        { "AwayExactlyTwoThresholds",
            [](IdleScenarioTest& t) {
                t.work(650);
                t.away(1199);
                t.work(300);
                t.quit();
            },
            [](Backend) {
                return std::vector<Span> { { 0, 649 }, { 1849, 2149 } };
            } },
        { "ThresholdChangedWhileIdle",
            [](IdleScenarioTest& t) {
                t.work(650);
                t.away(100);
                t.setThreshold(60); // lowered 101 s into a pause: the session ends
                t.away(200);
                t.setThreshold(600); // raised while away: the return must still be seen
                t.away(300);
                t.work(300); // back at 1250
                t.quit();
            },
            [](Backend) {
                return std::vector<Span> { { 0, 649 }, { 1250, 1550 } };
            } },
        { "ThresholdRaisedWhileAwayThenBackBeforeIt",
            [](IdleScenarioTest& t) {
                t.work(650);
                t.away(100);
                t.setThreshold(60); // the session ends at 649
                t.away(200);
                t.setThreshold(600); // 301 s since the last input: below the new threshold
                t.away(99);
                t.work(300); // back at 1049: the absence before it is no work
                t.quit();
            },
            [](Backend) {
                return std::vector<Span> { { 0, 649 }, { 1049, 1349 } };
            } },
        { "ThresholdRaisedDuringAPauseThatBecomesABreak",
            [](IdleScenarioTest& t) {
                t.work(650);
                t.away(300);
                t.setThreshold(900); // raised 301 s into the pause
                t.away(1200); // 1501 s without input: a break of more than 900 s
                t.work(300); // back at 2150
                t.quit();
            },
            [](Backend) {
                return std::vector<Span> { { 0, 649 }, { 2150, 2450 } };
            } },
        { "ABreakWhileAnotherApplicationInhibitsIdle",
            [](IdleScenarioTest& t) {
                t.setIdleInhibited(true); // a video plays throughout
                t.work(650);
                t.away(900);
                t.work(300); // back at 1550
                t.quit();
                t.setIdleInhibited(false);
            },
            [](Backend backend) {
                // Version 1 notifications and KDE's stay silent while idle is inhibited: one session
                // runs on.
                if (isInhibitable(backend)) {
                    return std::vector<Span> { { 0, 1850 } };
                }
                return std::vector<Span> { { 0, 649 }, { 1550, 1850 } };
            } },
        { "AnInhibitorEndsDuringAPauseThatBecomesABreak",
            [](IdleScenarioTest& t) {
                t.setIdleInhibited(true); // a video plays on after the user left
                t.work(650); // last input at 649
                t.away(420);
                t.setIdleInhibited(false); // it ends 421 s into the pause
                t.away(830);
                t.work(300); // back at 1900
                t.quit();
            },
            [](Backend backend) {
                // Version 1 and KDE's count from the inhibitor's end.
                if (isInhibitable(backend)) {
                    return std::vector<Span> { { 0, 1070 }, { 1900, 2200 } };
                }
                return std::vector<Span> { { 0, 649 }, { 1900, 2200 } };
            } },
        { "AnInhibitorEndsDuringAPauseAndTheUserIsBackWithinTheThresholdOfItsEnd",
            [](IdleScenarioTest& t) {
                t.setIdleInhibited(true);
                t.work(650); // last input at 649
                t.away(420);
                t.setIdleInhibited(false); // at 1070
                t.away(360);
                t.work(300); // back at 1430, 781 s after the last input
                t.quit();
            },
            [](Backend backend) {
                if (isInhibitable(backend)) {
                    return std::vector<Span> { { 0, 1730 } };
                }
                return std::vector<Span> { { 0, 649 }, { 1430, 1730 } };
            } },
        { "AnInhibitorEndsSecondsAfterTheLastInputAndTheBreakIsShorterThanTheThresholdAndThoseSeconds",
            [](IdleScenarioTest& t) {
                t.setIdleInhibited(true);
                t.work(650);
                t.away(10);
                t.work(1); // last input at 660, after a quiet while
                t.away(2);
                t.setIdleInhibited(false); // at 663
                t.away(599);
                t.work(300); // back at 1262, 602 s after the last input
                t.quit();
            },
            [](Backend backend) {
                if (isInhibitable(backend)) {
                    return std::vector<Span> { { 0, 1562 } };
                }
                return std::vector<Span> { { 0, 660 }, { 1262, 1562 } };
            } },
        { "SleepDuringIdle",
            [](IdleScenarioTest& t) {
                t.work(650);
                t.away(300);
                t.sleepFor(3600); // the session ends at the sleep; the wake starts one
                t.away(700); // still away: the wake's session is empty
                t.work(300); // back at 950 + 3600 + 700
                t.quit();
            },
            [](Backend) {
                return std::vector<Span> { { 0, 950 }, { 5250, 5550 } };
            } },
        { "AVideoPlayerResetsTheScreenSaverEveryFewSecondsThroughABreak",
            [](IdleScenarioTest& t) {
                t.resetScreenSaverEvery(5);
                t.work(650); // last input at 649
                t.away(900);
                t.work(300); // back at 1550
                t.quit();
                t.resetScreenSaverEvery(std::nullopt);
            },
            breakThroughResets },
        { "AScreenSaverResetEverySecondAndTheThresholdLoweredDuringAPause",
            [](IdleScenarioTest& t) {
                t.resetScreenSaverEvery(1);
                t.work(650); // last input at 649
                t.away(100);
                t.setThreshold(60); // lowered 101 s into the pause: the session ends at the last input
                t.away(800);
                t.work(300); // back at 1550
                t.quit();
                t.resetScreenSaverEvery(std::nullopt);
            },
            breakThroughResets },
        { "SourceLostAndBack",
            [](IdleScenarioTest& t) {
                t.work(300);
                t.setPrimaryAvailable(false); // X11 stands in
                t.work(300);
                t.away(700); // ended at the last input, 599, by the stand-in
                t.setPrimaryAvailable(true); // back while the user is away
                t.away(200);
                t.work(300); // back at 1500: the returned backend sees it
                t.quit();
            },
            [](Backend) {
                return std::vector<Span> { { 0, 599 }, { 1500, 1800 } };
            } },
        { "SourceRestartedDuringWorkAndAShortPauseAfter",
            [](IdleScenarioTest& t) {
                t.work(300); // not a moment's pause since the start
                t.setPrimaryAvailable(false);
                t.setPrimaryAvailable(true);
                t.away(5);
                t.work(295);
                t.quit();
            },
            [](Backend) {
                return std::vector<Span> { { 0, 600 } };
            } },
    };
    return table;
}

} // namespace

TEST_P(IdleScenarioTest, StoresTheSessionsTheUserWorked)
{
    scenario().run(*this);
    const auto expected = scenario().expected(backend());
    const auto actual = stored();
    ASSERT_EQ(actual.size(), expected.size()) << ::testing::PrintToString(actual);
    // Events are exact (the running session's range carries 0.01 s); exact figures are read once a
    // second; the screen saver in seconds answers whole seconds, and while the user is away it is
    // asked each second: the next session starts up to a second late, never early. Answers in
    // milliseconds arrive up to 0.02 s late, and date the input by the latest it can have been.
    const bool exactEvents = backend() != Backend::x11ScreenSaver && backend() != Backend::screenSaverSeconds;
    const double endTolerance
        = (exactEvents ? 0.02 : 1.01) + (backend() == Backend::screenSaverMilliseconds ? 0.02 : 0);
    const double lateStart = isScreenSaver(backend()) ? 1.0 : 0;
    double storedTotal = 0;
    double expectedTotal = 0;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const std::string which = std::to_string(i) + " of " + ::testing::PrintToString(actual);
        EXPECT_GE(actual[i].start, expected[i].start - endTolerance) << which;
        EXPECT_LE(actual[i].start, expected[i].start + endTolerance + (i > 0 ? lateStart : 0)) << which;
        EXPECT_NEAR(actual[i].end, expected[i].end, endTolerance) << which;
        storedTotal += actual[i].end - actual[i].start;
        expectedTotal += expected[i].end - expected[i].start;
    }
    // Nothing lost: all the worked time is stored but for those bounds.
    EXPECT_NEAR(
        storedTotal, expectedTotal, 2 * expected.size() * endTolerance + (expected.size() - 1) * lateStart);
    EXPECT_FALSE(controller().currentSession());
    EXPECT_FALSE(controller().hasUnstoredHistory());
    // A source that tells leaves the engine nothing to look at by itself once the session ended.
    if (chain->kind() == platform::IdleTimeSource::Kind::thresholdEvents) {
        EXPECT_FALSE(controller().nextCheckAt().has_value()) << checks << " checks";
    }

    if (backend() == Backend::x11) {
        // The server tells; it is asked only when the watches are set, never once a second.
        EXPECT_LE(static_cast<XSyncDesktop&>(*desktop).questions(), 12);
    }
    if (std::string(scenario().name) == "SourceLostAndBack" && backend() != Backend::x11ScreenSaver) {
        // The log says which backend answers, at each change.
        const std::string name = chain->active()->name();
        EXPECT_EQ(log.countContaining("Idle time now comes from X11 MIT-SCREEN-SAVER instead of " + name), 1);
        EXPECT_EQ(
            log.countContaining("Idle time now comes from " + name + " instead of X11 MIT-SCREEN-SAVER"), 1);
    }
}

INSTANTIATE_TEST_SUITE_P(EveryBackend, IdleScenarioTest,
    ::testing::Combine(::testing::Values(Backend::x11, Backend::x11ScreenSaver, Backend::mutter,
                           Backend::extIdleNotifyV1, Backend::extIdleNotifyV2, Backend::kdeIdle,
                           Backend::screenSaverSeconds, Backend::screenSaverMilliseconds),
        ::testing::Range<std::size_t>(0, scenarios().size())),
    [](const ::testing::TestParamInfo<IdleScenarioTest::ParamType>& info) {
        return std::string(toString(std::get<0>(info.param))) + "_"
            + scenarios()[std::get<1>(info.param)].name;
    });

namespace {

// The application starts while the preferred backend's service has not said whether it answers.
class IdleSourceAskedAtStartTest : public IdleScenarioTest {
protected:
    void SetUp() override
    {
        m_askedAtStart = true;
        IdleScenarioTest::SetUp();
    }
};

} // namespace

TEST_P(IdleSourceAskedAtStartTest, ASessionStartedBeforeTheAnswerEndsAtTheLastInputOnceItComes)
{
    // Neither the backend nor the X server after it is used yet; nothing says idle time is unseen.
    EXPECT_TRUE(chain->isAsking());
    EXPECT_EQ(chain->active(), nullptr);
    EXPECT_TRUE(controller().isIdleDetectionAvailable());
    EXPECT_TRUE(controller().currentSession()) << "the user counts as present meanwhile";
    work(650); // last input at 649
    away(900);
    EXPECT_TRUE(controller().currentSession()) << "no answer yet: no backend to tell the break";

    desktop->answerAtStart();
    EXPECT_EQ(chain->active()->name(), "GNOME Mutter IdleMonitor");
    EXPECT_FALSE(controller().currentSession()) << "the break is told as soon as the backend is used";
    work(300); // back at 1550
    quit();
    const auto actual = stored();
    ASSERT_EQ(actual.size(), 2u) << ::testing::PrintToString(actual);
    EXPECT_NEAR(actual[0].start, 0, 0.02);
    EXPECT_NEAR(actual[0].end, 649, 0.02);
    EXPECT_NEAR(actual[1].start, 1550, 0.02);
    EXPECT_NEAR(actual[1].end, 1850, 0.02);
}

INSTANTIATE_TEST_SUITE_P(
    Mutter, IdleSourceAskedAtStartTest, ::testing::Values(std::make_tuple(Backend::mutter, std::size_t(0))));

namespace {

// Reminders while the backends tell breaks and returns.
class ReminderAfterABreakTest : public IdleScenarioTest { };

} // namespace

TEST_P(ReminderAfterABreakTest, TheFirstReminderOfTheNextSessionFallsDueOneIntervalAfterItsStart)
{
    Defaults::set(kiruvo::Keys::notifyInterval(), std::optional(zk::Duration::minutes(30)));
    work(650);
    // Back half a second after a question of a source that is asked each second: the return is
    // told at the next question, and the session dated back to the input.
    away(900.5);
    work(5);
    ASSERT_TRUE(controller().currentSession());
    const double start = controller().currentSession()->start().seconds;
    // Within a second where figures are asked for.
    const bool asked = isScreenSaver(backend()) || backend() == Backend::x11ScreenSaver;
    EXPECT_NEAR(start, startUptime + 1550.5, asked ? 1.0 : 0.02);
    ASSERT_TRUE(controller().nextReminderAt());
    EXPECT_NEAR(*controller().nextReminderAt(), start + 1800, 0.001);

    fake.clock.advance(*controller().nextReminderAt() - now());
    controller().fireNotifyTimer();
    ASSERT_EQ(controller().reminderSeam().recordedCalls().size(), 1u);
    EXPECT_NEAR(controller().reminderSeam().recordedCalls()[0].seconds, 1802, 0.001)
        << "not a minute more than the interval";
}

// A short threshold, and a stretch away many times longer.
TEST_P(ReminderAfterABreakTest, NoSessionStartsAndNoReminderComesWhileTheUserIsAway)
{
    Defaults::set(kiruvo::Keys::notifyInterval(), std::optional(zk::Duration::minutes(3)));
    setThreshold(6);
    int started = 0;
    QObject counting;
    QObject::connect(&controller(), &kiruvo::SessionController::currentSessionChanged, &counting,
        [&] { started += controller().currentSession() ? 1 : 0; });
    const auto remind = [&] {
        if (controller().nextReminderAt() && *controller().nextReminderAt() <= now()) {
            controller().fireNotifyTimer();
        }
    };
    for (int minute = 0; minute < 5; ++minute) {
        work(60); // last input at 299
        remind();
    }
    const std::size_t reminders = controller().reminderSeam().recordedCalls().size();
    away(7);
    ASSERT_FALSE(controller().currentSession());
    const int startedBefore = started;
    for (int second = 0; second < 173; ++second) {
        away(1);
        remind();
    }
    EXPECT_EQ(started, startedBefore) << "sessions started while the user was away";
    EXPECT_FALSE(controller().currentSession());
    EXPECT_EQ(controller().reminderSeam().recordedCalls().size(), reminders);

    work(200); // back at 480
    quit();
    const auto actual = stored();
    ASSERT_EQ(actual.size(), 2u) << ::testing::PrintToString(actual);
    EXPECT_NEAR(actual[0].end, 299, 1.05);
    // Not a second of the time away counts as work; the return is seen within a second.
    EXPECT_GE(actual[1].start, 480 - 0.02) << ::testing::PrintToString(actual);
    EXPECT_LE(actual[1].start, 481.05) << ::testing::PrintToString(actual);
}

INSTANTIATE_TEST_SUITE_P(EveryBackend, ReminderAfterABreakTest,
    ::testing::Combine(::testing::Values(Backend::x11, Backend::x11ScreenSaver, Backend::mutter,
                           Backend::extIdleNotifyV1, Backend::extIdleNotifyV2, Backend::kdeIdle,
                           Backend::screenSaverSeconds, Backend::screenSaverMilliseconds),
        ::testing::Values(std::size_t(0))),
    [](const ::testing::TestParamInfo<IdleScenarioTest::ParamType>& info) {
        return std::string(toString(std::get<0>(info.param)));
    });

namespace {

// The application starts while the user is away, on a compositor that tells nothing of the input
// before it connected.
class LaunchedWhileAwayTest : public IdleScenarioTest { };

} // namespace

TEST_P(LaunchedWhileAwayTest, TheSessionThatEnablingStartedEndsAtOnceUnstoredAndTheReturnStartsTheNext)
{
    ASSERT_TRUE(controller().currentSession());
    away(3);
    EXPECT_FALSE(controller().currentSession()) << "shown running until a threshold after launch";
    away(897);
    work(300); // back at 900
    quit();
    const auto actual = stored();
    ASSERT_EQ(actual.size(), 1u) << ::testing::PrintToString(actual);
    EXPECT_NEAR(actual[0].start, 900, 0.02);
    EXPECT_NEAR(actual[0].end, 1200, 0.02);
}

INSTANTIATE_TEST_SUITE_P(WaylandProtocols, LaunchedWhileAwayTest,
    ::testing::Combine(
        ::testing::Values(Backend::extIdleNotifyV1, Backend::extIdleNotifyV2, Backend::kdeIdle),
        ::testing::Values(std::size_t(0))),
    [](const ::testing::TestParamInfo<IdleScenarioTest::ParamType>& info) {
        return std::string(toString(std::get<0>(info.param)));
    });
