#include "platform/linux/PortalBackgroundLoginItemService.h"

#include "platform/linux/BusNameOwner.h"
#include "platform/linux/PortalRequest.h"
#include "platform/store/UserDefaults.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QVariantMap>

#include <cctype>

namespace platform::dbus {

PortalBackgroundLoginItemService::PortalBackgroundLoginItemService(QObject* parent)
    : PortalBackgroundLoginItemService(Options {}, parent)
{
}

PortalBackgroundLoginItemService::PortalBackgroundLoginItemService(Options options, QObject* parent)
    : QObject(parent)
    , m_options(std::move(options))
{
    if (!m_options.suite) {
        m_options.suite = UserDefaults::standard();
    }
    m_portal = new BusNameOwner(m_options.connection, m_options.service, this);
}

PortalBackgroundLoginItemService::~PortalBackgroundLoginItemService() = default;

QString PortalBackgroundLoginItemService::requestPath(const QDBusConnection& connection, const QString& token)
{
    return PortalRequest::requestPath(connection, token);
}

LoginItemService::Status PortalBackgroundLoginItemService::status() const
{
    const std::optional<PropertyList> granted = m_options.suite->objectForKey(grantedKey);
    const bool* value = granted ? granted->getIf<bool>() : nullptr;
    return value && *value ? Status::enabled : Status::notRegistered;
}

void PortalBackgroundLoginItemService::registerApp(Completion completion)
{
    request(true, std::move(completion));
}

void PortalBackgroundLoginItemService::unregisterApp(Completion completion)
{
    request(false, std::move(completion));
}

void PortalBackgroundLoginItemService::request(bool autostart, Completion completion)
{
    if (!m_options.connection.isConnected()) {
        completion("There is no session bus to reach the desktop portal");
        return;
    }
    const QString token
        = QStringLiteral("kiruvo_autostart_%1_%2").arg(QCoreApplication::applicationPid()).arg(++m_nextToken);
    QDBusMessage call = QDBusMessage::createMethodCall(m_options.service, QString::fromLatin1(objectPath),
        QString::fromLatin1(interfaceName), QStringLiteral("RequestBackground"));
    QVariantMap options;
    options.insert(QStringLiteral("handle_token"), token);
    options.insert(QStringLiteral("reason"), m_options.reason);
    options.insert(QStringLiteral("autostart"), autostart);
    call << QString() << options;
    const std::shared_ptr<UserDefaults> suite = m_options.suite;
    PortalRequest::send(m_options.connection, *m_portal, call, token,
        [suite, autostart, completion = std::move(completion)](const PortalRequest::Answer& answer) {
            if (!answer.failure.empty()) {
                std::string failure = answer.failure;
                failure[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(failure[0])));
                completion(failure);
                return;
            }
            if (answer.code == PortalRequest::success) {
                const bool granted = answer.results.value(QStringLiteral("autostart")).toBool();
                suite->setObject(PropertyList(granted), grantedKey);
                if (granted != autostart) {
                    completion(autostart ? "The desktop did not allow the application to start at login"
                                         : "The desktop kept the application starting at login");
                    return;
                }
                completion(std::nullopt);
                return;
            }
            completion(answer.code == PortalRequest::cancelled ? "The request was cancelled"
                                                               : "The desktop portal ended the request");
        });
}

bool PortalBackgroundLoginItemService::isLoginItemEnabled(const std::string& /*identifier*/) const
{
    return false;
}

bool PortalBackgroundLoginItemService::removeLoginItem(const std::string& /*identifier*/)
{
    return true;
}

} // namespace platform::dbus
