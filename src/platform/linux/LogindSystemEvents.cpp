#include "platform/linux/LogindSystemEvents.h"

#include "platform/Logger.h"
#include "platform/linux/BusNameOwner.h"
#include "platform/linux/DisplayLossWatch.h"
#include "platform/linux/SignalPipe.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusUnixFileDescriptor>
#include <QGuiApplication>
#include <QSessionManager>
#include <csignal>
#include <fcntl.h>
#include <fmt/format.h>
#include <unistd.h>

namespace platform {

namespace {

const QString login1Service = QStringLiteral("org.freedesktop.login1");
const QString login1Path = QStringLiteral("/org/freedesktop/login1");
const QString login1Manager = QStringLiteral("org.freedesktop.login1.Manager");

const char* signalName(int signalNumber)
{
    switch (signalNumber) {
    case SIGTERM:
        return "SIGTERM";
    case SIGINT:
        return "SIGINT";
    case SIGHUP:
        return "SIGHUP";
    default:
        return "a signal";
    }
}

} // namespace

LogindSystemEvents::LogindSystemEvents(QObject* parent)
    : LogindSystemEvents(QDBusConnection::systemBus(), Options { true, true, {} }, parent)
{
}

LogindSystemEvents::LogindSystemEvents(const QDBusConnection& systemBus, Options options, QObject* parent)
    : SystemEvents(parent)
    , m_bus(systemBus)
    , m_options(std::move(options))
{
    if (m_options.watchSignals) {
        m_signalPipe = new SignalPipe({ SIGTERM, SIGINT, SIGHUP }, this);
        connect(
            m_signalPipe, &SignalPipe::signalReceived, this, &LogindSystemEvents::handleTerminationSignal);
    }
    if (m_options.watchApplication) {
        if (auto* app = QCoreApplication::instance()) {
            connect(app, &QCoreApplication::aboutToQuit, this, [this] { deliverWillTerminate(); });
        }
        if (auto* guiApp = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
            connect(guiApp, &QGuiApplication::commitDataRequest, this,
                [this](QSessionManager&) { handleCommitDataRequest(); });
        }
        m_displayLoss = new DisplayLossWatch(this);
        connect(m_displayLoss, &DisplayLossWatch::displayLost, this, &LogindSystemEvents::handleDisplayLost);
    }
    watchLogind();
}

LogindSystemEvents::~LogindSystemEvents()
{
    if (m_sleepInhibitor >= 0) {
        ::close(m_sleepInhibitor);
    }
}

bool LogindSystemEvents::isWatchingSignals() const
{
    return m_signalPipe && m_signalPipe->isWatching();
}

bool LogindSystemEvents::isWatchingDisplay() const
{
    return m_displayLoss && m_displayLoss->isWatching();
}

void LogindSystemEvents::watchLogind()
{
    if (!m_bus.isConnected()) {
        log(LogLevel::Info, lcSystem(), "No system bus: sleep and wake will not be followed");
        return;
    }
    // Any process on the system bus may send these signals: only logind's own are heard.
    m_logind = new BusNameOwner(m_bus, login1Service, this);
    const bool sleepConnected = m_logind->connectSignal(login1Path, login1Manager,
        QStringLiteral("PrepareForSleep"), this, SLOT(onPrepareForSleep(bool, QDBusMessage)));
    const bool shutdownConnected = m_logind->connectSignal(login1Path, login1Manager,
        QStringLiteral("PrepareForShutdown"), this, SLOT(onPrepareForShutdown(bool, QDBusMessage)));
    m_watchingLogind = sleepConnected && shutdownConnected;
    if (!m_watchingLogind) {
        log(LogLevel::Warning, lcSystem(),
            fmt::format("Cannot follow logind's signals: {}", m_bus.lastError().message().toStdString()));
        return;
    }
    takeSleepInhibitor();
}

void LogindSystemEvents::onPrepareForSleep(bool start, const QDBusMessage& message)
{
    if (!m_logind->sentByOwner(message)) {
        return;
    }
    handlePrepareForSleep(start);
}

void LogindSystemEvents::onPrepareForShutdown(bool start, const QDBusMessage& message)
{
    if (!m_logind->sentByOwner(message)) {
        return;
    }
    handlePrepareForShutdown(start);
}

void LogindSystemEvents::handlePrepareForSleep(bool start)
{
    if (start) {
        m_sleeping = true;
        deliverWillSleep();
        // Only now may the system go on: every direct subscriber has returned.
        releaseSleepInhibitor();
    } else {
        m_sleeping = false;
        deliverDidWake();
        takeSleepInhibitor();
    }
}

void LogindSystemEvents::handlePrepareForShutdown(bool start)
{
    // A cancelled shutdown (false) after will-terminate changes nothing: the application has
    // already been asked to quit.
    if (!start) {
        return;
    }
    if (deliverWillTerminate()) {
        log(LogLevel::Info, lcSystem(), "The system is shutting down");
        quitApplication();
    }
}

void LogindSystemEvents::handleTerminationSignal(int signalNumber)
{
    if (deliverWillTerminate()) {
        log(LogLevel::Info, lcSystem(), fmt::format("Received {}; quitting", signalName(signalNumber)));
        quitApplication();
    }
}

void LogindSystemEvents::handleCommitDataRequest()
{
    if (deliverWillTerminate()) {
        log(LogLevel::Info, lcSystem(), "The desktop session is ending; quitting");
        quitApplication();
    }
}

void LogindSystemEvents::handleDisplayLost()
{
    log(LogLevel::Info, lcSystem(),
        hasDeliveredWillTerminate() ? "The display went away while quitting; ending now"
                                    : "The display went away; ending now");
    deliverWillExitAtOnce();
}

void LogindSystemEvents::quitApplication()
{
    if (m_options.quit) {
        m_options.quit();
    } else if (auto* app = QCoreApplication::instance()) {
        // exit(), not quit(): Qt lets a window that refuses to close (an alert open at a logout)
        // cancel a quit, and the application would run on after will-terminate, deaf to the next
        // signal. exit() also ends the event loop of an alert that is open.
        QMetaObject::invokeMethod(
            app, [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
    }
}

void LogindSystemEvents::takeSleepInhibitor()
{
    if (!m_watchingLogind || m_inhibitPending || m_sleepInhibitor >= 0) {
        return;
    }
    QDBusMessage call
        = QDBusMessage::createMethodCall(login1Service, login1Path, login1Manager, QStringLiteral("Inhibit"));
    call << QStringLiteral("sleep") << QStringLiteral("Kiruvo") << QStringLiteral("Save the running session")
         << QStringLiteral("delay");
    m_inhibitPending = true;
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, &LogindSystemEvents::inhibitFinished);
}

void LogindSystemEvents::inhibitFinished(QDBusPendingCallWatcher* watcher)
{
    watcher->deleteLater();
    m_inhibitPending = false;
    const QDBusPendingReply<QDBusUnixFileDescriptor> reply = *watcher;
    if (reply.isError() || !reply.value().isValid()) {
        // Sleep still works, only the subscribers may run after resume; say so once.
        if (!m_loggedInhibitFailure) {
            m_loggedInhibitFailure = true;
            log(LogLevel::Warning, lcSystem(),
                fmt::format("Cannot delay sleep: {}",
                    reply.isError() ? reply.error().message().toStdString()
                                    : std::string("no file descriptor")));
        }
        return;
    }
    // The reply owns its descriptor; keep a copy of our own.
    const int fd = ::fcntl(reply.value().fileDescriptor(), F_DUPFD_CLOEXEC, 0);
    if (fd < 0) {
        log(LogLevel::Warning, lcSystem(), "Cannot keep the sleep inhibitor");
        return;
    }
    adoptSleepInhibitor(fd);
}

void LogindSystemEvents::adoptSleepInhibitor(int fd)
{
    if (fd < 0) {
        return;
    }
    if (m_sleeping) {
        // Holding it now would only stall the suspend already under way.
        ::close(fd);
        return;
    }
    if (m_sleepInhibitor >= 0) {
        ::close(m_sleepInhibitor);
    }
    m_sleepInhibitor = fd;
    Q_EMIT sleepInhibitorChanged(true);
}

void LogindSystemEvents::releaseSleepInhibitor()
{
    if (m_sleepInhibitor < 0) {
        return;
    }
    ::close(m_sleepInhibitor);
    m_sleepInhibitor = -1;
    Q_EMIT sleepInhibitorChanged(false);
}

} // namespace platform
