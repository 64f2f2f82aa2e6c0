#include "platform/desktop/SystemEvents.h"
#include "platform/fake/FakeSystemEvents.h"
#include "platform/linux/DisplayLossWatch.h"
#include "platform/linux/LogindSystemEvents.h"
#include "platform/linux/X11IdleTimeSource.h"
#include "support/PrivateSessionBus.h"
#include "support/PrivateXServer.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusUnixFileDescriptor>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMessageBox>
#include <QProcess>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <functional>
#include <future>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <poll.h>
#include <unistd.h>
#include <utility>

using platform::DisplayLossWatch;
using platform::LogindSystemEvents;
using platform::SystemEvents;

namespace {

// A bus that is not connected: the events object then follows no logind.
QDBusConnection noBus()
{
    return QDBusConnection(QStringLiteral("kiruvo-no-bus"));
}

struct Counts {
    int willSleep = 0;
    int didWake = 0;
    int willTerminate = 0;
    int quits = 0;
};

void count(SystemEvents& events, Counts& counts)
{
    QObject::connect(&events, &SystemEvents::willSleep, [&counts] { ++counts.willSleep; });
    QObject::connect(&events, &SystemEvents::didWake, [&counts] { ++counts.didWake; });
    QObject::connect(&events, &SystemEvents::willTerminate, [&counts] { ++counts.willTerminate; });
}

LogindSystemEvents::Options quietOptions(Counts& counts)
{
    return { false, false, [&counts] { ++counts.quits; } };
}

// The read end of a pipe whose write end stands for an inhibitor: it hangs up once every copy
// of the write end has been closed.
bool hungUp(int readFd)
{
    pollfd p { readFd, POLLIN, 0 };
    return ::poll(&p, 1, 0) == 1 && (p.revents & POLLHUP);
}

} // namespace

TEST(SystemEvents, SharedIsTheInstalledFakeWhileItLives)
{
    {
        platform::fake::FakeSystemEvents fake;
        EXPECT_EQ(&SystemEvents::shared(), &fake);
        Counts counts;
        count(SystemEvents::shared(), counts);
        fake.sleep();
        fake.wake();
        EXPECT_TRUE(fake.terminate());
        EXPECT_FALSE(fake.terminate());
        EXPECT_EQ(counts.willSleep, 1);
        EXPECT_EQ(counts.didWake, 1);
        EXPECT_EQ(counts.willTerminate, 1);
        EXPECT_TRUE(fake.hasDeliveredWillTerminate());
    }
    platform::fake::FakeSystemEvents second;
    EXPECT_EQ(&SystemEvents::shared(), &second);
}

TEST(SystemEvents, EveryOutsideRoadDeliversWillTerminateOnceAndQuitsOnce)
{
    using Road = void (*)(LogindSystemEvents&);
    const std::vector<std::pair<const char*, Road>> roads {
        { "SIGTERM", [](LogindSystemEvents& e) { e.handleTerminationSignal(SIGTERM); } },
        { "SIGINT", [](LogindSystemEvents& e) { e.handleTerminationSignal(SIGINT); } },
        { "SIGHUP", [](LogindSystemEvents& e) { e.handleTerminationSignal(SIGHUP); } },
        { "shutdown", [](LogindSystemEvents& e) { e.handlePrepareForShutdown(true); } },
        { "logout", [](LogindSystemEvents& e) { e.handleCommitDataRequest(); } },
        // The process ends straight after, so there is nothing to quit.
        { "display", [](LogindSystemEvents& e) { e.handleDisplayLost(); } },
    };
    for (const auto& [first, firstRoad] : roads) {
        SCOPED_TRACE(first);
        Counts counts;
        LogindSystemEvents events(noBus(), quietOptions(counts));
        count(events, counts);
        firstRoad(events);
        const int quits = std::string_view(first) == "display" ? 0 : 1;
        EXPECT_EQ(counts.willTerminate, 1);
        EXPECT_EQ(counts.quits, quits);
        for (const auto& [other, otherRoad] : roads) {
            otherRoad(events);
        }
        EXPECT_EQ(counts.willTerminate, 1);
        EXPECT_EQ(counts.quits, quits);
    }
}

// The display's end, as Qt's platform plugin says it right before it ends the process: subscribers
// run before the message returns, will-terminate first, also after another road delivered it.
TEST(SystemEvents, DisplayEndDeliversBeforeQtsMessageReturns)
{
    // The display's connection has failed, as it has when Qt's plugin says so.
    DisplayLossWatch::setFailureCheckForTesting([](DisplayLossWatch::Display) { return true; });
    const auto restore = qScopeGuard([] { DisplayLossWatch::setFailureCheckForTesting({}); });
    for (const bool signalledFirst : { false, true }) {
        SCOPED_TRACE(signalledFirst);
        Counts counts;
        LogindSystemEvents events(noBus(), { false, true, [&counts] { ++counts.quits; } });
        ASSERT_TRUE(events.isWatchingDisplay());
        std::vector<std::string> order;
        QObject::connect(
            &events, &SystemEvents::willTerminate, [&order] { order.emplace_back("terminate"); });
        QObject::connect(&events, &SystemEvents::willExitAtOnce, [&order] { order.emplace_back("exit"); });
        if (signalledFirst) {
            events.handleTerminationSignal(SIGTERM);
        }
        qWarning("The X11 connection broke (error 1). Did the X11 server die?");
        EXPECT_EQ(order, (std::vector<std::string> { "terminate", "exit" }));
        qWarning("The Wayland connection broke. Did the Wayland compositor die?");
        EXPECT_EQ(order.size(), 2u);
    }
    EXPECT_TRUE(DisplayLossWatch::saysDisplayIsLost(
        QStringLiteral("The Wayland connection experienced a fatal error: Protocol error")));
    EXPECT_FALSE(
        DisplayLossWatch::saysDisplayIsLost(QStringLiteral("QXcbConnection: XCB error: 3 (BadWindow)")));
}

// Qt's Wayland plugin also ends the process from its event thread: that thread waits until the
// main thread has told, or the session would be lost to whichever comes first.
TEST(SystemEvents, DisplayEndSaidOnAnotherThreadWaitsForTheMainThread)
{
    DisplayLossWatch::setFailureCheckForTesting(
        [](DisplayLossWatch::Display display) { return display == DisplayLossWatch::Display::wayland; });
    const auto restore = qScopeGuard([] { DisplayLossWatch::setFailureCheckForTesting({}); });
    DisplayLossWatch watch;
    ASSERT_TRUE(watch.isWatching());
    DisplayLossWatch second;
    EXPECT_FALSE(second.isWatching());
    std::future<void> plugin = std::async(std::launch::async,
        [] { qWarning("The Wayland connection broke. Did the Wayland compositor die?"); });
    EXPECT_EQ(plugin.wait_for(std::chrono::milliseconds(300)), std::future_status::timeout);
    bool pluginWaited = false;
    QObject::connect(&watch, &DisplayLossWatch::displayLost,
        [&] { pluginWaited = plugin.wait_for(std::chrono::seconds(0)) == std::future_status::timeout; });
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return plugin.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
    EXPECT_TRUE(pluginWaited);
}

TEST(SystemEvents, CancelledShutdownDeliversNothing)
{
    Counts counts;
    LogindSystemEvents events(noBus(), quietOptions(counts));
    count(events, counts);
    events.handlePrepareForShutdown(false);
    EXPECT_EQ(counts.willTerminate, 0);
    EXPECT_EQ(counts.quits, 0);
    EXPECT_FALSE(events.hasDeliveredWillTerminate());
}

TEST(SystemEvents, WithoutSystemBusThereIsNoLogindAndNoInhibitor)
{
    Counts counts;
    LogindSystemEvents events(noBus(), quietOptions(counts));
    EXPECT_FALSE(events.isWatchingLogind());
    EXPECT_FALSE(events.holdsSleepInhibitor());
    EXPECT_FALSE(events.isWatchingSignals());
}

TEST(SystemEvents, SleepInhibitorIsReleasedOnlyAfterSubscribersRan)
{
    Counts counts;
    LogindSystemEvents events(noBus(), quietOptions(counts));
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    events.adoptSleepInhibitor(pipeFds[1]);
    ASSERT_TRUE(events.holdsSleepInhibitor());

    std::vector<bool> heldDuringSubscribers;
    for (int i = 0; i < 2; ++i) {
        QObject::connect(&events, &SystemEvents::willSleep,
            [&] { heldDuringSubscribers.push_back(!hungUp(pipeFds[0]) && events.holdsSleepInhibitor()); });
    }
    events.handlePrepareForSleep(true);
    EXPECT_EQ(heldDuringSubscribers, (std::vector<bool> { true, true }));
    EXPECT_TRUE(hungUp(pipeFds[0]));
    EXPECT_FALSE(events.holdsSleepInhibitor());
    ::close(pipeFds[0]);
}

TEST(SystemEvents, InhibitorArrivingDuringSuspendIsReleasedAtOnceAndKeptAfterWake)
{
    Counts counts;
    LogindSystemEvents events(noBus(), quietOptions(counts));
    count(events, counts);
    events.handlePrepareForSleep(true);
    EXPECT_EQ(counts.willSleep, 1);

    int late[2];
    ASSERT_EQ(::pipe(late), 0);
    events.adoptSleepInhibitor(late[1]);
    EXPECT_FALSE(events.holdsSleepInhibitor());
    EXPECT_TRUE(hungUp(late[0]));
    ::close(late[0]);

    events.handlePrepareForSleep(false);
    EXPECT_EQ(counts.didWake, 1);
    int fresh[2];
    ASSERT_EQ(::pipe(fresh), 0);
    events.adoptSleepInhibitor(fresh[1]);
    EXPECT_TRUE(events.holdsSleepInhibitor());
    EXPECT_FALSE(hungUp(fresh[0]));

    // A second inhibitor replaces the first instead of leaking it.
    int replacement[2];
    ASSERT_EQ(::pipe(replacement), 0);
    events.adoptSleepInhibitor(replacement[1]);
    EXPECT_TRUE(hungUp(fresh[0]));
    EXPECT_FALSE(hungUp(replacement[0]));
    ::close(fresh[0]);
    ::close(replacement[0]);
}

// ---------------------------------------------------------------------------------------------
// logind on a private bus

namespace {

// Stands in for logind's manager object: hands out inhibitors (write ends of pipes whose read
// ends it keeps) and emits the two signals on request.
class FakeLogind : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")
public:
    ~FakeLogind() override
    {
        for (int fd : readEnds) {
            ::close(fd);
        }
    }

    std::vector<QStringList> inhibitCalls;
    std::vector<int> readEnds;

public Q_SLOTS:
    QDBusUnixFileDescriptor Inhibit(
        const QString& what, const QString& who, const QString& why, const QString& mode)
    {
        inhibitCalls.push_back({ what, who, why, mode });
        int fds[2];
        if (::pipe(fds) != 0) {
            return {};
        }
        readEnds.push_back(fds[0]);
        QDBusUnixFileDescriptor handedOut(fds[1]); // keeps its own copy
        ::close(fds[1]);
        return handedOut;
    }

Q_SIGNALS:
    void PrepareForSleep(bool start);
    void PrepareForShutdown(bool start);
};

class PrivateBus {
public:
    PrivateBus()
    {
        const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
        if (daemon.isEmpty()) {
            return;
        }
        m_process.start(daemon,
            { QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address") });
        if (!m_process.waitForStarted(5000)) {
            return;
        }
        while (!m_process.canReadLine() && m_process.waitForReadyRead(5000)) { }
        address = QString::fromUtf8(m_process.readLine()).trimmed();
    }
    ~PrivateBus()
    {
        QDBusConnection::disconnectFromBus(QStringLiteral("kiruvo-test-logind"));
        QDBusConnection::disconnectFromBus(QStringLiteral("kiruvo-test-client"));
        m_process.terminate();
        m_process.waitForFinished(5000);
    }
    QString address;

private:
    QProcess m_process;
};

} // namespace

TEST(SystemEvents, FollowsLogindOnTheBusUnderADelayInhibitor)
{
    PrivateBus bus;
    if (bus.address.isEmpty()) {
        GTEST_SKIP() << "no dbus-daemon for a private bus";
    }
    QDBusConnection logindBus
        = QDBusConnection::connectToBus(bus.address, QStringLiteral("kiruvo-test-logind"));
    QDBusConnection clientBus
        = QDBusConnection::connectToBus(bus.address, QStringLiteral("kiruvo-test-client"));
    ASSERT_TRUE(logindBus.isConnected());
    ASSERT_TRUE(clientBus.isConnected());
    if (!QDBusUnixFileDescriptor::isSupported()
        || !(clientBus.connectionCapabilities() & QDBusConnection::UnixFileDescriptorPassing)) {
        GTEST_SKIP() << "the private bus passes no file descriptors";
    }
    FakeLogind logind;
    ASSERT_TRUE(logindBus.registerObject(QStringLiteral("/org/freedesktop/login1"), &logind,
        QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals));
    ASSERT_TRUE(logindBus.registerService(QStringLiteral("org.freedesktop.login1")));

    Counts counts;
    LogindSystemEvents events(clientBus, quietOptions(counts));
    count(events, counts);
    ASSERT_TRUE(events.isWatchingLogind());
    ASSERT_TRUE(QTest::qWaitFor([&] { return events.holdsSleepInhibitor(); }, 5000));
    ASSERT_EQ(logind.inhibitCalls.size(), 1u);
    EXPECT_EQ(
        logind.inhibitCalls[0], (QStringList { "sleep", "Kiruvo", "Save the running session", "delay" }));
    // Let the call's own copies of the descriptor go.
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(hungUp(logind.readEnds[0]));

    bool heldWhileSubscriberRan = false;
    QObject::connect(
        &events, &SystemEvents::willSleep, [&] { heldWhileSubscriberRan = !hungUp(logind.readEnds[0]); });
    Q_EMIT logind.PrepareForSleep(true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return counts.willSleep == 1; }, 5000));
    EXPECT_TRUE(heldWhileSubscriberRan);
    EXPECT_TRUE(hungUp(logind.readEnds[0]));

    Q_EMIT logind.PrepareForSleep(false);
    ASSERT_TRUE(QTest::qWaitFor([&] { return counts.didWake == 1 && events.holdsSleepInhibitor(); }, 5000));
    EXPECT_EQ(logind.inhibitCalls.size(), 2u);
    EXPECT_EQ(counts.willSleep, 1);

    Q_EMIT logind.PrepareForShutdown(true);
    Q_EMIT logind.PrepareForShutdown(true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return counts.willTerminate == 1; }, 5000));
    QTest::qWait(20);
    EXPECT_EQ(counts.willTerminate, 1);
    EXPECT_EQ(counts.quits, 1);
}

TEST(SystemEvents, AtStartTheBusIsNotWaitedForAndOnlyLogindIsHeard)
{
    PrivateSessionBus bus;
    if (!bus.isRunning()) {
        GTEST_SKIP() << "no dbus-daemon for a private bus";
    }
    FakeLogind logind;
    ASSERT_TRUE(bus.serve(QStringLiteral("stalled-logind"), QStringLiteral("org.freedesktop.login1"),
        QStringLiteral("/org/freedesktop/login1"), &logind));
    QDBusConnection clientBus = bus.connect(QStringLiteral("stalled-client"));
    QDBusConnection otherBus = bus.connect(QStringLiteral("stalled-other"));

    Counts counts;
    std::unique_ptr<LogindSystemEvents> events;
    EXPECT_TRUE(bus.finishesWhilePaused(
        [&] { events = std::make_unique<LogindSystemEvents>(clientBus, quietOptions(counts)); }));
    count(*events, counts);
    EXPECT_TRUE(events->isWatchingLogind());
    // The inhibitor is asked for after logind's owner: once logind has the call, the bus has answered.
    ASSERT_TRUE(PrivateSessionBus::serveUntil([&] { return !logind.inhibitCalls.empty(); }));

    // Any process may send logind's signals on its path; only logind's own count.
    for (const char* member : { "PrepareForSleep", "PrepareForShutdown" }) {
        QDBusMessage fake = QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/login1"),
            QStringLiteral("org.freedesktop.login1.Manager"), QString::fromLatin1(member));
        fake << true;
        PrivateSessionBus::sendSignal(otherBus, fake);
    }
    Q_EMIT logind.PrepareForSleep(true);
    ASSERT_TRUE(PrivateSessionBus::serveUntil([&] { return counts.willSleep == 1; }));
    EXPECT_EQ(counts.willTerminate, 0);
    EXPECT_EQ(counts.quits, 0);
}

// ---------------------------------------------------------------------------------------------
// Real signals, in a child process that runs this same executable

namespace {

constexpr const char* childModeVariable = "KIRUVO_SYSTEM_EVENTS_CHILD";

struct ChildResult {
    // The lines the child program printed itself, without the test framework's.
    std::vector<std::string> lines;
    int exitCode = -1;
    QProcess::ExitStatus exitStatus = QProcess::CrashExit;
};

// Starts the child (on the X display $DISPLAY names, when given), waits for "ready", sends the
// signals, runs whenReady, and collects what it printed.
ChildResult runChild(const QString& mode, const std::vector<int>& signalNumbers,
    const std::function<void()>& whenReady = {}, const std::string& display = {},
    const std::vector<std::pair<QString, QString>>& variables = {})
{
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QString::fromLatin1(childModeVariable), mode);
    if (!display.empty()) {
        environment.insert(QStringLiteral("DISPLAY"), QString::fromStdString(display));
    }
    for (const auto& [name, value] : variables) {
        environment.insert(name, value);
    }
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::SeparateChannels);
    child.start(
        QCoreApplication::applicationFilePath(), { QStringLiteral("--gtest_filter=SystemEventsChild.Run") });
    ChildResult result;
    if (!child.waitForStarted(10000)) {
        return result;
    }
    QByteArray output;
    while (!output.contains("child: ready\n") && child.waitForReadyRead(10000)) {
        output += child.readAllStandardOutput();
    }
    for (const int signalNumber : signalNumbers) {
        ::kill(static_cast<pid_t>(child.processId()), signalNumber);
    }
    if (whenReady) {
        whenReady();
    }
    child.waitForFinished(10000);
    output += child.readAllStandardOutput();
    for (const QByteArray& line : output.split('\n')) {
        if (line.startsWith("child: ")) {
            result.lines.push_back(line.mid(7).toStdString());
        }
    }
    result.exitCode = child.exitCode();
    result.exitStatus = child.exitStatus();
    return result;
}

} // namespace

// The child's program: does nothing unless started by runChild().
TEST(SystemEventsChild, Run)
{
    const QByteArray mode = qgetenv(childModeVariable);
    if (mode.isEmpty()) {
        GTEST_SKIP() << "runs only as the child of the signal tests";
    }
    int deliveries = 0;
    auto* events = new LogindSystemEvents(noBus(), { true, true, {} });
    QObject::connect(events, &SystemEvents::willTerminate, [&deliveries] {
        ++deliveries;
        std::printf("child: will-terminate\n");
        std::fflush(stdout);
    });
    const auto ready = [events] {
        std::printf("child: %s\n", events->isWatchingSignals() ? "ready" : "not-watching");
        std::fflush(stdout);
    };
    if (mode == "quit") {
        QTimer::singleShot(0, qApp, &QCoreApplication::quit);
    }
    if (mode == "words") {
        // Qt's display lives; anything in the process may log these words all the same.
        QObject::connect(events, &SystemEvents::willExitAtOnce, [] {
            std::printf("child: exit-at-once\n");
            std::fflush(stdout);
        });
        std::printf("child: on %s\n", qPrintable(QGuiApplication::platformName()));
        qWarning("The X11 connection broke (error 1). Did the X11 server die?");
        qWarning("The Wayland connection broke. Did the Wayland compositor die?");
        qWarning("The Wayland connection experienced a fatal error: Protocol error");
    }
    std::unique_ptr<platform::X11IdleTimeSource> idle;
    if (mode == "xlib") {
        // Asked on the main thread, as the session's timers do, until the X server goes away.
        idle = platform::X11IdleTimeSource::open();
        if (!idle) {
            std::printf("child: no-display\n");
            std::fflush(stdout);
            std::_Exit(0);
        }
        auto* poll = new QTimer(qApp);
        QObject::connect(poll, &QTimer::timeout, [&idle] { idle->secondsSinceLastInput(); });
        poll->start(20);
        // Stopping a session in debug mode asks the idle source once more.
        QObject::connect(events, &SystemEvents::willTerminate, [&idle] { idle->secondsSinceLastInput(); });
        QObject::connect(events, &SystemEvents::willExitAtOnce, [] {
            std::printf("child: exit-at-once\n");
            std::fflush(stdout);
        });
    }
    if (mode == "alert") {
        // A tray application's alert whose two buttons are actions, none a cancel: it refuses to
        // be closed, as the application's alerts with a copy button do. Ready once it is up.
        QApplication::setQuitOnLastWindowClosed(false);
        QTimer::singleShot(0, qApp, [ready] {
            QMessageBox alert(QMessageBox::Information, QStringLiteral("Could not open"), QString());
            alert.addButton(QStringLiteral("Copy Link"), QMessageBox::ActionRole);
            alert.addButton(QStringLiteral("OK"), QMessageBox::ActionRole);
            QTimer::singleShot(0, &alert, ready);
            alert.exec();
        });
    } else {
        ready();
    }
    const int code = QCoreApplication::exec();
    std::printf("child: exited %d %d\n", code, deliveries);
    std::fflush(stdout);
    // Leave with the handlers still in place, so that a late signal cannot kill the child.
    std::_Exit(0);
}

TEST(SystemEvents, RealSignalsDeliverWillTerminateOnceAndQuit)
{
    for (const int signalNumber : { SIGTERM, SIGINT, SIGHUP }) {
        SCOPED_TRACE(signalNumber);
        // A second, different signal right behind the first must not deliver again.
        const int second = signalNumber == SIGTERM ? SIGHUP : SIGTERM;
        const ChildResult result = runChild(QStringLiteral("signal"), { signalNumber, second });
        ASSERT_EQ(result.exitStatus, QProcess::NormalExit) << result.lines.size();
        EXPECT_EQ(result.exitCode, 0);
        EXPECT_EQ(result.lines, (std::vector<std::string> { "ready", "will-terminate", "exited 0 1" }));
    }
}

// An Xlib connection of the application's own (the MIT-SCREEN-SAVER idle source), where Qt's
// platform plugin is not on that X server (a Wayland session's XWayland): when the server goes
// away, Xlib ends the process from its I/O error handler, and the display's end is delivered before.
TEST(SystemEvents, XlibConnectionOfOursBreakingDeliversTheDisplaysEnd)
{
    std::optional<PrivateXServer> server;
    server.emplace();
    if (!server->isRunning()) {
        GTEST_SKIP() << "Xvfb is not available";
    }
    const ChildResult result = runChild(
        QStringLiteral("xlib"), {}, [&server] { server.reset(); }, server->display());
    if (result.lines == std::vector<std::string> { "no-display" }) {
        GTEST_SKIP() << "the X server lacks MIT-SCREEN-SAVER";
    }
    ASSERT_EQ(result.exitStatus, QProcess::NormalExit);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.lines, (std::vector<std::string> { "ready", "will-terminate", "exit-at-once" }));
}

// The words Qt's plugins say when the display goes away, logged while it lives (by a library, a
// test, a plugin of another kind): the application runs on as before and still hears SIGTERM.
TEST(SystemEvents, TheDisplayLossWordsWhileTheDisplayLivesChangeNothing)
{
    PrivateXServer server;
    if (!server.isRunning()) {
        GTEST_SKIP() << "Xvfb is not available";
    }
    const ChildResult result = runChild(QStringLiteral("words"), { SIGTERM }, {}, server.display(),
        { { QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb") } });
    ASSERT_EQ(result.exitStatus, QProcess::NormalExit);
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.lines, (std::vector<std::string> { "on xcb", "ready", "will-terminate", "exited 0 1" }));
}

// The same on a Wayland compositor (a headless Mutter of the test's own).
TEST(SystemEvents, TheDisplayLossWordsWhileTheWaylandDisplayLivesChangeNothing)
{
    const QString mutter = QStandardPaths::findExecutable(QStringLiteral("mutter"));
    if (mutter.isEmpty()) {
        GTEST_SKIP() << "mutter is not installed";
    }
    QTemporaryDir runtime;
    ASSERT_TRUE(runtime.isValid());
    ASSERT_TRUE(
        QFile::setPermissions(runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    // Mutter takes its desktop's names (its IdleMonitor among them) on a bus of its own: on the one
    // the test programs share, the idle sources of those running meanwhile would find it.
    PrivateSessionBus bus;
    if (!bus.isRunning()) {
        GTEST_SKIP() << "no dbus-daemon for a private bus";
    }
    const QString socket = QStringLiteral("kiruvo-words");
    QProcess compositor;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), bus.address());
    compositor.setProcessEnvironment(environment);
    compositor.setProcessChannelMode(QProcess::MergedChannels);
    compositor.start(mutter,
        { QStringLiteral("--headless"), QStringLiteral("--virtual-monitor"), QStringLiteral("640x480"),
            QStringLiteral("--wayland"), QStringLiteral("--no-x11"), QStringLiteral("--wayland-display"),
            socket });
    const auto stop = qScopeGuard([&compositor] {
        compositor.terminate();
        if (!compositor.waitForFinished(10000)) {
            compositor.kill();
            compositor.waitForFinished(5000);
        }
    });
    if (!QTest::qWaitFor([&] { return QFileInfo::exists(runtime.filePath(socket)); }, 60000)) {
        GTEST_SKIP() << "mutter did not start: " << compositor.readAll().toStdString();
    }
    const ChildResult result = runChild(QStringLiteral("words"), { SIGTERM }, {}, {},
        { { QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("wayland") },
            { QStringLiteral("XDG_RUNTIME_DIR"), runtime.path() },
            { QStringLiteral("WAYLAND_DISPLAY"), socket } });
    ASSERT_EQ(result.exitStatus, QProcess::NormalExit);
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(
        result.lines, (std::vector<std::string> { "on wayland", "ready", "will-terminate", "exited 0 1" }));
}

TEST(SystemEvents, ASignalEndsTheApplicationWhileAnAlertThatRefusesToCloseIsOpen)
{
    const ChildResult result = runChild(QStringLiteral("alert"), { SIGTERM });
    ASSERT_EQ(result.exitStatus, QProcess::NormalExit);
    EXPECT_EQ(result.lines, (std::vector<std::string> { "ready", "will-terminate", "exited 0 1" }));
}

TEST(SystemEvents, ApplicationQuitDeliversWillTerminateOnce)
{
    const ChildResult result = runChild(QStringLiteral("quit"), {});
    ASSERT_EQ(result.exitStatus, QProcess::NormalExit);
    EXPECT_EQ(result.lines, (std::vector<std::string> { "ready", "will-terminate", "exited 0 1" }));
}

#include "SystemEventsTest.moc"
