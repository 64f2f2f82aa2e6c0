#include "platform/store/DefaultsPathFollower.h"

#include "platform/Logger.h"
#include "platform/store/DefaultsConnection.h"
#include "platform/store/DefaultsDatabase.h"
#include "platform/store/DefaultsFileOpening.h"
#include "platform/store/PendingReplay.h"
#include "platform/store/PropertyListJson.h"
#include "platform/store/SqliteSupport.h"
#include "platform/store/StoredValueJoins.h"

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <thread>

namespace platform {

namespace {

using sqlite::isBusy;
using sqlite::moveAside;
using sqlite::reportFailure;
using Outcome = DefaultsFileOpening::Outcome;

// Whether a -wal, -shm or -journal lies beside the file that `path` names (through every link).
bool companionsBeside(const std::string& path)
{
    const auto identity = DefaultsFileIdentity::of(path);
    const std::string real = identity.isKnown() ? identity.realPath() : path;
    std::error_code error;
    for (const char* suffix : { "-wal", "-shm", "-journal" }) {
        if (std::filesystem::exists(real + suffix, error)) {
            return true;
        }
    }
    return false;
}

} // namespace

DefaultsPathFollower::DefaultsPathFollower(DefaultsDatabase& store)
    : m_store(store)
{
}

void DefaultsPathFollower::opened(bool atPath)
{
    // The file SQLite has open, by the name it resolved: a look at the path after the opening could
    // find a file renamed over it meanwhile, and take that one for the file open.
    m_identity = atPath ? DefaultsFileIdentity::of(m_store.m_file->fileName()) : DefaultsFileIdentity();
    m_ownWrites.clear();
}

DefaultsFileIdentity::AtPath DefaultsPathFollower::atPath() const
{
    if (!m_identity.isKnown()) {
        return DefaultsFileIdentity::AtPath::Same;
    }
    const auto atPath = m_identity.atPath(m_store.m_requestedPath);
    if (atPath != DefaultsFileIdentity::AtPath::Same || !m_store.m_file || !m_store.m_file->hasMoved()) {
        return atPath;
    }
    // The open descriptor's own file is no longer where SQLite opened it.
    return DefaultsFileIdentity::of(m_store.m_requestedPath).isKnown()
        ? DefaultsFileIdentity::AtPath::Other
        : DefaultsFileIdentity::AtPath::Missing;
}

bool DefaultsPathFollower::pathNamesFile() const
{
    return atPath() == DefaultsFileIdentity::AtPath::Same;
}

bool DefaultsPathFollower::follow(std::vector<Notice>& notices, bool makeMissing, bool& reopened)
{
    reopened = false;
    if (m_store.m_closed || m_store.m_waiting) {
        return false;
    }
    if (m_store.m_file) {
        const auto now = atPath();
        if (now == DefaultsFileIdentity::AtPath::Same) {
            return true;
        }
        leave(now == DefaultsFileIdentity::AtPath::Missing
                ? "was deleted while Kiruvo had it open"
                : "was replaced by another file while Kiruvo had it open");
    } else if (!m_lost) {
        return false;
    }
    reopened = openInPlace(notices, makeMissing);
    return reopened;
}

void DefaultsPathFollower::leave(const std::string& reason)
{
    // What the store wrote, as the file it leaves holds it: read while it is still open.
    auto& file = *m_store.m_file;
    auto writes = m_ownWrites.toJoin([&file](const std::string& suite, const std::string& key) {
        std::optional<std::string> text;
        return file.read(suite, key, text) == SQLITE_DONE ? text : std::nullopt;
    });
    m_toJoin.insert(
        m_toJoin.end(), std::make_move_iterator(writes.begin()), std::make_move_iterator(writes.end()));
    m_store.holdLargeValues();
    // Nothing more goes into the old file, not even a checkpoint: its companions, if it has any,
    // lie under names that are another file's now.
    m_store.closeFile();
    m_lost.store(true, std::memory_order_release);
    m_lostReason = "The settings database " + m_store.m_requestedPath + " " + reason + ".";
    log(LogLevel::Info, lcStore(),
        m_lostReason
            + " Kiruvo follows the file at that path and joins into it what it wrote since it read this "
              "one.");
}

bool DefaultsPathFollower::openInPlace(std::vector<Notice>& notices, bool makeMissing)
{
    const std::string& path = m_store.m_requestedPath;
    const int busyTimeout = m_store.m_operationBusyTimeout;
    const auto atPath = DefaultsFileIdentity::of(path);
    // A file that could not be used is not checked whole again (every second while a history
    // waits to be stored) until it changes.
    if ((!makeMissing && !atPath.isKnown()) || atPath.unchangedSince(m_unusable)) {
        return false;
    }
    // A log its program left when it ended is moved aside when it cannot be this file's.
    if (atPath.isKnown()) {
        sqlite::settleLogBeside(atPath.realPath());
    }
    // Another program's transaction on the old file lasts milliseconds; one that keeps its log at
    // the path longer is waited for at the next write.
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(5 * busyTimeout);
    bool companions = companionsBeside(path);
    while (companions && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        companions = companionsBeside(path);
    }
    DefaultsFileOpening attempt;
    if (companions) {
        attempt.outcome = Outcome::Unavailable;
        attempt.code = SQLITE_BUSY;
        attempt.message = "another program's log lies beside it, which may be another file's";
    } else {
        attempt = DefaultsFileOpening::open(path, busyTimeout, DefaultsDatabase::deferredDecodeSize);
    }
    if (attempt.outcome == Outcome::Damaged && companionsBeside(path)) {
        // The check may have read another file's log: nothing is set aside on its word.
        attempt.db.reset();
        attempt.outcome = Outcome::Unavailable;
        attempt.code = SQLITE_BUSY;
    } else if (attempt.outcome == Outcome::Damaged) {
        attempt.db.reset();
        std::string moveError;
        if (auto target = moveAside(path, moveError)) {
            reportFailure(attempt.code,
                "The file put in the place of the settings database " + path + " could not be used ("
                    + attempt.message + "); it was moved to " + *target + ".",
                path);
            attempt = DefaultsFileOpening::open(path, busyTimeout, DefaultsDatabase::deferredDecodeSize);
        } else {
            attempt.outcome = Outcome::Unavailable;
            attempt.message += "; moving it aside failed: " + moveError;
        }
    }
    auto heard = m_store.hearAll();
    const bool madeAgain = attempt.outcome == Outcome::Opened && attempt.values.empty()
        && attempt.unreadable.empty() && attempt.deferred.empty();
    if (madeAgain) {
        carrySettings();
    }
    if (attempt.outcome != Outcome::Opened || !m_store.adopt(attempt, true)) {
        const std::string reason = "The settings database " + path + " could not be opened ("
            + (attempt.outcome == Outcome::Opened ? std::string("its statements could not be prepared")
                                                  : attempt.message)
            + ").";
        if (reason != m_lostReason) {
            reportFailure(attempt.code,
                reason + " Settings and sessions are kept in memory, and nothing is stored until it opens.",
                path);
        }
        m_lostReason = reason;
        m_unusable = isBusy(attempt.code) ? DefaultsFileIdentity() : DefaultsFileIdentity::of(path);
        return false;
    }
    auto& values = m_store.m_values;
    auto& joins = m_store.m_joins;
    m_store.overlayPending();
    // What the new file holds already (a copy made after this store's writes) needs no joining.
    std::erase_if(m_toJoin, [&values](const PendingJournal::Write& write) {
        values.settle(write.suite, &write.key);
        const auto resident = values.copyOf(write.suite, write.key);
        if (!write.text || !resident || !resident->held) {
            return !write.text && !resident && !values.unreadableText(write.suite, write.key);
        }
        const auto written = PropertyListJson::decode(*write.text);
        return written && *written == *resident->held;
    });
    std::vector<ResidentValues::Replayed> replayed;
    if (!m_toJoin.empty()
        && !PendingReplay(*m_store.m_file, values, joins, m_store.m_path).run(m_toJoin, replayed)) {
        // Another program holds the new file: the joining is tried again once it lets go, and
        // meanwhile its values are read.
        m_store.holdLargeValues();
        m_store.closeFile();
        m_lostReason = "The settings database " + path + " is held by another program.";
        m_store.tellHeard(heard, notices);
        return false;
    }
    // Memory holds the new file's values: each write joined into it is taken as the file has it
    // now, and is this store's own in that file from here on.
    for (std::size_t i = 0; i < replayed.size() && i < m_toJoin.size(); ++i) {
        auto& done = replayed[i];
        const auto resident = values.copyOf(done.suite, done.key);
        const std::optional<StoredValue> before = !resident ? std::optional<StoredValue>(nullptr)
            : resident->large                               ? std::nullopt
                                                            : std::optional(resident->held);
        if (!done.changed) {
            auto decoded = m_toJoin[i].text ? PropertyListJson::decode(*m_toJoin[i].text) : std::nullopt;
            done.changed = true;
            done.value = decoded ? std::make_shared<const PropertyList>(std::move(*decoded)) : nullptr;
            m_ownWrites.wrote(done.suite, done.key, m_toJoin[i].text, before);
        } else {
            m_ownWrites.wrote(done.suite, done.key,
                done.value ? PropertyListJson::encode(*done.value) : std::nullopt, before);
        }
    }
    std::vector<Notice> joined;
    m_store.takeReplayed(replayed, joined);
    m_toJoin.clear();
    m_unusable = DefaultsFileIdentity();
    m_lost.store(false, std::memory_order_release);
    m_lostReason.clear();
    log(LogLevel::Info, lcStore(),
        "Kiruvo now uses the settings database at " + path
            + ", with what it wrote since it last read the one before.");
    m_store.tellHeard(heard, notices);
    return true;
}

void DefaultsPathFollower::carrySettings()
{
    // A file made again holds nothing: the settings in use stay in use rather than falling back to
    // their defaults unseen (the time before a session stops, the reminders). Keys with a join (the
    // history, counts) take only what was added since, as below.
    for (const auto& [suite, key] : m_store.m_values.settledKeys()) {
        const auto resident = m_store.m_values.copyOf(suite, key);
        const bool own = std::any_of(m_toJoin.begin(), m_toJoin.end(),
            [&](const PendingJournal::Write& write) { return write.suite == suite && write.key == key; });
        if (own || m_store.m_joins.of(suite, key) || !resident || !resident->held) {
            continue;
        }
        if (auto text = PropertyListJson::encode(*resident->held)) {
            m_toJoin.push_back(
                { 0, suite, key, std::move(text), PendingJournal::Basis::Known, std::nullopt });
        }
    }
}

bool DefaultsPathFollower::openWaiting(std::vector<Notice>& notices)
{
    DefaultsFileOpening attempt = DefaultsFileOpening::open(
        m_store.m_requestedPath, m_store.m_operationBusyTimeout, DefaultsDatabase::deferredDecodeSize);
    if (attempt.outcome == Outcome::Unavailable && isBusy(attempt.code)) {
        return false;
    }
    auto heard = m_store.hearAll();
    m_store.m_waiting.store(false, std::memory_order_release);
    if (attempt.outcome == Outcome::Opened) {
        m_store.m_file.reset();
        m_store.adopt(attempt, true);
        log(LogLevel::Info, lcStore(),
            "The settings database " + m_store.m_requestedPath + " is free and open now.");
    } else {
        m_store.m_unavailableReason = "The settings database " + m_store.m_requestedPath
            + " could not be opened (" + attempt.message + ").";
        reportFailure(attempt.code, m_store.m_unavailableReason + " Settings are kept in memory only.",
            m_store.m_requestedPath);
        DefaultsFileOpening fallback = DefaultsFileOpening::open(DefaultsDatabase::memoryPath,
            m_store.m_operationBusyTimeout, DefaultsDatabase::deferredDecodeSize);
        if (fallback.outcome == Outcome::Opened) {
            // The values written meanwhile stay; the memory database takes them below.
            int rc = SQLITE_OK;
            if (auto file = DefaultsConnection::take(fallback.db, m_store.m_operationBusyTimeout, rc)) {
                m_store.m_file = std::move(file);
                m_store.m_values.keepOnlyValues();
            }
        }
    }
    // Readers go on seeing what was written meanwhile, whether or not the file takes it now.
    m_store.overlayPending();
    std::vector<Notice> joined;
    m_store.flushPending(joined);
    m_store.tellHeard(heard, notices);
    return true;
}

void DefaultsPathFollower::wrote(const std::string& suite, const std::string& key,
    const std::optional<std::string>& stored, const std::optional<StoredValue>& before)
{
    m_ownWrites.wrote(suite, key, stored, before);
}

std::optional<StoredValue> DefaultsPathFollower::valueBefore(const std::string& suite, const std::string& key,
    const StoredValue* base, const StoredValue& previousLarge) const
{
    if (base) {
        return *base;
    }
    const auto resident = m_store.m_values.copyOf(suite, key);
    if (!resident) {
        // A row that does not decode is a value not known.
        return m_store.m_values.unreadableText(suite, key) ? std::nullopt
                                                           : std::optional<StoredValue>(nullptr);
    }
    if (!resident->large) {
        return resident->held;
    }
    StoredValue held = resident->held ? resident->held : resident->lent.lock();
    if (!held) {
        held = previousLarge;
    }
    return held ? std::optional(held) : std::nullopt;
}

} // namespace platform
