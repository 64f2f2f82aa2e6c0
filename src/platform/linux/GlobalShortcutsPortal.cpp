#include "platform/linux/GlobalShortcutsPortal.h"

#include "platform/Logger.h"
#include "platform/linux/BusNameOwner.h"

#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QStringList>

namespace platform {

namespace {

const QString portalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString portalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString portalInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");
const QString requestInterface = QStringLiteral("org.freedesktop.portal.Request");

} // namespace

QDBusArgument& operator<<(QDBusArgument& argument, const PortalShortcut& shortcut)
{
    argument.beginStructure();
    argument << shortcut.id << shortcut.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, PortalShortcut& shortcut)
{
    argument.beginStructure();
    argument >> shortcut.id >> shortcut.properties;
    argument.endStructure();
    return argument;
}

GlobalShortcutsPortal::GlobalShortcutsPortal(QDBusConnection connection, QObject* parent)
    : QObject(parent)
    , m_connection(std::move(connection))
    , m_portal(new BusNameOwner(m_connection, portalService, this))
{
    qDBusRegisterMetaType<PortalShortcut>();
    qDBusRegisterMetaType<PortalShortcutList>();
    for (const QString& member : { QStringLiteral("Activated"), QStringLiteral("Deactivated") }) {
        m_portal->connectSignal(
            portalPath, portalInterface, member, this, SLOT(handleShortcutSignal(QDBusMessage)));
    }
}

GlobalShortcutsPortal::~GlobalShortcutsPortal() = default;

QString GlobalShortcutsPortal::trigger(Qt::KeyboardModifiers modifiers, const QString& keysymName)
{
    QStringList parts;
    if (modifiers.testFlag(Qt::ControlModifier)) {
        parts << QStringLiteral("CTRL");
    }
    if (modifiers.testFlag(Qt::AltModifier)) {
        parts << QStringLiteral("ALT");
    }
    if (modifiers.testFlag(Qt::ShiftModifier)) {
        parts << QStringLiteral("SHIFT");
    }
    if (modifiers.testFlag(Qt::MetaModifier)) {
        parts << QStringLiteral("LOGO");
    }
    parts << keysymName;
    return parts.join(u'+');
}

void GlobalShortcutsPortal::bind(QList<Binding> bindings)
{
    m_bindings = std::move(bindings);
    if (m_session.isEmpty()) {
        m_bindingWaits = true;
        createSession();
        return;
    }
    sendBinding();
}

void GlobalShortcutsPortal::createSession()
{
    if (m_creatingSession) {
        return;
    }
    m_creatingSession = true;
    // The portal's version property says whether it offers global shortcuts at all.
    QDBusMessage get = QDBusMessage::createMethodCall(
        portalService, portalPath, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << portalInterface << QStringLiteral("version");
    auto* watcher = new QDBusPendingCallWatcher(m_connection.asyncCall(get), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* call) {
        call->deleteLater();
        if (call->isError()) {
            m_creatingSession = false;
            fail(QStringLiteral("the desktop portal offers no global shortcuts (%1)")
                     .arg(call->error().message()));
            return;
        }
        QVariantMap options;
        options.insert(
            QStringLiteral("session_handle_token"), QStringLiteral("kiruvo%1").arg(++m_tokenCounter));
        request(
            QStringLiteral("CreateSession"), {}, options, [this](uint response, const QVariantMap& results) {
                m_creatingSession = false;
                const QVariant handle = results.value(QStringLiteral("session_handle"));
                m_session = handle.canConvert<QDBusObjectPath>()
                        && handle.userType() == qMetaTypeId<QDBusObjectPath>()
                    ? handle.value<QDBusObjectPath>().path()
                    : handle.toString();
                if (response != 0 || m_session.isEmpty()) {
                    m_session.clear();
                    fail(QStringLiteral("the desktop portal refused a global shortcuts session"));
                    return;
                }
                if (m_bindingWaits) {
                    sendBinding();
                }
            });
    });
}

void GlobalShortcutsPortal::sendBinding()
{
    m_bindingWaits = false;
    PortalShortcutList shortcuts;
    for (const Binding& binding : m_bindings) {
        PortalShortcut shortcut { binding.id, {} };
        shortcut.properties.insert(QStringLiteral("description"), binding.description);
        if (!binding.preferredTrigger.isEmpty()) {
            shortcut.properties.insert(QStringLiteral("preferred_trigger"), binding.preferredTrigger);
        }
        shortcuts << shortcut;
    }
    request(QStringLiteral("BindShortcuts"),
        { QVariant::fromValue(QDBusObjectPath(m_session)), QVariant::fromValue(shortcuts), QString() }, {},
        [this](uint response, const QVariantMap&) {
            m_bound = response == 0;
            if (!m_bound) {
                log(LogLevel::Info, lcShortcuts(),
                    "The desktop did not bind the global shortcuts (the user declined)");
            }
            Q_EMIT bound(m_bound);
        });
}

void GlobalShortcutsPortal::request(
    const QString& method, QList<QVariant> arguments, QVariantMap options, ResponseHandler handler)
{
    // The request's object path is known before the call, so its answer cannot come too early.
    const QString token = QStringLiteral("kiruvo%1").arg(++m_tokenCounter);
    QString sender = m_connection.baseService().mid(1);
    sender.replace(u'.', u'_');
    const QString requestPath
        = QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2").arg(sender, token);
    options.insert(QStringLiteral("handle_token"), token);
    m_pendingRequests[requestPath] = std::move(handler);
    m_portal->connectSignal(requestPath, requestInterface, QStringLiteral("Response"), this,
        SLOT(handleResponse(uint, QVariantMap, QDBusMessage)));

    QDBusMessage call = QDBusMessage::createMethodCall(portalService, portalPath, portalInterface, method);
    arguments << options;
    call.setArguments(arguments);
    auto* watcher = new QDBusPendingCallWatcher(m_connection.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
        [this, requestPath, method](QDBusPendingCallWatcher* reply) {
            reply->deleteLater();
            if (reply->isError() && m_pendingRequests.erase(requestPath) > 0) {
                m_creatingSession = false;
                fail(QStringLiteral("%1 failed: %2").arg(method, reply->error().message()));
            }
        });
}

void GlobalShortcutsPortal::handleResponse(
    uint response, const QVariantMap& results, const QDBusMessage& message)
{
    const auto found = m_pendingRequests.find(message.path());
    if (found == m_pendingRequests.end() || !m_portal->sentByOwner(message)) {
        return;
    }
    const ResponseHandler handler = std::move(found->second);
    m_pendingRequests.erase(found);
    m_connection.disconnect(QString(), message.path(), requestInterface, QStringLiteral("Response"), this,
        SLOT(handleResponse(uint, QVariantMap, QDBusMessage)));
    handler(response, results);
}

void GlobalShortcutsPortal::handleShortcutSignal(const QDBusMessage& message)
{
    // Activated and Deactivated: (o session_handle, s shortcut_id, t timestamp, a{sv} options).
    const QList<QVariant> arguments = message.arguments();
    if (!m_bound || arguments.size() < 2 || !m_portal->sentByOwner(message)) {
        return;
    }
    const QVariant session = arguments[0];
    const QString sessionPath = session.userType() == qMetaTypeId<QDBusObjectPath>()
        ? session.value<QDBusObjectPath>().path()
        : session.toString();
    if (sessionPath != m_session) {
        return;
    }
    const QString id = arguments[1].toString();
    if (message.member() == QLatin1String("Activated")) {
        Q_EMIT activated(id);
    } else if (message.member() == QLatin1String("Deactivated")) {
        Q_EMIT deactivated(id);
    }
}

void GlobalShortcutsPortal::fail(const QString& why)
{
    log(LogLevel::Info, lcShortcuts(), "No global shortcuts: " + why.toStdString());
    m_bound = false;
    Q_EMIT bound(false);
}

} // namespace platform
