#include "platform/desktop/NotificationCenter.h"

#include "platform/linux/FreedesktopNotificationCenter.h"

#include <QCoreApplication>
#include <QPointer>

#include <memory>

namespace platform {

namespace {
NotificationCenter* installedCenter = nullptr;
} // namespace

NotificationCenter& NotificationCenter::shared()
{
    if (installedCenter != nullptr) {
        return *installedCenter;
    }
    // Owned by the application object, so it goes before the D-Bus connection does.
    static QPointer<dbus::FreedesktopNotificationCenter> standard;
    if (standard.isNull()) {
        standard = new dbus::FreedesktopNotificationCenter(QCoreApplication::instance());
    }
    return *standard;
}

void NotificationCenter::setShared(NotificationCenter* center)
{
    installedCenter = center;
}

} // namespace platform
