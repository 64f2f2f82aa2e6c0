#include "support/DesktopWithoutIdleTime.h"

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

DesktopWithoutIdleTime::DesktopWithoutIdleTime()
{
    if (!m_bus.isRunning()) {
        return;
    }
    m_service = std::make_unique<QDBusConnection>(m_bus.connect(QStringLiteral("idle-desktop")));
    m_standIn = std::make_unique<ScreenSaverStandIn>();
    const auto service = platform::DBusIdleTimeSource::freedesktopScreenSaver();
    m_service->registerVirtualObject(service.path, m_standIn.get());

    auto screenSaver = std::make_unique<platform::DBusIdleTimeSource>(
        m_bus.connect(QStringLiteral("idle-application")), service);
    screenSaver->setAbsent();
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
    m_service->unregisterObject(platform::DBusIdleTimeSource::freedesktopScreenSaver().path);
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
