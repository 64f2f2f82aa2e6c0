#include "platform/linux/DBusIdleTimeSource.h"

#include "platform/Logger.h"
#include "platform/time/Clock.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QMetaType>

#include <algorithm>
#include <cmath>
#include <limits>

namespace platform {

namespace {

double uptime()
{
    return Clock::shared().systemUptime();
}

} // namespace

DBusIdleTimeSource::Service DBusIdleTimeSource::freedesktopScreenSaver()
{
    return { QStringLiteral("org.freedesktop.ScreenSaver"), QStringLiteral("/org/freedesktop/ScreenSaver"),
        QStringLiteral("org.freedesktop.ScreenSaver"), QStringLiteral("GetSessionIdleTime"), std::nullopt,
        "org.freedesktop.ScreenSaver" };
}

DBusIdleTimeSource::DBusIdleTimeSource(QDBusConnection connection, Service service)
    : m_connection(std::move(connection))
    , m_service(std::move(service))
    , m_watcher(m_service.name, m_connection, QDBusServiceWatcher::WatchForOwnerChange)
    , m_events(m_service.secondsPerUnit)
{
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::CoarseTimer);
    connect(&m_timer, &QTimer::timeout, this, &DBusIdleTimeSource::ask);
    connect(&m_watcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
        [this](const QString&, const QString& oldOwner, const QString& newOwner) {
            if (newOwner.isEmpty()) {
                serviceVanished();
            } else if (oldOwner.isEmpty()) {
                serviceAppeared();
            }
        });
}

DBusIdleTimeSource::~DBusIdleTimeSource() = default;

void DBusIdleTimeSource::probe(int timeoutMs)
{
    m_available = false;
    m_firstQuestion.ask(
        m_connection,
        QDBusMessage::createMethodCall(m_service.name, m_service.path, m_service.interface, m_service.method),
        timeoutMs,
        [this](const QDBusMessage& reply) -> std::optional<std::string> {
            std::string error;
            if (unitsFromReply(reply.arguments(), &error)) {
                return std::nullopt;
            }
            return error;
        },
        [this](bool answers) {
            m_available = answers;
            tell({ IdleEvent::Type::changed, uptime() });
        });
}

double DBusIdleTimeSource::secondsSinceLastEvent(InputEventType)
{
    return secondsSinceLastInput();
}

double DBusIdleTimeSource::secondsSinceLastInput()
{
    const auto& since = m_events.idleSince();
    return since ? std::max(0.0, uptime() - *since) : 0.0;
}

void DBusIdleTimeSource::armWatches(double thresholdSeconds, std::optional<double> idleSince)
{
    if (!std::isfinite(thresholdSeconds) || thresholdSeconds <= 0) {
        thresholdSeconds = m_events.threshold();
    }
    m_armed = true;
    m_events.arm(thresholdSeconds, idleSince, uptime());
    scheduleQuestion();
}

void DBusIdleTimeSource::disarmWatches()
{
    m_armed = false;
    m_timer.stop();
}

double DBusIdleTimeSource::nextQuestionAt() const
{
    return m_events.nextQuestionAt();
}

void DBusIdleTimeSource::scheduleQuestion()
{
    if (!m_armed || !m_available || m_callPending) {
        return;
    }
    const double delay = std::max(0.0, nextQuestionAt() - uptime());
    m_timer.start(
        static_cast<int>(std::min(std::ceil(delay * 1000.0), double(std::numeric_limits<int>::max()))));
}

void DBusIdleTimeSource::ask()
{
    if (m_callPending) {
        return;
    }
    m_timer.stop();
    m_callPending = true;
    auto message = QDBusMessage::createMethodCall(
        m_service.name, m_service.path, m_service.interface, m_service.method);
    const double askedAt = uptime();
    auto* watcher = new QDBusPendingCallWatcher(m_connection.asyncCall(message, callTimeoutMs), &m_context);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, &m_context,
        [this, askedAt](QDBusPendingCallWatcher* call) {
            call->deleteLater();
            m_callPending = false;
            const QDBusMessage reply = call->reply();
            if (reply.type() != QDBusMessage::ReplyMessage) {
                failed(reply.errorName().toStdString() + ": " + reply.errorMessage().toStdString());
                return;
            }
            std::string error;
            if (auto units = unitsFromReply(reply.arguments(), &error)) {
                received(*units, askedAt);
            } else {
                failed(error);
            }
        });
}

std::optional<double> DBusIdleTimeSource::unitsFromReply(
    const QList<QVariant>& arguments, std::string* error) const
{
    const auto refuse = [&](const std::string& why) -> std::optional<double> {
        if (error) {
            *error = why;
        }
        return std::nullopt;
    };
    if (arguments.size() != 1) {
        return refuse("The answer holds " + std::to_string(arguments.size()) + " values instead of one.");
    }
    const QVariant& value = arguments.front();
    double units;
    switch (value.metaType().id()) {
    case QMetaType::UInt:
        units = value.toUInt();
        break;
    case QMetaType::ULongLong:
        units = static_cast<double>(value.toULongLong());
        break;
    case QMetaType::Int:
    case QMetaType::LongLong: {
        const auto signedUnits = value.toLongLong();
        if (signedUnits < 0) {
            return refuse("The answer is a negative idle time.");
        }
        units = static_cast<double>(signedUnits);
        break;
    }
    default:
        return refuse(std::string("The answer is no whole number but a ") + value.metaType().name() + ".");
    }
    return units;
}

void DBusIdleTimeSource::received(double units, double askedAt)
{
    if (m_reportedFailure) {
        m_reportedFailure = false;
        log(LogLevel::Info, lcIdle(), m_service.description + " answers again.");
    }
    if (!m_armed) {
        return;
    }
    const auto event = m_events.answered(units, askedAt, uptime());
    scheduleQuestion();
    if (event) {
        tell(*event);
    }
}

void DBusIdleTimeSource::failed(const std::string& error)
{
    if (!m_reportedFailure) {
        m_reportedFailure = true;
        log(LogLevel::Warning, lcIdle(),
            "The idle time could not be read from " + m_service.description + ": " + error);
    }
    if (m_armed && m_available) {
        m_timer.start(retryAfterFailureMs);
    }
}

void DBusIdleTimeSource::serviceVanished()
{
    if (!m_available) {
        return;
    }
    m_available = false;
    m_hasLeftBus = true;
    m_timer.stop();
    log(LogLevel::Warning, lcIdle(), m_service.description + " left the session bus");
    tell({ IdleEvent::Type::changed, uptime() });
}

void DBusIdleTimeSource::serviceAppeared()
{
    if (m_available) {
        return;
    }
    // A service that comes while the first question is on its way answers the next.
    m_firstQuestion.stop();
    m_available = true;
    // Perhaps another desktop's service, counting in other units.
    m_events.forgetUnit(m_service.secondsPerUnit);
    log(LogLevel::Info, lcIdle(),
        m_service.description + (m_hasLeftBus ? " is on the session bus again" : " is on the session bus"));
    tell({ IdleEvent::Type::changed, uptime() });
}

} // namespace platform
