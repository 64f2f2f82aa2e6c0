#include "platform/desktop/ReduceMotion.h"

#include "platform/Logger.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QObject>
#include <QVariant>

namespace platform {

namespace {

constexpr const char* portalService = "org.freedesktop.portal.Desktop";
constexpr const char* portalPath = "/org/freedesktop/portal/desktop";
constexpr const char* portalInterface = "org.freedesktop.portal.Settings";
constexpr const char* gnomeNamespace = "org.gnome.desktop.interface";
constexpr const char* gnomeKey = "enable-animations";
constexpr const char* kdeNamespace = "org.kde.kdeglobals.KDE";
constexpr const char* kdeKey = "AnimationDurationFactor";
// The portal answers in milliseconds when it runs; a missing one must not hold up the first fade.
constexpr int readTimeoutMilliseconds = 500;

// The portal wraps the value once more in Read (version 1); unwrap every layer.
QVariant unwrapped(QVariant value)
{
    while (value.canConvert<QDBusVariant>() && value.userType() == qMetaTypeId<QDBusVariant>()) {
        value = value.value<QDBusVariant>().variant();
    }
    return value;
}

// Reduced motion from one setting, or nothing when the setting says nothing about it.
std::optional<bool> reducedFrom(const QString& ns, const QString& key, const QVariant& rawValue)
{
    const QVariant value = unwrapped(rawValue);
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

class ReduceMotionWatcher final : public QObject {
    Q_OBJECT
public:
    ReduceMotionWatcher()
    {
        auto bus = QDBusConnection::sessionBus();
        if (!bus.isConnected()) {
            return;
        }
        for (const auto& [ns, key] :
            { std::pair { gnomeNamespace, gnomeKey }, std::pair { kdeNamespace, kdeKey } }) {
            auto call = QDBusMessage::createMethodCall(QString::fromLatin1(portalService),
                QString::fromLatin1(portalPath), QString::fromLatin1(portalInterface),
                QStringLiteral("Read"));
            call << QString::fromLatin1(ns) << QString::fromLatin1(key);
            const auto reply = bus.call(call, QDBus::Block, readTimeoutMilliseconds);
            if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()) {
                if (auto reduced = reducedFrom(
                        QString::fromLatin1(ns), QString::fromLatin1(key), reply.arguments().front())) {
                    enabled = *reduced;
                    break;
                }
            }
        }
        bus.connect(QString::fromLatin1(portalService), QString::fromLatin1(portalPath),
            QString::fromLatin1(portalInterface), QStringLiteral("SettingChanged"), this,
            SLOT(settingChanged(QString, QString, QDBusVariant)));
    }

    bool enabled = false;

private Q_SLOTS:
    void settingChanged(const QString& ns, const QString& key, const QDBusVariant& value)
    {
        if (auto reduced = reducedFrom(ns, key, value.variant())) {
            if (enabled != *reduced) {
                log(LogLevel::Info, "ReduceMotion", *reduced ? "Animations reduced" : "Animations on");
            }
            enabled = *reduced;
        }
    }
};

std::optional<bool>& overrideValue()
{
    static std::optional<bool> value;
    return value;
}

} // namespace

bool ReduceMotion::isEnabled()
{
    if (overrideValue()) {
        return *overrideValue();
    }
    static ReduceMotionWatcher watcher;
    return watcher.enabled;
}

void ReduceMotion::setOverrideForTesting(std::optional<bool> enabled)
{
    overrideValue() = enabled;
}

} // namespace platform

#include "ReduceMotion.moc"
