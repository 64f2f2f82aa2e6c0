#include "platform/linux/PortalBackgroundLoginItemService.h"

#include "platform/linux/BusNameOwner.h"
#include "platform/store/UserDefaults.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

namespace platform::dbus {

namespace {

constexpr std::uint32_t responseSuccess = 0;
constexpr std::uint32_t responseCancelled = 1;

} // namespace

// One RequestBackground in flight: it listens for the portal's Response on the request's path and
// completes once, with the answer or with the failure of the call itself.
class PortalBackgroundLoginItemService::Request : public QObject {
    Q_OBJECT
public:
    Request(PortalBackgroundLoginItemService& service, bool autostart, Completion completion)
        : QObject(&service)
        , m_service(service)
        , m_autostart(autostart)
        , m_completion(std::move(completion))
    {
    }

    void listen(const QString& path)
    {
        if (path == m_path) {
            return;
        }
        stopListening();
        m_path = path;
        m_service.m_portal->connectSignal(m_path, QString::fromLatin1(requestInterfaceName),
            QStringLiteral("Response"), this, SLOT(response(uint, QVariantMap, QDBusMessage)));
    }

    void finish(const Failure& failure)
    {
        stopListening();
        if (m_completion) {
            auto completion = std::move(m_completion);
            m_completion = nullptr;
            completion(failure);
        }
        deleteLater();
    }

public Q_SLOTS:
    void response(uint code, const QVariantMap& results, const QDBusMessage& message)
    {
        // Only the portal answers its requests.
        if (!m_service.m_portal->sentByOwner(message)) {
            return;
        }
        if (code == responseSuccess) {
            const bool granted = results.value(QStringLiteral("autostart")).toBool();
            m_service.m_options.suite->setObject(PropertyList(granted), grantedKey);
            if (granted != m_autostart) {
                finish(m_autostart ? "The desktop did not allow the application to start at login"
                                   : "The desktop kept the application starting at login");
                return;
            }
            finish(std::nullopt);
            return;
        }
        finish(
            code == responseCancelled ? "The request was cancelled" : "The desktop portal ended the request");
    }

private:
    void stopListening()
    {
        if (m_path.isEmpty()) {
            return;
        }
        m_service.m_options.connection.disconnect(QString(), m_path,
            QString::fromLatin1(requestInterfaceName), QStringLiteral("Response"), this,
            SLOT(response(uint, QVariantMap, QDBusMessage)));
        m_path.clear();
    }

    PortalBackgroundLoginItemService& m_service;
    bool m_autostart;
    Completion m_completion;
    QString m_path;
};

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
    QString sender = connection.baseService();
    if (sender.startsWith(u':')) {
        sender.remove(0, 1);
    }
    sender.replace(u'.', u'_');
    return QStringLiteral("/org/freedesktop/portal/desktop/request/") + sender + u'/' + token;
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
    auto* pending = new Request(*this, autostart, std::move(completion));
    // Listening before asking: the portal may answer before its reply to the call arrives.
    pending->listen(requestPath(m_options.connection, token));

    QDBusMessage call = QDBusMessage::createMethodCall(m_options.service, QString::fromLatin1(objectPath),
        QString::fromLatin1(interfaceName), QStringLiteral("RequestBackground"));
    QVariantMap options;
    options.insert(QStringLiteral("handle_token"), token);
    options.insert(QStringLiteral("reason"), m_options.reason);
    options.insert(QStringLiteral("autostart"), autostart);
    call << QString() << options;
    auto* watcher = new QDBusPendingCallWatcher(m_options.connection.asyncCall(call), pending);
    connect(
        watcher, &QDBusPendingCallWatcher::finished, pending, [pending](QDBusPendingCallWatcher* finished) {
            finished->deleteLater();
            const QDBusPendingReply<QDBusObjectPath> reply = *finished;
            if (reply.isError()) {
                pending->finish(
                    "The desktop portal did not answer: " + reply.error().message().toStdString());
                return;
            }
            // Portals older than the handle token choose their own path.
            pending->listen(reply.value().path());
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

#include "PortalBackgroundLoginItemService.moc"
