#pragma once

#include <optional>

namespace platform {

// The desktop's "reduce animations" choice: read from the XDG settings portal (GNOME's
// enable-animations, KDE's animation speed of zero), followed while the application runs. Off
// when no desktop says otherwise. Main-thread only.
class ReduceMotion {
public:
    static bool isEnabled();

    // A fixed answer for tests; nothing goes back to the desktop's.
    static void setOverrideForTesting(std::optional<bool> enabled);
};

} // namespace platform
