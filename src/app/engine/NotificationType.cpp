#include "app/engine/NotificationType.h"

namespace kiruvo {

std::string_view rawValue(NotificationType value)
{
    switch (value) {
    case NotificationType::popover:
        return "popover";
    case NotificationType::systemNotification:
        return "systemNotification";
    case NotificationType::hud:
        return "hud";
    case NotificationType::menuBarIconOnly:
        return "menuBarIconOnly";
    }
    return "popover";
}

} // namespace kiruvo
