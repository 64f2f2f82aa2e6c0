#include "support/StandInSessionManager.h"

#include <QDBusMessage>
#include <QDBusVariant>
#include <QVariantMap>

namespace {

const QString propertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");
const QString sessionManagerInterface = QStringLiteral("org.gnome.SessionManager");

} // namespace

StandInSessionManager::StandInSessionManager(QDBusConnection connection)
    : m_connection(std::move(connection))
{
    m_serving = m_connection.registerVirtualObject(QString::fromLatin1(path), this);
}

StandInSessionManager::~StandInSessionManager()
{
    // Before it goes: the D-Bus thread may be about to call it.
    if (m_serving) {
        m_connection.unregisterObject(QString::fromLatin1(path));
    }
}

void StandInSessionManager::setInhibitedActions(uint actions)
{
    m_actions = actions;
    auto signal = QDBusMessage::createSignal(
        QString::fromLatin1(path), propertiesInterface, QStringLiteral("PropertiesChanged"));
    signal << sessionManagerInterface
           << QVariantMap { { QStringLiteral("InhibitedActions"), QVariant::fromValue(actions) } }
           << QStringList();
    m_connection.send(signal);
}

bool StandInSessionManager::handleMessage(const QDBusMessage& message, const QDBusConnection& connection)
{
    if (message.interface() != propertiesInterface) {
        return false;
    }
    if (m_counter) {
        ++*m_counter;
    }
    const auto arguments = message.arguments();
    // How GLib's proxies (Mutter's) read the properties.
    if (message.member() == QLatin1String("GetAll")) {
        QVariantMap properties;
        if (arguments.value(0).toString() == sessionManagerInterface) {
            properties.insert(QStringLiteral("InhibitedActions"), QVariant::fromValue(uint(m_actions)));
        }
        connection.send(message.createReply(properties));
        return true;
    }
    if (message.member() != QLatin1String("Get")) {
        return false;
    }
    if (arguments.value(0).toString() != sessionManagerInterface
        || arguments.value(1).toString() != QLatin1String("InhibitedActions")) {
        connection.send(message.createErrorReply(
            QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs"), QStringLiteral("No such property")));
        return true;
    }
    connection.send(
        message.createReply(QVariant::fromValue(QDBusVariant(QVariant::fromValue(uint(m_actions))))));
    return true;
}
