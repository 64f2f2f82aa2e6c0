#include "platform/linux/ReduceMotionPortal.h"

#include "platform/Logger.h"
#include "platform/linux/BusNameOwner.h"
#include "platform/linux/SettingsPortal.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QVariant>

namespace platform {

namespace {

constexpr const char* gnomeNamespace = "org.gnome.desktop.interface";
constexpr const char* gnomeKey = "enable-animations";
constexpr const char* kdeNamespace = "org.kde.kdeglobals.KDE";
constexpr const char* kdeKey = "AnimationDurationFactor";
// The portal answers in milliseconds when it runs; a hung one is given up on.
constexpr int readTimeoutMilliseconds = 500;

// Reduced motion from one setting, or nothing when the setting says nothing about it.
std::optional<bool> reducedFrom(const QString& ns, const QString& key, const QVariant& rawValue)
{
    const QVariant value = SettingsPortal::unwrapped(rawValue);
    if (ns == QLatin1String(gnomeNamespace) && key == QLatin1String(gnomeKey)
        && value.userType() == QMetaType::Bool) {
        return !value.toBool();
    }
    if (ns == QLatin1String(kdeNamespace) && key == QLatin1String(kdeKey)) {
        bool ok = false;
        const double factor = value.toDouble(&ok);
        if (ok) {
            return factor == 0.0;
        }
    }
    return std::nullopt;
}

} // namespace

ReduceMotionPortal::ReduceMotionPortal(QDBusConnection bus, const QString& service, QObject* parent)
    : QObject(parent)
    , m_bus(std::move(bus))
    , m_service(service)
{
    if (!m_bus.isConnected()) {
        return;
    }
    // Followed before the reads go out, so that no change falls between a read and the following.
    m_portal = new BusNameOwner(m_bus, m_service, this);
    SettingsPortal::followChanges(
        *m_portal, this, SLOT(settingChanged(QString, QString, QDBusVariant, QDBusMessage)));
    read(m_gnome, gnomeNamespace, gnomeKey);
    read(m_kde, kdeNamespace, kdeKey);
}

void ReduceMotionPortal::read(Answer& answer, const char* ns, const char* key)
{
    const QDBusMessage call
        = SettingsPortal::readCall(m_service, QString::fromLatin1(ns), QString::fromLatin1(key));
    auto* pending = new QDBusPendingCallWatcher(m_bus.asyncCall(call, readTimeoutMilliseconds), this);
    connect(pending, &QDBusPendingCallWatcher::finished, this,
        [this, &answer, ns, key](QDBusPendingCallWatcher* finished) {
            finished->deleteLater();
            const QDBusMessage reply = finished->reply();
            answer.in = true;
            if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()) {
                answer.reduced = reducedFrom(
                    QString::fromLatin1(ns), QString::fromLatin1(key), reply.arguments().front());
            }
            readAnswered();
        });
}

void ReduceMotionPortal::readAnswered()
{
    if (m_changed) {
        return;
    }
    // GNOME's setting wins where both answer: taken once it is in, KDE's only once it is known
    // that GNOME's says nothing.
    if (m_gnome.reduced) {
        m_enabled = *m_gnome.reduced;
    } else if (m_gnome.in && m_kde.in) {
        m_enabled = m_kde.reduced.value_or(false);
    }
}

void ReduceMotionPortal::settingChanged(
    const QString& ns, const QString& key, const QDBusVariant& value, const QDBusMessage& message)
{
    if (!m_portal->sentByOwner(message)) {
        return;
    }
    if (auto reduced = reducedFrom(ns, key, value.variant())) {
        if (m_enabled != *reduced) {
            log(LogLevel::Info, lcDesktop(), *reduced ? "Animations reduced" : "Animations on");
        }
        m_changed = true;
        m_enabled = *reduced;
    }
}

} // namespace platform
