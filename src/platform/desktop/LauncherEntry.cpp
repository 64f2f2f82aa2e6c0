#include "platform/desktop/LauncherEntry.h"

#include "platform/linux/UnityLauncherEntry.h"

#include <QGuiApplication>

namespace platform {

namespace {
LauncherEntry* installedEntry = nullptr;
} // namespace

LauncherEntry& LauncherEntry::shared()
{
    if (installedEntry != nullptr) {
        return *installedEntry;
    }
    // Kept to the process's end and never destroyed: its D-Bus connection must not be let go at the
    // process's exit, after Qt's D-Bus machinery may have gone.
    static auto* standard = new UnityLauncherEntry(QGuiApplication::desktopFileName());
    return *standard;
}

void LauncherEntry::setShared(LauncherEntry* entry)
{
    installedEntry = entry;
}

} // namespace platform
