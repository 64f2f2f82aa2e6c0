#pragma once

#include "platform/store/DefaultsFileIdentity.h"
#include "platform/store/DefaultsFileOpening.h"
#include "platform/store/OwnWrites.h"
#include "platform/store/PendingJournal.h"
#include "platform/store/ResidentValues.h"
#include "platform/store/StoredValue.h"

#include <atomic>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace platform {

class DefaultsConnection;
class StoredValueJoins;

// Keeps a settings store on the file at its path. Another program may put another file there while
// the store runs: a sync tool renames its copy over it, the folder is deleted and made again, a
// symbolic link at the path is pointed elsewhere. atPath() compares the file open with the one at
// the path by device and inode; when they differ, the store lets go of the old file without touching
// the companion files at the path (they may be the new file's by then), opens the file at the path
// (attemptAtPath()) and has what it wrote since it read the file before joined into it (OwnWrites,
// joinInto()).
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
    // `path` is the store's, and lives as long as this follower.
    DefaultsPathFollower(const std::string& path, int busyTimeoutMilliseconds);

    // The store took a file just opened: at the path, or in memory (null).
    void opened(const DefaultsConnection* file);
    // What the path names now, compared with `file`, the one open (the same for a file in memory).
    DefaultsFileIdentity::AtPath atPath(const DefaultsConnection* file) const;
    // Whether the path still names `file` (true for a file in memory, or one not followed).
    bool pathNamesFile(const DefaultsConnection* file) const;
    // The store lets go of `file`, which is no longer the one at the path, for `reason`: what the
    // store wrote to it, as it holds it, is kept to join into the next file.
    void leave(DefaultsConnection& file, const std::string& reason);
    // The file open is no longer the one at the path and none is open in its place.
    bool isLost() const { return m_lost.load(std::memory_order_acquire); }
    const std::string& lostReason() const { return m_lostReason; }

    // The file now at the path opened; nothing when none is there and `makeMissing` is false, or
    // when the one there could not be used last time and has not changed since.
    std::optional<DefaultsFileOpening> attemptAtPath(bool makeMissing);
    // The settings `values` hold, to put into a file made again that holds nothing.
    void carrySettings(const ResidentValues& values, const StoredValueJoins& joins);
    // The file at the path could not be taken: reported once, and not tried again until it changes.
    void couldNotOpen(const DefaultsFileOpening& attempt);
    // The store's writes joined into `file`, just taken with its `values`; false while another
    // program holds it. joined() once the store took `replayed`.
    bool joinInto(DefaultsConnection& file, const ResidentValues& values, const StoredValueJoins& joins,
        std::vector<ResidentValues::Replayed>& replayed);
    void joined();

    // A write of the store's committed `stored` (nothing: removed) for `key` over `before`.
    void wrote(const std::string& suite, const std::string& key, const std::optional<std::string>& stored,
        const std::optional<StoredValue>& before);

private:
    const std::string& m_path;
    const int m_busyTimeout;
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
