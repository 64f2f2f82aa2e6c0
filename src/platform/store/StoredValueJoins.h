#pragma once

#include "platform/store/StoredValue.h"

#include <optional>
#include <string>
#include <unordered_map>

namespace platform {

// Which join the writes of a key take: the store's own for it, else the one given for the whole
// process (for keys written at start-up, before any store of theirs opens). A store's own entry
// comes first even when it is empty: it takes the key out of the process's join.
//
// Not thread-safe for a store's own joins (its store sets and reads them under its write lock);
// those of the process are under a lock of their own.
class StoredValueJoins {
public:
    void set(const std::string& suite, const std::string& key, StoredValueJoin join);
    static void setForProcess(const std::string& suite, const std::string& key, StoredValueJoin join);
    // Null when the key has none.
    StoredValueJoin of(const std::string& suite, const std::string& key) const;

    // `written`, derived from `base`, joined by `join` into the nothing a file holds that lacks the
    // key (a folder made again, another program's removal): what its writer added to `base`, not
    // `base` again. Nothing for a value of a kind that has no empty form.
    static std::optional<PropertyList> intoNothing(
        const StoredValueJoin& join, const PropertyList& written, const PropertyList& base);

private:
    std::unordered_map<std::string, std::unordered_map<std::string, StoredValueJoin>> m_joins;
};

} // namespace platform
