#pragma once

#include "platform/store/DefaultsListeners.h"
#include "platform/store/DefaultsPathFollower.h"
#include "platform/store/LargeValueReads.h"
#include "platform/store/OutsideCommits.h"
#include "platform/store/PropertyList.h"
#include "platform/store/ResidentValues.h"
#include "platform/store/StoredValue.h"
#include "platform/store/StoredValueJoins.h"

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace platform {

class DefaultsConnection;
struct DefaultsFileOpening;

// The SQLite file behind the user-defaults store: table defaults(suite, key, value) with the value
// as the text of PropertyListJson, and an in-memory copy of every suite's values, loaded at open,
// that serves every read. A row of deferredDecodeSize bytes or more (a long history) is decoded by
// its first reader, and afterwards kept in memory only while someone holds it.
//
// Every write is committed (rollback journal, synchronous=FULL) into the file the path names at that
// moment, before it returns: the file open is checked, by SQLite's own descriptor, to be the one at
// the path before each transaction, and another file put there (a sync tool's copy renamed over it,
// a folder made again, a link pointed elsewhere) is followed first (DefaultsPathFollower), with
// what this store wrote since it read the file before joined into it. A write of a key with a join
// (setJoin()), derived from a base its writer read, is merged over that base into what the file
// holds then, so another program's additions and deletions stay.
//
// A write the file cannot take for now (another process holds it past
// operationBusyTimeoutMilliseconds, no usable file is at the path, the one open was moved away) is
// committed to "<name>.pending" (a PendingJournal) and counts as stored: readers see it at once, it
// survives a crash, and retry(), every later write and the next opening put it into the file in one
// transaction, joined as above. A file held at start is shown as its main file alone holds it when
// another program's write-ahead log (perhaps another file's) keeps it from being opened.
//
// A file that is not a database or fails its integrity check (made without a log that may be another
// file's) is moved aside as "<name>.corrupt-<time>" and the store starts empty; another program's
// database is left as it was found and the store runs in memory. A stored row whose text does not
// decode reads as nothing and is copied to "<key>.unreadable-<unix seconds>" by the write that
// replaces it. Another program's commits to the file are taken within a moment (catchUpAll(), woken
// by a DefaultsFileWatch), by reading the rows again (OutsideCommits); the store adds nothing to the
// file, which holds the table of values alone whenever another program looks.
//
// Thread-safe. Reads run in parallel and never wait for the disk, except the read of a long value
// nobody holds; writes are serialised. Listeners are called on the writing thread after the
// commit, outside every lock of this class.
class DefaultsDatabase {
public:
    static constexpr std::size_t deferredDecodeSize = 64 * 1024;
    // The path that gives a private database in memory.
    static constexpr const char* memoryPath = ":memory:";

    struct Options {
        // How long the opening waits for another process (a relaunch overlaps two for a moment).
        int busyTimeoutMilliseconds = 5000;
        // How long every later statement waits for one; never more than the opening's wait.
        int operationBusyTimeoutMilliseconds = 10;
    };

    using Value = StoredValue;
    // Told of every write of one key of one suite, with what was stored before and after it
    // (null for nothing). A write of the value already stored still tells.
    using Listener = DefaultsListeners::Listener;
    using ListenerId = DefaultsListeners::Id;
    using Join = StoredValueJoin;

    // Opens (or creates) the database at `path`; ":memory:" gives a private database in memory.
    // Never fails: what cannot be opened is reported and replaced as described above.
    static std::shared_ptr<DefaultsDatabase> open(const std::string& path, Options options);
    static std::shared_ptr<DefaultsDatabase> open(const std::string& path) { return open(path, Options {}); }
    // KIRUVO_DEFAULTS_PATH when set, else $XDG_DATA_HOME/kiruvo/defaults.sqlite3
    // (~/.local/share/kiruvo/defaults.sqlite3 when XDG_DATA_HOME is unset or not absolute).
    static std::string defaultPath();

    ~DefaultsDatabase();
    DefaultsDatabase(const DefaultsDatabase&) = delete;
    DefaultsDatabase& operator=(const DefaultsDatabase&) = delete;

    // The path asked for, and the one in use (":memory:" after a fallback).
    const std::string& requestedPath() const { return m_requestedPath; }
    const std::string& path() const { return m_path; }
    // Where a damaged file found at open was moved; empty when none was.
    const std::string& movedAsidePath() const { return m_movedAsidePath; }
    // Why the file asked for is not in use (a database of another program's, a folder that cannot
    // be written); empty when it is.
    const std::string& unavailableReason() const { return m_unavailableReason; }

    // Where writes wait while the file is held by another process.
    std::string pendingPath() const { return m_requestedPath + ".pending"; }
    // The file was held by another process at the opening and has not been opened since.
    bool isWaitingForFile() const { return m_waiting.load(std::memory_order_acquire); }
    // Writes are kept in the pending file that the database file does not hold yet.
    bool hasPendingWrites() const { return m_hasPending.load(std::memory_order_acquire); }
    // Opens the file when it was held at the opening, and puts the pending writes into it; tells
    // the listeners of what changed. Nothing when nothing waits, or while the lock lasts.
    void retry();
    void setJoin(const std::string& suite, const std::string& key, Join join);
    // A join for `key` of `suite` in every store of the process, for keys written at start-up,
    // before any store of theirs opens: an opening puts the writes a run before kept pending into
    // the file at once. A store's own join of the key comes first.
    static void setProcessJoin(const std::string& suite, const std::string& key, Join join);
    // Told, once and outside every lock, after a retry() changed what the store holds (the file
    // opened, values joined): whoever follows every change of the store, not one key's.
    void setDidChangeHandler(std::function<void()> handler);

    // The reader of `key` makes what it can of a stored text that does not decode (another
    // program's JSON): the reports of such a text say so rather than that it reads as unset.
    void setReadsOtherForms(const std::string& suite, const std::string& key)
    {
        m_values.setReadsOtherForms(suite, key);
    }
    // The stored text of a row that did not decode; nothing when the key reads normally.
    std::optional<std::string> unreadableText(const std::string& suite, const std::string& key) const;
    // Whether `key` holds a large value whose last read from the file failed (see above): it reads
    // as nothing although it is stored.
    bool isStoredButUnread(const std::string& suite, const std::string& key) const;

    Value value(const std::string& suite, const std::string& key) const;
    // Reads `key` again from the file when another program may have committed to it since this
    // store last knew its value, and tells its listeners when that changed it; one look at the
    // file's version otherwise. Nothing while writes wait beside the file (their putting in joins
    // them with the other program's) or while the file cannot be read.
    void catchUp(const std::string& suite, const std::string& key);
    std::vector<std::pair<std::string, Value>> values(const std::string& suite) const;
    // After another program may have committed to the file: every key whose value that changed
    // (or removed) is read again and its listeners told, as for a write of this store's, and the
    // did-change handler once. One look at the file's version when nothing was committed. False
    // when the file could not be read (another program holds it): a later call reads it.
    bool catchUpAll();

    // Stores `value` (nothing removes the key). False, with the failure logged and reported and
    // nothing changed, when the value cannot be encoded or the write does not commit.
    //
    // `base`, when given, is the stored value `value` was derived from (null: nothing was stored).
    // A key with a join whose stored value is no longer that base (another program wrote it since,
    // or a write kept during a lock was joined in) gets the join of the stored value and `value`
    // over it, and the listeners hear the joined value last.
    bool setValue(const std::string& suite, const std::string& key, std::optional<PropertyList> value,
        const Value* base = nullptr);

    // Follows the file at the path as described above when it is not the file open; with
    // `makeMissing`, a file deleted (or whose folder was) is made again, else it waits for a write.
    // False while the file at the path is not open.
    bool followPath(bool makeMissing);

    // For a file another program keeps in WAL mode: copies what the write-ahead log holds into the
    // database file itself, so that the one file holds every committed value (a copy or backup of it
    // alone is complete). Never waits for another process's readers: what they still use is copied
    // by a later checkpoint. False, with the failure logged, when nothing could be copied. Nothing
    // to do for a file with a rollback journal, as the store keeps it.
    bool checkpoint();
    // Closes the file. For the end of the process: later writes are refused (and reported), reads go on from
    // memory.
    void close();

    ListenerId addListener(const std::string& suite, const std::string& key, Listener listener);
    // A listener removed while a write is telling its listeners is not called afterwards.
    void removeListener(ListenerId id);

private:
    using Notice = DefaultsListeners::Notice;

    DefaultsDatabase(std::string requestedPath, Options options);
    void openOrReplace();
    // Under the write lock: opens the file held by another process at the opening (in memory when
    // it cannot be used), and puts the writes kept meanwhile into it; false while it is still held.
    bool openWaiting(std::vector<Notice>& notices);
    // Under the write lock: follows the file at the path when it is not the file open (`reopened`
    // when another file was opened, and what the store wrote joined into it); with `makeMissing`, a
    // file deleted (or whose folder was) is made again. False while the file at the path is not open.
    bool follow(std::vector<Notice>& notices, bool makeMissing, bool& reopened);
    bool openInPlace(std::vector<Notice>& notices, bool makeMissing);
    // What `key` holds before a write, when known (null: nothing): `base` as the writer gave it,
    // `previousLarge` the large value it replaces when read.
    std::optional<StoredValue> valueBefore(const std::string& suite, const std::string& key,
        const StoredValue* base, const StoredValue& previousLarge) const;
    // Under the write lock: takes the opened file over with its values; false when its statements
    // could not be prepared.
    // `atPath`: the file at the path, not the one in memory that stands in for it.
    bool adopt(DefaultsFileOpening& opened, bool atPath);
    // Under the write lock: closes the file, leaving alone companion files that are not its own.
    void closeFile();
    // What every listener's key reads as now, to tell each whose value a file opened changes.
    struct Heard {
        std::shared_ptr<DefaultsListeners::Entry> entry;
        Value before;
    };
    std::vector<Heard> hearAll() const;
    void tellHeard(std::vector<Heard>& heard, std::vector<Notice>& notices);
    // The steps of setValue(), under the write lock: what waits put in and what the key holds
    // looked at; the write committed to the file; else kept in the pending file; then taken into
    // memory.
    struct Write;
    void prepareWrite(Write& write);
    void commitWrite(Write& write);
    void keepWrite(Write& write);
    void tookWrite(Write& write);
    // Under the write lock: the kept writes put into the file in one transaction (a PendingReplay),
    // then forgotten; false, with everything as it was, when it did not commit.
    bool flushPending(std::vector<Notice>& notices);
    // Under the write lock: what a run before left in the pending file.
    void loadPendingWrites();
    // Under the write lock: a write of `key` to keep, with what the file held before it when known.
    // `base` is the one the writer gave, if any.
    PendingJournal::Write pendingWrite(const std::string& suite, const std::string& key,
        std::optional<std::string> text, bool blind, const Value& previousLarge, const Value* base) const;
    // Under the write lock: what the file holds after `replayed`, taken into memory, and told to
    // the listeners of what changed by `notices`.
    void takeReplayed(const std::vector<ResidentValues::Replayed>& replayed, std::vector<Notice>& notices);
    // Under the write lock: the pending writes put over the values in memory, so that readers see
    // them while the file does not hold them.
    void overlayPending();
    // Under the write lock: `read` takes what another program committed; then its notices are
    // delivered, and the did-change handler told when there were any. False when `read` could not
    // read the file. Nothing while the file is not open or writes wait beside it: opening it, or
    // putting them in, takes what the other program changed.
    bool followFile(const std::function<bool(std::vector<Notice>&)>& read);
    // A large value's current object: the held or lent one, else read from the file; null when
    // the row is gone or no longer reads. Takes the write lock.
    Value lendLarge(const std::string& suite, const std::string& key) const;

    const std::string m_requestedPath;
    const Options m_options;
    const int m_operationBusyTimeout;
    std::string m_path;
    std::string m_movedAsidePath;
    std::string m_unavailableReason;

    // Serialises statements on the file and changes to the values in memory; a read may bring a
    // large value back from the file: hence mutable. Taken before the values' own lock.
    mutable std::mutex m_writeMutex;
    // The file, open; none while it is held at the opening, or once closed. Under the write lock.
    std::unique_ptr<DefaultsConnection> m_file;
    bool m_closed = false;
    std::atomic<bool> m_waiting { false };
    // The writes kept while the file is held; under the write lock. None for a store in memory.
    std::unique_ptr<PendingJournal> m_journal;
    std::atomic<bool> m_hasPending { false };
    // Under the write lock.
    StoredValueJoins m_joins;
    std::function<void()> m_didChange;

    // A read may lend a large value, or find that it no longer reads: hence mutable.
    mutable ResidentValues m_values { m_path };
    LargeValueReads m_large { m_values, m_path };
    DefaultsListeners m_listeners;
    // Which keys another program may have written since memory knew them. Under the write lock.
    OutsideCommits m_outside { m_values, m_listeners, m_joins, m_path, deferredDecodeSize };
    // The file at the path followed. Under the write lock.
    DefaultsPathFollower m_follower { m_requestedPath, m_operationBusyTimeout };
};

} // namespace platform
