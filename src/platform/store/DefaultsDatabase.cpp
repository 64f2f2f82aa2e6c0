#include "platform/store/DefaultsDatabase.h"

#include "platform/AppFolders.h"
#include "platform/Logger.h"
#include "platform/store/DefaultsFileOpening.h"
#include "platform/store/PendingJournal.h"
#include "platform/store/PropertyListJson.h"
#include "platform/store/SqliteSupport.h"
#include "platform/store/UnreadableBackup.h"

#include <sqlite3.h>

#include "platform/SourceLocation.h"
#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <pwd.h>
#include <unistd.h>
#include <utility>

namespace fs = std::filesystem;

namespace platform {

namespace {

using sqlite::columnText;
using sqlite::Connection;
using sqlite::isBusy;
using sqlite::isDamage;
using sqlite::logWarning;
using sqlite::moveAside;
using sqlite::reportFailure;
using sqlite::Statement;
const auto& sqliteMessage = sqlite::message;

using Attempt = DefaultsFileOpening;
using Outcome = DefaultsFileOpening::Outcome;

Attempt tryOpen(const std::string& path, int busyTimeoutMilliseconds)
{
    return DefaultsFileOpening::open(path, busyTimeoutMilliseconds, DefaultsDatabase::deferredDecodeSize);
}

} // namespace

std::string DefaultsDatabase::defaultPath()
{
    if (const char* path = std::getenv("KIRUVO_DEFAULTS_PATH"); path && *path) {
        return path;
    }
    return (AppFolders::dataFolder() / "defaults.sqlite3").string();
}

std::shared_ptr<DefaultsDatabase> DefaultsDatabase::open(const std::string& path, Options options)
{
    std::shared_ptr<DefaultsDatabase> database(new DefaultsDatabase(path, options));
    database->openOrReplace();
    return database;
}

DefaultsDatabase::DefaultsDatabase(std::string requestedPath, Options options)
    : m_requestedPath(std::move(requestedPath))
    , m_options(options)
    , m_operationBusyTimeout(
          std::max(0, std::min(options.operationBusyTimeoutMilliseconds, options.busyTimeoutMilliseconds)))
{
    if (m_requestedPath != memoryPath) {
        m_journal = std::make_unique<PendingJournal>(pendingPath(), m_operationBusyTimeout);
    }
}

DefaultsDatabase::~DefaultsDatabase()
{
    close();
}

bool DefaultsDatabase::checkpoint()
{
    std::lock_guard writeLock(m_writeMutex);
    if (!m_db) {
        return false;
    }
    const int rc = sqlite3_wal_checkpoint_v2(m_db, nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
    if (rc != SQLITE_OK) {
        logWarning("Unable to copy the write-ahead log into " + m_path + ": " + sqliteMessage(m_db, rc));
        return false;
    }
    return true;
}

void DefaultsDatabase::close()
{
    std::lock_guard writeLock(m_writeMutex);
    if (m_closed) {
        return;
    }
    m_closed = true;
    // What still waits is tried once more; what the lock keeps out stays in the pending file for
    // the next opening.
    std::vector<Notice> unheard;
    if (m_waiting) {
        openWaitingFile(unheard);
    }
    if (m_hasPending) {
        flushPending(unheard);
    }
    if (!m_db) {
        return;
    }
    // A truncating checkpoint waits (up to the busy timeout) for readers of another process.
    const int rc = sqlite3_wal_checkpoint_v2(m_db, nullptr, SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr);
    if (rc != SQLITE_OK && rc != SQLITE_BUSY) {
        logWarning("Unable to copy the write-ahead log into " + m_path + ": " + sqliteMessage(m_db, rc));
    }
    // Reads go on from memory once the file is closed, large values included.
    std::vector<std::pair<std::string, std::string>> notHeld;
    {
        std::unique_lock cacheLock(m_cacheMutex);
        for (auto& [suite, suiteValues] : m_cache) {
            for (auto& [key, resident] : suiteValues) {
                if (resident.large && !resident.held && !(resident.held = resident.lent.lock())) {
                    notHeld.emplace_back(suite, key);
                }
            }
        }
    }
    for (const auto& [suite, key] : notHeld) {
        // No write follows the close, so a value that cannot be read now can replace nothing.
        Reread reread = readLarge(suite, key);
        if (reread.failure != SQLITE_OK) {
            markUnread(suite, key, reread.failure);
        }
        std::unique_lock cacheLock(m_cacheMutex);
        if (reread.value) {
            m_cache[suite][key].held = std::move(reread.value);
        } else {
            m_cache[suite].erase(key);
        }
    }
    sqlite3_finalize(m_upsert);
    sqlite3_finalize(m_delete);
    sqlite3_finalize(m_select);
    sqlite3_close_v2(m_db);
    m_upsert = nullptr;
    m_delete = nullptr;
    m_select = nullptr;
    m_db = nullptr;
}

void DefaultsDatabase::openOrReplace()
{
    const std::string& path = m_requestedPath;
    Attempt attempt = tryOpen(path, m_options.busyTimeoutMilliseconds);
    if (attempt.outcome == Outcome::Damaged && path != memoryPath) {
        attempt.db.reset();
        std::string moveError;
        if (auto target = moveAside(path, moveError)) {
            m_movedAsidePath = *target;
            reportFailure(attempt.code,
                "The settings database " + path + " could not be used (" + attempt.message
                    + "); it was moved to " + *target + " and the settings start empty.",
                path);
            attempt = tryOpen(path, m_options.busyTimeoutMilliseconds);
        } else {
            attempt.outcome = Outcome::Unavailable;
            attempt.message += "; moving it aside failed: " + moveError;
        }
    }
    if (attempt.outcome == Outcome::Unavailable && isBusy(attempt.code) && path != memoryPath) {
        // Another process holds the file (a backup, a database browser): the store starts from
        // what waits in the pending file and opens the file at a later retry.
        logWarning("The settings database " + path + " is held by another process (" + attempt.message
            + "); it is opened as soon as it is free, and what is written meanwhile is kept in "
            + pendingPath() + ".");
        std::lock_guard writeLock(m_writeMutex);
        m_path = path;
        m_waiting.store(true, std::memory_order_release);
        loadPendingWrites();
        overlayPending();
        return;
    }
    std::unordered_map<std::string, SuiteValues> values;
    for (auto& [suite, suiteValues] : attempt.values) {
        for (auto& [key, value] : suiteValues) {
            values[suite][key] = Resident { std::move(value), {}, false };
        }
    }
    if (attempt.outcome == Outcome::Opened
        && adopt(attempt.db.get(), std::move(values), std::move(attempt.unreadable),
            std::move(attempt.deferred))) {
        attempt.db.release();
        m_path = path;
        // Writes a run before could not put into the file (it crashed or quit during a lock).
        std::lock_guard writeLock(m_writeMutex);
        loadPendingWrites();
        overlayPending();
        std::vector<Notice> unheard;
        flushPending(unheard);
        return;
    }
    if (attempt.outcome == Outcome::Foreign) {
        m_unavailableReason = "The file " + path + " is not Kiruvo's settings database (" + attempt.message
            + "); it is left as it is.";
        reportFailure(attempt.code,
            m_unavailableReason + " Settings are kept in memory only until the next launch.", path);
    } else if (attempt.outcome != Outcome::Opened) {
        m_unavailableReason
            = "The settings database " + path + " could not be opened (" + attempt.message + ").";
        reportFailure(attempt.code,
            "The settings database " + path + " could not be opened (" + attempt.message
                + "); settings are kept in memory only until the next launch.",
            path);
    }
    attempt.db.reset();
    Attempt fallback = tryOpen(memoryPath, m_options.busyTimeoutMilliseconds);
    if (fallback.outcome == Outcome::Opened && adopt(fallback.db.get(), {}, {}, {})) {
        fallback.db.release();
    }
    m_path = memoryPath;
}

// A row decoded when first read. The first thread decodes it; another that reads it meanwhile
// waits for that decode.
struct DefaultsDatabase::Deferred {
    std::once_flag decoded;
    std::string text;
    // Set by the decode when the text reads; otherwise `error` says why it does not.
    Value value;
    std::string error;
};

bool DefaultsDatabase::adopt(sqlite3* db, std::unordered_map<std::string, SuiteValues> values,
    std::unordered_map<std::string, SuiteTexts> unreadable,
    std::unordered_map<std::string, SuiteTexts> deferred)
{
    sqlite3_stmt* upsert = nullptr;
    sqlite3_stmt* remove = nullptr;
    int rc = sqlite3_prepare_v3(db,
        "INSERT INTO defaults(suite, key, value) VALUES(?1, ?2, ?3) "
        "ON CONFLICT(suite, key) DO UPDATE SET value = excluded.value",
        -1, SQLITE_PREPARE_PERSISTENT, &upsert, nullptr);
    if (rc == SQLITE_OK) {
        rc = sqlite3_prepare_v3(db, "DELETE FROM defaults WHERE suite = ?1 AND key = ?2", -1,
            SQLITE_PREPARE_PERSISTENT, &remove, nullptr);
    }
    sqlite3_stmt* select = nullptr;
    if (rc == SQLITE_OK) {
        rc = sqlite3_prepare_v3(db, "SELECT value FROM defaults WHERE suite = ?1 AND key = ?2", -1,
            SQLITE_PREPARE_PERSISTENT, &select, nullptr);
    }
    if (rc != SQLITE_OK) {
        reportFailure(rc,
            "Unable to prepare the statements of the settings database: " + sqliteMessage(db, rc),
            m_requestedPath);
        sqlite3_finalize(upsert);
        sqlite3_finalize(remove);
        sqlite3_finalize(select);
        return false;
    }
    sqlite3_busy_timeout(db, m_operationBusyTimeout);
    m_db = db;
    m_upsert = upsert;
    m_delete = remove;
    m_select = select;
    m_cache = std::move(values);
    m_unreadable = std::move(unreadable);
    m_deferred.clear();
    for (auto& [suite, texts] : deferred) {
        for (auto& [key, text] : texts) {
            auto entry = std::make_shared<Deferred>();
            entry->text = std::move(text);
            m_deferred[suite].emplace(key, std::move(entry));
        }
    }
    m_hasDeferred.store(!m_deferred.empty(), std::memory_order_release);
    changedElsewhere();
    return true;
}

bool DefaultsDatabase::changedElsewhere()
{
    sqlite3_stmt* raw = nullptr;
    if (!m_db || sqlite3_prepare_v2(m_db, "PRAGMA data_version", -1, &raw, nullptr) != SQLITE_OK) {
        return false;
    }
    Statement statement(raw);
    if (sqlite3_step(raw) != SQLITE_ROW) {
        return false;
    }
    const std::int64_t version = sqlite3_column_int64(raw, 0);
    return std::exchange(m_dataVersion, version) != version;
}

void DefaultsDatabase::settle(const std::string& suite, const std::string* key) const
{
    if (!m_hasDeferred.load(std::memory_order_acquire)) {
        return;
    }
    std::vector<std::pair<std::string, std::shared_ptr<Deferred>>> found;
    {
        std::shared_lock lock(m_cacheMutex);
        const auto suiteIt = m_deferred.find(suite);
        if (suiteIt == m_deferred.end()) {
            return;
        }
        if (!key) {
            found.assign(suiteIt->second.begin(), suiteIt->second.end());
        } else if (const auto it = suiteIt->second.find(*key); it != suiteIt->second.end()) {
            found.emplace_back(*it);
        }
    }
    for (const auto& [name, entry] : found) {
        std::call_once(entry->decoded, [&row = *entry] {
            if (auto value = PropertyListJson::decode(row.text, &row.error)) {
                row.value = std::make_shared<const PropertyList>(std::move(*value));
                std::string().swap(row.text);
            } else if (row.error.empty()) {
                row.error = "it is not a stored value";
            }
        });
        bool unreadable = false;
        {
            std::unique_lock lock(m_cacheMutex);
            const auto suiteIt = m_deferred.find(suite);
            if (suiteIt == m_deferred.end()) {
                continue;
            }
            const auto it = suiteIt->second.find(name);
            // Another reader has put it in place.
            if (it == suiteIt->second.end() || it->second != entry) {
                continue;
            }
            if (entry->value) {
                m_cache[suite].insert_or_assign(name, Resident { entry->value, {}, true });
            } else {
                m_unreadable[suite].insert_or_assign(name, std::move(entry->text));
                unreadable = true;
            }
            suiteIt->second.erase(it);
            if (suiteIt->second.empty()) {
                m_deferred.erase(suiteIt);
            }
            m_hasDeferred.store(!m_deferred.empty(), std::memory_order_release);
        }
        if (unreadable) {
            reportFailure(SQLITE_FORMAT,
                "The stored value of \"" + name + "\" of suite \"" + suite + "\" in " + m_path
                    + " could not be read (" + entry->error
                    + "); it reads as unset and is copied to a backup key before it is replaced.",
                m_path);
        }
    }
}

std::optional<std::string> DefaultsDatabase::unreadableText(
    const std::string& suite, const std::string& key) const
{
    settle(suite, &key);
    std::shared_lock lock(m_cacheMutex);
    auto suiteIt = m_unreadable.find(suite);
    if (suiteIt == m_unreadable.end()) {
        return std::nullopt;
    }
    auto it = suiteIt->second.find(key);
    return it == suiteIt->second.end() ? std::nullopt : std::optional(it->second);
}

int DefaultsDatabase::step(
    sqlite3_stmt* statement, const std::string& suite, const std::string& key, const std::string* text)
{
    sqlite3_bind_text(statement, 1, suite.data(), static_cast<int>(suite.size()), SQLITE_STATIC);
    sqlite3_bind_text(statement, 2, key.data(), static_cast<int>(key.size()), SQLITE_STATIC);
    if (text) {
        sqlite3_bind_text(statement, 3, text->data(), static_cast<int>(text->size()), SQLITE_STATIC);
    }
    const int rc = sqlite3_step(statement);
    sqlite3_reset(statement);
    sqlite3_clear_bindings(statement);
    return rc;
}

std::optional<std::pair<std::string, DefaultsDatabase::Value>> DefaultsDatabase::backUpUnreadable(
    const std::string& suite, const std::string& key, const std::string& text, std::string& failure)
{
    // As text when it is text, else as the bytes it is: either way every byte survives.
    PropertyList copy(text);
    auto encoded = PropertyListJson::encode(copy);
    if (!encoded) {
        copy = PropertyList(Bytes(text.begin(), text.end()));
        encoded = PropertyListJson::encode(copy);
    }
    if (!encoded) {
        failure = "its unreadable stored text could not be copied";
        return std::nullopt;
    }
    std::string backup;
    {
        std::shared_lock lock(m_cacheMutex);
        backup = freeBackupKey(suite, key);
    }
    const int rc = step(m_upsert, suite, backup, &*encoded);
    if (rc != SQLITE_DONE) {
        failure = "its unreadable stored text could not be copied: " + sqliteMessage(m_db, rc);
        return std::nullopt;
    }
    return std::pair(backup, std::make_shared<const PropertyList>(std::move(copy)));
}

std::string DefaultsDatabase::freeBackupKey(const std::string& suite, const std::string& key) const
{
    const auto values = m_cache.find(suite);
    const auto texts = m_unreadable.find(suite);
    const auto deferred = m_deferred.find(suite);
    return unreadableBackupKey(
        key, static_cast<std::int64_t>(std::time(nullptr)), [&](const std::string& name) {
            return (values != m_cache.end() && values->second.contains(name))
                || (texts != m_unreadable.end() && texts->second.contains(name))
                || (deferred != m_deferred.end() && deferred->second.contains(name));
        });
}

std::optional<std::string> DefaultsDatabase::copyRowAside(
    const std::string& suite, const std::string& key, std::string& failure)
{
    std::string backup;
    {
        std::shared_lock lock(m_cacheMutex);
        backup = freeBackupKey(suite, key);
    }
    // Rare (only after a failed read), so prepared when needed rather than kept for every write.
    sqlite3_stmt* raw = nullptr;
    int rc = sqlite3_prepare_v2(m_db,
        "INSERT INTO defaults(suite, key, value) SELECT suite, ?3, value FROM defaults "
        "WHERE suite = ?1 AND key = ?2 ON CONFLICT(suite, key) DO UPDATE SET value = excluded.value",
        -1, &raw, nullptr);
    Statement copy(raw);
    if (rc == SQLITE_OK) {
        rc = step(copy.get(), suite, key, &backup);
    }
    if (rc != SQLITE_DONE) {
        failure = "its stored row, which could not be read, could not be copied: " + sqliteMessage(m_db, rc);
        return std::nullopt;
    }
    return sqlite3_changes(m_db) > 0 ? backup : std::string();
}

DefaultsDatabase::Value DefaultsDatabase::value(const std::string& suite, const std::string& key) const
{
    settle(suite, &key);
    {
        std::shared_lock lock(m_cacheMutex);
        const Resident* resident = residentOf(suite, key);
        if (!resident) {
            return nullptr;
        }
        if (!resident->large) {
            return resident->held;
        }
        if (auto lent = resident->lent.lock()) {
            return lent;
        }
    }
    return lendLarge(suite, key);
}

std::vector<std::pair<std::string, DefaultsDatabase::Value>> DefaultsDatabase::values(
    const std::string& suite) const
{
    settle(suite, nullptr);
    std::vector<std::pair<std::string, Value>> result;
    std::vector<std::string> notHeld;
    {
        std::shared_lock lock(m_cacheMutex);
        auto suiteIt = m_cache.find(suite);
        if (suiteIt == m_cache.end()) {
            return {};
        }
        for (const auto& [key, resident] : suiteIt->second) {
            if (Value value = resident.large ? resident.lent.lock() : resident.held) {
                result.emplace_back(key, std::move(value));
            } else {
                notHeld.push_back(key);
            }
        }
    }
    for (const auto& key : notHeld) {
        if (Value value = lendLarge(suite, key)) {
            result.emplace_back(key, std::move(value));
        }
    }
    return result;
}

DefaultsDatabase::Value DefaultsDatabase::lendLarge(const std::string& suite, const std::string& key) const
{
    std::lock_guard writeLock(m_writeMutex);
    {
        std::unique_lock cacheLock(m_cacheMutex);
        Resident* resident = residentOf(suite, key);
        if (!resident) {
            return nullptr;
        }
        if (!resident->large) {
            return resident->held;
        }
        if (auto lent = resident->lent.lock()) {
            return lent;
        }
        if (resident->held) {
            if (!m_db) {
                return resident->held;
            }
            // The first reader takes it: from now on the value lives as long as readers hold it.
            Value taken = std::move(resident->held);
            resident->held = nullptr;
            resident->lent = taken;
            return taken;
        }
    }
    if (!m_db) {
        return nullptr;
    }
    Reread reread = readLarge(suite, key);
    if (reread.failure != SQLITE_OK) {
        // Still stored: known as such, and read again when next asked for.
        markUnread(suite, key, reread.failure);
        return nullptr;
    }
    std::unique_lock cacheLock(m_cacheMutex);
    if (Resident* resident = residentOf(suite, key)) {
        if (reread.value) {
            resident->lent = reread.value;
            resident->unread = false;
        } else {
            m_cache[suite].erase(key);
        }
    }
    return reread.value;
}

void DefaultsDatabase::markUnread(const std::string& suite, const std::string& key, int failure) const
{
    {
        std::unique_lock cacheLock(m_cacheMutex);
        Resident* resident = residentOf(suite, key);
        if (!resident || std::exchange(resident->unread, true)) {
            return;
        }
    }
    reportFailure(failure,
        "The value for \"" + key + "\" of suite \"" + suite + "\" could not be read again from " + m_path
            + ": " + sqliteMessage(m_db, failure)
            + "; it reads as unset until it can be read, and its stored row is copied to a backup key "
              "before it is replaced.",
        m_path);
}

bool DefaultsDatabase::isStoredButUnread(const std::string& suite, const std::string& key) const
{
    std::shared_lock lock(m_cacheMutex);
    const Resident* resident = residentOf(suite, key);
    // Until the file held at the opening is read, any key may be stored there.
    if (!resident) {
        return m_waiting.load(std::memory_order_acquire);
    }
    return resident->unread;
}

DefaultsDatabase::Resident* DefaultsDatabase::residentOf(
    const std::string& suite, const std::string& key) const
{
    const auto suiteIt = m_cache.find(suite);
    if (suiteIt == m_cache.end()) {
        return nullptr;
    }
    const auto it = suiteIt->second.find(key);
    return it == suiteIt->second.end() ? nullptr : &it->second;
}

DefaultsDatabase::Reread DefaultsDatabase::readLarge(const std::string& suite, const std::string& key) const
{
    if (!m_db) {
        return {};
    }
    sqlite3_bind_text(m_select, 1, suite.data(), static_cast<int>(suite.size()), SQLITE_STATIC);
    sqlite3_bind_text(m_select, 2, key.data(), static_cast<int>(key.size()), SQLITE_STATIC);
    int rc = sqlite3_step(m_select);
    std::optional<std::string> text;
    if (rc == SQLITE_ROW) {
        // A text SQLite had no memory to hand over is not an empty one.
        if (!sqlite3_column_text(m_select, 0) && sqlite3_errcode(m_db) == SQLITE_NOMEM) {
            rc = SQLITE_NOMEM;
        } else {
            text = columnText(m_select, 0);
        }
    }
    sqlite3_reset(m_select);
    sqlite3_clear_bindings(m_select);
    sqlite3_db_release_memory(m_db);
    if (!text && rc != SQLITE_DONE) {
        return { nullptr, rc };
    }
    if (!text) {
        reportFailure(SQLITE_NOTFOUND,
            "The value for \"" + key + "\" of suite \"" + suite + "\" could not be read again from " + m_path
                + ": another program removed it",
            m_path);
        return {};
    }
    std::string error;
    auto decoded = PropertyListJson::decode(*text, &error);
    if (!decoded) {
        // Another program wrote what does not read: kept, as a row found so at open would be.
        reportFailure(SQLITE_FORMAT,
            "The stored value of \"" + key + "\" of suite \"" + suite + "\" in " + m_path
                + " could not be read again (" + error
                + "); it reads as unset and is copied to a backup key before it is replaced.",
            m_path);
        std::unique_lock cacheLock(m_cacheMutex);
        m_unreadable[suite][key] = std::move(*text);
        return {};
    }
    return { std::make_shared<const PropertyList>(std::move(*decoded)), SQLITE_OK };
}

std::vector<std::shared_ptr<DefaultsDatabase::ListenerEntry>> DefaultsDatabase::listenersOf(
    const std::string& suite, const std::string& key)
{
    if (m_listenerCount.load(std::memory_order_acquire) == 0) {
        return {};
    }
    std::lock_guard lock(m_listenersMutex);
    auto suiteIt = m_listeners.find(suite);
    if (suiteIt == m_listeners.end()) {
        return {};
    }
    auto it = suiteIt->second.find(key);
    return it == suiteIt->second.end() ? std::vector<std::shared_ptr<ListenerEntry>> {} : it->second;
}

bool DefaultsDatabase::setValue(
    const std::string& suite, const std::string& key, std::optional<PropertyList> value)
{
    std::string text;
    if (value) {
        std::string error;
        auto encoded = PropertyListJson::encode(*value, &error);
        if (!encoded) {
            reportFailure(SQLITE_MISUSE, "The value for \"" + key + "\" was not stored: " + error, m_path);
            return false;
        }
        text = std::move(*encoded);
    }
    Value newValue = value ? std::make_shared<const PropertyList>(std::move(*value)) : nullptr;
    // The listeners hear what was stored before, and an unreadable row is copied aside: the row is
    // decoded first if it has not been read yet.
    settle(suite, &key);
    const bool large = text.size() >= deferredDecodeSize;

    Value oldValue;
    std::vector<std::shared_ptr<ListenerEntry>> listeners;
    std::vector<Notice> notices;
    int rc = SQLITE_OK;
    std::string failure;
    std::optional<std::pair<std::string, Value>> backup;
    bool queued = false;
    {
        std::lock_guard writeLock(m_writeMutex);
        // What waits goes first, if the lock has ended since: writes reach the file in their order.
        if (!m_closed && m_waiting) {
            openWaitingFile(notices);
        }
        if (!m_closed && !m_waiting && m_hasPending) {
            flushPending(notices);
        }
        listeners = listenersOf(suite, key);
        // A large value nobody holds is read again for the listeners, before it is replaced (and
        // before the check for an unreadable row, which that read may find).
        Value previousLarge;
        if (!listeners.empty()) {
            bool wasLarge = false;
            {
                std::shared_lock cacheLock(m_cacheMutex);
                if (const Resident* resident = residentOf(suite, key); resident && resident->large) {
                    wasLarge = true;
                    previousLarge = resident->held ? resident->held : resident->lent.lock();
                }
            }
            if (wasLarge && !previousLarge && m_db) {
                Reread reread = readLarge(suite, key);
                if (reread.failure != SQLITE_OK) {
                    markUnread(suite, key, reread.failure);
                }
                previousLarge = std::move(reread.value);
            }
        }
        const auto unreadable = m_db ? unreadableText(suite, key) : std::nullopt;
        // Whoever writes may have read nothing where a value is stored: the row is kept, even when
        // the read for the listeners above succeeded. Such a write goes by the pending file, whose
        // putting into the file joins it with the stored value or keeps the row.
        const bool unread = !unreadable && isStoredButUnread(suite, key);
        // A key with a join that another program may have written since this store last looked
        // (a history it added to or deleted from) is joined with what the file holds, over the
        // value in memory, rather than replaced: by way of the pending file, as a write kept
        // during a lock is.
        const bool joined = !unread && !unreadable && value && m_journal && !m_hasPending && m_db
            && joinOf(suite, key) && changedElsewhere();
        auto exec = [this](const char* sql) { return sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr); };
        if (m_closed) {
            rc = SQLITE_CANTOPEN;
            failure = "the database is closed";
        } else if (!m_db || m_hasPending || unread || joined) {
            rc = SQLITE_BUSY;
        } else if (unreadable && (rc = exec("SAVEPOINT replaceUnreadable")) != SQLITE_OK) {
            failure = sqliteMessage(m_db, rc);
        } else {
            // The copy and the write commit together or not at all.
            if (unreadable) {
                backup = backUpUnreadable(suite, key, *unreadable, failure);
            }
            if (unreadable && !backup) {
                rc = isBusy(sqlite3_errcode(m_db)) ? SQLITE_BUSY : SQLITE_ABORT;
            } else {
                rc = step(value ? m_upsert : m_delete, suite, key, value ? &text : nullptr);
                if (rc != SQLITE_DONE) {
                    failure = sqliteMessage(m_db, rc);
                }
            }
            if (unreadable) {
                if (rc != SQLITE_DONE) {
                    exec("ROLLBACK TO replaceUnreadable");
                }
                if (const int released = exec("RELEASE replaceUnreadable");
                    released != SQLITE_OK && rc == SQLITE_DONE) {
                    rc = released;
                    failure = sqliteMessage(m_db, rc);
                    exec("ROLLBACK");
                }
            }
        }
        if (!m_closed && m_requestedPath != memoryPath && isBusy(rc)) {
            // Another process holds the file: the write is kept in the pending file, durably, and
            // put into the file once the lock ends.
            backup.reset();
            auto write = pendingWrite(suite, key, value ? std::optional(text) : std::nullopt,
                !m_db || unread || unreadable.has_value(), previousLarge);
            std::string kept;
            if (m_journal->keep(std::move(write), kept)) {
                m_hasPending.store(true, std::memory_order_release);
                rc = SQLITE_DONE;
                queued = true;
            } else {
                failure = (failure.empty() ? std::string("the file is held by another process") : failure)
                    + "; " + kept;
            }
        }
        if (rc == SQLITE_DONE) {
            if (m_db && !queued) {
                // The pages this write went through (a whole history is hundreds of them) are not
                // needed to serve reads.
                sqlite3_db_release_memory(m_db);
            }
            std::unique_lock cacheLock(m_cacheMutex);
            if (backup) {
                m_unreadable[suite].erase(key);
                m_cache[suite].insert_or_assign(backup->first, Resident { backup->second, {}, false });
            }
            auto& suiteValues = m_cache[suite];
            auto it = suiteValues.find(key);
            // The new value is only lent when it is large: the writer has it in its own form. One
            // that only the pending file has is held until the file has it too.
            const bool lent = large && !queued;
            Resident resident { lent ? nullptr : newValue, lent ? newValue : nullptr, lent };
            if (it != suiteValues.end()) {
                // The old value is kept only for listeners; otherwise it is released after the locks.
                oldValue = it->second.large ? std::move(previousLarge) : std::move(it->second.held);
                if (newValue) {
                    it->second = std::move(resident);
                } else {
                    suiteValues.erase(it);
                }
            } else if (newValue) {
                suiteValues.emplace(key, std::move(resident));
            }
        }
        // A write over a value that did not read, or one to join, is put into the file at once when it can
        // be.
        if (queued && m_db && (unread || joined)) {
            flushPending(notices);
        }
    }
    if (rc != SQLITE_DONE) {
        reportFailure(rc,
            "The value for \"" + key + "\" of suite \"" + suite + "\" was not stored: " + failure, m_path);
        return false;
    }
    if (backup) {
        reportFailure(SQLITE_FORMAT,
            "The stored value of \"" + key + "\" of suite \"" + suite
                + "\" could not be read; its text was copied to \"" + backup->first
                + "\" before being replaced.",
            m_path);
    }
    for (const auto& entry : listeners) {
        if (entry->active.load(std::memory_order_acquire)) {
            entry->listener(key, oldValue, newValue);
        }
    }
    deliver(notices);
    return true;
}

void DefaultsDatabase::deliver(const std::vector<Notice>& notices)
{
    for (const auto& notice : notices) {
        if (notice.entry->active.load(std::memory_order_acquire)) {
            notice.entry->listener(notice.key, notice.oldValue, notice.newValue);
        }
    }
}

void DefaultsDatabase::setJoin(const std::string& suite, const std::string& key, Join join)
{
    std::lock_guard writeLock(m_writeMutex);
    m_joins[suite][key] = std::move(join);
}

namespace {

struct ProcessJoins {
    std::mutex mutex;
    std::unordered_map<std::string, std::unordered_map<std::string, DefaultsDatabase::Join>> joins;
};

ProcessJoins& processJoins()
{
    static ProcessJoins joins;
    return joins;
}

} // namespace

void DefaultsDatabase::setProcessJoin(const std::string& suite, const std::string& key, Join join)
{
    auto& process = processJoins();
    std::lock_guard lock(process.mutex);
    process.joins[suite][key] = std::move(join);
}

DefaultsDatabase::Join DefaultsDatabase::joinOf(const std::string& suite, const std::string& key) const
{
    if (const auto it = m_joins.find(suite); it != m_joins.end()) {
        if (const auto found = it->second.find(key); found != it->second.end()) {
            return found->second;
        }
    }
    auto& process = processJoins();
    std::lock_guard lock(process.mutex);
    if (const auto it = process.joins.find(suite); it != process.joins.end()) {
        if (const auto found = it->second.find(key); found != it->second.end()) {
            return found->second;
        }
    }
    return nullptr;
}

void DefaultsDatabase::retry()
{
    if (!m_waiting.load(std::memory_order_acquire) && !m_hasPending.load(std::memory_order_acquire)) {
        return;
    }
    std::vector<Notice> notices;
    std::function<void()> didChange;
    {
        std::lock_guard writeLock(m_writeMutex);
        if (m_closed) {
            return;
        }
        const bool opened = m_waiting && openWaitingFile(notices);
        if (!m_waiting) {
            flushPending(notices);
        }
        if (opened || !notices.empty()) {
            didChange = m_didChange;
        }
    }
    deliver(notices);
    if (didChange) {
        didChange();
    }
}

void DefaultsDatabase::setDidChangeHandler(std::function<void()> handler)
{
    std::lock_guard writeLock(m_writeMutex);
    m_didChange = std::move(handler);
}

PendingJournal::Write DefaultsDatabase::pendingWrite(const std::string& suite, const std::string& key,
    std::optional<std::string> text, bool blind, const Value& previousLarge) const
{
    PendingJournal::Write write { 0, suite, key, std::move(text), PendingJournal::Basis::Blind,
        std::nullopt };
    if (blind) {
        return write;
    }
    // What the file holds as far as this store knows: the value in memory, unless an earlier write
    // of the key is kept already (whose base the journal keeps).
    write.basis = PendingJournal::Basis::Known;
    if (m_journal->find(suite, key)) {
        return write;
    }
    Value stored;
    bool large = false;
    {
        std::shared_lock cacheLock(m_cacheMutex);
        const Resident* resident = residentOf(suite, key);
        if (!resident) {
            return write;
        }
        large = resident->large;
        stored = resident->held ? resident->held : resident->lent.lock();
    }
    if (!stored && large) {
        stored = previousLarge ? previousLarge : readLarge(suite, key).value;
    }
    write.base = stored ? PropertyListJson::encode(*stored) : std::nullopt;
    if (!write.base) {
        write.basis = PendingJournal::Basis::Blind;
    }
    return write;
}

void DefaultsDatabase::loadPendingWrites()
{
    if (m_journal && m_journal->load()) {
        m_hasPending.store(!m_journal->empty(), std::memory_order_release);
    }
}

void DefaultsDatabase::overlayPending()
{
    if (!m_journal) {
        return;
    }
    std::unique_lock cacheLock(m_cacheMutex);
    for (const auto& write : m_journal->writes()) {
        std::optional<PropertyList> value;
        if (write.text) {
            value = PropertyListJson::decode(*write.text);
            if (!value) {
                continue;
            }
        }
        auto& suiteValues = m_cache[write.suite];
        if (m_deferred.contains(write.suite)) {
            m_deferred[write.suite].erase(write.key);
        }
        if (m_unreadable.contains(write.suite)) {
            m_unreadable[write.suite].erase(write.key);
        }
        if (value) {
            suiteValues.insert_or_assign(
                write.key, Resident { std::make_shared<const PropertyList>(std::move(*value)), {}, false });
        } else {
            suiteValues.erase(write.key);
        }
    }
}

bool DefaultsDatabase::readRow(
    const std::string& suite, const std::string& key, std::optional<std::string>& text, int& rc)
{
    sqlite3_bind_text(m_select, 1, suite.data(), static_cast<int>(suite.size()), SQLITE_STATIC);
    sqlite3_bind_text(m_select, 2, key.data(), static_cast<int>(key.size()), SQLITE_STATIC);
    rc = sqlite3_step(m_select);
    text.reset();
    if (rc == SQLITE_ROW) {
        if (!sqlite3_column_text(m_select, 0) && sqlite3_errcode(m_db) == SQLITE_NOMEM) {
            rc = SQLITE_NOMEM;
        } else {
            text = columnText(m_select, 0);
            rc = SQLITE_DONE;
        }
    }
    sqlite3_reset(m_select);
    sqlite3_clear_bindings(m_select);
    return rc == SQLITE_DONE;
}

namespace {

// Whether the stored text is still the one a write was based on; two texts of one value count as
// the same (another build may write a value in other words).
bool isStill(const std::optional<std::string>& stored, const std::optional<std::string>& base)
{
    if (!stored || !base || *stored == *base) {
        return stored.has_value() == base.has_value();
    }
    const auto storedValue = PropertyListJson::decode(*stored);
    const auto baseValue = PropertyListJson::decode(*base);
    return storedValue && baseValue && *storedValue == *baseValue;
}

} // namespace

bool DefaultsDatabase::flushPending(std::vector<Notice>& notices)
{
    if (!m_journal || m_journal->empty()) {
        return true;
    }
    if (!m_db) {
        return false;
    }
    // Each key's last write, which the journal keeps alone, reaches the file; all of them commit
    // together, so the file never holds a later write without an earlier one.
    auto exec = [this](const char* sql) { return sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr); };
    int rc = exec("BEGIN IMMEDIATE");
    if (rc != SQLITE_OK) {
        return false;
    }
    std::vector<Applied> applied;
    std::string failure;
    rc = SQLITE_DONE;
    for (const auto& write : m_journal->writes()) {
        Applied done;
        done.suite = write.suite;
        done.key = write.key;
        if ((rc = applyPending(write, done, failure)) != SQLITE_DONE) {
            break;
        }
        applied.push_back(std::move(done));
    }
    if (rc == SQLITE_DONE && (rc = exec("COMMIT")) == SQLITE_OK) {
        rc = SQLITE_DONE;
    } else if (rc == SQLITE_OK) {
        failure = sqliteMessage(m_db, rc);
    }
    if (rc != SQLITE_DONE) {
        exec("ROLLBACK");
        if (!isBusy(rc)) {
            reportFailure(rc,
                "Writes kept while " + m_path + " was held could not be put into it yet: " + failure, m_path);
        }
        return false;
    }
    sqlite3_db_release_memory(m_db);
    // The file holds them now. Put in twice, the same writes would give the same file.
    m_journal->forget();
    m_hasPending.store(false, std::memory_order_release);
    log(LogLevel::Info, lcStore(), "Every write kept while " + m_path + " was held is in it now.");
    takeApplied(applied, notices);
    return true;
}

int DefaultsDatabase::applyPending(const PendingJournal::Write& write, Applied& done, std::string& failure)
{
    const auto& [sequence, suite, key, written, basis, base] = write;
    std::optional<std::string> text = written;
    std::optional<std::string> stored;
    int rc = SQLITE_DONE;
    if (basis != PendingJournal::Basis::Unrecorded && !readRow(suite, key, stored, rc)) {
        failure = sqliteMessage(m_db, rc);
        return rc;
    }
    const Join join = text ? joinOf(suite, key) : nullptr;
    bool blind = basis == PendingJournal::Basis::Blind;
    std::optional<PropertyList> storedValue = stored ? PropertyListJson::decode(*stored) : std::nullopt;
    if (basis == PendingJournal::Basis::Known && stored && !storedValue) {
        // Another program wrote what does not read: kept aside, as a write made blind keeps it.
        blind = true;
    } else if (basis == PendingJournal::Basis::Known && !isStill(stored, base) && (stored || !join)) {
        // Someone else has written the key since: their value is newer than this one, and is
        // joined with it where the key has a join, or else stays.
        auto writtenValue = text ? PropertyListJson::decode(*text) : std::nullopt;
        auto baseValue = base ? PropertyListJson::decode(*base) : std::nullopt;
        std::optional<PropertyList> joined;
        if (join && storedValue && writtenValue) {
            joined = join(*storedValue, *writtenValue, baseValue ? &*baseValue : nullptr);
        }
        std::optional<std::string> joinedText = joined ? PropertyListJson::encode(*joined) : std::nullopt;
        done.changed = true;
        if (!joinedText) {
            done.value
                = storedValue ? std::make_shared<const PropertyList>(std::move(*storedValue)) : nullptr;
            log(LogLevel::Info, lcStore(),
                "\"" + key + "\" of suite \"" + suite + "\" was written by another program after a write of "
                    + "it was kept here; that program's value stays.");
            return SQLITE_DONE;
        }
        text = std::move(joinedText);
        done.value = std::make_shared<const PropertyList>(std::move(*joined));
    }
    // A key with a join is joined even when both hold the same: a count of launches made
    // meanwhile adds to the stored count although it may equal it.
    if (blind && stored && (stored != text || join)) {
        std::optional<PropertyList> joined;
        if (join && storedValue) {
            if (auto writtenValue = PropertyListJson::decode(*text)) {
                joined = join(*storedValue, *writtenValue, nullptr);
            }
        }
        std::optional<std::string> joinedText = joined ? PropertyListJson::encode(*joined) : std::nullopt;
        if (joinedText) {
            text = std::move(joinedText);
            done.changed = true;
            done.value = std::make_shared<const PropertyList>(std::move(*joined));
        } else if (stored == text) {
            // Nothing to keep aside: the file already holds what was written.
        } else if (const auto unreadable = unreadableText(suite, key)) {
            done.backup = backUpUnreadable(suite, key, *unreadable, failure);
            if (!done.backup) {
                return SQLITE_ABORT;
            }
        } else {
            auto copied = copyRowAside(suite, key, failure);
            if (!copied) {
                return SQLITE_ABORT;
            }
            done.rowBackup = *copied;
        }
    }
    rc = step(text ? m_upsert : m_delete, suite, key, text ? &*text : nullptr);
    if (rc != SQLITE_DONE) {
        failure = sqliteMessage(m_db, rc);
        return rc;
    }
    done.size = text ? text->size() : 0;
    return SQLITE_DONE;
}

void DefaultsDatabase::takeApplied(std::vector<Applied>& applied, std::vector<Notice>& notices)
{
    std::vector<std::string> reports;
    // The values the file holds other than those written, told to their listeners once the cache
    // lock is released.
    std::vector<Notice> changes;
    std::vector<std::string> changedSuites;
    std::unique_lock cacheLock(m_cacheMutex);
    for (auto& done : applied) {
        auto& suiteValues = m_cache[done.suite];
        if (done.backup) {
            if (m_unreadable.contains(done.suite)) {
                m_unreadable[done.suite].erase(done.key);
            }
            suiteValues.insert_or_assign(done.backup->first, Resident { done.backup->second, {}, false });
            reports.push_back("its text was copied to \"" + done.backup->first + "\"");
        }
        if (!done.rowBackup.empty()) {
            suiteValues.insert_or_assign(done.rowBackup, Resident { nullptr, {}, true });
            reports.push_back("its row was copied to \"" + done.rowBackup + "\"");
        }
        if (done.backup || !done.rowBackup.empty()) {
            reports.back() = "The stored value of \"" + done.key + "\" of suite \"" + done.suite
                + "\" was replaced by a write made before it could be read; " + reports.back() + ".";
        }
        const bool large = done.size >= deferredDecodeSize;
        if (!done.changed) {
            // Held while only the pending file had it; now the file has it, it is only lent, as a
            // large value its writer put straight into the file.
            if (auto it = suiteValues.find(done.key); it != suiteValues.end() && large && it->second.held) {
                it->second.lent = std::exchange(it->second.held, nullptr);
                it->second.large = true;
            }
            continue;
        }
        Value previous;
        if (auto it = suiteValues.find(done.key); it != suiteValues.end()) {
            previous = it->second.held ? it->second.held : it->second.lent.lock();
        }
        if (done.value) {
            suiteValues.insert_or_assign(done.key, Resident { done.value, {}, large });
        } else {
            suiteValues.erase(done.key);
        }
        changes.push_back({ nullptr, done.key, std::move(previous), done.value });
        changedSuites.push_back(done.suite);
    }
    cacheLock.unlock();
    for (std::size_t index = 0; index < changes.size(); ++index) {
        for (auto& entry : listenersOf(changedSuites[index], changes[index].key)) {
            notices.push_back(
                { std::move(entry), changes[index].key, changes[index].oldValue, changes[index].newValue });
        }
    }
    for (const auto& report : reports) {
        reportFailure(SQLITE_IOERR, report, m_path);
    }
}

bool DefaultsDatabase::openWaitingFile(std::vector<Notice>& notices)
{
    Attempt attempt = tryOpen(m_requestedPath, m_operationBusyTimeout);
    if (attempt.outcome == Outcome::Unavailable && isBusy(attempt.code)) {
        return false;
    }
    // What every listener's key read as before, to tell each whose value the file changes.
    struct Heard {
        std::shared_ptr<ListenerEntry> entry;
        Value before;
    };
    std::vector<Heard> heard;
    {
        std::lock_guard lock(m_listenersMutex);
        std::shared_lock cacheLock(m_cacheMutex);
        for (const auto& [id, entry] : m_listenersById) {
            const Resident* resident = residentOf(entry->suite, entry->key);
            heard.push_back(
                { entry, resident ? (resident->large ? resident->lent.lock() : resident->held) : nullptr });
        }
    }
    m_waiting.store(false, std::memory_order_release);
    if (attempt.outcome == Outcome::Opened) {
        std::unordered_map<std::string, SuiteValues> values;
        for (auto& [suite, suiteValues] : attempt.values) {
            for (auto& [key, value] : suiteValues) {
                values[suite][key] = Resident { std::move(value), {}, false };
            }
        }
        // adopt() takes over the caches; the cache lock guards them against readers meanwhile.
        {
            std::unique_lock swapLock(m_cacheMutex);
            sqlite3_finalize(m_upsert);
            sqlite3_finalize(m_delete);
            sqlite3_finalize(m_select);
            m_upsert = m_delete = m_select = nullptr;
            if (m_db) {
                sqlite3_close_v2(m_db);
                m_db = nullptr;
            }
            if (adopt(attempt.db.get(), std::move(values), std::move(attempt.unreadable),
                    std::move(attempt.deferred))) {
                attempt.db.release();
            }
        }
        log(LogLevel::Info, lcStore(), "The settings database " + m_requestedPath + " is free and open now.");
    } else {
        m_unavailableReason
            = "The settings database " + m_requestedPath + " could not be opened (" + attempt.message + ").";
        reportFailure(
            attempt.code, m_unavailableReason + " Settings are kept in memory only.", m_requestedPath);
        Attempt fallback = tryOpen(memoryPath, m_operationBusyTimeout);
        std::unique_lock swapLock(m_cacheMutex);
        if (fallback.outcome == Outcome::Opened) {
            // The values written meanwhile stay; the memory database takes them below.
            auto kept = std::move(m_cache);
            if (adopt(fallback.db.get(), std::move(kept), {}, {})) {
                fallback.db.release();
            }
        }
    }
    // Readers go on seeing what was written meanwhile, whether or not the file takes it now.
    overlayPending();
    std::vector<Notice> joined;
    flushPending(joined);
    for (auto& [entry, before] : heard) {
        if (!entry->active.load(std::memory_order_acquire)) {
            continue;
        }
        settle(entry->suite, &entry->key);
        Value after;
        {
            std::shared_lock cacheLock(m_cacheMutex);
            if (const Resident* resident = residentOf(entry->suite, entry->key)) {
                after = resident->large ? (resident->held ? resident->held : resident->lent.lock())
                                        : resident->held;
            }
        }
        bool unheld = false;
        if (!after && m_db) {
            std::shared_lock cacheLock(m_cacheMutex);
            const Resident* resident = residentOf(entry->suite, entry->key);
            unheld = resident && resident->large;
        }
        if (unheld) {
            // A large value that only the file holds now: read for the listeners, and lent to them.
            after = readLarge(entry->suite, entry->key).value;
            std::unique_lock cacheLock(m_cacheMutex);
            if (Resident* resident = residentOf(entry->suite, entry->key); resident && after) {
                resident->lent = after;
            }
        }
        const bool same = before == after || (before && after && *before == *after);
        if (!same) {
            notices.push_back({ entry, entry->key, before, after });
        }
    }
    return true;
}

DefaultsDatabase::ListenerId DefaultsDatabase::addListener(
    const std::string& suite, const std::string& key, Listener listener)
{
    auto entry = std::make_shared<ListenerEntry>();
    entry->suite = suite;
    entry->key = key;
    entry->listener = std::move(listener);
    std::lock_guard lock(m_listenersMutex);
    entry->id = m_nextListenerId++;
    m_listeners[suite][key].push_back(entry);
    m_listenersById.emplace(entry->id, entry);
    m_listenerCount.fetch_add(1, std::memory_order_release);
    return entry->id;
}

void DefaultsDatabase::removeListener(ListenerId id)
{
    std::lock_guard lock(m_listenersMutex);
    auto found = m_listenersById.find(id);
    if (found == m_listenersById.end()) {
        return;
    }
    auto entry = found->second;
    m_listenersById.erase(found);
    entry->active.store(false, std::memory_order_release);
    auto suiteIt = m_listeners.find(entry->suite);
    if (suiteIt != m_listeners.end()) {
        auto keyIt = suiteIt->second.find(entry->key);
        if (keyIt != suiteIt->second.end()) {
            std::erase(keyIt->second, entry);
            if (keyIt->second.empty()) {
                suiteIt->second.erase(keyIt);
            }
        }
        if (suiteIt->second.empty()) {
            m_listeners.erase(suiteIt);
        }
    }
    m_listenerCount.fetch_sub(1, std::memory_order_release);
}

} // namespace platform
