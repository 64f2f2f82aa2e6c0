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

// Writes `text` as the row of `key` (nothing: removes it) over a stored row whose `unreadable` text
// did not decode, which is first copied to `backupKey` as backUpUnreadable() copies it; the copy
// and the write commit together or not at all. SQLITE_DONE with `backup` set once done; otherwise
// SQLite's code (busy while another program holds the file), with `failure`.
int replaceUnreadable(DefaultsConnection& file, const std::string& backupKey, const std::string& suite,
    const std::string& key, const std::string& unreadable, const std::string* text,
    std::optional<std::pair<std::string, StoredValue>>& backup, std::string& failure);

} // namespace platform
