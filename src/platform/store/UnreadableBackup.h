#pragma once

#include "platform/store/StoredValue.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>

namespace platform {

class DefaultsConnection;

// The key under which a stored value that cannot be read is kept before a write replaces it:
// "<name>.unreadable-<unix seconds>", or with "-2", "-3", ... added when that key is taken.
std::string unreadableBackupKey(const std::string& name, std::int64_t unixSeconds,
    const std::function<bool(const std::string&)>& isTaken);

// Stores the text of a row that did not decode under `backupKey` of `suite`: as text when it is
// text, else as the bytes it is, so that every byte survives. The backup's name and value; nothing,
// with `failure` set, when it could not be stored.
std::optional<std::pair<std::string, StoredValue>> backUpUnreadable(DefaultsConnection& file,
    const std::string& backupKey, const std::string& suite, const std::string& text, std::string& failure);

} // namespace platform
