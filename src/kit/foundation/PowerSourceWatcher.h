#pragma once

#include "platform/combine/AnyPublisher.h"
#include "platform/combine/CurrentValueSubject.h"

#include <QDBusConnection>
#include <QObject>

#include <memory>

namespace zk {

// Where the machine draws its power from, as UPower (org.freedesktop.UPower on the system bus)
// tells it, followed as it changes. Without UPower (a desktop without it, no system bus) the
// machine counts as plugged in and nothing changes. Main-thread only.
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
    void propertiesChanged(
        const QString& interface, const QVariantMap& changed, const QStringList& invalidated);
    void deviceListChanged();

private:
    void refresh();
    PowerSource readSource() const;

    QDBusConnection m_bus;
    QString m_service;
    platform::combine::CurrentValueSubject<PowerSource> m_subject { PowerSource::externalUnlimited };
};

} // namespace zk
