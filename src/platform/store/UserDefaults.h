#pragma once

#include "platform/store/PropertyList.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

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
    const std::shared_ptr<DefaultsDatabase>& database() const;

    // The stored value, else the registered default, else nothing.
    std::optional<PropertyList> objectForKey(const std::string& key) const;
    // Writing nothing removes the stored value. False when the write did not commit (a locked
    // database, a full disk): the failure is reported and the stored value is as it was.
    bool setObject(const std::optional<PropertyList>& value, const std::string& key);
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

    // Identity comparison: two suites are the same store when they are the same object.
    friend bool operator==(const UserDefaults& a, const UserDefaults& b) { return &a == &b; }

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace platform
