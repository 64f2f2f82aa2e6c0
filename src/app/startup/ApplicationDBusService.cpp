#include "app/startup/ApplicationDBusService.h"

#include "app/intents/DBusHostObject.h"

#include "app/intents/IntentsDBusAdaptor.h"
#include "platform/Logger.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusReply>
#include <QPointer>

#include <thread>

namespace kiruvo {

namespace {

QPointer<QObject>& exportedObject()
{
    static QPointer<QObject> object;
    return object;
}

std::function<void()>& openMenuHandler()
{
    static std::function<void()> handler;
    return handler;
}

// The bus is either there or not for the whole run: say so once.
void reportUnavailableOnce(const std::string& reason)
{
    static bool reported = false;
    if (reported) {
        return;
    }
    reported = true;
    platform::log(platform::LogLevel::Warning, platform::lcStartup(),
        "The session bus service is not available (" + reason
            + "): scripting and the hand-over from a second launch are missing");
}

bool isNameWithoutOwner(const QDBusMessage& reply)
{
    const QString name = reply.errorName();
    return name == QStringLiteral("org.freedesktop.DBus.Error.ServiceUnknown")
        || name == QStringLiteral("org.freedesktop.DBus.Error.NameHasNoOwner");
}

} // namespace

ApplicationDBusService::ApplicationDBusService(QObject* host)
    : QDBusAbstractAdaptor(host)
{
}

ApplicationDBusService::~ApplicationDBusService() = default;

bool ApplicationDBusService::start(QDBusConnection connection)
{
    std::string error;
    QObject* host = dbusHostObject(connection, QString::fromLatin1(objectPath), &error);
    if (!host) {
        reportUnavailableOnce(error);
        return false;
    }
    if (!host->findChild<ApplicationDBusService*>(QString(), Qt::FindDirectChildrenOnly)) {
        new ApplicationDBusService(host);
    }
    exportedObject() = host;
    // Scripting joins the same object; without it the application still answers OpenMenu.
    registerIntentsObject(connection);

    const QString name = QString::fromLatin1(serviceName);
    QDBusConnectionInterface* bus = connection.interface();
    if (!bus) {
        reportUnavailableOnce("the bus does not answer name requests");
        return false;
    }
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply = bus->registerService(
        name, QDBusConnectionInterface::DontQueueService, QDBusConnectionInterface::DontAllowReplacement);
    if (!reply.isValid()) {
        reportUnavailableOnce("the bus name " + name.toStdString()
            + " cannot be requested: " + reply.error().message().toStdString());
        return false;
    }
    if (reply.value() != QDBusConnectionInterface::ServiceRegistered) {
        reportUnavailableOnce("the bus name " + name.toStdString() + " is held by another process");
        return false;
    }
    return true;
}

QObject* ApplicationDBusService::object()
{
    return exportedObject().data();
}

void ApplicationDBusService::setOpenMenuHandler(std::function<void()> handler)
{
    openMenuHandler() = std::move(handler);
}

bool ApplicationDBusService::requestOpenMenu(
    QDBusConnection connection, QString* errorText, std::chrono::milliseconds timeout)
{
    const auto fail = [errorText](const QString& reason) {
        if (errorText) {
            *errorText = reason;
        }
        return false;
    };
    if (!connection.isConnected()) {
        return fail(QStringLiteral("there is no session bus"));
    }
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        const auto remaining = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        QDBusMessage call = QDBusMessage::createMethodCall(QString::fromLatin1(serviceName),
            QString::fromLatin1(objectPath), QString::fromLatin1(interfaceName), QStringLiteral("OpenMenu"));
        const QDBusMessage reply = connection.call(
            call, QDBus::Block, static_cast<int>(std::max<std::int64_t>(remaining.count(), 1)));
        if (reply.type() == QDBusMessage::ReplyMessage) {
            return true;
        }
        const auto pause = std::chrono::milliseconds(200);
        if (isNameWithoutOwner(reply) && Clock::now() + pause < deadline) {
            std::this_thread::sleep_for(pause);
            continue;
        }
        return fail(reply.errorMessage().isEmpty() ? reply.errorName() : reply.errorMessage());
    }
}

void ApplicationDBusService::OpenMenu()
{
    if (const auto& handler = openMenuHandler()) {
        handler();
        return;
    }
    platform::log(
        platform::LogLevel::Info, platform::lcStartup(), "Asked to open the menu, but there is no menu yet");
}

} // namespace kiruvo
