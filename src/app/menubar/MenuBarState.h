#pragma once

#include "app/menubar/MenuBarIconImage.h"
#include "kit/foundation/core/Duration.h"

#include <variant>

namespace kiruvo {

// What the status item shows, condensed so that two moments that look alike compare equal and the
// item is drawn only when this changes.
struct MenuBarState {
    // A duration as text; always a whole number of minutes, held in seconds.
    struct DurationType {
        zk::Duration duration;
    };
    // An icon.
    struct IconType {
        MenuBarIcon icon = MenuBarIcon::heart;
    };
    using Type = std::variant<DurationType, IconType>;

    Type type = IconType {};
    // A reminder is in progress: the icon is drawn pink.
    bool isShowingNotification = false;
    bool isEnabled = true;
    // "dimMenuBarItemWhileDisabled".
    bool isDimmedWhileDisabled = true;

    static MenuBarState duration(zk::Duration duration) { return MenuBarState { DurationType { duration } }; }
    static MenuBarState icon(MenuBarIcon icon) { return MenuBarState { IconType { icon } }; }

    const zk::Duration* durationValue() const;
    const MenuBarIcon* iconValue() const;
    // Whether the item is drawn dimmed: tracking is off and the setting asks for it.
    bool isDimmed() const { return !isEnabled && isDimmedWhileDisabled; }

    // Durations are equal when their seconds are (never when not a number); icons when their cases
    // are; a duration never equals an icon.
    friend bool operator==(const MenuBarState& a, const MenuBarState& b);
};

} // namespace kiruvo
