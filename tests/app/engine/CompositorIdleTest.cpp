#include "app/SessionEngineFixture.h"

#include "libraries/defaults/Defaults.h"
#include "platform/linux/MutterIdleTimeSource.h"
#include "platform/linux/WaylandIdleTimeSource.h"
#include "support/PrivateSessionBus.h"

#include <QDBusMessage>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

#include <cmath>
#include <memory>
#include <optional>

// The engine against real compositors from Debian, started here with no input device at all: after
// the threshold without input the compositor says the user is idle, and the running session must
// be stored, ending at the last input. The compositors decide in real time, so the threshold is a
// few seconds; the work before the break is fake time (the engine's clock), so that the session is
// long enough to be stored and its exact end is known.

namespace {

// The idle threshold, unless the compositor counts from a moment further back (its start).
constexpr double shortThreshold = 3;
// Start-up of a compositor on a loaded machine, and the threshold with room to spare.
constexpr int startTimeoutMs = 60000;
constexpr int idleTimeoutMs = 30000;

class CompositorIdleTest : public SessionEngineTest {
protected:
    void SetUp() override
    {
        SessionEngineTest::SetUp();
        ASSERT_TRUE(m_runtime.isValid());
    }

    void TearDown() override
    {
        m_controller.reset();
        platform::IdleTimeSource::setShared(nullptr);
        m_source.reset();
        if (m_compositor.state() != QProcess::NotRunning) {
            m_compositor.terminate();
            if (!m_compositor.waitForFinished(10000)) {
                m_compositor.kill();
                m_compositor.waitForFinished(5000);
            }
        }
        SessionEngineTest::TearDown();
    }

    // Starts `program` with `arguments` in the test's private runtime folder and bus.
    void startCompositor(
        const QString& program, const QStringList& arguments, const QProcessEnvironment& extra)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime.path());
        environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
        environment.remove(QStringLiteral("DISPLAY"));
        for (const auto& key : extra.keys()) {
            environment.insert(key, extra.value(key));
        }
        m_compositor.setProcessEnvironment(environment);
        m_compositor.setProcessChannelMode(QProcess::MergedChannels);
        m_compositor.start(program, arguments);
    }

    std::string compositorOutput() { return m_compositor.readAll().toStdString(); }

    // The engine over `source`: the session starts now and the user works 20 minutes (fake time)
    // before the compositor, counting in real time, finds no input for the threshold.
    // `datedBack`: how far before the idle event the source dates the last input, the fake clock
    // standing still while the compositor counts (the threshold, unless the source dates it by a
    // shorter notification of its own).
    void runSession(std::unique_ptr<platform::IdleTimeSource> source, double threshold = shortThreshold,
        std::optional<double> datedBack = std::nullopt)
    {
        Defaults::set(kiruvo::Keys::idleDurationBeforeStop(), zk::Duration::fromSeconds(threshold));
        m_source = std::move(source);
        platform::IdleTimeSource::setShared(m_source.get());
        const platform::Date start = fake.clock.now();
        controller().checkIdle();
        ASSERT_TRUE(controller().currentSession());
        fake.clock.advance(1200);
        const platform::Date eventTime = fake.clock.now();

        QElapsedTimer waited;
        waited.start();
        const bool ended = QTest::qWaitFor([&] { return !controller().currentSession(); }, idleTimeoutMs);
        ASSERT_TRUE(ended) << "no idle event within " << idleTimeoutMs << " ms; compositor said:\n"
                           << compositorOutput();
        // The compositor decided, not a timer of ours.
        EXPECT_GE(waited.elapsed(), 1000);

        // The one session of this run (a test before may have left history in the shared store).
        std::vector<kiruvo::Session> sessions;
        for (const auto& session : controller().allSessions()) {
            if (std::abs(session.dateRange().lowerBound.timeIntervalSince(start)) < 0.02) {
                sessions.push_back(session);
            }
        }
        ASSERT_EQ(sessions.size(), 1u);
        // It ends at the last input, the event's moment less the threshold (the running session's
        // range carries 0.01 s).
        EXPECT_NEAR(sessions[0].dateRange().upperBound.timeIntervalSince(eventTime),
            -datedBack.value_or(threshold), 0.02);
    }

    QTemporaryDir m_runtime;
    QProcess m_compositor;
    std::unique_ptr<platform::IdleTimeSource> m_source;
};

// Waits for a path to appear, or the process to end.
bool waitForPath(const QString& path, QProcess& process)
{
    return QTest::qWaitFor([&] { return QFileInfo::exists(path) || process.state() == QProcess::NotRunning; },
               startTimeoutMs)
        && QFileInfo::exists(path);
}

} // namespace

TEST_F(CompositorIdleTest, KWinSaysIdleThroughExtIdleNotifyAndTheSessionEndsAtTheLastInput)
{
    const QString kwin = QStandardPaths::findExecutable(QStringLiteral("kwin_wayland"));
    if (kwin.isEmpty()) {
        GTEST_SKIP() << "kwin_wayland is not installed (Debian package kwin-wayland)";
    }
    // Debian gives kwin_wayland a file capability (cap_sys_resource). Where the bounding set lacks
    // it, as in many containers, the kernel refuses to run the file: it is run through the dynamic
    // loader instead, which takes no capability and tells KWin's own platform plugin to load.
    const QString loader = QStringLiteral("/lib64/ld-linux-x86-64.so.2");
    QProcessEnvironment extra;
    extra.insert(QStringLiteral("KWIN_FORCE_OWN_QPA"), QStringLiteral("1"));
    extra.insert(QStringLiteral("KWIN_COMPOSE"), QStringLiteral("Q")); // no OpenGL
    extra.insert(QStringLiteral("QT_QPA_PLATFORM"), QString());
    const QStringList arguments { QStringLiteral("--virtual"), QStringLiteral("--socket"),
        QStringLiteral("kiruvo-kwin"), QStringLiteral("--no-lockscreen"),
        QStringLiteral("--no-global-shortcuts"), QStringLiteral("--width"), QStringLiteral("640"),
        QStringLiteral("--height"), QStringLiteral("480") };
    if (QFileInfo::exists(loader)) {
        startCompositor(loader, QStringList { kwin } + arguments, extra);
    } else {
        startCompositor(kwin, arguments, extra);
    }
    const QString socket = m_runtime.filePath(QStringLiteral("kiruvo-kwin"));
    ASSERT_TRUE(waitForPath(socket, m_compositor)) << "kwin_wayland did not start:\n" << compositorOutput();

    std::string error;
    std::unique_ptr<platform::WaylandIdleTimeSource> source;
    // The socket exists a moment before the globals are served.
    static_cast<void>(QTest::qWaitFor(
        [&] {
            return (source = platform::WaylandIdleTimeSource::open(socket.toLocal8Bit().constData(), &error))
                != nullptr;
        },
        startTimeoutMs));
    ASSERT_NE(source, nullptr) << error << "\n" << compositorOutput();
    // The pause mark's "idled" dates the last input.
    runSession(std::move(source), shortThreshold, platform::WaylandIdleTimeSource::pauseMarkSeconds);
}

TEST_F(CompositorIdleTest, MutterSaysIdleThroughItsIdleMonitorAndTheSessionEndsAtTheLastInput)
{
    const QString mutter = QStandardPaths::findExecutable(QStringLiteral("mutter"));
    if (mutter.isEmpty()) {
        GTEST_SKIP() << "mutter is not installed (Debian package mutter)";
    }
    PrivateSessionBus bus;
    ASSERT_TRUE(bus.isRunning()) << "dbus-daemon did not start";
    QProcessEnvironment extra;
    extra.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), bus.address());
    startCompositor(mutter,
        { QStringLiteral("--headless"), QStringLiteral("--virtual-monitor"), QStringLiteral("640x480"),
            QStringLiteral("--wayland"), QStringLiteral("--no-x11"), QStringLiteral("--wayland-display"),
            QStringLiteral("kiruvo-mutter") },
        extra);

    QDBusConnection connection = bus.connect(QStringLiteral("kiruvo-mutter-test"));
    auto source = std::make_unique<platform::MutterIdleTimeSource>(connection);
    std::string error;
    const bool answered
        = QTest::qWaitFor(
              [&] { return source->probe(2000, &error) || m_compositor.state() == QProcess::NotRunning; },
              startTimeoutMs)
        && m_compositor.state() != QProcess::NotRunning;
    ASSERT_TRUE(answered) << "mutter's IdleMonitor did not answer: " << error << "\n" << compositorOutput();
    // Mutter counts the idle time from its own start, which a loaded machine may have taken
    // seconds over: the threshold lies a few seconds ahead of what it says now.
    const QDBusMessage idle = connection.call(
        QDBusMessage::createMethodCall(QString::fromLatin1(platform::MutterIdleTimeSource::serviceName),
            QString::fromLatin1(platform::MutterIdleTimeSource::objectPath),
            QString::fromLatin1(platform::MutterIdleTimeSource::interfaceName),
            QStringLiteral("GetIdletime")),
        QDBus::Block, 5000);
    ASSERT_EQ(idle.arguments().size(), 1) << idle.errorMessage().toStdString();
    const double seconds = static_cast<double>(idle.arguments().front().toULongLong()) / 1000.0;
    runSession(std::move(source), std::ceil(seconds) + shortThreshold);
}
