#include "platform/desktop/DesktopOpener.h"

#include "platform/desktop/LoginItemService.h"
#include "platform/linux/PortalOpener.h"
#include "platform/linux/XdgOpener.h"

#include <QCoreApplication>
#include <QPointer>

namespace platform {

namespace {
DesktopOpener* installedOpener = nullptr;
} // namespace

DesktopOpener& DesktopOpener::shared()
{
    if (installedOpener != nullptr) {
        return *installedOpener;
    }
    if (LoginItemService::isFlatpakSandbox()) {
        // Owned by the application object, so that it goes before the D-Bus connection does.
        static QPointer<dbus::PortalOpener> portal;
        if (portal.isNull()) {
            portal = new dbus::PortalOpener(QCoreApplication::instance());
        }
        return *portal;
    }
    static xdg::XdgOpener helpers;
    return helpers;
}

void DesktopOpener::setShared(DesktopOpener* opener)
{
    installedOpener = opener;
}

} // namespace platform
