#include "app/menubar/MenuBarState.h"

#include <cmath>

namespace kiruvo {

const zk::Duration* MenuBarState::durationValue() const
{
    const auto* value = std::get_if<DurationType>(&type);
    return value ? &value->duration : nullptr;
}

const MenuBarIcon* MenuBarState::iconValue() const
{
    const auto* value = std::get_if<IconType>(&type);
    return value ? &value->icon : nullptr;
}

bool operator==(const MenuBarState& a, const MenuBarState& b)
{
    if (a.isShowingNotification != b.isShowingNotification || a.isEnabled != b.isEnabled
        || a.isDimmedWhileDisabled != b.isDimmedWhileDisabled) {
        return false;
    }
    if (const auto* first = a.durationValue()) {
        const auto* second = b.durationValue();
        // Plain double equality: a NaN equals nothing, not even itself.
        return second != nullptr && first->seconds == second->seconds;
    }
    const auto* second = b.iconValue();
    return second != nullptr && *a.iconValue() == *second;
}

} // namespace kiruvo
