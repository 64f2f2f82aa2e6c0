#include "ScreenReaderSession.h"

#include "PrivateSessionBus.h"
#include "PrivateXServer.h"

#include <QAccessible>
#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusPendingCall>
#include <QDBusReply>
#include <QDBusVariant>
#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

namespace {

constexpr const char* childVariable = "KIRUVO_SCREEN_READER_CHILD";
constexpr const char* launcher = "/usr/libexec/at-spi-bus-launcher";
constexpr const char* readerConnection = "kiruvo-test-screen-reader";
// Long, since a loaded machine (or a sanitizer build) is slow to start; each wait ends as soon as
// what it waits for holds.
constexpr int patience = 60000;

QDBusMessage busCall(const QString& method, const QVariantList& arguments)
{
    QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"),
        QStringLiteral("/org/freedesktop/DBus"), QStringLiteral("org.freedesktop.DBus"), method);
    call.setArguments(arguments);
    return call;
}

} // namespace

bool ScreenReaderSession::isAvailable()
{
    return QFile::exists(QString::fromLatin1(launcher));
}

bool ScreenReaderSession::isChild()
{
    return !qEnvironmentVariableIsEmpty(childVariable);
}

void ScreenReaderSession::runCurrentTest()
{
    if (!isAvailable()) {
        GTEST_SKIP() << "at-spi2-core is not installed";
    }
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    ASSERT_NE(test, nullptr);
    PrivateSessionBus session;
    ASSERT_TRUE(session.isRunning()) << "no session bus of its own";
    // The launcher keeps its bus's socket in the runtime folder, and would write the bus's address on
    // the X server's root window for every client of the display: it gets a folder of its own and
    // no display.
    QTemporaryDir runtime;
    ASSERT_TRUE(runtime.isValid());
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), session.address());
    QProcessEnvironment launcherEnvironment = environment;
    launcherEnvironment.remove(QStringLiteral("DISPLAY"));
    launcherEnvironment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    launcherEnvironment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
    QProcess accessibilityBus;
    accessibilityBus.setProcessEnvironment(launcherEnvironment);
    accessibilityBus.start(QString::fromLatin1(launcher), { QStringLiteral("--launch-immediately") });
    ASSERT_TRUE(accessibilityBus.waitForStarted(patience));
    QDBusConnection watcher = session.connect(QStringLiteral("screen-reader-watcher"));
    const QDeadlineTimer deadline(patience);
    while (!watcher.interface()->isServiceRegistered(QStringLiteral("org.a11y.Bus")) && !deadline.hasExpired()
        && accessibilityBus.state() == QProcess::Running) {
        QThread::msleep(20);
    }
    PrivateXServer display("640x480");
    QProcess child;
    if (watcher.interface()->isServiceRegistered(QStringLiteral("org.a11y.Bus")) && display.isRunning()) {
        environment.insert(QString::fromLatin1(childVariable), QStringLiteral("1"));
        environment.insert(QStringLiteral("DISPLAY"), QString::fromStdString(display.display()));
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        environment.insert(QStringLiteral("QT_LINUX_ACCESSIBILITY_ALWAYS_ON"), QStringLiteral("1"));
        child.setProcessEnvironment(environment);
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start(QCoreApplication::applicationFilePath(),
            { QStringLiteral("--gtest_filter=%1.%2")
                    .arg(QString::fromUtf8(test->test_suite_name()), QString::fromUtf8(test->name())) });
        if (child.waitForStarted(patience) && !child.waitForFinished(4 * patience)) {
            child.kill();
            child.waitForFinished();
        }
    }
    accessibilityBus.terminate();
    if (!accessibilityBus.waitForFinished(5000)) {
        accessibilityBus.kill();
        accessibilityBus.waitForFinished();
    }
    ASSERT_TRUE(display.isRunning()) << "no X server of its own";
    ASSERT_EQ(child.state(), QProcess::NotRunning) << "the accessibility bus never came";
    const QByteArray output = child.readAll();
    // Checked apart from the message, whose words ctest would take for a skipped test.
    const bool passed = child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0
        && output.contains("[  PASSED  ] 1 test.") && !output.contains("[  SKIPPED ]");
    EXPECT_TRUE(passed) << "under a screen reader: "
                        << (child.exitStatus() == QProcess::CrashExit ? "crashed\n" : "")
                        << output.toStdString();
}

ScreenReaderSession::ScreenReaderSession()
    : m_bus(QStringLiteral("none"))
{
    // The bus the desktop gives screen readers, and on it the application's bridge: the other
    // connection of this process.
    QDBusMessage ask = QDBusMessage::createMethodCall(QStringLiteral("org.a11y.Bus"),
        QStringLiteral("/org/a11y/bus"), QStringLiteral("org.a11y.Bus"), QStringLiteral("GetAddress"));
    const QDBusReply<QString> address = QDBusConnection::sessionBus().call(ask, QDBus::Block, patience);
    if (!address.isValid()) {
        return;
    }
    m_bus = QDBusConnection::connectToBus(address.value(), QString::fromLatin1(readerConnection));
    const qint64 self = QCoreApplication::applicationPid();
    PrivateSessionBus::serveUntil(
        [&] {
            if (!QAccessible::isActive()) {
                return false;
            }
            const QDBusMessage names
                = PrivateSessionBus::callServing(m_bus, busCall(QStringLiteral("ListNames"), {}));
            for (const QString& name : names.arguments().value(0).toStringList()) {
                if (!name.startsWith(u':') || name == m_bus.baseService()) {
                    continue;
                }
                const QDBusMessage pid = PrivateSessionBus::callServing(
                    m_bus, busCall(QStringLiteral("GetConnectionUnixProcessID"), { name }));
                if (pid.arguments().value(0).toLongLong() == self) {
                    m_application = name;
                    return true;
                }
            }
            return false;
        },
        patience);
}

ScreenReaderSession::~ScreenReaderSession()
{
    QDBusConnection::disconnectFromBus(QString::fromLatin1(readerConnection));
}

QString ScreenReaderSession::pathOf(QAccessibleInterface* object)
{
    return QStringLiteral("/org/a11y/atspi/accessible/") + QString::number(QAccessible::uniqueId(object));
}

QDBusMessage ScreenReaderSession::call(QAccessibleInterface* object, const QString& interface,
    const QString& method, const QVariantList& arguments)
{
    return call(pathOf(object), interface, method, arguments);
}

QDBusMessage ScreenReaderSession::call(
    const QString& path, const QString& interface, const QString& method, const QVariantList& arguments)
{
    QDBusMessage call = QDBusMessage::createMethodCall(m_application, path, interface, method);
    call.setArguments(arguments);
    return PrivateSessionBus::callServing(m_bus, call);
}

QVariant ScreenReaderSession::property(
    QAccessibleInterface* object, const QString& interface, const QString& name)
{
    return PrivateSessionBus::property(m_bus, m_application, pathOf(object), interface, name);
}

QDBusMessage ScreenReaderSession::question(
    const QString& path, const QString& interface, const QString& method, const QVariantList& arguments) const
{
    QDBusMessage call = QDBusMessage::createMethodCall(m_application, path, interface, method);
    call.setArguments(arguments);
    return call;
}

std::vector<QDBusMessage> ScreenReaderSession::askAll(
    const std::vector<QDBusMessage>& calls, int waiting, int patienceMs)
{
    std::vector<QDBusMessage> answers(calls.size());
    std::vector<std::pair<std::size_t, QDBusPendingCall>> pending;
    std::size_t next = 0;
    while (next < calls.size() || !pending.empty()) {
        while (next < calls.size() && pending.size() < static_cast<std::size_t>(waiting)) {
            pending.emplace_back(next, m_bus.asyncCall(calls[next], patienceMs));
            ++next;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        std::erase_if(pending, [&answers](const std::pair<std::size_t, QDBusPendingCall>& call) {
            if (!call.second.isFinished()) {
                return false;
            }
            answers[call.first] = call.second.reply();
            return true;
        });
    }
    return answers;
}
