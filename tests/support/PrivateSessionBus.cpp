#include "PrivateSessionBus.h"

#include <QCoreApplication>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QDeadlineTimer>
#include <QFile>
#include <QStandardPaths>
#include <QThread>

#include <chrono>
#include <condition_variable>
#include <csignal>
#include <mutex>
#include <thread>

PrivateSessionBus::PrivateSessionBus(const QString& configuration)
{
    if (configuration.isEmpty()) {
        start({ QStringLiteral("--session") });
        return;
    }
    QFile file(m_configuration.filePath(QStringLiteral("session.conf")));
    if (!file.open(QIODevice::WriteOnly)) {
        return;
    }
    file.write(
        QStringLiteral("<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                       " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                       "<busconfig>\n  <include>/usr/share/dbus-1/session.conf</include>\n  %1\n"
                       "</busconfig>\n")
            .arg(configuration)
            .toUtf8());
    file.close();
    start({ QStringLiteral("--config-file=") + file.fileName() });
}

void PrivateSessionBus::start(const QStringList& arguments)
{
    const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
    if (daemon.isEmpty()) {
        return;
    }
    m_daemon.start(
        daemon, arguments + QStringList { QStringLiteral("--nofork"), QStringLiteral("--print-address=1") });
    if (!m_daemon.waitForStarted(5000)) {
        return;
    }
    for (int i = 0; i < 50 && !m_daemon.canReadLine(); ++i) {
        m_daemon.waitForReadyRead(100);
    }
    m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
}

PrivateSessionBus::~PrivateSessionBus()
{
    for (const QString& name : m_connections) {
        QDBusConnection::disconnectFromBus(name);
    }
    if (m_daemon.state() != QProcess::NotRunning) {
        m_daemon.terminate();
        m_daemon.waitForFinished(5000);
    }
}

void PrivateSessionBus::pause()
{
    ::kill(static_cast<pid_t>(m_daemon.processId()), SIGSTOP);
}

void PrivateSessionBus::resume()
{
    ::kill(static_cast<pid_t>(m_daemon.processId()), SIGCONT);
}

bool PrivateSessionBus::finishesWhilePaused(const std::function<void()>& work, int patienceMs)
{
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    bool resumedByWatchdog = false;
    pause();
    std::thread watchdog([&] {
        std::unique_lock lock(mutex);
        if (!finished.wait_for(lock, std::chrono::milliseconds(patienceMs), [&] { return done; })) {
            resumedByWatchdog = true;
            resume();
        }
    });
    work();
    {
        std::lock_guard lock(mutex);
        done = true;
    }
    finished.notify_one();
    watchdog.join();
    resume();
    return !resumedByWatchdog;
}

QDBusConnection PrivateSessionBus::connect(const QString& name)
{
    m_connections.push_back(name);
    return QDBusConnection::connectToBus(m_address, name);
}

bool PrivateSessionBus::serve(
    const QString& connectionName, const QString& service, const QString& path, QObject* object)
{
    QDBusConnection connection = connect(connectionName);
    return connection.registerObject(
               path, object, QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals)
        && connection.registerService(service);
}

bool PrivateSessionBus::serveUntil(const std::function<bool()>& done, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!done() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(5);
    }
    return done();
}

QDBusMessage PrivateSessionBus::callServing(QDBusConnection connection, const QDBusMessage& call)
{
    QDBusPendingCall pending = connection.asyncCall(call, 5000);
    while (!pending.isFinished()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    // Signals sent before the answer arrive before it; let them be handled too.
    QCoreApplication::processEvents();
    return pending.reply();
}

void PrivateSessionBus::sendSignal(QDBusConnection sender, const QDBusMessage& signal)
{
    sender.send(signal);
    // The bus handles one sender's messages in order: once it answered, the signal has gone on.
    sender.call(QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"),
        QStringLiteral("/org/freedesktop/DBus"), QStringLiteral("org.freedesktop.DBus"),
        QStringLiteral("GetId")));
}

QVariant PrivateSessionBus::property(QDBusConnection connection, const QString& service, const QString& path,
    const QString& interface, const QString& name)
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        service, path, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    call << interface << name;
    const QDBusMessage reply = callServing(connection, call);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        return {};
    }
    return reply.arguments().front().value<QDBusVariant>().variant();
}
