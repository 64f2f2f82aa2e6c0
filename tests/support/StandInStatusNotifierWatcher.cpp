#include "StandInStatusNotifierWatcher.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QMetaObject>

#include <atomic>

StandInStatusNotifierWatcher::StandInStatusNotifierWatcher(const QString& address, bool withHost)
{
    static std::atomic<int> counter { 0 };
    m_connectionName = QStringLiteral("stand-in-watcher-%1").arg(++counter);
    m_thread.start();
    m_object = new QObject;
    m_adaptor = new Adaptor(m_object);
    m_adaptor->setHostRegistered(withHost);
    m_object->moveToThread(&m_thread);
    QDBusConnection connection = QDBusConnection::connectToBus(address, m_connectionName);
    connection.registerObject(
        QStringLiteral("/StatusNotifierWatcher"), m_object, QDBusConnection::ExportAdaptors);
    m_hasName
        = connection.interface()->registerService(QStringLiteral("org.kde.StatusNotifierWatcher")).value()
        == QDBusConnectionInterface::ServiceRegistered;
}

StandInStatusNotifierWatcher::~StandInStatusNotifierWatcher()
{
    QDBusConnection connection(m_connectionName);
    connection.unregisterObject(QStringLiteral("/StatusNotifierWatcher"));
    connection.interface()->unregisterService(QStringLiteral("org.kde.StatusNotifierWatcher"));
    QDBusConnection::disconnectFromBus(m_connectionName);
    QMetaObject::invokeMethod(
        m_object, [object = m_object] { delete object; }, Qt::BlockingQueuedConnection);
    m_thread.quit();
    m_thread.wait();
}

QStringList StandInStatusNotifierWatcher::registeredItems() const
{
    return m_adaptor->items();
}

void StandInStatusNotifierWatcher::setHostRegistered(bool registered)
{
    QMetaObject::invokeMethod(
        m_adaptor, [adaptor = m_adaptor, registered] { adaptor->setHostRegistered(registered); },
        Qt::BlockingQueuedConnection);
}

bool StandInStatusNotifierWatcher::Adaptor::isHostRegistered() const
{
    std::lock_guard lock(m_mutex);
    return m_hostRegistered;
}

QStringList StandInStatusNotifierWatcher::Adaptor::items() const
{
    std::lock_guard lock(m_mutex);
    return m_items;
}

void StandInStatusNotifierWatcher::Adaptor::setHostRegistered(bool registered)
{
    {
        std::lock_guard lock(m_mutex);
        if (m_hostRegistered == registered) {
            return;
        }
        m_hostRegistered = registered;
    }
    if (registered) {
        emit StatusNotifierHostRegistered();
    } else {
        emit StatusNotifierHostUnregistered();
    }
}

void StandInStatusNotifierWatcher::Adaptor::RegisterStatusNotifierItem(const QString& service)
{
    {
        std::lock_guard lock(m_mutex);
        m_items.push_back(service);
    }
    emit StatusNotifierItemRegistered(service);
}

void StandInStatusNotifierWatcher::Adaptor::RegisterStatusNotifierHost(const QString&)
{
    setHostRegistered(true);
}
