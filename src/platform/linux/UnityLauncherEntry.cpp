#include "platform/linux/UnityLauncherEntry.h"

#include "platform/Logger.h"

#include <QDBusMessage>
#include <QVariantMap>

namespace platform {

UnityLauncherEntry::UnityLauncherEntry(const QString& desktopEntryName, QDBusConnection connection)
    : m_appUri(QStringLiteral("application://") + desktopEntryName
        + (desktopEntryName.endsWith(QStringLiteral(".desktop")) ? QString() : QStringLiteral(".desktop")))
    , m_connection(std::move(connection))
{
}

void UnityLauncherEntry::update(const LauncherEntryState& state)
{
    if (!m_connection.isConnected()) {
        return;
    }
    QDBusMessage signal = QDBusMessage::createSignal(
        QString::fromLatin1(objectPath), QString::fromLatin1(interfaceName), QStringLiteral("Update"));
    const QVariantMap properties {
        { QStringLiteral("progress"), state.progress },
        { QStringLiteral("progress-visible"), state.progressVisible },
        { QStringLiteral("count"), state.count },
        { QStringLiteral("count-visible"), state.countVisible },
    };
    signal << m_appUri << properties;
    if (!m_connection.send(signal)) {
        log(LogLevel::Debug, lcDesktop(), "Could not send the launcher entry's update");
    }
}

} // namespace platform
