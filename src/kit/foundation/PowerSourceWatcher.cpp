#include "kit/foundation/PowerSourceWatcher.h"

#include "platform/linux/BusNameOwner.h"

#include <QCoro/QCoroDBusPendingCall>
#include <QCoro/QCoroTask>
#include <QDBusArgument>
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

constexpr int callTimeoutMilliseconds = 2000;

QCoro::Task<QVariant> dbusProperty(
    QDBusConnection bus, QString service, QString path, QString interface, QString name)
{
    QDBusMessage call
        = QDBusMessage::createMethodCall(service, path, propertiesInterface, QStringLiteral("Get"));
    call << interface << name;
    const QDBusReply<QDBusVariant> reply = co_await bus.asyncCall(call, callTimeoutMilliseconds);
    co_return reply.isValid() ? reply.value().variant() : QVariant();
}

QCoro::Task<PowerSourceWatcher::PowerSource> readSource(QDBusConnection bus, QString service)
{
    using PowerSource = PowerSourceWatcher::PowerSource;
    const QVariant onBattery
        = co_await dbusProperty(bus, service, uPowerPath, uPowerInterface, QStringLiteral("OnBattery"));
    if (!onBattery.toBool()) {
        co_return PowerSource::externalUnlimited;
    }
    // On battery: an uninterruptible supply that is discharging is what powers the machine.
    const QDBusMessage enumerate = QDBusMessage::createMethodCall(
        service, uPowerPath, uPowerInterface, QStringLiteral("EnumerateDevices"));
    const QDBusReply<QList<QDBusObjectPath>> devices
        = co_await bus.asyncCall(enumerate, callTimeoutMilliseconds);
    if (devices.isValid()) {
        for (const QDBusObjectPath& device : devices.value()) {
            const QString path = device.path();
            const QVariant type
                = co_await dbusProperty(bus, service, path, deviceInterface, QStringLiteral("Type"));
            const QVariant state
                = co_await dbusProperty(bus, service, path, deviceInterface, QStringLiteral("State"));
            if (type.toUInt() == upsType && state.toUInt() == dischargingState) {
                co_return PowerSource::externalUPS;
            }
        }
    }
    co_return PowerSource::internalBattery;
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
    m_uPower = new platform::BusNameOwner(m_bus, m_service, this);
    m_uPower->connectSignal(uPowerPath, propertiesInterface, QStringLiteral("PropertiesChanged"), this,
        SLOT(propertiesChanged(QString, QVariantMap, QStringList, QDBusMessage)));
    m_uPower->connectSignal(uPowerPath, uPowerInterface, QStringLiteral("DeviceAdded"), this,
        SLOT(deviceListChanged(QDBusMessage)));
    m_uPower->connectSignal(uPowerPath, uPowerInterface, QStringLiteral("DeviceRemoved"), this,
        SLOT(deviceListChanged(QDBusMessage)));
    refresh();
}

void PowerSourceWatcher::propertiesChanged(
    const QString& interface, const QVariantMap&, const QStringList&, const QDBusMessage& message)
{
    if (interface == uPowerInterface && m_uPower->sentByOwner(message)) {
        refresh();
    }
}

void PowerSourceWatcher::deviceListChanged(const QDBusMessage& message)
{
    if (m_uPower->sentByOwner(message)) {
        refresh();
    }
}

void PowerSourceWatcher::refresh()
{
    const std::uint64_t read = ++m_reads;
    QCoro::connect(readSource(m_bus, m_service), this, [this, read](PowerSource source) {
        // An answer overtaken by a later change is stale: the later read brings the current one.
        if (read == m_reads && source != m_subject.value()) {
            m_subject.send(source);
        }
    });
}

} // namespace zk
