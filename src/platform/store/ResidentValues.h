#pragma once

#include "platform/store/PendingJournal.h"
#include "platform/store/StoredValue.h"

#include <atomic>
#include <memory>
#include <optional>
#include <shared_mutex>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace platform {

// The settings store's copy in memory of every suite's values, which serves every read: each key's
// value as decoded, the texts of rows that do not decode (kept to be copied aside before they are
// replaced), and the long rows read at open but decoded only when first read, by the reading
// thread (another reading it meanwhile waits for that decode).
//
// A long value is `held` only until its first reader takes it (or once the file is closed), then
// only `lent`: alive while someone holds it, read from the file again after that.
//
// Thread-safe: every operation takes the values' own lock. The store calls them under its write
// lock, and never the other way round.
class ResidentValues {
public:
    // `path` names the file in use in the reports of rows that do not decode; it lives as long as
    // these values.
    explicit ResidentValues(const std::string& path);
    template <class T> using BySuite = std::unordered_map<std::string, std::unordered_map<std::string, T>>;
    struct Resident {
        StoredValue held;
        std::weak_ptr<const PropertyList> lent;
        bool large = false;
        // The last read of it from the file failed; cleared by a read that succeeds.
        bool unread = false;

        StoredValue current() const { return held ? held : lent.lock(); }
    };
    // What a read finds in memory: whether the key is stored, and its value unless a long one must
    // be read from the file (null then).
    struct Found {
        bool stored = false;
        bool large = false;
        StoredValue value;
    };
    // What lending a long value gave: its object when it is at hand (null when the key is gone),
    // not done when it must be read from the file.
    struct Lending {
        bool done = false;
        StoredValue value;
    };

    // Takes the values of a file just opened, with the texts that did not decode and the long rows
    // not decoded yet, in the place of everything held.
    void adopt(BySuite<StoredValue> values, BySuite<std::string> unreadable, BySuite<std::string> deferred);
    // Keeps only the values (of a file that is not used any more).
    void keepOnlyValues();

    // Decodes the long rows of `suite` not decoded yet (of `key` only, when given); those that do
    // not decode are reported and kept as unreadable texts.
    void settle(const std::string& suite, const std::string* key) const;
    // Every key that holds a value or a text that does not decode, each long row decoded first.
    std::vector<std::pair<std::string, std::string>> settledKeys() const;
    Found find(const std::string& suite, const std::string& key) const;
    std::optional<Resident> copyOf(const std::string& suite, const std::string& key) const;
    // Every value of `suite` at hand; the keys of long values nobody holds go to `notHeld`.
    std::vector<std::pair<std::string, StoredValue>> valuesOf(
        const std::string& suite, std::vector<std::string>& notHeld) const;
    // The stored text of a row that did not decode; nothing when the key reads normally.
    std::optional<std::string> unreadableText(const std::string& suite, const std::string& key) const;
    // Whether `key` holds a long value whose last read failed; for a key not held, `otherwise`.
    bool isStoredButUnread(const std::string& suite, const std::string& key, bool otherwise) const;
    // A name for the backup of `key` that no value of `suite` has.
    std::string freeBackupKey(const std::string& suite, const std::string& key) const;

    // Lends the long value of `key` when it is at hand: the first reader takes a held one while the
    // file is open. Not done when it must be read from the file.
    Lending lend(const std::string& suite, const std::string& key, bool fileOpen);
    // What a read of the long value from the file gave: lent from now on, or the key dropped when
    // the row is gone.
    void tookRead(const std::string& suite, const std::string& key, const StoredValue& value);
    // The same for the listeners of a file opened late: lent to them when there is one.
    void lendRead(const std::string& suite, const std::string& key, const StoredValue& value);
    // A long value is no longer held by memory: its next reader reads it from the file, as memory
    // stops following its row.
    void release(const std::string& suite, const std::string& key);
    // Holds `value` (once the file closes), or drops the key when there is none.
    void holdRead(const std::string& suite, const std::string& key, StoredValue value);
    // Holds every long value someone still holds; the keys of the others.
    std::vector<std::pair<std::string, std::string>> holdLargeValues();
    // Marks `key` as unread; false when it is not stored or was marked already.
    bool markUnread(const std::string& suite, const std::string& key);
    void keepUnreadable(const std::string& suite, const std::string& key, std::string text);
    // The file no longer holds the text of `key` that did not decode.
    void dropUnreadable(const std::string& suite, const std::string& key);
    // The reader of `key` makes what it can of a stored text that does not decode (another
    // program's JSON), so such a text of it does not read as unset.
    void setReadsOtherForms(const std::string& suite, const std::string& key);
    // What a report of a stored text of `key` that does not decode says, after the text's subject
    // and the decoder's `error`; `again` for a text read again from the file.
    std::string unreadableReport(
        const std::string& suite, const std::string& key, const std::string& error, bool again = false) const;

    // A write committed (or kept beside the file): `value` replaces the key's value (null removes
    // it), lent only when `lent`; a `backup` of an unreadable text is added and the text dropped.
    // What was held before, for the listeners (`previousLarge` when that was a long value).
    StoredValue replace(const std::string& suite, const std::string& key, StoredValue value, bool lent,
        StoredValue previousLarge, const std::optional<std::pair<std::string, StoredValue>>& backup);
    // The writes kept beside the file, over the values of the file, so that readers see them.
    void overlay(const std::vector<PendingJournal::Write>& writes);

    // What putting one kept write into the file did, for the values in memory to follow.
    struct Replayed {
        std::string suite;
        std::string key;
        // The file holds `value` now rather than what was written (joined, or another program's).
        bool changed = false;
        StoredValue value;
        std::optional<std::pair<std::string, StoredValue>> backup;
        std::string rowBackup;
        bool large = false;
        // The row was copied aside because the key's join could not take another program's value.
        bool unjoinable = false;
    };
    // A value that changed by the replay, for its listeners.
    struct Change {
        std::string suite;
        std::string key;
        StoredValue oldValue;
        StoredValue newValue;
    };
    // Takes what the file holds after kept writes were put into it; the values that changed, and
    // the backups made, described for a report.
    std::vector<Change> takeReplayed(
        const std::vector<Replayed>& replayed, std::vector<std::string>& reports);

private:
    struct Deferred;
    Resident* residentOf(const std::string& suite, const std::string& key) const;

    const std::string& m_path;
    mutable std::shared_mutex m_mutex;
    // Changed by a write, by the first read of a deferred row (which no write touches before) and by
    // the lending of a long value.
    mutable BySuite<Resident> m_values;
    mutable BySuite<std::string> m_unreadable;
    // Rows not decoded yet, filled at open.
    mutable BySuite<std::shared_ptr<Deferred>> m_deferred;
    mutable std::atomic<bool> m_hasDeferred { false };
    BySuite<bool> m_readsOtherForms;
};

} // namespace platform
