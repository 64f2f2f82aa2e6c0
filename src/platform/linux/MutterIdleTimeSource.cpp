#include "platform/linux/MutterIdleTimeSource.h"

#include "platform/Logger.h"
#include "platform/time/Clock.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

#include <algorithm>
#include <cmath>
#include <limits>

namespace platform {

namespace {

constexpr std::string_view category = "idle";
// A busy compositor may take a while; nothing waits for the answer.
constexpr int callTimeoutMs = 5000;

double uptime()
{
    return Clock::shared().systemUptime();
}

} // namespace

QDBusMessage MutterIdleTimeSource::call(const char* method) const
{
    return QDBusMessage::createMethodCall(m_service, QString::fromLatin1(objectPath),
        QString::fromLatin1(interfaceName), QString::fromLatin1(method));
}

MutterIdleTimeSource::MutterIdleTimeSource(QDBusConnection connection, const QString& service)
    : m_connection(std::move(connection))
    , m_service(service)
    , m_watcher(m_service, m_connection, QDBusServiceWatcher::WatchForOwnerChange)
{
    connect(&m_watcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
        [this](const QString&, const QString& oldOwner, const QString& newOwner) {
            if (newOwner.isEmpty()) {
                serviceVanished();
            } else if (oldOwner.isEmpty()) {
                serviceAppeared();
            } else {
                // Another process took the name: our watches were the old one's.
                serviceVanished();
                serviceAppeared();
            }
        });
    m_connection.connect(m_service, QString::fromLatin1(objectPath), QString::fromLatin1(interfaceName),
        QStringLiteral("WatchFired"), this, SLOT(watchFired(uint)));
}

MutterIdleTimeSource::~MutterIdleTimeSource()
{
    m_connection.disconnect(m_service, QString::fromLatin1(objectPath), QString::fromLatin1(interfaceName),
        QStringLiteral("WatchFired"), this, SLOT(watchFired(uint)));
    if (m_available) {
        removeWatches();
    }
}

bool MutterIdleTimeSource::probe(int timeoutMs, std::string* error)
{
    const QDBusMessage reply = m_connection.call(call("GetIdletime"), QDBus::Block, timeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 1) {
        if (error) {
            *error = reply.type() == QDBusMessage::ReplyMessage
                ? std::string("the answer is no idle time")
                : reply.errorName().toStdString() + ": " + reply.errorMessage().toStdString();
        }
        return false;
    }
    return true;
}

double MutterIdleTimeSource::secondsSinceLastEvent(InputEventType)
{
    return secondsSinceLastInput();
}

double MutterIdleTimeSource::secondsSinceLastInput()
{
    return m_idleSince ? std::max(0.0, uptime() - *m_idleSince) : 0.0;
}

void MutterIdleTimeSource::armWatches(double thresholdSeconds, std::optional<double> idleSince)
{
    if (std::isfinite(thresholdSeconds) && thresholdSeconds > 0) {
        m_threshold = thresholdSeconds;
    }
    m_armed = true;
    m_idleSince = idleSince;
    ++m_generation;
    if (!m_available) {
        return;
    }
    removeWatches();
    // The exact figure first: a user away already is told with the moment of the last input
    // before the new idle watch fires at once with no more than the threshold.
    askIdleTime();
    addIdleWatch();
    if (m_idleSince) {
        addUserActiveWatch();
    }
}

void MutterIdleTimeSource::disarmWatches()
{
    m_armed = false;
    m_idleSince.reset();
    ++m_generation;
    if (m_available) {
        removeWatches();
    }
}

void MutterIdleTimeSource::removeWatch(uint id)
{
    auto message = call("RemoveWatch");
    message << id;
    m_connection.asyncCall(message, callTimeoutMs);
}

void MutterIdleTimeSource::removeWatches()
{
    for (uint* id : { &m_idleWatch, &m_activeWatch }) {
        if (*id != 0) {
            removeWatch(*id);
            *id = 0;
        }
    }
    m_activeWatchPending = false;
}

void MutterIdleTimeSource::send(
    const QDBusMessage& message, std::function<void(const QVariant&, bool)> answered)
{
    auto* watcher = new QDBusPendingCallWatcher(m_connection.asyncCall(message, callTimeoutMs), &m_calls);
    const auto generation = m_generation;
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
        [this, generation, member = message.member(), answered = std::move(answered)](
            QDBusPendingCallWatcher* done) {
            done->deleteLater();
            const QDBusMessage reply = done->reply();
            if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 1) {
                failed(member, reply.errorMessage());
                answered({}, false);
                return;
            }
            answered(reply.arguments().front(), generation == m_generation);
        });
}

void MutterIdleTimeSource::addIdleWatch()
{
    auto message = call("AddIdleWatch");
    message << static_cast<qulonglong>(std::llround(m_threshold * 1000.0));
    send(message, [this](const QVariant& id, bool current) {
        if (!id.isValid()) {
            return;
        }
        if (!current) {
            removeWatch(id.toUInt());
            return;
        }
        m_idleWatch = id.toUInt();
    });
}

void MutterIdleTimeSource::addUserActiveWatch()
{
    if (m_activeWatch != 0 || m_activeWatchPending) {
        return;
    }
    m_activeWatchPending = true;
    send(call("AddUserActiveWatch"), [this](const QVariant& id, bool current) {
        if (!id.isValid()) {
            m_activeWatchPending = m_activeWatchPending && !current;
            return;
        }
        if (!current) {
            removeWatch(id.toUInt());
            return;
        }
        // Unless it has fired already, before this answer was read.
        if (m_activeWatchPending) {
            m_activeWatchPending = false;
            m_activeWatch = id.toUInt();
        }
    });
}

void MutterIdleTimeSource::askIdleTime()
{
    send(call("GetIdletime"), [this](const QVariant& milliseconds, bool current) {
        if (!milliseconds.isValid() || !current) {
            return;
        }
        // Exact when it arrives; a user away for the threshold already is told so now.
        const double seconds = static_cast<double>(milliseconds.toULongLong()) / 1000.0;
        if (seconds >= m_threshold) {
            becameIdle(uptime() - seconds);
        }
    });
}

void MutterIdleTimeSource::becameIdle(double since)
{
    if (m_idleSince) {
        return;
    }
    m_idleSince = since;
    addUserActiveWatch();
    tell({ IdleEvent::Type::idle, since });
}

void MutterIdleTimeSource::watchFired(uint id)
{
    if (!m_armed) {
        return;
    }
    if (id != 0 && id == m_idleWatch) {
        // Mutter fires it once the user has had no input for the whole interval.
        becameIdle(uptime() - m_threshold);
        return;
    }
    // A user-active watch fires once, and may do so before the answer with its id is read.
    if (id != 0 && (id == m_activeWatch || m_activeWatchPending)) {
        m_activeWatch = 0;
        m_activeWatchPending = false;
        if (m_idleSince) {
            m_idleSince.reset();
            tell({ IdleEvent::Type::active, uptime() });
        }
    }
}

void MutterIdleTimeSource::serviceVanished()
{
    if (!m_available) {
        return;
    }
    m_available = false;
    m_idleWatch = 0;
    m_activeWatch = 0;
    m_activeWatchPending = false;
    log(LogLevel::Warning, category, "GNOME Mutter's IdleMonitor left the session bus");
    tell({ IdleEvent::Type::changed, uptime() });
}

void MutterIdleTimeSource::serviceAppeared()
{
    if (m_available) {
        return;
    }
    m_available = true;
    m_reportedFailure = false;
    log(LogLevel::Info, category, "GNOME Mutter's IdleMonitor is on the session bus again");
    tell({ IdleEvent::Type::changed, uptime() });
}

void MutterIdleTimeSource::failed(const QString& what, const QString& error)
{
    if (m_reportedFailure) {
        return;
    }
    m_reportedFailure = true;
    log(LogLevel::Warning, category,
        "GNOME Mutter's IdleMonitor did not answer " + what.toStdString() + ": " + error.toStdString());
}

} // namespace platform
