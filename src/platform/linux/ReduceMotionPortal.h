#pragma once

#include "platform/linux/SettingsPortal.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QString>

#include <optional>

class QDBusVariant;

namespace platform {

class BusNameOwner;

// The desktop's "reduce animations" choice as the XDG settings portal tells it (GNOME's
// enable-animations, KDE's animation speed of zero), followed while this lives. The portal is asked
// without waiting for its answer: until it comes, and where no portal runs, animations are on.
// Where both settings answer, GNOME's counts; after that, the latest change.
//
// Main-thread only.
class ReduceMotionPortal final : public QObject {
    Q_OBJECT
public:
    explicit ReduceMotionPortal(QDBusConnection bus,
        const QString& service = QString::fromLatin1(SettingsPortal::service), QObject* parent = nullptr);

    bool isEnabled() const { return m_enabled; }

private Q_SLOTS:
    void settingChanged(
        const QString& ns, const QString& key, const QDBusVariant& value, const QDBusMessage& message);

private:
    // What one read of a setting brought: whether it is in, and what it says about motion.
    struct Answer {
        bool in = false;
        std::optional<bool> reduced;
    };
    void read(Answer& answer, const char* ns, const char* key);
    void readAnswered();

    QDBusConnection m_bus;
    QString m_service;
    BusNameOwner* m_portal = nullptr;
    Answer m_gnome;
    Answer m_kde;
    // A change the desktop sent is newer than any read still on its way.
    bool m_changed = false;
    bool m_enabled = false;
};

} // namespace platform
