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
    static UnityLauncherEntry standard(QGuiApplication::desktopFileName());
    return standard;
}

void LauncherEntry::setShared(LauncherEntry* entry)
{
    installedEntry = entry;
}

} // namespace platform
