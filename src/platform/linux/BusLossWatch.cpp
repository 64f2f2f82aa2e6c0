#include "platform/linux/BusLossWatch.h"

#include "platform/LogCategories.h"
#include "platform/Logger.h"

#include <utility>

namespace platform {

BusLossWatch::BusLossWatch(QDBusConnection connection, QObject* parent)
    : QObject(parent)
    , m_connection(std::move(connection))
{
    // libdbus tells its own connection of the loss with this signal, from no sender.
    m_watching = m_connection.isConnected()
        && m_connection.connect(QString(), QStringLiteral("/org/freedesktop/DBus/Local"),
            QStringLiteral("org.freedesktop.DBus.Local"), QStringLiteral("Disconnected"), this,
            SLOT(handleDisconnected()));
}

void BusLossWatch::handleDisconnected()
{
    if (std::exchange(m_lost, true)) {
        return;
    }
    log(LogLevel::Warning, lcSystem(),
        "Kiruvo lost its connection to the session bus (the bus ended or disconnected it): scripting, its "
        "bus "
        "name and a status item shown by a StatusNotifierItem panel are gone until Kiruvo is started again. "
        "Sessions are still tracked.");
    Q_EMIT lost();
}

} // namespace platform
