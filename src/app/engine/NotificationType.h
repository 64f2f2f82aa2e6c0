#pragma once

#include "app/engine/RawValueEnum.h"

namespace kiruvo {

// How a reminder reaches the user.
enum class NotificationType {
    popover,
    systemNotification,
    hud,
    // Only the status item signals the reminder.
    menuBarIconOnly,
};

template <> struct EnumCases<NotificationType> {
    static constexpr std::array all { NotificationType::popover, NotificationType::systemNotification,
        NotificationType::hud, NotificationType::menuBarIconOnly };
};

std::string_view rawValue(NotificationType value);

// The form earlier versions stored: the JSON text of the raw value.
using CodableNotificationType = Defaults::RawCodableForm<NotificationType>;

} // namespace kiruvo
