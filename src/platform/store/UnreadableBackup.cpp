#include "platform/store/UnreadableBackup.h"

namespace platform {

std::string unreadableBackupKey(
    const std::string& name, std::int64_t unixSeconds, const std::function<bool(const std::string&)>& isTaken)
{
    const std::string base = name + ".unreadable-" + std::to_string(unixSeconds);
    std::string key = base;
    for (int attempt = 2; isTaken(key); ++attempt) {
        key = base + "-" + std::to_string(attempt);
    }
    return key;
}

} // namespace platform
