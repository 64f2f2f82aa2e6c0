#pragma once

#include "platform/store/DefaultsListeners.h"
#include "platform/store/ResidentValues.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace platform {

class DefaultsConnection;
class StoredValueJoins;

// Another program's commits to the settings file while the store has it open (the sqlite3 tool,
// a sync tool), seen by the file's data version: which keys memory may hold an older value of than
// the file, and reading such a key again. Nothing is added to the file to tell which rows a commit
// changed: the rows are read and compared with digests of what memory knows, so that the file other
// programs see is the table of values alone, even while another program reads it as the store
// quits.
//
// Not thread-safe: the store uses it under its write lock.
class OutsideCommits {
public:
    using Notice = DefaultsListeners::Notice;

    // `path` names the file in use in reports; `values` and `listeners` are the store's, and all
    // three live as long as this. A value of `largeSize` bytes or more is only lent from memory.
    OutsideCommits(ResidentValues& values, const DefaultsListeners& listeners, const StoredValueJoins& joins,
        const std::string& path, std::size_t largeSize);

    // Looks at the file's version: counts another program's commit since the last look.
    void look(DefaultsConnection& file);
    // After a look: whether another program may have written `key` since memory last had its
    // value from the file or put it there.
    bool mayHaveChanged(DefaultsConnection& file, const std::string& suite, const std::string& key);
    // Memory holds what the file holds for `key`, as of the last look.
    void know(const std::string& suite, const std::string& key);
    // Puts `text`, derived from `base`, into the file over that base in one transaction: the stored
    // value is compared with the base under the file's write lock, and joined with `text` when
    // another program has changed it, so that no commit of that program's between a look and the
    // write is overwritten. SQLite's code; SQLITE_DONE once committed, with what the file holds
    // now in `replayed`.
    int putOverBase(DefaultsConnection& file, const std::string& suite, const std::string& key,
        const std::string& text, const StoredValue& base, std::vector<ResidentValues::Replayed>& replayed,
        std::string& failure);
    // Reads `key` again from the file when another program may have committed to it since memory
    // last knew it; what changed goes into memory and, for its listeners, into `notices`. A key
    // whose stored text did not decode is read again too: another program may have repaired it.
    // False when the file could not be read (another program holds it).
    bool catchUp(DefaultsConnection& file, const std::string& suite, const std::string& key,
        std::vector<Notice>& notices);
    // The same for every key, after another program's commit: every row is read in one statement
    // and those whose text differs from what memory last knew are taken as catchUp() takes one. A
    // large value that nobody holds or listens to is not read (a read of it goes to the file anyway),
    // so that a long row of another program's costs nothing here. False when the file could not be
    // read: a later call reads it.
    bool catchUpAll(DefaultsConnection& file, std::vector<Notice>& notices);
    // A write of this store's changed `key` in memory: the next catchUpAll() compares it anew.
    void wrote(const std::string& suite, const std::string& key);
    // Memory holds what another file, just opened in the place of the one before, holds: every key
    // is known as of now, and the next catchUpAll() compares every row anew.
    void restart();

private:
    // Memory takes `text`, the row of `key` as the file holds it now (nothing: no row), unless it is
    // the text memory last knew.
    void takeIfChanged(const std::string& suite, const std::string& key, std::optional<std::string> text,
        std::vector<Notice>& notices);
    void take(const std::string& suite, const std::string& key, std::optional<std::string> text,
        std::vector<Notice>& notices);
    std::uint64_t knownAt(const std::string& suite, const std::string& key);

    ResidentValues& m_values;
    const DefaultsListeners& m_listeners;
    const StoredValueJoins& m_joins;
    const std::string& m_path;
    const std::size_t m_largeSize;
    // How many times this store has seen another program's commit to the file, and for each key
    // with a join (or caught up with) the count when memory last had its value from the file or put
    // it there: a key known from before the latest such commit may hold another program's value
    // that memory does not know.
    std::uint64_t m_commits = 0;
    std::unordered_map<std::string, std::unordered_map<std::string, std::uint64_t>> m_knownAt;
    // The count when every key was last read again, and a digest of each row's text as memory last
    // knew it from the file: a row that still has it is as memory knows it. A write of this store's
    // to a key forgets its digest.
    std::uint64_t m_allKnownAt = 0;
    std::unordered_map<std::string, std::unordered_map<std::string, std::size_t>> m_digests;
};

} // namespace platform
