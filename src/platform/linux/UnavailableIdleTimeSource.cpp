#include "platform/linux/UnavailableIdleTimeSource.h"

#include "platform/Logger.h"

#include <atomic>

namespace platform {

UnavailableIdleTimeSource::UnavailableIdleTimeSource(const std::string& reason)
{
    static std::atomic<bool> logged { false };
    if (!logged.exchange(true)) {
        std::string message = "Idle detection is unavailable: the user counts as active at all times, so "
                              "sessions do not stop when the user leaves.";
        if (!reason.empty()) {
            message += " " + reason;
        }
        log(LogLevel::Warning, lcIdle(), message);
    }
}

} // namespace platform
