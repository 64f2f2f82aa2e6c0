#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct sqlite3;

namespace platform {

// The writes a settings store keeps while another process holds its file, in a small database
// beside it ("<name>.pending"): one row per key, its latest write, together with what the file
// held when the first of them was made. The store replays them once the file is free, or at the
// next opening after a crash; the stored value each write was based on tells that replay whether
// anyone else has written the key since.
//
// keep() commits (synchronous=FULL) before it returns. A file that does not read back whole (torn,
// overwritten, of another shape) is moved aside as "<name>.corrupt-<time>", named in the log, and
// every write that still reads from it is kept in a fresh file.
//
// Not thread-safe: the store serialises every call under its write lock.
class PendingJournal {
public:
    // How a write stands to what the file held when it was made.
    enum class Basis {
        // Made without the stored value at hand (the file could not be read).
        Blind,
        // Made over `base`, the stored text (nothing when no row was stored).
        Known,
        // Kept by a build that recorded no base: replayed as it is.
        Unrecorded,
    };
    struct Write {
        std::int64_t sequence = 0;
        std::string suite;
        std::string key;
        // Nothing for a removal.
        std::optional<std::string> text;
        Basis basis = Basis::Blind;
        std::optional<std::string> base;
    };

    PendingJournal(std::string path, int busyTimeoutMilliseconds);
    ~PendingJournal();
    PendingJournal(const PendingJournal&) = delete;
    PendingJournal& operator=(const PendingJournal&) = delete;

    const std::string& path() const { return m_path; }
    // Each key's latest write, in the order of those writes.
    const std::vector<Write>& writes() const { return m_writes; }
    bool empty() const { return m_writes.empty(); }
    // The kept write of `key`; null when none is.
    const Write* find(const std::string& suite, const std::string& key) const;

    // Reads what a run before left. False, with the failure reported, when the file exists but
    // cannot be opened now; a damaged file is set aside as described above and counts as read.
    bool load();
    // Commits `write` as its key's one row, in the place of any earlier one, whose basis it takes:
    // the base is what the file held before the first write the file has not received. False
    // (with `failure`) when it could not be committed; nothing changes then.
    bool keep(Write write, std::string& failure);
    // The file has received every kept write: they are forgotten, and the file removed.
    void forget();
    // Where load() moved a damaged file; empty when it moved none.
    const std::string& setAsidePath() const { return m_setAsidePath; }

private:
    bool openForWriting(std::string& failure);
    // Inserts `rows` (after removing the rows of `replacing`'s key) in one transaction, and gives
    // them their sequence numbers.
    bool commit(const std::vector<Write*>& rows, const Write* replacing, std::string& failure);

    const std::string m_path;
    const int m_busyTimeout;
    sqlite3* m_db = nullptr;
    std::vector<Write> m_writes;
    std::string m_setAsidePath;
};

} // namespace platform
