#include "app/reminders/HapticFeedback.h"

#include "platform/Logger.h"

namespace kiruvo {

void performHapticFeedback()
{
    platform::log(platform::LogLevel::Debug, platform::lcReminders(),
        "Haptic feedback requested; no haptic device on this system");
}

} // namespace kiruvo
