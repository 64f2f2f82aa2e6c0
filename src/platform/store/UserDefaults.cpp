#include "platform/store/UserDefaults.h"

#include "platform/store/DefaultsDatabase.h"
#include "platform/store/DefaultsFileWatch.h"

#include <QThread>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <unordered_map>
#include <utility>
#include <vector>

namespace platform {

namespace {

// The registration domain of one suite object. Observers hold it too, so that a delivery that is
// under way when the suite object goes away still has it.
struct Registration {
    mutable std::mutex mutex;
    PropertyListDictionary values;

    std::optional<PropertyList> lookUp(const std::string& key) const
    {
        std::lock_guard lock(mutex);
        auto it = values.find(key);
        if (it == values.end()) {
            return std::nullopt;
        }
        return it->second;
    }
};

std::optional<PropertyList> visible(
    const DefaultsDatabase::Value& stored, const Registration& registration, const std::string& key)
{
    if (stored) {
        return *stored;
    }
    return registration.lookUp(key);
}

struct Shared {
    std::mutex mutex;
    std::shared_ptr<UserDefaults> standard;
    std::shared_ptr<DefaultsDatabase> suitesDatabase;
    std::unordered_map<std::string, std::shared_ptr<UserDefaults>> suites;
};

Shared& shared()
{
    static Shared instance;
    return instance;
}

struct DidChangeObserver {
    UserDefaults::ObserverId id = 0;
    std::function<void()> observer;
    std::atomic<bool> active { true };
};

struct DidChangeObservers {
    std::mutex mutex;
    UserDefaults::ObserverId nextId = 1;
    std::vector<std::shared_ptr<DidChangeObserver>> entries;
};

DidChangeObservers& didChangeObservers()
{
    static DidChangeObservers instance;
    return instance;
}

void tellDidChange()
{
    auto& observers = didChangeObservers();
    std::vector<std::shared_ptr<DidChangeObserver>> entries;
    {
        std::lock_guard lock(observers.mutex);
        entries = observers.entries;
    }
    for (const auto& entry : entries) {
        if (entry->active.load(std::memory_order_acquire)) {
            entry->observer();
        }
    }
}

} // namespace

struct UserDefaults::Private {
    std::shared_ptr<DefaultsDatabase> database;
    std::string suiteName;
    std::shared_ptr<Registration> registration = std::make_shared<Registration>();

    std::mutex observersMutex;
    std::vector<ObserverId> observers;
    std::unique_ptr<DefaultsFileWatch> watch;
};

UserDefaults::UserDefaults(std::shared_ptr<DefaultsDatabase> database, std::string suiteName)
    : d(std::make_unique<Private>())
{
    d->database = std::move(database);
    d->suiteName = std::move(suiteName);
    // What the database changes by itself (a file held at start opening later) is a change of
    // the store too.
    d->database->setDidChangeHandler(&tellDidChange);
}

UserDefaults::~UserDefaults()
{
    // The watch belongs to the main thread, where it was made: a last holder elsewhere hands it back.
    if (d->watch && d->watch->thread() != QThread::currentThread()) {
        d->watch.release()->deleteLater();
    }
    std::vector<ObserverId> observers;
    {
        std::lock_guard lock(d->observersMutex);
        observers.swap(d->observers);
    }
    for (ObserverId id : observers) {
        d->database->removeListener(id);
    }
}

std::shared_ptr<UserDefaults> UserDefaults::standard()
{
    auto& state = shared();
    std::lock_guard lock(state.mutex);
    if (!state.standard) {
        state.standard = std::make_shared<UserDefaults>(
            DefaultsDatabase::open(DefaultsDatabase::defaultPath()), standardSuiteName);
    }
    return state.standard;
}

void UserDefaults::setStandard(std::shared_ptr<UserDefaults> defaults)
{
    std::shared_ptr<UserDefaults> previous;
    std::unordered_map<std::string, std::shared_ptr<UserDefaults>> previousSuites;
    {
        auto& state = shared();
        std::lock_guard lock(state.mutex);
        previous = std::exchange(state.standard, std::move(defaults));
        previousSuites.swap(state.suites);
        state.suitesDatabase.reset();
    }
    // Released here, outside the lock, in case their destruction touches the store.
}

std::shared_ptr<UserDefaults> UserDefaults::suite(const std::string& name)
{
    auto standardDefaults = standard();
    if (name == standardDefaults->suiteName()) {
        return standardDefaults;
    }
    auto& state = shared();
    std::lock_guard lock(state.mutex);
    const auto& database = standardDefaults->d->database;
    if (state.suitesDatabase != database) {
        state.suites.clear();
        state.suitesDatabase = database;
    }
    auto& entry = state.suites[name];
    if (!entry) {
        entry = std::make_shared<UserDefaults>(database, name);
    }
    return entry;
}

const std::string& UserDefaults::suiteName() const
{
    return d->suiteName;
}

std::optional<PropertyList> UserDefaults::objectForKey(const std::string& key) const
{
    return visible(d->database->value(d->suiteName, key), *d->registration, key);
}

bool UserDefaults::setObject(const std::optional<PropertyList>& value, const std::string& key)
{
    if (!d->database->setValue(d->suiteName, key, value)) {
        return false;
    }
    tellDidChange();
    return true;
}

bool UserDefaults::setObject(
    const std::optional<PropertyList>& value, const std::string& key, const StoredValue& base)
{
    if (!d->database->setValue(d->suiteName, key, value, &base)) {
        return false;
    }
    tellDidChange();
    return true;
}

bool UserDefaults::removeObject(const std::string& key)
{
    return setObject(std::nullopt, key);
}

void UserDefaults::catchUp(const std::string& key)
{
    d->database->catchUp(d->suiteName, key);
}

StoredValue UserDefaults::storedValue(const std::string& key) const
{
    return d->database->value(d->suiteName, key);
}

std::vector<std::pair<std::string, StoredValue>> UserDefaults::storedValues() const
{
    return d->database->values(d->suiteName);
}

bool UserDefaults::isStoredButUnread(const std::string& key) const
{
    return d->database->isStoredButUnread(d->suiteName, key);
}

std::optional<std::string> UserDefaults::unreadableText(const std::string& key) const
{
    return d->database->unreadableText(d->suiteName, key);
}

void UserDefaults::setReadsOtherForms(const std::string& key)
{
    d->database->setReadsOtherForms(d->suiteName, key);
}

void UserDefaults::setJoin(const std::string& key, StoredValueJoin join)
{
    d->database->setJoin(d->suiteName, key, std::move(join));
}

void UserDefaults::setProcessJoin(const std::string& suiteName, const std::string& key, StoredValueJoin join)
{
    DefaultsDatabase::setProcessJoin(suiteName, key, std::move(join));
}

std::string UserDefaults::filePath() const
{
    const std::string& path = d->database->path();
    return path == DefaultsDatabase::memoryPath ? std::string() : path;
}

std::string UserDefaults::unavailableReason() const
{
    return d->database->unavailableReason();
}

bool UserDefaults::isWaitingForFile() const
{
    return d->database->isWaitingForFile();
}

bool UserDefaults::hasWritesWaitingForFile() const
{
    return d->database->hasPendingWrites();
}

bool UserDefaults::retryWaitingForFile()
{
    d->database->retry();
    return !d->database->isWaitingForFile() && !d->database->hasPendingWrites();
}

bool UserDefaults::synchronize()
{
    return d->database->checkpoint();
}

bool UserDefaults::hearOtherPrograms()
{
    if (!d->watch) {
        d->watch = std::make_unique<DefaultsFileWatch>(d->database);
    }
    return d->watch->isWatching();
}

void UserDefaults::close()
{
    d->watch.reset();
    d->database->close();
}

void UserDefaults::registerDefaults(const PropertyListDictionary& defaults)
{
    std::lock_guard lock(d->registration->mutex);
    for (const auto& [key, value] : defaults) {
        d->registration->values.insert_or_assign(key, value);
    }
}

PropertyListDictionary UserDefaults::dictionaryRepresentation() const
{
    PropertyListDictionary result;
    {
        std::lock_guard lock(d->registration->mutex);
        result = d->registration->values;
    }
    for (auto& [key, value] : d->database->values(d->suiteName)) {
        result.insert_or_assign(key, *value);
    }
    return result;
}

void UserDefaults::removeAll()
{
    for (const auto& entry : dictionaryRepresentation()) {
        removeObject(entry.first);
    }
}

UserDefaults::ObserverId UserDefaults::addObserver(const std::string& key, Observer observer)
{
    auto id = d->database->addListener(d->suiteName, key,
        [registration = d->registration, observer = std::move(observer)](const std::string& changedKey,
            const DefaultsDatabase::Value& oldStored, const DefaultsDatabase::Value& newStored) {
            observer(changedKey, visible(oldStored, *registration, changedKey),
                visible(newStored, *registration, changedKey));
        });
    std::lock_guard lock(d->observersMutex);
    d->observers.push_back(id);
    return id;
}

void UserDefaults::removeObserver(ObserverId id)
{
    {
        std::lock_guard lock(d->observersMutex);
        auto it = std::find(d->observers.begin(), d->observers.end(), id);
        if (it == d->observers.end()) {
            return;
        }
        d->observers.erase(it);
    }
    d->database->removeListener(id);
}

UserDefaults::ObserverId UserDefaults::addDidChangeObserver(std::function<void()> observer)
{
    auto& observers = didChangeObservers();
    auto entry = std::make_shared<DidChangeObserver>();
    entry->observer = std::move(observer);
    std::lock_guard lock(observers.mutex);
    entry->id = observers.nextId++;
    observers.entries.push_back(entry);
    return entry->id;
}

void UserDefaults::removeDidChangeObserver(ObserverId id)
{
    auto& observers = didChangeObservers();
    std::lock_guard lock(observers.mutex);
    auto it = std::find_if(observers.entries.begin(), observers.entries.end(),
        [id](const auto& entry) { return entry->id == id; });
    if (it != observers.entries.end()) {
        (*it)->active.store(false, std::memory_order_release);
        observers.entries.erase(it);
    }
}

} // namespace platform
