#include "platform/desktop/PopoverSurface.h"

#include "platform/linux/LayerShellPopoverSurface.h"

#include <QGuiApplication>

namespace platform {

std::unique_ptr<PopoverSurface> PopoverSurface::create()
{
    if (!QGuiApplication::platformName().startsWith(QLatin1String("wayland"))) {
        return nullptr;
    }
    return LayerShellPopoverSurface::open();
}

} // namespace platform
