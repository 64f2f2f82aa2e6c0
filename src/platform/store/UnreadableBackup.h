#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace platform {

// The key under which a stored value that cannot be read is kept before a write replaces it:
// "<name>.unreadable-<unix seconds>", or with "-2", "-3", ... added when that key is taken.
std::string unreadableBackupKey(const std::string& name, std::int64_t unixSeconds,
    const std::function<bool(const std::string&)>& isTaken);

} // namespace platform
