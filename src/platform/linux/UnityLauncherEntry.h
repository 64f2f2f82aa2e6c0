#pragma once

#include "platform/desktop/LauncherEntry.h"

#include <QDBusConnection>
#include <QString>

namespace platform {

// The launcher entry that docks and task managers (KDE Plasma's, Dash to Dock, Plank) follow: the
// "Update" signal of com.canonical.Unity.LauncherEntry, naming the application by its desktop
// entry ("application://<name>.desktop").
//
// Main-thread only.
class UnityLauncherEntry : public LauncherEntry {
public:
    static constexpr const char* interfaceName = "com.canonical.Unity.LauncherEntry";
    static constexpr const char* objectPath = "/com/canonical/unity/launcherentry/kiruvo";

    // `desktopEntryName` with or without its ".desktop" ending.
    explicit UnityLauncherEntry(
        const QString& desktopEntryName, QDBusConnection connection = QDBusConnection::sessionBus());

    QString appUri() const { return m_appUri; }

    void update(const LauncherEntryState& state) override;

private:
    QString m_appUri;
    QDBusConnection m_connection;
};

} // namespace platform
