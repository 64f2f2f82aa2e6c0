#pragma once

#include "platform/store/DefaultsFileIdentity.h"
#include "platform/store/DefaultsListeners.h"
#include "platform/store/OwnWrites.h"
#include "platform/store/PendingJournal.h"
#include "platform/store/StoredValue.h"

#include <atomic>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace platform {

class DefaultsDatabase;

// Keeps a settings store on the file at its path. Another program may put another file there while
// the store runs: a sync tool renames its copy over it, the folder is deleted and made again, a
// symbolic link at the path is pointed elsewhere. follow() compares the file open with the one at
// the path by device and inode and, when they differ, lets go of the old file without touching the
// companion files at the path (they may be the new file's by then), opens the file at the path and
// joins into it what the store wrote since it read the file before (OwnWrites).
//
// A file at the path is not opened while a -wal, -shm or -journal lies beside it: SQLite would take
// them for the new file's own, and they may be a log of the old file, which another program still
// writes. Nor is it moved aside as damaged while they are there.
//
// A key with a join that the new file does not hold (a folder made again) takes only what the
// store added since it read the file before (PendingReplay): the whole history the folder was
// emptied of is never put back.
//
// Not thread-safe: the store calls it under its write lock, except isLost().
class DefaultsPathFollower {
public:
    using Notice = DefaultsListeners::Notice;

    explicit DefaultsPathFollower(DefaultsDatabase& store);

    // Opens the file held by another process at the opening (in memory when it cannot be used),
    // and puts the writes kept meanwhile into it; false while it is still held.
    bool openWaiting(std::vector<Notice>& notices);
    // The store took a file just opened: at the path, or in memory (`atPath` false).
    void opened(bool atPath);
    // Follows the file at the path when it is not the file open (`reopened` when another file was
    // opened); with `makeMissing`, a file deleted (or whose folder was) is made again. False while
    // the file at the path is not open.
    bool follow(std::vector<Notice>& notices, bool makeMissing, bool& reopened);
    // The file open is no longer the one at the path and none is open in its place.
    bool isLost() const { return m_lost.load(std::memory_order_acquire); }
    const std::string& lostReason() const { return m_lostReason; }
    // Whether the path still names the file open (true for a file in memory, or one not followed).
    bool pathNamesFile() const;

    // What `key` holds before a write, when known (null: nothing): `base` as the writer gave it,
    // `previousLarge` the large value it replaces when read.
    std::optional<StoredValue> valueBefore(const std::string& suite, const std::string& key,
        const StoredValue* base, const StoredValue& previousLarge) const;
    // A write of the store's committed `stored` (nothing: removed) for `key` over `before`.
    void wrote(const std::string& suite, const std::string& key, const std::optional<std::string>& stored,
        const std::optional<StoredValue>& before);

private:
    // What the path names now, compared with the file open (the same for a file in memory).
    DefaultsFileIdentity::AtPath atPath() const;
    // Lets go of the file open, which is no longer the one at the path.
    void leave(const std::string& reason);
    // The settings memory holds, to put into a file made again that holds nothing.
    void carrySettings();
    // Opens the file now at the path and joins the store's writes into it.
    bool openInPlace(std::vector<Notice>& notices, bool makeMissing);

    DefaultsDatabase& m_store;
    // The file open, told apart from the one at the path; the store's writes to it; those left to
    // join into the next file while none at the path is open.
    DefaultsFileIdentity m_identity;
    OwnWrites m_ownWrites;
    std::vector<PendingJournal::Write> m_toJoin;
    std::atomic<bool> m_lost { false };
    std::string m_lostReason;
    // The file at the path that could not be opened last, as it was then.
    DefaultsFileIdentity m_unusable;
};

} // namespace platform
