#include "platform/linux/FreedesktopNotificationCenter.h"

#include "platform/Logger.h"
#include "platform/linux/BusNameOwner.h"

#include <QCoro/QCoroDBusPendingCall>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QPointer>
#include <QStringList>
#include <QVariantMap>

#include <vector>

namespace platform::dbus {

namespace {

QDBusMessage methodCall(const QString& service, const char* method)
{
    return QDBusMessage::createMethodCall(service,
        QString::fromLatin1(FreedesktopNotificationCenter::objectPath),
        QString::fromLatin1(FreedesktopNotificationCenter::interfaceName), QString::fromLatin1(method));
}

} // namespace

FreedesktopNotificationCenter::FreedesktopNotificationCenter(QObject* parent)
    : FreedesktopNotificationCenter(
        QDBusConnection::sessionBus(), QString::fromLatin1(standardService), parent)
{
}

FreedesktopNotificationCenter::FreedesktopNotificationCenter(
    QDBusConnection connection, QString service, QObject* parent)
    : QObject(parent)
    , m_connection(std::move(connection))
    , m_service(std::move(service))
{
    if (m_connection.isConnected()) {
        // Forget what the user or the service closed, so that removal asks only for the rest.
        m_owner = new BusNameOwner(m_connection, m_service, this);
        m_owner->connectSignal(QString::fromLatin1(objectPath), QString::fromLatin1(interfaceName),
            QStringLiteral("NotificationClosed"), this, SLOT(notificationClosed(uint, uint, QDBusMessage)));
    }
}

QCoro::Task<bool> FreedesktopNotificationCenter::requestAuthorization()
{
    if (!m_connection.isConnected()) {
        log(LogLevel::Info, lcNotifications(), "No session bus: notifications cannot be shown");
        co_return false;
    }
    const QDBusMessage reply
        = co_await m_connection.asyncCall(methodCall(m_service, "GetCapabilities"), callTimeoutMilliseconds);
    if (reply.type() != QDBusMessage::ReplyMessage) {
        log(LogLevel::Info, lcNotifications(),
            "The notification service does not answer: " + reply.errorName().toStdString() + " "
                + reply.errorMessage().toStdString());
        co_return false;
    }
    co_return true;
}

QCoro::Task<NotificationCenter::PostResult> FreedesktopNotificationCenter::post(Request request)
{
    PostResult result;
    if (!m_connection.isConnected()) {
        result.errorName = QStringLiteral("org.freedesktop.DBus.Error.NoServer").toStdString();
        result.errorMessage = "There is no session bus.";
        co_return result;
    }
    QDBusMessage call = methodCall(m_service, "Notify");
    QVariantMap hints;
    hints.insert(QStringLiteral("urgency"), QVariant::fromValue(static_cast<uchar>(request.urgency)));
    hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("com.zelvantorium.Kiruvo"));
    call << QStringLiteral("Kiruvo") // app_name
         << static_cast<uint>(0) // replaces_id: always a new notification
         << QString() // app_icon: the desktop entry's
         << QString::fromStdString(request.summary) << QString::fromStdString(request.body)
         << QStringList() // actions
         << hints << static_cast<int>(-1); // expire_timeout: the service's default
    // The caller's task runs on by itself, and may outlive the center: what the answer says is
    // remembered only by a center still there.
    const QPointer<FreedesktopNotificationCenter> self(this);
    const QDBusMessage reply = co_await m_connection.asyncCall(call, callTimeoutMilliseconds);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 1
        || !reply.arguments().front().canConvert<uint>()) {
        result.errorName = reply.errorName().toStdString();
        result.errorMessage = reply.type() == QDBusMessage::ReplyMessage
            ? std::string("The notification service gave an unexpected answer.")
            : reply.errorMessage().toStdString();
        log(LogLevel::Warning, lcNotifications(),
            "Could not post a notification: " + result.errorName + " " + result.errorMessage);
        co_return result;
    }
    const auto identifier = reply.arguments().front().toUInt();
    if (self) {
        m_delivered.insert(identifier);
    }
    result.identifier = identifier;
    co_return result;
}

QCoro::Task<void> FreedesktopNotificationCenter::removeAllDelivered()
{
    if (!m_connection.isConnected()) {
        co_return;
    }
    // Taken out first: a reminder posted while these are being closed is not closed with them.
    const std::vector<std::uint32_t> identifiers(m_delivered.begin(), m_delivered.end());
    m_delivered.clear();
    // The closes go on to the end on the connection and service held here, also when the center
    // is gone meanwhile.
    const QDBusConnection connection = m_connection;
    const QString service = m_service;
    for (const auto identifier : identifiers) {
        QDBusMessage call = methodCall(service, "CloseNotification");
        call << static_cast<uint>(identifier);
        const QDBusMessage reply = co_await connection.asyncCall(call, callTimeoutMilliseconds);
        if (reply.type() != QDBusMessage::ReplyMessage) {
            log(LogLevel::Debug, lcNotifications(),
                "Could not close notification " + std::to_string(identifier) + ": "
                    + reply.errorMessage().toStdString());
        }
    }
}

void FreedesktopNotificationCenter::notificationClosed(
    uint identifier, uint /*reason*/, const QDBusMessage& message)
{
    // Another program's identifiers are not ours to forget.
    if (!m_owner->sentByOwner(message)) {
        return;
    }
    m_delivered.erase(identifier);
}

} // namespace platform::dbus
