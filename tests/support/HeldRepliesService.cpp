#include "HeldRepliesService.h"

#include <QDBusConnectionInterface>
#include <QDBusVariant>

HeldRepliesService::HeldRepliesService(
    QDBusConnection connection, const QString& service, const QString& path)
    : m_connection(std::move(connection))
    , m_service(service)
    , m_path(path)
{
    m_serving = m_connection.registerVirtualObject(m_path, this, QDBusConnection::SubPath)
        && m_connection.registerService(m_service);
}

HeldRepliesService::~HeldRepliesService()
{
    m_connection.unregisterService(m_service);
    m_connection.unregisterObject(m_path);
}

void HeldRepliesService::answerOldest(const QVariantList& arguments)
{
    if (!m_held.isEmpty()) {
        m_connection.send(m_held.takeFirst().createReply(arguments));
    }
}

void HeldRepliesService::answerOldestProperty(const QVariant& value)
{
    answerOldest({ QVariant::fromValue(QDBusVariant(value)) });
}

void HeldRepliesService::failOldest(const QString& name)
{
    if (!m_held.isEmpty()) {
        m_connection.send(m_held.takeFirst().createErrorReply(name, QStringLiteral("Held, then refused")));
    }
}

QString HeldRepliesService::introspect(const QString&) const
{
    return {};
}

bool HeldRepliesService::handleMessage(const QDBusMessage& message, const QDBusConnection&)
{
    message.setDelayedReply(true);
    m_held.push_back(message);
    return true;
}
