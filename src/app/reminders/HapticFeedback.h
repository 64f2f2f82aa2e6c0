#pragma once

namespace kiruvo {

// Haptic feedback for a reminder. Linux desktops have no trackpad feedback to drive, so this only
// notes the request in the debug log.
void performHapticFeedback();

} // namespace kiruvo
