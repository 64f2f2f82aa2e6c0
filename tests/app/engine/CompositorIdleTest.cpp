#include "app/SessionEngineFixture.h"

#include "libraries/defaults/Defaults.h"
#include "platform/desktop/FallbackIdleTimeSource.h"
#include "platform/linux/MutterIdleTimeSource.h"
#include "platform/linux/WaylandIdleTimeSource.h"
#include "platform/linux/X11SyncIdleTimeSource.h"
#include "support/KWinFakeInput.h"
#include "support/MutterRemoteDesktop.h"
#include "support/PrivateSessionBus.h"
#include "support/StandInSessionManager.h"

#include <QDBusConnectionInterface>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <csignal>
#include <functional>
#include <memory>
#include <optional>
#include <sys/prctl.h>
#include <unistd.h>
#include <utility>
#include <xcb/xcb.h>
#include <xcb/xtest.h>

// The engine with the real idle adapters against real compositors from Debian (kwin_wayland
// --virtual, mutter --headless and a headless sway running Xwayland) and a real X server (Xvfb),
// which have no input devices of their own: the test is their user, through KWin's fake-input
// protocol, Mutter's RemoteDesktop, wtype (into a Wayland window at sway) and XTest. The
// compositors decide in real time, so thresholds are a few seconds; the clock the engine reads runs in real
// time too, and the user's long stretches of work are skipped on it, so that sessions are long enough to be
// stored while their ends are still compared with the real moments of input.

namespace {

// A compositor's start on a loaded machine.
constexpr int startTimeoutMs = 60000;
// How late after the threshold an idle event may come on a loaded machine.
constexpr int eventMarginMs = 15000;
// How far from the real moment of input a session's start or end may lie: the compositor's timer
// and this process's event loop, on a loaded machine.
constexpr double timing = 0.5;
// Twenty minutes of work before the break, so that the session is kept.
constexpr double work = 1200;
// An evdev key code (KEY_A).
constexpr std::uint32_t keyA = 30;

// The system's clock with stretches skipped at will: the compositors count in real time, and the
// engine's figures stay comparable with theirs.
class FastForwardClock final : public platform::Clock {
public:
    FastForwardClock(platform::Date start, double uptime)
        : m_start(start)
        , m_uptime(uptime)
    {
        m_elapsed.start();
    }

    platform::Date now() const override { return m_start.addingTimeInterval(elapsed()); }
    double systemUptime() const override { return m_uptime + elapsed(); }
    // As if `seconds` had passed at once.
    void fastForward(double seconds) { m_skipped += seconds; }
    // The date at which the uptime was `uptime`.
    platform::Date dateAt(double uptime) const { return now().addingTimeInterval(uptime - systemUptime()); }

private:
    double elapsed() const { return static_cast<double>(m_elapsed.nsecsElapsed()) / 1e9 + m_skipped; }

    platform::Date m_start;
    double m_uptime;
    QElapsedTimer m_elapsed;
    double m_skipped = 0;
};

// A real compositor in the test's private runtime folder and on its private bus, with the idle
// adapter the application would use with it, and the user's hands.
class Compositor {
public:
    // KWin through ext-idle-notify, or through its older org_kde_kwin_idle as though it lacked
    // the newer one.
    enum class Kind { kwin, kwinKdeIdle, mutter, xvfb, sway };

    Compositor(QString runtime, QString busAddress)
        : m_runtime(std::move(runtime))
        , m_busAddress(std::move(busAddress))
    {
        // Gone with the test, even when it dies.
        m_process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
        m_process.setProcessChannelMode(QProcess::MergedChannels);
    }
    // Subclasses stop it in their destructors, while their input is still theirs to let go.
    virtual ~Compositor() = default;
    Compositor(const Compositor&) = delete;
    Compositor& operator=(const Compositor&) = delete;

    // Starts it and waits until it serves.
    virtual bool start(std::string* error) = 0;
    virtual std::unique_ptr<platform::IdleTimeSource> openSource(std::string* error) = 0;
    // The user's hands at this compositor, for as long as it runs.
    virtual bool connectInput(std::string* error) = 0;
    virtual bool movePointer() = 0;
    virtual bool pressKey(std::uint32_t evdevKey) = 0;

    bool isRunning() const { return m_process.state() != QProcess::NotRunning; }
    void stop()
    {
        disconnectInput();
        if (!isRunning()) {
            return;
        }
        const auto group = static_cast<pid_t>(m_process.processId());
        m_process.terminate();
        if (!m_process.waitForFinished(10000)) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
        if (m_ownProcessGroup) {
            // What it started and left behind (a helper still waiting for Xwayland to be ready).
            ::kill(-group, SIGKILL);
        }
    }
    std::string output() { return m_process.readAll().toStdString(); }

protected:
    virtual void disconnectInput() = 0;

    void launch(const QString& program, const QStringList& arguments, const QProcessEnvironment& extra)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime);
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_busAddress);
        environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
        environment.remove(QStringLiteral("DISPLAY"));
        for (const auto& key : extra.keys()) {
            environment.insert(key, extra.value(key));
        }
        m_process.setProcessEnvironment(environment);
        m_process.start(program, arguments);
    }

    // Waits until `ready` holds, or the compositor has ended.
    bool waitUntil(const std::function<bool()>& ready)
    {
        return QTest::qWaitFor([&] { return !isRunning() || ready(); }, startTimeoutMs) && isRunning();
    }

    // Started as a process group of its own, which ends with it.
    void startInOwnProcessGroup()
    {
        m_ownProcessGroup = true;
        m_process.setChildProcessModifier([] {
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            ::setpgid(0, 0);
        });
    }

    const QString m_runtime;
    const QString m_busAddress;
    QProcess m_process;
    bool m_ownProcessGroup = false;
};

class KWin final : public Compositor {
public:
    KWin(QString runtime, QString busAddress, platform::WaylandIdleTimeSource::Protocol protocol)
        : Compositor(std::move(runtime), std::move(busAddress))
        , m_protocol(protocol)
    {
    }
    ~KWin() override { stop(); }
    static constexpr const char* program = "kwin_wayland";
    static constexpr const char* package = "kwin-wayland";

    bool start(std::string* error) override
    {
        const QString kwin = QStandardPaths::findExecutable(QString::fromLatin1(program));
        // Debian gives kwin_wayland a file capability (cap_sys_resource). Where the bounding set
        // lacks it, as in many containers, the kernel refuses to run the file: it is run through
        // the dynamic loader instead, which takes no capability and tells KWin's own platform
        // plugin to load.
        const QString loader = QStringLiteral("/lib64/ld-linux-x86-64.so.2");
        QProcessEnvironment extra;
        extra.insert(QStringLiteral("KWIN_FORCE_OWN_QPA"), QStringLiteral("1"));
        extra.insert(QStringLiteral("KWIN_COMPOSE"), QStringLiteral("Q")); // no OpenGL
        extra.insert(QStringLiteral("QT_QPA_PLATFORM"), QString());
        // KWin offers fake input only to the clients it trusts, named by their desktop files; this
        // one has none.
        extra.insert(QStringLiteral("KWIN_WAYLAND_NO_PERMISSION_CHECKS"), QStringLiteral("1"));
        const QStringList arguments { QStringLiteral("--virtual"), QStringLiteral("--socket"), socketName,
            QStringLiteral("--no-lockscreen"), QStringLiteral("--no-global-shortcuts"),
            QStringLiteral("--width"), QStringLiteral("640"), QStringLiteral("--height"),
            QStringLiteral("480") };
        if (QFileInfo::exists(loader)) {
            launch(loader, QStringList { kwin } + arguments, extra);
        } else {
            launch(kwin, arguments, extra);
        }
        // Until its fake input is served too, which KWin offers a while after its socket, on a
        // loaded machine seconds later; waited for without the event loop, so that an adapter
        // looking for a compositor that is back finds this one only once the user's hands are
        // there, as a returning user's would be.
        QElapsedTimer waited;
        waited.start();
        std::string notYet;
        // The connection is kept as the user's hands: KWin checks every client that connects by
        // hashing its executable, which for a test program under the sanitizers costs a second.
        while (!QFileInfo::exists(socketPath()) || !(m_input = KWinFakeInput::open(socketPath(), &notYet))) {
            if (m_process.waitForFinished(50) || m_process.state() == QProcess::NotRunning
                || waited.elapsed() > startTimeoutMs) {
                *error = "kwin_wayland did not start with its fake input (" + notYet + ")";
                return false;
            }
        }
        return true;
    }

    std::unique_ptr<platform::IdleTimeSource> openSource(std::string* error) override
    {
        std::unique_ptr<platform::WaylandIdleTimeSource> source;
        // The socket exists a moment before the globals are served.
        waitUntil([&] {
            return (source = platform::WaylandIdleTimeSource::open(
                        socketPath().toLocal8Bit().constData(), error, m_protocol))
                != nullptr;
        });
        if (source) {
            // A compositor that is back is found at once, not after the application's interval.
            source->setReconnectInterval(100);
        }
        return source;
    }

    bool connectInput(std::string* error) override
    {
        if (!m_input) {
            m_input = KWinFakeInput::open(socketPath(), error);
        }
        return m_input != nullptr;
    }
    bool movePointer() override { return m_input && m_input->movePointer(); }
    bool pressKey(std::uint32_t evdevKey) override { return m_input && m_input->pressKey(evdevKey); }

private:
    inline static const QString socketName = QStringLiteral("kiruvo-kwin");
    QString socketPath() const { return m_runtime + QLatin1Char('/') + socketName; }
    void disconnectInput() override { m_input.reset(); }

    const platform::WaylandIdleTimeSource::Protocol m_protocol;
    std::unique_ptr<KWinFakeInput> m_input;
};

// Debian 12's sway 1.7 (wlroots 0.15), which offers org_kde_kwin_idle and no ext-idle-notify,
// headless, with Xwayland running and a Wayland window (weston-terminal, reading into cat) that
// has the keyboard. Sway refuses to run as root: run by root, the test starts it as an
// unprivileged user, who owns the runtime folder. The idle source is the one the application
// would choose in that session (WAYLAND_DISPLAY and DISPLAY set for the test's length), with no
// desktop services on the bus; the user types through wtype.
class Sway final : public Compositor {
public:
    static constexpr const char* program = "sway";
    static constexpr const char* package = "sway";
    // Who runs it when the test runs as root (nobody).
    static constexpr uid_t unprivileged = 65534;

    Sway(QString runtime, QString busAddress)
        : Compositor(std::move(runtime), std::move(busAddress))
    {
        // The test's temporary folders are its own user's alone: the unprivileged user's runtime
        // folder lies where anyone may reach it.
        if (::geteuid() == 0) {
            m_ownRuntime.emplace(QStringLiteral("/tmp/kiruvo-sway-XXXXXX"));
            m_sessionRuntime = m_ownRuntime->path();
        }
        // Sway forks a helper that waits for Xwayland to say it is ready, and outlives a sway ended
        // before that, with Xwayland; nor does the unprivileged user keep the signal at the test's end.
        startInOwnProcessGroup();
    }
    ~Sway() override
    {
        stop();
        restore("WAYLAND_DISPLAY", m_savedWayland);
        restore("DISPLAY", m_savedDisplay);
    }

    bool start(std::string* error) override
    {
        const QString session = m_sessionRuntime + QStringLiteral("/session");
        QFile::remove(session);
        QFile config(m_sessionRuntime + QStringLiteral("/config"));
        if (!config.open(QIODevice::WriteOnly)) {
            *error = "the sway configuration could not be written";
            return false;
        }
        // Xwayland at once, not at its first client; the session's names once both are up, and the
        // Wayland window once it is shown.
        config.write(QStringLiteral("xwayland force\n"
                                    "exec weston-terminal --shell=/bin/cat\n"
                                    "for_window [app_id=\".*\"] exec sh -c 'echo \"$WAYLAND_DISPLAY "
                                    "$DISPLAY\" > %1'\n")
                         .arg(session)
                         .toUtf8());
        config.close();
        config.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther);
        QProcessEnvironment extra;
        extra.insert(QStringLiteral("WLR_BACKENDS"), QStringLiteral("headless"));
        extra.insert(QStringLiteral("WLR_LIBINPUT_NO_DEVICES"), QStringLiteral("1"));
        extra.insert(QStringLiteral("WLR_RENDERER"), QStringLiteral("pixman"));
        extra.insert(QStringLiteral("HOME"), m_sessionRuntime);
        extra.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_sessionRuntime);
        const QStringList arguments { QStringLiteral("-c"), config.fileName() };
        if (::geteuid() == 0) {
            if (::chown(m_sessionRuntime.toLocal8Bit().constData(), unprivileged, unprivileged) != 0) {
                *error = "the runtime folder could not be handed to the unprivileged user";
                return false;
            }
            const QString id = QString::number(unprivileged);
            launch(QStringLiteral("setpriv"),
                QStringList { QStringLiteral("--reuid=") + id, QStringLiteral("--regid=") + id,
                    QStringLiteral("--clear-groups"), QString::fromLatin1(program) }
                    + arguments,
                extra);
        } else {
            launch(QString::fromLatin1(program), arguments, extra);
        }
        if (!waitUntil([&] {
                QFile file(session);
                return file.open(QIODevice::ReadOnly) && file.readAll().trimmed().split(' ').size() == 2;
            })) {
            *error = "sway did not start with Xwayland and a window";
            return false;
        }
        QFile file(session);
        file.open(QIODevice::ReadOnly);
        const QList<QByteArray> names = file.readAll().trimmed().split(' ');
        m_socket = m_sessionRuntime.toLocal8Bit() + '/' + names[0];
        m_display = names[1];
        return true;
    }

    std::unique_ptr<platform::IdleTimeSource> openSource(std::string* error) override
    {
        // The session's own, for as long as the test runs: a source looking for its compositor
        // again reads WAYLAND_DISPLAY then.
        if (!m_setSession) {
            m_setSession = true;
            m_savedWayland = saved("WAYLAND_DISPLAY");
            m_savedDisplay = saved("DISPLAY");
        }
        qputenv("WAYLAND_DISPLAY", m_socket);
        qputenv("DISPLAY", m_display);
        auto source = platform::IdleTimeSource::createDefault();
        // The desktop's D-Bus services are asked first, and are not on the test's bus.
        waitUntil([&] { return !source->isAsking(); });
        if (source->name() != "Wayland org_kde_kwin_idle") {
            *error = "idle time comes from " + source->name() + " in sway's session";
            return nullptr;
        }
        auto& chain = static_cast<platform::FallbackIdleTimeSource&>(*source);
        // A compositor that is back is found at once, not after the application's interval.
        static_cast<platform::WaylandIdleTimeSource*>(chain.active())->setReconnectInterval(100);
        return source;
    }

    bool connectInput(std::string* error) override
    {
        if (QStandardPaths::findExecutable(QStringLiteral("wtype")).isEmpty()) {
            *error = "wtype is not installed (Debian package wtype)";
            return false;
        }
        return true;
    }
    bool movePointer() override { return type(QStringLiteral("x")); }
    bool pressKey(std::uint32_t) override { return type(QStringLiteral("a")); }

private:
    // Returns once sway has had the key press and release.
    bool type(const QString& text)
    {
        QProcess wtype;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("WAYLAND_DISPLAY"), QString::fromLocal8Bit(m_socket));
        wtype.setProcessEnvironment(environment);
        wtype.start(QStringLiteral("wtype"), { text });
        return wtype.waitForFinished(10000) && wtype.exitStatus() == QProcess::NormalExit
            && wtype.exitCode() == 0;
    }
    void disconnectInput() override { }

    static std::optional<QByteArray> saved(const char* name)
    {
        return qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt;
    }
    static void restore(const char* name, const std::optional<QByteArray>& value)
    {
        if (value) {
            qputenv(name, *value);
        } else {
            qunsetenv(name);
        }
    }

    std::optional<QTemporaryDir> m_ownRuntime;
    QString m_sessionRuntime = m_runtime;
    QByteArray m_socket;
    QByteArray m_display;
    bool m_setSession = false;
    std::optional<QByteArray> m_savedWayland;
    std::optional<QByteArray> m_savedDisplay;
};

class Mutter final : public Compositor {
public:
    static constexpr const char* program = "mutter";
    static constexpr const char* package = "mutter";

    Mutter(QString runtime, PrivateSessionBus& bus)
        : Compositor(std::move(runtime), bus.address())
        , m_bus(bus.connect(QStringLiteral("kiruvo-mutter-test")))
    {
    }
    ~Mutter() override { stop(); }

    bool start(std::string* error) override
    {
        launch(QString::fromLatin1(program),
            { QStringLiteral("--headless"), QStringLiteral("--virtual-monitor"), QStringLiteral("640x480"),
                QStringLiteral("--wayland"), QStringLiteral("--no-x11"), QStringLiteral("--wayland-display"),
                QStringLiteral("kiruvo-mutter") },
            {});
        // Its services come on the bus one after the other; the user's hands are the last.
        if (!waitUntil([&] {
                return m_bus.interface()->isServiceRegistered(
                    QString::fromLatin1(MutterRemoteDesktop::serviceName));
            })) {
            *error = "mutter did not start";
            return false;
        }
        return true;
    }

    std::unique_ptr<platform::IdleTimeSource> openSource(std::string* error) override
    {
        auto source = std::make_unique<platform::MutterIdleTimeSource>(m_bus);
        source->probe(2000);
        // The IdleMonitor may come on the bus after the services waited for: it is taken then.
        if (!waitUntil([&] { return source->isAvailable(); })) {
            *error = "mutter's IdleMonitor did not answer";
            return nullptr;
        }
        return source;
    }

    bool connectInput(std::string* error) override
    {
        m_input = std::make_unique<MutterRemoteDesktop>(m_bus);
        if (!m_input->start(error)) {
            m_input.reset();
            return false;
        }
        return true;
    }
    bool movePointer() override { return m_input && m_input->movePointer(); }
    bool pressKey(std::uint32_t evdevKey) override { return m_input && m_input->pressKey(evdevKey); }

private:
    void disconnectInput() override { m_input.reset(); }

    QDBusConnection m_bus;
    std::unique_ptr<MutterRemoteDesktop> m_input;
};

// An X server with no devices of its own; XTest input counts as a device's (raw events, IDLETIME).
class Xvfb final : public Compositor {
public:
    static constexpr const char* program = "Xvfb";
    static constexpr const char* package = "xvfb";

    using Compositor::Compositor;
    ~Xvfb() override { stop(); }

    // The first start takes a free display; a restart takes the same again, as a server that
    // comes back does.
    bool start(std::string* error) override
    {
        m_process.setProcessChannelMode(QProcess::SeparateChannels);
        // Not started anew whenever its last client leaves: a client connecting meanwhile would
        // find no server.
        QStringList arguments { QStringLiteral("-screen"), QStringLiteral("0"), QStringLiteral("640x480x24"),
            QStringLiteral("-nolisten"), QStringLiteral("tcp"), QStringLiteral("-noreset") };
        if (m_display.isEmpty()) {
            arguments << QStringLiteral("-displayfd") << QStringLiteral("1");
        } else {
            arguments.prepend(m_display);
        }
        launch(QString::fromLatin1(program), arguments, {});
        if (m_display.isEmpty()) {
            if (!waitUntil([&] { return m_process.canReadLine(); })) {
                *error = "Xvfb did not start";
                return false;
            }
            m_display = QLatin1Char(':') + QString::fromLatin1(m_process.readLine()).trimmed();
        }
        // Up once a client connects.
        if (!waitUntil([&] {
                xcb_connection_t* probe = xcb_connect(display().c_str(), nullptr);
                const bool connected = !xcb_connection_has_error(probe);
                xcb_disconnect(probe);
                return connected;
            })) {
            *error = "Xvfb did not start";
            return false;
        }
        return true;
    }

    std::unique_ptr<platform::IdleTimeSource> openSource(std::string* error) override
    {
        auto source = platform::X11SyncIdleTimeSource::open(display().c_str(), error);
        if (source) {
            // A server that is back is found at once, not after the application's interval.
            source->setReconnectInterval(100);
        }
        return source;
    }

    bool connectInput(std::string* error) override
    {
        disconnectInput();
        m_input = xcb_connect(display().c_str(), nullptr);
        if (xcb_connection_has_error(m_input)) {
            *error = "the X server took no client for the input";
            disconnectInput();
            return false;
        }
        m_root = xcb_setup_roots_iterator(xcb_get_setup(m_input)).data->root;
        return true;
    }
    bool movePointer() override
    {
        m_right = !m_right;
        return fakeInput(XCB_MOTION_NOTIFY, 0, m_right ? 120 : 100);
    }
    bool pressKey(std::uint32_t evdevKey) override
    {
        const auto key = static_cast<std::uint8_t>(evdevKey + 8);
        return fakeInput(XCB_KEY_PRESS, key, 0) && fakeInput(XCB_KEY_RELEASE, key, 0);
    }

    std::string display() const { return m_display.toStdString(); }

private:
    // Returns once the server has handled it.
    bool fakeInput(std::uint8_t type, std::uint8_t detail, std::int16_t x)
    {
        if (!m_input) {
            return false;
        }
        xcb_test_fake_input(m_input, type, detail, XCB_CURRENT_TIME, m_root, x, 100, 0);
        xcb_get_input_focus_reply_t* reply
            = xcb_get_input_focus_reply(m_input, xcb_get_input_focus(m_input), nullptr);
        free(reply);
        return reply != nullptr;
    }
    void disconnectInput() override
    {
        if (m_input) {
            xcb_disconnect(m_input);
            m_input = nullptr;
        }
    }

    QString m_display;
    xcb_connection_t* m_input = nullptr;
    xcb_window_t m_root = 0;
    bool m_right = false;
};

class CompositorIdleTest : public SessionEngineTest, public ::testing::WithParamInterface<Compositor::Kind> {
protected:
    void SetUp() override
    {
        SessionEngineTest::SetUp();
        ASSERT_TRUE(m_runtime.isValid());
        platform::Clock::setShared(&m_clock);
        m_tick.setInterval(1000);
        QObject::connect(&m_tick, &QTimer::timeout, [this] { controller().checkIdle(); });
    }

    void TearDown() override
    {
        m_tick.stop();
        m_controller.reset();
        platform::IdleTimeSource::setShared(nullptr);
        m_source.reset();
        m_compositor.reset();
        platform::Clock::setShared(&fake.clock);
        SessionEngineTest::TearDown();
    }

    // Starts a compositor of this kind, with the adapter for it; skips when it is not installed.
    void startCompositor(Compositor::Kind kind)
    {
        const auto [program, package] = [kind]() -> std::pair<const char*, const char*> {
            switch (kind) {
            case Compositor::Kind::kwin:
            case Compositor::Kind::kwinKdeIdle:
                return { KWin::program, KWin::package };
            case Compositor::Kind::mutter:
                return { Mutter::program, Mutter::package };
            case Compositor::Kind::xvfb:
                return { Xvfb::program, Xvfb::package };
            case Compositor::Kind::sway:
                return { Sway::program, Sway::package };
            }
            return { "", "" };
        }();
        if (QStandardPaths::findExecutable(QString::fromLatin1(program)).isEmpty()) {
            GTEST_SKIP() << program << " is not installed (Debian package " << package << ")";
        }
        ASSERT_TRUE(m_bus.isRunning()) << "dbus-daemon did not start";
        using Protocol = platform::WaylandIdleTimeSource::Protocol;
        switch (kind) {
        case Compositor::Kind::kwin:
            m_compositor = std::make_unique<KWin>(m_runtime.path(), m_bus.address(), Protocol::extIdleNotify);
            break;
        case Compositor::Kind::kwinKdeIdle:
            m_compositor = std::make_unique<KWin>(m_runtime.path(), m_bus.address(), Protocol::kdeIdle);
            break;
        case Compositor::Kind::sway:
            m_compositor = std::make_unique<Sway>(m_runtime.path(), m_bus.address());
            break;
        case Compositor::Kind::mutter:
            m_compositor = std::make_unique<Mutter>(m_runtime.path(), m_bus);
            break;
        case Compositor::Kind::xvfb:
            m_compositor = std::make_unique<Xvfb>(m_runtime.path(), m_bus.address());
            break;
        }
        std::string error;
        ASSERT_TRUE(m_compositor->start(&error)) << error << "\n" << m_compositor->output();
        m_source = m_compositor->openSource(&error);
        ASSERT_NE(m_source, nullptr) << error << "\n" << m_compositor->output();
        ASSERT_TRUE(m_compositor->connectInput(&error)) << error << "\n" << m_compositor->output();
    }

    // The user moves the pointer; the moment (uptime) the compositor has it.
    double movePointer()
    {
        EXPECT_TRUE(m_compositor->movePointer()) << "the compositor took no input";
        return m_clock.systemUptime();
    }
    double pressKey()
    {
        EXPECT_TRUE(m_compositor->pressKey(keyA)) << "the compositor took no key press";
        return m_clock.systemUptime();
    }

    // The engine follows the adapter with this threshold, ticking every second as the application
    // does; the user is at work, and a session runs from now on.
    void startTracking(double threshold)
    {
        Defaults::set(kiruvo::Keys::idleDurationBeforeStop(), zk::Duration::fromSeconds(threshold));
        platform::IdleTimeSource::setShared(m_source.get());
        movePointer();
        controller().checkIdle();
        ASSERT_TRUE(controller().currentSession());
        m_sessionStart = m_clock.now();
        m_tick.start();
    }

    void changeThreshold(double threshold)
    {
        Defaults::set(kiruvo::Keys::idleDurationBeforeStop(), zk::Duration::fromSeconds(threshold));
    }

    // Waits until the running session has ended from idle, no later than the threshold after the
    // last input and a margin; the real time waited.
    double waitForIdle(double threshold)
    {
        QElapsedTimer waited;
        waited.start();
        const bool ended = QTest::qWaitFor([&] { return !controller().currentSession(); },
            static_cast<int>(threshold * 1000) + eventMarginMs);
        EXPECT_TRUE(ended) << "no idle event within the threshold and " << eventMarginMs
                           << " ms; the compositor said:\n"
                           << m_compositor->output();
        return static_cast<double>(waited.elapsed()) / 1000.0;
    }

    // Waits for the session that the user's return starts.
    bool waitForReturn(double threshold)
    {
        return QTest::qWaitFor([&] { return controller().currentSession().has_value(); },
            static_cast<int>(threshold * 1000) + eventMarginMs);
    }

    // The user is away for a while shorter than the threshold: nothing to wait for but time.
    static void pause(double seconds) { QTest::qWait(static_cast<int>(seconds * 1000)); }

    // Starts a compositor of this kind and the engine with this threshold; the user has then been
    // at work for a long while. False when the test is skipped or has failed.
    bool startWorking(Compositor::Kind kind, double threshold)
    {
        startCompositor(kind);
        if (IsSkipped() || HasFatalFailure()) {
            return false;
        }
        startTracking(threshold);
        // Skipped once the X server's adapter has had the input, as time skipped while it watches
        // for input would be a pause to it.
        if (const auto* x11 = dynamic_cast<platform::X11SyncIdleTimeSource*>(m_source.get())) {
            EXPECT_TRUE(QTest::qWaitFor([&] { return !x11->isWatchingInput(); }, eventMarginMs));
        }
        m_clock.fastForward(work);
        return !HasFatalFailure();
    }

    // One session was stored, from the start of the work to the last input at uptime `lastInput`.
    void expectOneSessionEndingAt(double lastInput)
    {
        const auto sessions = storedSessions();
        ASSERT_EQ(sessions.size(), 1u);
        EXPECT_NEAR(sessions[0].dateRange().lowerBound.timeIntervalSince(m_sessionStart), 0, timing);
        EXPECT_NEAR(secondsAfter(lastInput, sessions[0].dateRange().upperBound), 0, timing);
    }

    // The sessions stored since the test's first session began.
    std::vector<kiruvo::Session> storedSessions()
    {
        std::vector<kiruvo::Session> sessions;
        for (const auto& session : controller().allSessions()) {
            if (session.dateRange().lowerBound.timeIntervalSince(m_sessionStart) > -timing) {
                sessions.push_back(session);
            }
        }
        return sessions;
    }

    // Seconds from the moment at uptime `uptime` to `date`.
    double secondsAfter(double uptime, platform::Date date) const
    {
        return date.timeIntervalSince(m_clock.dateAt(uptime));
    }

    QTemporaryDir m_runtime;
    PrivateSessionBus m_bus;
    FastForwardClock m_clock { oslo(2024, 5, 15, 12), 100000 };
    QTimer m_tick;
    std::unique_ptr<Compositor> m_compositor;
    std::unique_ptr<platform::IdleTimeSource> m_source;
    platform::Date m_sessionStart;
};

const char* toString(Compositor::Kind kind)
{
    switch (kind) {
    case Compositor::Kind::kwin:
        return "KWin";
    case Compositor::Kind::kwinKdeIdle:
        return "KWinKdeIdle";
    case Compositor::Kind::sway:
        return "Sway";
    case Compositor::Kind::mutter:
        return "Mutter";
    case Compositor::Kind::xvfb:
        return "Xvfb";
    }
    return "unknown";
}

void PrintTo(Compositor::Kind kind, std::ostream* stream)
{
    *stream << toString(kind);
}

std::string compositorName(const ::testing::TestParamInfo<Compositor::Kind>& info)
{
    return toString(info.param);
}

} // namespace

TEST_P(CompositorIdleTest, ABreakEndsTheSessionAtTheLastInputAndTheReturnStartsTheNext)
{
    constexpr double threshold = 3;
    if (!startWorking(GetParam(), threshold)) {
        return;
    }
    const double lastInput = movePointer();
    const double waited = waitForIdle(threshold);
    // The compositor decided, not a timer of ours.
    EXPECT_GE(waited, threshold - timing);

    expectOneSessionEndingAt(lastInput);

    // Back at the keyboard: the next session starts with that key press, within a second.
    ASSERT_FALSE(controller().currentSession());
    const double returned = pressKey();
    ASSERT_TRUE(waitForReturn(threshold)) << "the return was not seen; the compositor said:\n"
                                          << m_compositor->output();
    EXPECT_LT(m_clock.systemUptime() - returned, 1 + timing);
    EXPECT_NEAR(controller().currentSession()->start().seconds, returned, timing);
}

TEST_P(CompositorIdleTest, APauseShorterThanTheThresholdKeepsOneSession)
{
    constexpr double threshold = 4;
    if (!startWorking(GetParam(), threshold)) {
        return;
    }
    movePointer();
    pause(threshold / 2);
    EXPECT_TRUE(controller().currentSession()) << "a pause of half the threshold ended the session";
    const double lastInput = pressKey();
    waitForIdle(threshold);

    expectOneSessionEndingAt(lastInput);
}

TEST_P(CompositorIdleTest, AThresholdRaisedDuringAPauseEndsTheSessionAtTheRealLastInput)
{
    constexpr double threshold = 3;
    constexpr double raised = 5;
    if (!startWorking(GetParam(), threshold)) {
        return;
    }
    const double lastInput = movePointer();
    pause(threshold / 2);
    changeThreshold(raised);
    const double waited = waitForIdle(raised);
    // Not before the raised threshold has passed since the last input.
    EXPECT_GE(waited, raised - threshold / 2 - timing);
    expectOneSessionEndingAt(lastInput);
}

TEST_P(CompositorIdleTest, ACompositorThatIsGoneAndBackStillTellsTheBreak)
{
    constexpr double threshold = 3;
    if (!startWorking(GetParam(), threshold)) {
        return;
    }

    m_compositor->stop();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !m_source->isAvailable(); }, startTimeoutMs))
        << "the adapter did not notice that the compositor had gone";
    std::string error;
    ASSERT_TRUE(m_compositor->start(&error)) << error << "\n" << m_compositor->output();
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_source->isAvailable(); }, startTimeoutMs))
        << "the adapter did not find the compositor again";
    ASSERT_TRUE(m_compositor->connectInput(&error)) << error << "\n" << m_compositor->output();
    EXPECT_TRUE(controller().currentSession()) << "the compositor's restart ended the session";

    const double lastInput = movePointer();
    waitForIdle(threshold);
    expectOneSessionEndingAt(lastInput);
}

INSTANTIATE_TEST_SUITE_P(RealCompositors, CompositorIdleTest,
    ::testing::Values(Compositor::Kind::kwin, Compositor::Kind::kwinKdeIdle, Compositor::Kind::mutter,
        Compositor::Kind::xvfb, Compositor::Kind::sway),
    compositorName);

// The Wayland protocols tell nothing of the input before the application connected. Started while
// the user is away, it shows no session for long: the one that enabling started ends within the
// first seconds, unstored, and the user's return starts the next.
class WaylandLaunchTest : public CompositorIdleTest { };

TEST_P(WaylandLaunchTest, TrackingEnabledAtLaunchWhileTheUserIsAwayEndsTheSessionAtOnce)
{
    constexpr double threshold = 60;
    // As the application does at start: the source opens, the engine follows it at once, and
    // enabling at launch starts a session.
    startCompositor(GetParam());
    if (IsSkipped() || HasFatalFailure()) {
        return;
    }
    m_sessionStart = m_clock.now();
    Defaults::set(kiruvo::Keys::idleDurationBeforeStop(), zk::Duration::fromSeconds(threshold));
    platform::IdleTimeSource::setShared(m_source.get());
    controller().setEnabled(true);
    m_tick.start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !controller().currentSession(); }, 10000))
        << "the session still runs; the compositor said:\n"
        << m_compositor->output();
    EXPECT_TRUE(storedSessions().empty());

    const double returned = pressKey();
    ASSERT_TRUE(waitForReturn(threshold)) << "the return was not seen; the compositor said:\n"
                                          << m_compositor->output();
    EXPECT_NEAR(controller().currentSession()->start().seconds, returned, timing);
}

INSTANTIATE_TEST_SUITE_P(WaylandCompositors, WaylandLaunchTest,
    ::testing::Values(Compositor::Kind::kwin, Compositor::Kind::kwinKdeIdle, Compositor::Kind::sway),
    compositorName);

// GNOME while another application inhibits idle (a video playing, a call): the session manager
// says so, and Mutter's idle watches stay silent. Idle time counts input only, so the break must
// still be seen. (KWin 5.27 offers only version 1 of ext-idle-notify, which stays silent too, and
// nothing else to ask.)
class CompositorIdleInhibitedTest : public CompositorIdleTest {
protected:
    void TearDown() override
    {
        CompositorIdleTest::TearDown();
        m_sessionManagerThread.quit();
        m_sessionManagerThread.wait();
        m_sessionManager.reset();
    }

    // The session manager on a thread of its own: Mutter may ask it while this thread waits for
    // Mutter.
    void startSessionManager(uint inhibitedActions)
    {
        QDBusConnection connection = m_bus.connect(QStringLiteral("kiruvo-session-manager"));
        m_sessionManager = std::make_unique<StandInSessionManager>(connection);
        ASSERT_TRUE(m_sessionManager->isServing());
        m_sessionManager->setInhibitedActions(inhibitedActions);
        m_sessionManagerThread.start();
        m_sessionManager->moveToThread(&m_sessionManagerThread);
        ASSERT_EQ(
            connection.interface()->registerService(QString::fromLatin1(StandInSessionManager::name)).value(),
            QDBusConnectionInterface::ServiceRegistered);
    }

    QThread m_sessionManagerThread;
    std::unique_ptr<StandInSessionManager> m_sessionManager;
};

TEST_F(CompositorIdleInhibitedTest, MutterTellsTheBreakAndTheReturnWhileAnotherApplicationInhibitsIdle)
{
    ASSERT_TRUE(m_bus.isRunning()) << "dbus-daemon did not start";
    // Before Mutter starts, which reads it once and then follows its changes.
    startSessionManager(StandInSessionManager::idleInhibited);

    constexpr double threshold = 3;
    if (!startWorking(Compositor::Kind::mutter, threshold)) {
        return;
    }
    const double lastInput = movePointer();
    waitForIdle(threshold);
    expectOneSessionEndingAt(lastInput);

    const double returned = pressKey();
    ASSERT_TRUE(waitForReturn(threshold)) << "the return was not seen; the compositor said:\n"
                                          << m_compositor->output();
    EXPECT_NEAR(controller().currentSession()->start().seconds, returned, timing);
}

// The inhibitor ends during the pause (the video is over): Mutter counts its idle time afresh from
// that moment, but the user left before it.
TEST_F(CompositorIdleInhibitedTest, MutterTellsTheBreakFromTheLastInputWhenAnInhibitorEndsDuringThePause)
{
    ASSERT_TRUE(m_bus.isRunning()) << "dbus-daemon did not start";
    startSessionManager(StandInSessionManager::idleInhibited);

    constexpr double threshold = 10;
    if (!startWorking(Compositor::Kind::mutter, threshold)) {
        return;
    }
    const double lastInput = movePointer();
    pause(7);
    ASSERT_TRUE(controller().currentSession());
    m_sessionManager->setInhibitedActions(0);
    // Not the threshold after the inhibitor's end, which Mutter's own watches would wait for.
    const double waited = waitForIdle(threshold - 7);
    EXPECT_LT(waited, threshold - 7 + 3) << "told from the inhibitor's end";
    expectOneSessionEndingAt(lastInput);

    // Back 13 s after the last input, before Mutter's count from the inhibitor's end reached the
    // threshold.
    pause(std::max(0.0, 13 - (m_clock.systemUptime() - lastInput)));
    const double returned = pressKey();
    ASSERT_TRUE(waitForReturn(threshold)) << "the return was not seen; the compositor said:\n"
                                          << m_compositor->output();
    EXPECT_NEAR(controller().currentSession()->start().seconds, returned, timing);
}

// The inhibitor ends two seconds after an input, before the adapter has asked Mutter again: Mutter
// counts from the end, and a break of the threshold and a second would pass unseen.
TEST_F(CompositorIdleInhibitedTest, MutterTellsTheBreakFromTheLastInputWhenAnInhibitorEndsSecondsAfterIt)
{
    ASSERT_TRUE(m_bus.isRunning()) << "dbus-daemon did not start";
    startSessionManager(StandInSessionManager::idleInhibited);

    constexpr double threshold = 10;
    if (!startWorking(Compositor::Kind::mutter, threshold)) {
        return;
    }
    movePointer();
    // The adapter asks again, with a new watch, that the next input fires.
    pause(platform::MutterIdleTimeSource::inputCheckInterval + 1);
    const double lastInput = movePointer();
    pause(2);
    ASSERT_TRUE(controller().currentSession());
    m_sessionManager->setInhibitedActions(0);
    waitForIdle(threshold - 2);
    expectOneSessionEndingAt(lastInput);

    // Back 11 s after the last input.
    pause(std::max(0.0, 11 - (m_clock.systemUptime() - lastInput)));
    const double returned = pressKey();
    ASSERT_TRUE(waitForReturn(threshold)) << "the return was not seen; the compositor said:\n"
                                          << m_compositor->output();
    EXPECT_NEAR(controller().currentSession()->start().seconds, returned, timing);
}

// Video players, browsers playing video and `xdg-screensaver reset` reset the X server's screen
// saver every few seconds, which restarts its IDLETIME counter and MIT-SCREEN-SAVER's idle time as
// input would: here `xset s reset`, every second. Only real input counts.
TEST_F(CompositorIdleTest, XvfbTellsTheBreakAndTheReturnWhileAProgramResetsTheScreenSaverEverySecond)
{
    if (QStandardPaths::findExecutable(QStringLiteral("xset")).isEmpty()) {
        GTEST_SKIP() << "xset is not installed (Debian package x11-xserver-utils)";
    }
    constexpr double threshold = 3;
    if (!startWorking(Compositor::Kind::xvfb, threshold)) {
        return;
    }
    const QString display = QString::fromStdString(static_cast<Xvfb&>(*m_compositor).display());
    int resets = 0;
    QTimer reset;
    reset.setInterval(1000);
    QObject::connect(&reset, &QTimer::timeout, [&] {
        QProcess::execute(QStringLiteral("xset"),
            { QStringLiteral("-display"), display, QStringLiteral("s"), QStringLiteral("reset") });
        ++resets;
    });
    reset.start();

    const double lastInput = movePointer();
    waitForIdle(threshold);
    expectOneSessionEndingAt(lastInput);
    EXPECT_GE(resets, 2);

    // The resets go on through the break, and start no session.
    const int before = resets;
    EXPECT_FALSE(QTest::qWaitFor([&] { return controller().currentSession().has_value(); }, 3000))
        << "a screen saver reset was taken for the return";
    EXPECT_GE(resets, before + 2);

    const double returned = pressKey();
    ASSERT_TRUE(waitForReturn(threshold)) << "the return was not seen";
    EXPECT_NEAR(controller().currentSession()->start().seconds, returned, timing);
    reset.stop();
}
