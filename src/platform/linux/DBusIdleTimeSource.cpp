#include "platform/linux/DBusIdleTimeSource.h"

#include "platform/Logger.h"
#include "platform/time/Clock.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QMetaType>

#include <algorithm>
#include <cmath>

namespace platform {

DBusIdleTimeSource::Service DBusIdleTimeSource::mutterIdleMonitor()
{
    return { QStringLiteral("org.gnome.Mutter.IdleMonitor"),
        QStringLiteral("/org/gnome/Mutter/IdleMonitor/Core"), QStringLiteral("org.gnome.Mutter.IdleMonitor"),
        QStringLiteral("GetIdletime"), 0.001, "GNOME Mutter IdleMonitor" };
}

DBusIdleTimeSource::Service DBusIdleTimeSource::freedesktopScreenSaver()
{
    return { QStringLiteral("org.freedesktop.ScreenSaver"), QStringLiteral("/org/freedesktop/ScreenSaver"),
        QStringLiteral("org.freedesktop.ScreenSaver"), QStringLiteral("GetSessionIdleTime"), 1.0,
        "org.freedesktop.ScreenSaver" };
}

DBusIdleTimeSource::DBusIdleTimeSource(QDBusConnection connection, Service service)
    : m_connection(std::move(connection))
    , m_service(std::move(service))
{
}

DBusIdleTimeSource::~DBusIdleTimeSource() = default;

bool DBusIdleTimeSource::probe(int timeoutMs, std::string* error)
{
    auto message = QDBusMessage::createMethodCall(
        m_service.name, m_service.path, m_service.interface, m_service.method);
    QDBusMessage reply = m_connection.call(message, QDBus::Block, timeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage) {
        if (error) {
            *error = reply.errorName().toStdString() + ": " + reply.errorMessage().toStdString();
        }
        return false;
    }
    auto seconds = secondsFromReply(reply.arguments(), error);
    if (!seconds) {
        return false;
    }
    received(*seconds);
    return true;
}

double DBusIdleTimeSource::secondsSinceLastEvent(InputEventType)
{
    return currentFigure();
}

double DBusIdleTimeSource::secondsSinceLastInput()
{
    return currentFigure();
}

double DBusIdleTimeSource::currentFigure()
{
    refresh();
    if (!m_hasAnswer) {
        return 0;
    }
    // A clock that went backwards (only a test's can) must not make the figure shrink below the
    // received one.
    const double elapsed = std::max(0.0, Clock::shared().systemUptime() - m_receivedAtUptime);
    const double figure = m_lastSeconds + elapsed;
    return std::isfinite(figure) ? figure : m_lastSeconds;
}

void DBusIdleTimeSource::refresh()
{
    if (m_callPending) {
        return;
    }
    m_callPending = true;
    auto message = QDBusMessage::createMethodCall(
        m_service.name, m_service.path, m_service.interface, m_service.method);
    auto* watcher = new QDBusPendingCallWatcher(m_connection.asyncCall(message, callTimeoutMs), &m_context);
    QObject::connect(
        watcher, &QDBusPendingCallWatcher::finished, &m_context, [this](QDBusPendingCallWatcher* call) {
            call->deleteLater();
            m_callPending = false;
            const QDBusMessage reply = call->reply();
            if (reply.type() != QDBusMessage::ReplyMessage) {
                failed(reply.errorName().toStdString() + ": " + reply.errorMessage().toStdString());
                return;
            }
            std::string error;
            if (auto seconds = secondsFromReply(reply.arguments(), &error)) {
                received(*seconds);
            } else {
                failed(error);
            }
        });
}

std::optional<double> DBusIdleTimeSource::secondsFromReply(
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
    return units * m_service.secondsPerUnit;
}

void DBusIdleTimeSource::received(double seconds)
{
    m_hasAnswer = true;
    m_lastSeconds = seconds;
    m_receivedAtUptime = Clock::shared().systemUptime();
    if (m_reportedFailure) {
        m_reportedFailure = false;
        log(LogLevel::Info, "idle", m_service.description + " answers again.");
    }
}

void DBusIdleTimeSource::failed(const std::string& error)
{
    if (!m_reportedFailure) {
        m_reportedFailure = true;
        log(LogLevel::Warning, "idle",
            "The idle time could not be read from " + m_service.description + ": " + error);
    }
}

} // namespace platform
