#pragma once

#include "platform/store/PropertyList.h"
#include "platform/store/StoredValue.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace platform {

class DefaultsDatabase;

// The user-defaults store: named suites of key to property-list values, persisted in one SQLite
// database, with an in-memory registration domain per suite and per-key observation.
//
// Thread-safe. Observers are called synchronously on the writing thread, after the write has been
// committed and outside every lock, so that they may read (or write) the store themselves.
class UserDefaults {
public:
    static constexpr const char* standardSuiteName = "com.zelvantorium.Kiruvo";

    // The old and new values are what objectForKey() gave before and after the write, so a
    // registered default counts as the value of a key that holds nothing.
    using Observer = std::function<void(const std::string& key, const std::optional<PropertyList>& oldValue,
        const std::optional<PropertyList>& newValue)>;
    using ObserverId = std::uint64_t;

    UserDefaults(std::shared_ptr<DefaultsDatabase> database, std::string suiteName);
    ~UserDefaults();
    UserDefaults(const UserDefaults&) = delete;
    UserDefaults& operator=(const UserDefaults&) = delete;

    // The standard suite over the database at KIRUVO_DEFAULTS_PATH, else
    // $XDG_DATA_HOME/kiruvo/defaults.sqlite3. Tests replace it with setStandard().
    static std::shared_ptr<UserDefaults> standard();
    static void setStandard(std::shared_ptr<UserDefaults> defaults);
    // Another suite over the same database as the standard one; the same object for the same name.
    static std::shared_ptr<UserDefaults> suite(const std::string& name);

    const std::string& suiteName() const;

    // The stored value, else the registered default, else nothing.
    std::optional<PropertyList> objectForKey(const std::string& key) const;
    // Writing nothing removes the stored value. False when the write did not commit (a locked
    // database, a full disk): the failure is reported and the stored value is as it was.
    bool setObject(const std::optional<PropertyList>& value, const std::string& key);
    // The same for a value derived from `base`, the stored value it was made from (null: nothing
    // was stored). When a key with a join (setJoin()) holds another value by now, another
    // program's, the stored value and `value` are joined over `base`; the observers hear the
    // joined value last.
    bool setObject(const std::optional<PropertyList>& value, const std::string& key, const StoredValue& base);
    bool removeObject(const std::string& key);
    // Adds to the in-memory registration domain; never written to the database.
    void registerDefaults(const PropertyListDictionary& defaults);
    // Every stored value of this suite over every registered default.
    PropertyListDictionary dictionaryRepresentation() const;
    // Removes every key of dictionaryRepresentation() one by one, telling each key's observers.
    void removeAll();

    ObserverId addObserver(const std::string& key, Observer observer);
    void removeObserver(ObserverId id);

    // Told after every stored change of any key of any suite in this process (the platform's
    // "user defaults did change"), on the writing thread, outside every lock. A write that does
    // not commit tells nothing. An observer removed during a delivery is not called afterwards.
    static ObserverId addDidChangeObserver(std::function<void()> observer);
    static void removeDidChangeObserver(ObserverId id);

    // Reads `key` again when another program may have written it since the store last knew its
    // value, telling its observers when it changed; cheap otherwise. For a reader that must not
    // answer from a value another program has replaced.
    void catchUp(const std::string& key);

    // From now on, another program's commit to the file reaches the observers of every key whose
    // value it changed (and the did-change observers) within a moment, on the main thread, as a
    // write of this process's does. Nothing runs while nobody writes. Called on the main thread;
    // the watch ends with close() or with this object (of every suite over the same file: one call
    // is enough). False when the file cannot be watched (values kept in memory, no inotify).
    bool hearOtherPrograms();

    // What is stored, as the store holds it: registered defaults do not count. A key whose stored
    // value does not read counts as holding nothing.
    StoredValue storedValue(const std::string& key) const;
    std::vector<std::pair<std::string, StoredValue>> storedValues() const;
    // Whether `key` holds a large value whose last read from the file failed: it reads as nothing
    // although something is stored, and no write replaces it unseen.
    bool isStoredButUnread(const std::string& key) const;
    // The text of a stored row of `key` that does not read as a property list (another program's
    // JSON), for a reader that can make more of it; nothing when the key reads normally.
    std::optional<std::string> unreadableText(const std::string& key) const;
    // This reader of `key` makes what it can of such a text, which is then not reported as reading
    // as unset.
    void setReadsOtherForms(const std::string& key);

    // How a value of `key` written without the stored one at hand (before the file could be read,
    // or while another program held it) joins what the file holds once it can be read.
    void setJoin(const std::string& key, StoredValueJoin join);
    // The same for `key` of the suite named `suiteName` in every store of the process, for keys
    // written at start-up before any store of theirs opens. A store's own join comes first.
    static void setProcessJoin(const std::string& suiteName, const std::string& key, StoredValueJoin join);

    // The file the store keeps its values in; empty when they are kept in memory only (a file that
    // could not be used, or a store made for a test).
    std::string filePath() const;
    // Why the file asked for is not in use (another program's database, a folder that cannot be
    // written); empty when it is.
    std::string unavailableReason() const;
    // Another program held the file when the store opened, and it has not been read since: what it
    // holds (a flag, a count) is not known yet.
    bool isWaitingForFile() const;
    // Writes are kept beside the file while another program holds it; they are committed and read
    // back meanwhile, and reach the file once it is free.
    bool hasWritesWaitingForFile() const;
    // Tries again to open a file held at start and to put the writes kept beside it into it; the
    // observers hear of every value that changed. True when nothing waits any more.
    bool retryWaitingForFile();
    // Makes the file itself hold every committed value, so that the one file is complete when the
    // user copies or backs it up; never waits for another program's readers. False, with the
    // failure logged, when nothing could be copied into it.
    bool synchronize();
    // Closes the file of this store (of every suite over it) complete, as synchronize() leaves it;
    // later writes are refused and reported, reads go on from memory. For the end of the process,
    // or before the file is moved away.
    void close();

    // Identity comparison: two suites are the same store when they are the same object.
    friend bool operator==(const UserDefaults& a, const UserDefaults& b) { return &a == &b; }

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace platform
