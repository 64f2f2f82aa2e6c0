#include "platform/desktop/LoginItemService.h"

#include "platform/linux/PortalBackgroundLoginItemService.h"
#include "platform/linux/XdgAutostartLoginItemService.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QPointer>

namespace platform {

namespace {
LoginItemService* installedService = nullptr;
} // namespace

bool LoginItemService::isFlatpakSandbox(const std::string& flatpakInfoPath)
{
    return QFileInfo::exists(QString::fromStdString(flatpakInfoPath));
}

LoginItemService& LoginItemService::mainAppService()
{
    if (installedService != nullptr) {
        return *installedService;
    }
    if (isFlatpakSandbox()) {
        // Owned by the application object, so it goes before the D-Bus connection does.
        static QPointer<dbus::PortalBackgroundLoginItemService> portal;
        if (portal.isNull()) {
            portal = new dbus::PortalBackgroundLoginItemService(QCoreApplication::instance());
        }
        return *portal;
    }
    static xdg::XdgAutostartLoginItemService autostart;
    return autostart;
}

void LoginItemService::setMainAppService(LoginItemService* service)
{
    installedService = service;
}

} // namespace platform
