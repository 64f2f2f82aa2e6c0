#pragma once

#include "platform/store/PendingJournal.h"
#include "platform/store/StoredValue.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace platform {

// What a settings store has written to the file it has open since it read that file: for each key,
// the value its first such write replaced (its base) and a digest of the text it wrote last. When
// another file takes that one's place (a sync tool's copy renamed over it, a folder made again),
// these writes are joined into the new file over their bases, as writes kept during a lock are: a
// key the new file holds as it was before this store wrote it takes this store's value, one it
// holds otherwise is joined with it where the key has a join, and stays as it is where not.
//
// Not thread-safe: the store uses it under its write lock.
class OwnWrites {
public:
    // `key` now holds `text` (nothing: removed) through a write of this store's. `before` is what it
    // held until then, when known (null: nothing stored); a write over a value that is not the one
    // this store wrote last (another program's since) starts from that value.
    void wrote(const std::string& suite, const std::string& key, const std::optional<std::string>& text,
        const std::optional<StoredValue>& before);
    // The writes to join into another file, given what the file left behind holds for each key
    // (`textOf`, nothing for no row); a key whose text there is no longer the one written last was
    // changed by another program since, and is left to the new file. Each has the base its first
    // write replaced, or is blind when that was not known.
    std::vector<PendingJournal::Write> toJoin(
        const std::function<std::optional<std::string>(const std::string&, const std::string&)>& textOf)
        const;
    bool empty() const { return m_writes.empty(); }
    // A file has been read whole: nothing is written to it yet.
    void clear() { m_writes.clear(); }

private:
    struct Write {
        // Null: nothing was stored. Not known: the write was made blind.
        std::optional<StoredValue> base;
        std::size_t digest = 0;
        std::uint64_t order = 0;
    };
    static std::size_t digestOf(const std::optional<std::string>& text);

    std::unordered_map<std::string, std::unordered_map<std::string, Write>> m_writes;
    std::uint64_t m_count = 0;
};

} // namespace platform
