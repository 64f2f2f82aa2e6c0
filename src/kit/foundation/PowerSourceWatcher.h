#pragma once

#include "platform/combine/AnyPublisher.h"
#include "platform/combine/CurrentValueSubject.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>

#include <cstdint>

namespace platform {
class BusNameOwner;
}

namespace zk {

// Where the machine draws its power from, as UPower (org.freedesktop.UPower on the system bus)
// tells it, followed as it changes. UPower is asked without waiting for its answer: until it comes,
// and without UPower (a desktop without it, no system bus), the machine counts as plugged in.
// Main-thread only.
class PowerSourceWatcher : public QObject {
    Q_OBJECT

public:
    enum class PowerSource { internalBattery, externalUnlimited, externalUPS };

    explicit PowerSourceWatcher(QObject* parent = nullptr);
    // For tests: UPower on another bus, under another service name.
    PowerSourceWatcher(const QDBusConnection& bus, const QString& service, QObject* parent = nullptr);

    PowerSource powerSource() const { return m_subject.value(); }
    // Sends the current source at once, then each change.
    platform::combine::AnyPublisher<PowerSource> didChangePublisher() const
    {
        return m_subject.eraseToAnyPublisher();
    }

private Q_SLOTS:
    void propertiesChanged(const QString& interface, const QVariantMap& changed,
        const QStringList& invalidated, const QDBusMessage& message);
    void deviceListChanged(const QDBusMessage& message);

private:
    void refresh();

    QDBusConnection m_bus;
    QString m_service;
    platform::BusNameOwner* m_uPower = nullptr;
    // Counts the reads begun: only the latest one's answer is taken.
    std::uint64_t m_reads = 0;
    platform::combine::CurrentValueSubject<PowerSource> m_subject { PowerSource::externalUnlimited };
};

} // namespace zk
