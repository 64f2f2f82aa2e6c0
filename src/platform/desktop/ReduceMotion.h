#pragma once

#include <optional>

namespace platform {

// The desktop's "reduce animations" choice: read from the XDG settings portal (GNOME's
// enable-animations, KDE's animation speed of zero), followed while the application runs. Off
// when no desktop says otherwise, and until the desktop has answered. Main-thread only.
class ReduceMotion {
public:
    static bool isEnabled();
    // Asks the desktop now, without waiting, so that its answer is in by the first animation.
    static void startFollowing();

    // A fixed answer for tests; nothing goes back to the desktop's.
    static void setOverrideForTesting(std::optional<bool> enabled);
};

} // namespace platform
