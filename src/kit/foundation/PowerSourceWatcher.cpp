#include "kit/foundation/PowerSourceWatcher.h"

#include <QDBusArgument>
#include <QDBusInterface>
#include <QDBusObjectPath>
#include <QDBusReply>

namespace zk {

namespace {

const QString uPowerPath = QStringLiteral("/org/freedesktop/UPower");
const QString uPowerInterface = QStringLiteral("org.freedesktop.UPower");
const QString deviceInterface = QStringLiteral("org.freedesktop.UPower.Device");
const QString propertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");

// UPower's numbers for a device's kind and state.
constexpr uint upsType = 3;
constexpr uint dischargingState = 2;

QVariant dbusProperty(const QDBusConnection& bus, const QString& service, const QString& path,
    const QString& interface, const QString& name)
{
    QDBusMessage call
        = QDBusMessage::createMethodCall(service, path, propertiesInterface, QStringLiteral("Get"));
    call << interface << name;
    const QDBusReply<QDBusVariant> reply = bus.call(call, QDBus::Block, 2000);
    return reply.isValid() ? reply.value().variant() : QVariant();
}

} // namespace

PowerSourceWatcher::PowerSourceWatcher(QObject* parent)
    : PowerSourceWatcher(QDBusConnection::systemBus(), QStringLiteral("org.freedesktop.UPower"), parent)
{
}

PowerSourceWatcher::PowerSourceWatcher(const QDBusConnection& bus, const QString& service, QObject* parent)
    : QObject(parent)
    , m_bus(bus)
    , m_service(service)
{
    if (!m_bus.isConnected()) {
        return;
    }
    m_bus.connect(m_service, uPowerPath, propertiesInterface, QStringLiteral("PropertiesChanged"), this,
        SLOT(propertiesChanged(QString, QVariantMap, QStringList)));
    m_bus.connect(m_service, uPowerPath, uPowerInterface, QStringLiteral("DeviceAdded"), this,
        SLOT(deviceListChanged()));
    m_bus.connect(m_service, uPowerPath, uPowerInterface, QStringLiteral("DeviceRemoved"), this,
        SLOT(deviceListChanged()));
    refresh();
}

void PowerSourceWatcher::propertiesChanged(const QString& interface, const QVariantMap&, const QStringList&)
{
    if (interface == uPowerInterface) {
        refresh();
    }
}

void PowerSourceWatcher::deviceListChanged()
{
    refresh();
}

void PowerSourceWatcher::refresh()
{
    const PowerSource source = readSource();
    if (source != m_subject.value()) {
        m_subject.send(source);
    }
}

PowerSourceWatcher::PowerSource PowerSourceWatcher::readSource() const
{
    if (!dbusProperty(m_bus, m_service, uPowerPath, uPowerInterface, QStringLiteral("OnBattery")).toBool()) {
        return PowerSource::externalUnlimited;
    }
    // On battery: an uninterruptible supply that is discharging is what powers the machine.
    QDBusMessage call = QDBusMessage::createMethodCall(
        m_service, uPowerPath, uPowerInterface, QStringLiteral("EnumerateDevices"));
    const QDBusReply<QList<QDBusObjectPath>> devices = m_bus.call(call, QDBus::Block, 2000);
    if (devices.isValid()) {
        for (const QDBusObjectPath& device : devices.value()) {
            const uint type
                = dbusProperty(m_bus, m_service, device.path(), deviceInterface, QStringLiteral("Type"))
                      .toUInt();
            const uint state
                = dbusProperty(m_bus, m_service, device.path(), deviceInterface, QStringLiteral("State"))
                      .toUInt();
            if (type == upsType && state == dischargingState) {
                return PowerSource::externalUPS;
            }
        }
    }
    return PowerSource::internalBattery;
}

} // namespace zk
