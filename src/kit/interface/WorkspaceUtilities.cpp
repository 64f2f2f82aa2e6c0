#include "kit/interface/WorkspaceUtilities.h"

#include "kit/foundation/AppErrorBuilder.h"

#include <QProcess>
#include <QStandardPaths>

namespace zk {

NotificationToken::NotificationToken(QMetaObject::Connection connection)
    : m_connection(std::move(connection))
{
}

NotificationToken::~NotificationToken()
{
    QObject::disconnect(m_connection);
}

ListenerHolder::ListenerHolder(QObject* sender)
    : m_sender(sender)
{
}

ListenerHolder::~ListenerHolder()
{
    if (!m_sender) {
        return;
    }
    for (const auto& listener : m_listeners) {
        QObject::disconnect(listener);
    }
}

void ListenerHolder::add(QMetaObject::Connection connection)
{
    m_listeners.push_back(std::move(connection));
}

void openAppWithBundleIdentifier(const std::string& desktopId)
{
    const QString entry = QStandardPaths::locate(
        QStandardPaths::ApplicationsLocation, QString::fromStdString(desktopId) + QStringLiteral(".desktop"));
    if (entry.isEmpty()) {
        throw makeAppError("Could not locate app with bundle identifier “" + desktopId + "”.");
    }
    QProcess process;
    process.setProgram(QStringLiteral("gio"));
    process.setArguments({ QStringLiteral("launch"), entry });
    if (!process.startDetached()) {
        AppErrorParts parts;
        parts.description = "Could not open the app with bundle identifier “" + desktopId + "”.";
        parts.recoverySuggestion = process.errorString().toStdString();
        throw makeAppError(std::move(parts));
    }
}

} // namespace zk
