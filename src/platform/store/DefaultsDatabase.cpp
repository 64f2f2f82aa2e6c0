#include "platform/store/DefaultsDatabase.h"

#include "platform/AppFolders.h"
#include "platform/Logger.h"
#include "platform/store/DefaultsConnection.h"
#include "platform/store/DefaultsFileOpening.h"
#include "platform/store/PendingJournal.h"
#include "platform/store/PendingReplay.h"
#include "platform/store/PropertyListJson.h"
#include "platform/store/SqliteSupport.h"
#include "platform/store/UnreadableBackup.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstdlib>
#include <utility>

namespace platform {

namespace {

using sqlite::isBusy;
using sqlite::logWarning;
using sqlite::moveAside;
using sqlite::reportFailure;

using Attempt = DefaultsFileOpening;
using Outcome = DefaultsFileOpening::Outcome;

// The file at the path could not take a write for now: another process holds it, none can be opened
// there, or the one open was moved away. A write the file refuses (full, read-only) fails instead.
bool isOutOfReach(int code)
{
    return isBusy(code) || code == SQLITE_CANTOPEN || code == SQLITE_READONLY_DBMOVED;
}

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
    if (!m_file) {
        return false;
    }
    const int rc = m_file->checkpoint(DefaultsConnection::Checkpoint::Passive);
    if (rc != SQLITE_OK) {
        logWarning("Unable to copy the write-ahead log into " + m_path + ": " + m_file->message(rc));
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
        openWaiting(unheard);
    }
    if (m_hasPending) {
        flushPending(unheard);
    }
    if (!m_file) {
        return;
    }
    // Only the file at the path is written to: another's companions may lie under its names.
    if (m_follower.pathNamesFile(m_file.get())) {
        // A file another program holds in WAL mode: its log copied into it, waiting (up to the
        // busy timeout) for that program's readers.
        const int rc = m_file->checkpoint(DefaultsConnection::Checkpoint::Truncate);
        if (rc != SQLITE_OK && rc != SQLITE_BUSY) {
            logWarning("Unable to copy the write-ahead log into " + m_path + ": " + m_file->message(rc));
        }
    }
    m_large.holdAll(m_file.get());
    closeFile();
}

void DefaultsDatabase::closeFile()
{
    if (!m_file) {
        return;
    }
    // SQLite, closing the last connection of a file in WAL mode, folds the log into the file and
    // removes the -wal and -shm by their names: under those names another file's may lie by now.
    if (!m_follower.pathNamesFile(m_file.get())) {
        m_file->leaveCompanionNames();
    }
    m_file.reset();
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
        if (attempt.logBeside) {
            // Shown meanwhile as the file alone holds it: no lock keeps it from being read whole.
            auto shown = DefaultsFileOpening::readWithoutLog(path, deferredDecodeSize);
            if (shown.outcome == Outcome::Opened) {
                m_values.adopt(
                    std::move(shown.values), std::move(shown.unreadable), std::move(shown.deferred));
            }
        }
        loadPendingWrites();
        overlayPending();
        return;
    }
    if (attempt.outcome == Outcome::Opened && adopt(attempt, true)) {
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
    if (fallback.outcome == Outcome::Opened) {
        fallback.values.clear();
        fallback.unreadable.clear();
        fallback.deferred.clear();
        adopt(fallback, false);
    }
    m_path = memoryPath;
}

bool DefaultsDatabase::adopt(DefaultsFileOpening& opened, bool atPath)
{
    int rc = SQLITE_OK;
    auto file = DefaultsConnection::take(opened.db, m_operationBusyTimeout, rc);
    if (!file) {
        reportFailure(rc,
            "Unable to prepare the statements of the settings database: "
                + sqlite::message(opened.db.get(), rc),
            m_requestedPath);
        return false;
    }
    m_file = std::move(file);
    m_values.adopt(std::move(opened.values), std::move(opened.unreadable), std::move(opened.deferred));
    m_follower.opened(atPath ? m_file.get() : nullptr);
    m_outside.restart();
    return true;
}

std::optional<std::string> DefaultsDatabase::unreadableText(
    const std::string& suite, const std::string& key) const
{
    return m_values.unreadableText(suite, key);
}

DefaultsDatabase::Value DefaultsDatabase::value(const std::string& suite, const std::string& key) const
{
    m_values.settle(suite, &key);
    const ResidentValues::Found found = m_values.find(suite, key);
    if (!found.large || found.value) {
        return found.value;
    }
    return lendLarge(suite, key);
}

std::vector<std::pair<std::string, DefaultsDatabase::Value>> DefaultsDatabase::values(
    const std::string& suite) const
{
    m_values.settle(suite, nullptr);
    std::vector<std::string> notHeld;
    auto result = m_values.valuesOf(suite, notHeld);
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
    return m_large.lend(m_file.get(), suite, key);
}

bool DefaultsDatabase::isStoredButUnread(const std::string& suite, const std::string& key) const
{
    // Until the file held at the opening is read, any key may be stored there.
    return m_values.isStoredButUnread(suite, key, m_waiting.load(std::memory_order_acquire));
}

// One setValue() on its way: what it stores, what it found before, and what it tells afterwards.
struct DefaultsDatabase::Write {
    Write(const std::string& suite, const std::string& key, const Value* base)
        : suite(suite)
        , key(key)
        , base(base)
    {
    }

    const std::string& suite;
    const std::string& key;
    const Value* base;
    std::string text;
    // Null for a removal.
    Value newValue;
    bool large = false;
    Value oldValue;
    // A large value nobody held, read again for the listeners.
    Value previousLarge;
    DefaultsListeners::Entries listeners;
    // What the writes kept before this one did, told before this one; what joining this one did,
    // told after it: the last value a listener hears is the one stored.
    std::vector<Notice> notices;
    std::vector<Notice> joinedNotices;
    int rc = SQLITE_OK;
    std::string failure;
    std::optional<std::pair<std::string, Value>> backup;
    bool queued = false;
    std::optional<std::string> unreadable;
    bool unread = false;
    bool overBase = false;
    bool joined = false;
    std::vector<ResidentValues::Replayed> replayed;
    std::optional<StoredValue> before;

    const std::string* textOrNone() const { return newValue ? &text : nullptr; }
    std::optional<std::string> storedText() const { return newValue ? std::optional(text) : std::nullopt; }
};

bool DefaultsDatabase::setValue(
    const std::string& suite, const std::string& key, std::optional<PropertyList> value, const Value* base)
{
    Write write { suite, key, base };
    if (value) {
        std::string error;
        auto encoded = PropertyListJson::encode(*value, &error);
        if (!encoded) {
            reportFailure(SQLITE_MISUSE, "The value for \"" + key + "\" was not stored: " + error, m_path);
            return false;
        }
        write.text = std::move(*encoded);
        write.newValue = std::make_shared<const PropertyList>(std::move(*value));
    }
    // The listeners hear what was stored before, and an unreadable row is copied aside: the row is
    // decoded first if it has not been read yet.
    m_values.settle(suite, &key);
    write.large = write.text.size() >= deferredDecodeSize;
    {
        std::lock_guard writeLock(m_writeMutex);
        prepareWrite(write);
        commitWrite(write);
        if (!m_closed && m_requestedPath != memoryPath && isOutOfReach(write.rc)) {
            keepWrite(write);
        }
        if (write.rc == SQLITE_DONE) {
            tookWrite(write);
        }
        // A write over a value that did not read, or one to join, is put into the file at once when
        // it can be.
        if (write.queued && m_file && (write.unread || write.joined)) {
            if (flushPending(write.joinedNotices) && write.joined) {
                m_outside.know(suite, key);
            }
        } else if (write.rc == SQLITE_DONE && !write.queued) {
            m_outside.know(suite, key);
        }
    }
    if (write.rc != SQLITE_DONE) {
        reportFailure(write.rc,
            "The value for \"" + key + "\" of suite \"" + suite + "\" was not stored: " + write.failure,
            m_path);
        return false;
    }
    if (write.backup) {
        reportFailure(SQLITE_FORMAT,
            "The stored value of \"" + key + "\" of suite \"" + suite
                + "\" could not be read; its text was copied to \"" + write.backup->first
                + "\" before being replaced.",
            m_path);
    }
    DefaultsListeners::deliver(write.notices);
    DefaultsListeners::tell(write.listeners, key, write.oldValue, write.newValue);
    DefaultsListeners::deliver(write.joinedNotices);
    return true;
}

void DefaultsDatabase::prepareWrite(Write& write)
{
    const std::string& suite = write.suite;
    const std::string& key = write.key;
    // Only the file at the path counts: another put there since is followed first.
    bool reopened = false;
    follow(write.notices, true, reopened);
    // What waits goes first, if the lock has ended since: writes reach the file in their order.
    if (!m_closed && m_waiting) {
        openWaiting(write.notices);
    }
    if (!m_closed && !m_waiting && m_hasPending) {
        flushPending(write.notices);
    }
    write.listeners = m_listeners.of(suite, key);
    // A large value nobody holds is read again for the listeners, before it is replaced (and
    // before the check for an unreadable row, which that read may find).
    if (!write.listeners.empty()) {
        const auto resident = m_values.copyOf(suite, key);
        const bool wasLarge = resident && resident->large;
        if (wasLarge) {
            write.previousLarge = resident->current();
        }
        if (wasLarge && !write.previousLarge && m_file) {
            auto reread = m_large.read(m_file.get(), suite, key);
            if (reread.failure != SQLITE_OK) {
                m_large.markUnread(m_file.get(), suite, key, reread.failure);
            }
            write.previousLarge = std::move(reread.value);
        }
    }
    // Another program may have repaired a value that did not read: not replaced unseen.
    if (m_file && !m_closed && !m_waiting && !m_hasPending && unreadableText(suite, key)) {
        m_outside.catchUp(*m_file, suite, key, write.notices);
    }
    write.unreadable = m_file ? unreadableText(suite, key) : std::nullopt;
    // Whoever writes may have read nothing where a value is stored: the row is kept, even when
    // the read for the listeners above succeeded. Such a write goes by the pending file, whose
    // putting into the file joins it with the stored value or keeps the row.
    write.unread = !write.unreadable && isStoredButUnread(suite, key);
    // A value of a key with a join, derived from a base its writer knows (a history the user
    // changed), is put in over that base: compared with what the file holds and joined with it
    // where another program changed it, under the file's write lock, so that no commit of that
    // program's between a look and the write is overwritten.
    const bool known = !write.unread && !write.unreadable && write.newValue && m_file && !m_hasPending
        && !m_closed && m_joins.of(suite, key);
    write.overBase = known && write.base;
    // Without a base, a key with a join that another program may have written since this
    // store last looked is joined with what the file holds, over the value in memory, rather
    // than replaced: by way of the pending file, as a write kept during a lock is.
    write.joined = known && !write.base && m_journal && m_outside.mayHaveChanged(*m_file, suite, key);
    write.before = valueBefore(suite, key, write.base, write.previousLarge);
}

void DefaultsDatabase::commitWrite(Write& write)
{
    if (m_closed) {
        write.rc = SQLITE_CANTOPEN;
        write.failure = "the database is closed";
    } else if (m_follower.isLost()) {
        write.rc = SQLITE_CANTOPEN;
        write.failure = m_follower.lostReason();
    } else if (!m_file || m_hasPending || write.unread || write.joined) {
        write.rc = SQLITE_BUSY;
    } else if (write.overBase) {
        write.rc = m_outside.putOverBase(
            *m_file, write.suite, write.key, write.text, *write.base, write.replayed, write.failure);
    } else if (write.unreadable) {
        write.rc = replaceUnreadable(*m_file, m_values.freeBackupKey(write.suite, write.key), write.suite,
            write.key, *write.unreadable, write.textOrNone(), write.backup, write.failure);
    } else if ((write.rc = m_file->write(write.suite, write.key, write.textOrNone())) != SQLITE_DONE) {
        write.failure = m_file->message(write.rc);
    }
}

void DefaultsDatabase::keepWrite(Write& write)
{
    // The file could not take it (another process holds it, the file at the path cannot be
    // opened, the file open was moved away meanwhile): the write is kept in the pending file,
    // durably, and put into the file at the path once it can be.
    write.backup.reset();
    auto kept = pendingWrite(write.suite, write.key, write.storedText(),
        (!m_file && m_waiting && !write.base) || write.unread || write.unreadable.has_value(),
        write.previousLarge, write.base);
    std::string failure;
    if (m_journal->keep(std::move(kept), failure)) {
        m_hasPending.store(true, std::memory_order_release);
        write.rc = SQLITE_DONE;
        write.queued = true;
    } else {
        write.failure
            = (write.failure.empty() ? std::string("the file is held by another process") : write.failure)
            + "; " + failure;
    }
}

void DefaultsDatabase::tookWrite(Write& write)
{
    if (m_file && !write.queued) {
        // The pages this write went through (a whole history is hundreds of them) are not
        // needed to serve reads.
        m_file->releaseMemory();
    }
    // The new value is only lent when it is large: the writer has it in its own form. One
    // that only the pending file has is held until the file has it too.
    write.oldValue = m_values.replace(write.suite, write.key, write.newValue, write.large && !write.queued,
        std::move(write.previousLarge), write.backup);
    m_outside.wrote(write.suite, write.key);
    // What the file holds instead, when the write was joined with another program's value.
    std::optional<std::string> stored = write.storedText();
    for (const auto& done : write.replayed) {
        if (done.changed) {
            stored = done.value ? PropertyListJson::encode(*done.value) : std::nullopt;
        }
    }
    m_follower.wrote(write.suite, write.key, stored, write.before);
    takeReplayed(write.replayed, write.joinedNotices);
}

void DefaultsDatabase::takeReplayed(
    const std::vector<ResidentValues::Replayed>& replayed, std::vector<Notice>& notices)
{
    std::vector<std::string> reports;
    for (auto& change : m_values.takeReplayed(replayed, reports)) {
        m_outside.wrote(change.suite, change.key);
        for (auto& entry : m_listeners.of(change.suite, change.key)) {
            notices.push_back({ std::move(entry), change.key, change.oldValue, change.newValue });
        }
    }
    for (const auto& report : reports) {
        reportFailure(SQLITE_IOERR, report, m_path);
    }
}

void DefaultsDatabase::catchUp(const std::string& suite, const std::string& key)
{
    m_values.settle(suite, &key);
    followFile([&](std::vector<Notice>& notices) { return m_outside.catchUp(*m_file, suite, key, notices); });
}

bool DefaultsDatabase::catchUpAll()
{
    return followFile([&](std::vector<Notice>& notices) { return m_outside.catchUpAll(*m_file, notices); });
}

bool DefaultsDatabase::followFile(const std::function<bool(std::vector<Notice>&)>& read)
{
    std::vector<Notice> notices;
    std::function<void()> didChange;
    {
        std::lock_guard writeLock(m_writeMutex);
        if (m_closed || !m_file || m_waiting || m_hasPending) {
            return true;
        }
        if (!read(notices)) {
            return false;
        }
        didChange = notices.empty() ? nullptr : m_didChange;
    }
    DefaultsListeners::deliver(notices);
    if (didChange) {
        didChange();
    }
    return true;
}

void DefaultsDatabase::setJoin(const std::string& suite, const std::string& key, Join join)
{
    std::lock_guard writeLock(m_writeMutex);
    m_joins.set(suite, key, std::move(join));
}

void DefaultsDatabase::setProcessJoin(const std::string& suite, const std::string& key, Join join)
{
    StoredValueJoins::setForProcess(suite, key, std::move(join));
}

void DefaultsDatabase::retry()
{
    if (!m_waiting.load(std::memory_order_acquire) && !m_hasPending.load(std::memory_order_acquire)
        && !m_follower.isLost()) {
        return;
    }
    std::vector<Notice> notices;
    std::function<void()> didChange;
    {
        std::lock_guard writeLock(m_writeMutex);
        if (m_closed) {
            return;
        }
        bool reopened = false;
        follow(notices, true, reopened);
        const bool opened = reopened || (m_waiting && openWaiting(notices));
        if (!m_waiting) {
            flushPending(notices);
        }
        if (opened || !notices.empty()) {
            didChange = m_didChange;
        }
    }
    DefaultsListeners::deliver(notices);
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
    std::optional<std::string> text, bool blind, const Value& previousLarge, const Value* base) const
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
    // What the writer derived its value from: the file may hold another program's value by now,
    // which a read here would take for the base.
    if (base) {
        write.base = *base ? PropertyListJson::encode(**base) : std::nullopt;
        if (*base && !write.base) {
            write.basis = PendingJournal::Basis::Blind;
        }
        return write;
    }
    const auto resident = m_values.copyOf(suite, key);
    if (!resident) {
        return write;
    }
    Value stored = resident->current();
    if (!stored && resident->large) {
        stored = previousLarge ? previousLarge : m_large.read(m_file.get(), suite, key).value;
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
    if (m_journal) {
        m_values.overlay(m_journal->writes());
    }
}

bool DefaultsDatabase::flushPending(std::vector<Notice>& notices)
{
    if (!m_journal || m_journal->empty()) {
        return true;
    }
    // Only into the file the path names: the one open may have been moved away since it was looked at.
    if (!m_file || !m_follower.pathNamesFile(m_file.get())) {
        return false;
    }
    // Each key's last write, which the journal keeps alone, reaches the file; all of them commit
    // together, so the file never holds a later write without an earlier one.
    std::vector<ResidentValues::Replayed> replayed;
    if (!PendingReplay(*m_file, m_values, m_joins, m_path).run(m_journal->writes(), replayed)) {
        return false;
    }
    m_file->releaseMemory();
    // The file holds them now. Put in twice, the same writes would give the same file.
    m_journal->forget();
    m_hasPending.store(false, std::memory_order_release);
    log(LogLevel::Info, lcStore(), "Every write kept while " + m_path + " was held is in it now.");
    // The values the file holds other than those written are told to their listeners once the
    // values' lock is released.
    takeReplayed(replayed, notices);
    return true;
}

bool DefaultsDatabase::followPath(bool makeMissing)
{
    std::vector<Notice> notices;
    std::function<void()> didChange;
    bool open = false;
    {
        std::lock_guard writeLock(m_writeMutex);
        bool reopened = false;
        open = follow(notices, makeMissing, reopened);
        if (reopened) {
            didChange = m_didChange;
        }
    }
    DefaultsListeners::deliver(notices);
    if (didChange) {
        didChange();
    }
    return open;
}

bool DefaultsDatabase::follow(std::vector<Notice>& notices, bool makeMissing, bool& reopened)
{
    reopened = false;
    if (m_closed || m_waiting) {
        return false;
    }
    if (m_file) {
        const auto now = m_follower.atPath(m_file.get());
        if (now == DefaultsFileIdentity::AtPath::Same) {
            return true;
        }
        m_follower.leave(*m_file,
            now == DefaultsFileIdentity::AtPath::Missing
                ? "was deleted while Kiruvo had it open"
                : "was replaced by another file while Kiruvo had it open");
        // Nothing more goes into the old file, not even a checkpoint: its companions, if it has any,
        // lie under names that are another file's now.
        m_large.holdAll(m_file.get());
        closeFile();
    } else if (!m_follower.isLost()) {
        return false;
    }
    reopened = openInPlace(notices, makeMissing);
    return reopened;
}

bool DefaultsDatabase::openInPlace(std::vector<Notice>& notices, bool makeMissing)
{
    auto attempt = m_follower.attemptAtPath(makeMissing);
    if (!attempt) {
        return false;
    }
    auto heard = hearAll();
    const bool madeAgain = attempt->outcome == Outcome::Opened && attempt->values.empty()
        && attempt->unreadable.empty() && attempt->deferred.empty();
    if (madeAgain) {
        m_follower.carrySettings(m_values, m_joins);
    }
    if (attempt->outcome != Outcome::Opened || !adopt(*attempt, true)) {
        m_follower.couldNotOpen(*attempt);
        return false;
    }
    overlayPending();
    std::vector<ResidentValues::Replayed> replayed;
    const bool joined = m_follower.joinInto(*m_file, m_values, m_joins, replayed);
    if (joined) {
        std::vector<Notice> told;
        takeReplayed(replayed, told);
        m_follower.joined();
    } else {
        // Another program holds the new file: the joining is tried again once it lets go, and
        // meanwhile its values are read.
        m_large.holdAll(m_file.get());
        closeFile();
    }
    tellHeard(heard, notices);
    return joined;
}

bool DefaultsDatabase::openWaiting(std::vector<Notice>& notices)
{
    DefaultsFileOpening attempt = tryOpen(m_requestedPath, m_operationBusyTimeout);
    if (attempt.outcome == Outcome::Unavailable && isBusy(attempt.code)) {
        return false;
    }
    auto heard = hearAll();
    m_waiting.store(false, std::memory_order_release);
    if (attempt.outcome == Outcome::Opened) {
        m_file.reset();
        adopt(attempt, true);
        log(LogLevel::Info, lcStore(), "The settings database " + m_requestedPath + " is free and open now.");
    } else {
        m_unavailableReason
            = "The settings database " + m_requestedPath + " could not be opened (" + attempt.message + ").";
        reportFailure(
            attempt.code, m_unavailableReason + " Settings are kept in memory only.", m_requestedPath);
        DefaultsFileOpening fallback = tryOpen(memoryPath, m_operationBusyTimeout);
        if (fallback.outcome == Outcome::Opened) {
            // The values written meanwhile stay; the memory database takes them below.
            int rc = SQLITE_OK;
            if (auto file = DefaultsConnection::take(fallback.db, m_operationBusyTimeout, rc)) {
                m_file = std::move(file);
                m_values.keepOnlyValues();
            }
        }
    }
    // Readers go on seeing what was written meanwhile, whether or not the file takes it now.
    overlayPending();
    std::vector<Notice> joined;
    flushPending(joined);
    tellHeard(heard, notices);
    return true;
}

std::optional<StoredValue> DefaultsDatabase::valueBefore(const std::string& suite, const std::string& key,
    const StoredValue* base, const StoredValue& previousLarge) const
{
    if (base) {
        return *base;
    }
    const auto resident = m_values.copyOf(suite, key);
    if (!resident) {
        // A row that does not decode is a value not known.
        return m_values.unreadableText(suite, key) ? std::nullopt : std::optional<StoredValue>(nullptr);
    }
    if (!resident->large) {
        return resident->held;
    }
    StoredValue held = resident->current();
    if (!held) {
        held = previousLarge;
    }
    return held ? std::optional(held) : std::nullopt;
}

std::vector<DefaultsDatabase::Heard> DefaultsDatabase::hearAll() const
{
    std::vector<Heard> heard;
    for (auto& entry : m_listeners.all()) {
        const auto resident = m_values.copyOf(entry->suite, entry->key);
        heard.push_back({ std::move(entry), resident ? resident->current() : nullptr });
    }
    return heard;
}

void DefaultsDatabase::tellHeard(std::vector<Heard>& heard, std::vector<Notice>& notices)
{
    for (auto& [entry, before] : heard) {
        if (!entry->active.load(std::memory_order_acquire)) {
            continue;
        }
        m_values.settle(entry->suite, &entry->key);
        const auto resident = m_values.copyOf(entry->suite, entry->key);
        Value after;
        if (resident) {
            after = resident->large ? resident->current() : resident->held;
        }
        if (!after && m_file && resident && resident->large) {
            // A large value that only the file holds now: read for the listeners, and lent to them.
            after = m_large.read(m_file.get(), entry->suite, entry->key).value;
            m_values.lendRead(entry->suite, entry->key, after);
        }
        const bool same = before == after || (before && after && *before == *after);
        if (!same) {
            notices.push_back({ entry, entry->key, before, after });
        }
    }
}

DefaultsDatabase::ListenerId DefaultsDatabase::addListener(
    const std::string& suite, const std::string& key, Listener listener)
{
    return m_listeners.add(suite, key, std::move(listener));
}

void DefaultsDatabase::removeListener(ListenerId id)
{
    m_listeners.remove(id);
}

} // namespace platform
