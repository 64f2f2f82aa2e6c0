#include "support/DesktopWithoutIdleTime.h"

#include "support/HeldRepliesService.h"

#include "platform/linux/DBusIdleTimeSource.h"
#include "platform/linux/UnavailableIdleTimeSource.h"

#include <QDBusMessage>
#include <QDBusVirtualObject>

// org.freedesktop.ScreenSaver as a desktop serves it: the user has just been active.
class ScreenSaverStandIn : public QDBusVirtualObject {
public:
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override
    {
        if (message.member() != QLatin1String("GetSessionIdleTime")) {
            return false;
        }
        connection.send(message.createReply(QVariant::fromValue<uint>(0)));
        return true;
    }
    QString introspect(const QString&) const override { return {}; }
};

DesktopWithoutIdleTime::DesktopWithoutIdleTime(Start start)
    : m_instance(++s_instances)
{
    if (!m_bus.isRunning()) {
        return;
    }
    m_service = std::make_unique<QDBusConnection>(m_bus.connect(connectionName("idle-desktop")));
    m_standIn = std::make_unique<ScreenSaverStandIn>();
    const auto service = platform::DBusIdleTimeSource::freedesktopScreenSaver();
    m_service->registerVirtualObject(service.path, m_standIn.get());

    if (start == Start::serviceSlowToAnswer) {
        // On the bus before the application looks: it does not come, it is there.
        m_slowService = std::make_unique<HeldRepliesService>(
            m_bus.connect(connectionName("idle-desktop-slow")), service.name, service.path);
    }
    const QDBusConnection application = m_bus.connect(connectionName("idle-application"));
    auto screenSaver = std::make_unique<platform::DBusIdleTimeSource>(application, service);
    if (m_slowService) {
        // Longer than any test: the test says when the call ends.
        screenSaver->probe(60000);
    } else {
        screenSaver->setAbsent();
        // Told absent without asking, the source must have its watch for the name on the bus
        // before the service can come: the rule goes out without waiting, and the service takes
        // the name on a connection of its own that the bus reads in no fixed order with this one.
        application.call(QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"),
            QStringLiteral("/org/freedesktop/DBus"), QStringLiteral("org.freedesktop.DBus"),
            QStringLiteral("GetId")));
    }
    std::vector<std::unique_ptr<platform::IdleTimeSource>> sources;
    sources.push_back(std::move(screenSaver));
    sources.push_back(std::make_unique<platform::UnavailableIdleTimeSource>("No service yet."));
    m_chain = std::make_unique<platform::FallbackIdleTimeSource>(std::move(sources));
    m_previous = &platform::IdleTimeSource::shared();
    platform::IdleTimeSource::setShared(m_chain.get());
}

DesktopWithoutIdleTime::~DesktopWithoutIdleTime()
{
    if (!m_chain) {
        return;
    }
    platform::IdleTimeSource::setShared(m_previous);
    m_chain.reset();
    m_slowService.reset();
    m_service->unregisterObject(platform::DBusIdleTimeSource::freedesktopScreenSaver().path);
}

// Qt hands out an open connection of the same name whatever bus is asked for: two desktops alive
// at once each need their own.
QString DesktopWithoutIdleTime::connectionName(const char* role) const
{
    return QStringLiteral("%1-%2").arg(QLatin1String(role)).arg(m_instance);
}

bool DesktopWithoutIdleTime::serviceComes()
{
    m_service->registerService(platform::DBusIdleTimeSource::freedesktopScreenSaver().name);
    return PrivateSessionBus::serveUntil([this] { return m_chain->isAvailable(); });
}

bool DesktopWithoutIdleTime::serviceGoes()
{
    m_service->unregisterService(platform::DBusIdleTimeSource::freedesktopScreenSaver().name);
    return PrivateSessionBus::serveUntil([this] { return !m_chain->isAvailable(); });
}

bool DesktopWithoutIdleTime::questionArrives()
{
    return PrivateSessionBus::serveUntil(
        [this] { return m_slowService && !m_slowService->heldCalls().isEmpty(); });
}

bool DesktopWithoutIdleTime::slowServiceAnswers()
{
    m_slowService->answerOldest({ QVariant::fromValue<uint>(0) });
    return PrivateSessionBus::serveUntil([this] { return m_chain->isAvailable(); });
}

bool DesktopWithoutIdleTime::slowServiceFails()
{
    m_slowService->failOldest(QStringLiteral("org.freedesktop.DBus.Error.NoReply"));
    return PrivateSessionBus::serveUntil([this] { return !m_chain->isAsking(); });
}
