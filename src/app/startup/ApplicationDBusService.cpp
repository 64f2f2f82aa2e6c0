#include "app/startup/ApplicationDBusService.h"

#include "app/intents/DBusHostObject.h"

#include "app/intents/IntentsDBusAdaptor.h"
#include "platform/Logger.h"
#include "platform/async/Sleep.h"
#include "platform/linux/BusCallQueue.h"
#include "platform/linux/BusDaemon.h"
#include "platform/linux/MarshalledSize.h"

#include <QCoro/QCoroDBusPendingCall>
#include <QCoro/QCoroTask>
#include <QDBusMessage>
#include <QPointer>

#include <utility>

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

ApplicationDBusService::ApplicationDBusService(QObject* host, QDBusConnection connection)
    : QDBusAbstractAdaptor(host)
    , m_connection(std::move(connection))
{
}

ApplicationDBusService::~ApplicationDBusService() = default;

QCoro::Task<bool> ApplicationDBusService::start(QDBusConnection connection)
{
    std::string error;
    QObject* host = dbusHostObject(connection, QString::fromLatin1(objectPath), &error);
    if (!host) {
        reportUnavailableOnce(error);
        co_return false;
    }
    if (!host->findChild<ApplicationDBusService*>(QString(), Qt::FindDirectChildrenOnly)) {
        new ApplicationDBusService(host, connection);
    }
    exportedObject() = host;
    // Scripting joins the same object; without it the application still answers OpenMenu.
    registerIntentsObject(connection);

    const QString name = QString::fromLatin1(serviceName);
    const QDBusMessage reply = co_await connection.asyncCall(platform::requestNameCall(name));
    if (reply.type() != QDBusMessage::ReplyMessage) {
        reportUnavailableOnce("the bus name " + name.toStdString()
            + " cannot be requested: " + reply.errorMessage().toStdString());
        co_return false;
    }
    if (!platform::madeNameOwner(reply)) {
        reportUnavailableOnce("the bus name " + name.toStdString() + " is held by another process");
        co_return false;
    }
    co_return true;
}

QObject* ApplicationDBusService::object()
{
    return exportedObject().data();
}

void ApplicationDBusService::setOpenMenuHandler(std::function<void()> handler)
{
    openMenuHandler() = std::move(handler);
}

QCoro::Task<bool> ApplicationDBusService::requestOpenMenu(
    QDBusConnection connection, QString* errorText, std::chrono::milliseconds timeout)
{
    const auto fail = [errorText](const QString& reason) {
        if (errorText) {
            *errorText = reason;
        }
        return false;
    };
    if (!connection.isConnected()) {
        co_return fail(QStringLiteral("there is no session bus"));
    }
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        const auto remaining = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        QDBusMessage call = QDBusMessage::createMethodCall(QString::fromLatin1(serviceName),
            QString::fromLatin1(objectPath), QString::fromLatin1(interfaceName), QStringLiteral("OpenMenu"));
        const QDBusMessage reply = co_await connection.asyncCall(
            call, static_cast<int>(std::max<std::int64_t>(remaining.count(), 1)));
        if (reply.type() == QDBusMessage::ReplyMessage) {
            co_return true;
        }
        const auto pause = std::chrono::milliseconds(200);
        if (isNameWithoutOwner(reply) && Clock::now() + pause < deadline) {
            co_await platform::async::sleepFor(std::chrono::duration<double>(pause).count());
            continue;
        }
        co_return fail(reply.errorMessage().isEmpty() ? reply.errorName() : reply.errorMessage());
    }
}

void ApplicationDBusService::OpenMenu(const QDBusMessage& message)
{
    message.setDelayedReply(true);
    const QString caller = message.service();
    if (!m_waitingMenu || m_waitingMenu->opened) {
        m_waitingMenu = std::make_shared<WaitingMenu>();
    }
    const std::shared_ptr<WaitingMenu> menu = m_waitingMenu;
    if (!menu->callers.contains(caller)) {
        const bool queued = platform::BusCallQueue::of(m_connection)
                                .enqueue(
                                    caller,
                                    [self = QPointer(this), menu](platform::BusCallQueue::Answered answered) {
                                        answered(self && !menu->opened ? self->open(*menu) : 0);
                                    },
                                    [connection = m_connection, menu, caller] {
                                        // Its turn did not come in time: the menu does not open for it.
                                        menu->callers.erase(caller);
                                        const auto calls = menu->calls.extract(caller);
                                        for (const QDBusMessage& call :
                                            calls ? calls.mapped() : std::vector<QDBusMessage>()) {
                                            platform::BusCallQueue::refuse(
                                                connection, call, platform::BusCallQueue::Refusal::notInTime);
                                        }
                                    });
        if (!queued) {
            platform::BusCallQueue::refuse(m_connection, message);
            return;
        }
        menu->callers.insert(caller);
    }
    if (!message.isReplyRequired()) {
        return;
    }
    std::vector<QDBusMessage>& calls = menu->calls[caller];
    if (calls.size() >= platform::BusCallQueue::maximumWaitingPerCaller) {
        platform::BusCallQueue::refuse(m_connection, message);
        return;
    }
    calls.push_back(message);
}

std::int64_t ApplicationDBusService::open(WaitingMenu& menu)
{
    menu.opened = true;
    openMenu();
    std::int64_t bytes = 0;
    for (const auto& [caller, messages] : std::exchange(menu.calls, {})) {
        for (const QDBusMessage& message : messages) {
            const QDBusMessage reply = message.createReply();
            m_connection.send(reply);
            bytes += platform::marshalledSize(reply);
        }
    }
    return bytes;
}

void ApplicationDBusService::openMenu()
{
    if (const auto& handler = openMenuHandler()) {
        handler();
        return;
    }
    platform::log(
        platform::LogLevel::Info, platform::lcStartup(), "Asked to open the menu, but there is no menu yet");
}

} // namespace kiruvo
