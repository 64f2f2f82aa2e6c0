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

DefaultsPathFollower::DefaultsPathFollower(const std::string& path, int busyTimeoutMilliseconds)
    : m_path(path)
    , m_busyTimeout(busyTimeoutMilliseconds)
{
}

void DefaultsPathFollower::opened(const DefaultsConnection* file)
{
    // The file SQLite has open, by the name it resolved: a look at the path after the opening could
    // find a file renamed over it meanwhile, and take that one for the file open.
    m_identity = file ? DefaultsFileIdentity::of(file->fileName()) : DefaultsFileIdentity();
    m_ownWrites.clear();
}

DefaultsFileIdentity::AtPath DefaultsPathFollower::atPath(const DefaultsConnection* file) const
{
    if (!m_identity.isKnown()) {
        return DefaultsFileIdentity::AtPath::Same;
    }
    const auto atPath = m_identity.atPath(m_path);
    if (atPath != DefaultsFileIdentity::AtPath::Same || !file || !file->hasMoved()) {
        return atPath;
    }
    // The open descriptor's own file is no longer where SQLite opened it.
    return DefaultsFileIdentity::of(m_path).isKnown() ? DefaultsFileIdentity::AtPath::Other
                                                      : DefaultsFileIdentity::AtPath::Missing;
}

bool DefaultsPathFollower::pathNamesFile(const DefaultsConnection* file) const
{
    return atPath(file) == DefaultsFileIdentity::AtPath::Same;
}

void DefaultsPathFollower::leave(DefaultsConnection& file, const std::string& reason)
{
    // What the store wrote, as the file it leaves holds it: read while it is still open.
    auto writes = m_ownWrites.toJoin([&file](const std::string& suite, const std::string& key) {
        std::optional<std::string> text;
        return file.read(suite, key, text) == SQLITE_DONE ? text : std::nullopt;
    });
    m_toJoin.insert(
        m_toJoin.end(), std::make_move_iterator(writes.begin()), std::make_move_iterator(writes.end()));
    m_lost.store(true, std::memory_order_release);
    m_lostReason = "The settings database " + m_path + " " + reason + ".";
    log(LogLevel::Info, lcStore(),
        m_lostReason
            + " Kiruvo follows the file at that path and joins into it what it wrote since it read this "
              "one.");
}

std::optional<DefaultsFileOpening> DefaultsPathFollower::attemptAtPath(bool makeMissing)
{
    const std::string& path = m_path;
    const int busyTimeout = m_busyTimeout;
    const auto atPath = DefaultsFileIdentity::of(path);
    // A file that could not be used is not checked whole again (every second while a history
    // waits to be stored) until it changes.
    if ((!makeMissing && !atPath.isKnown()) || atPath.unchangedSince(m_unusable)) {
        return std::nullopt;
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
    return attempt;
}

void DefaultsPathFollower::couldNotOpen(const DefaultsFileOpening& attempt)
{
    const std::string& path = m_path;
    const std::string reason = "The settings database " + path + " could not be opened ("
        + (attempt.outcome == Outcome::Opened ? std::string("its statements could not be prepared")
                                              : attempt.message)
        + ").";
    if (reason != m_lostReason) {
        reportFailure(attempt.code,
            reason + " What Kiruvo stores meanwhile waits in " + path + ".pending until a file opens there.",
            path);
    }
    m_lostReason = reason;
    m_unusable = isBusy(attempt.code) ? DefaultsFileIdentity() : DefaultsFileIdentity::of(path);
}

bool DefaultsPathFollower::joinInto(DefaultsConnection& file, const ResidentValues& values,
    const StoredValueJoins& joins, std::vector<ResidentValues::Replayed>& replayed)
{
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
    if (!m_toJoin.empty() && !PendingReplay(file, values, joins, m_path).run(m_toJoin, replayed)) {
        m_lostReason = "The settings database " + m_path + " is held by another program.";
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
    return true;
}

void DefaultsPathFollower::carrySettings(const ResidentValues& values, const StoredValueJoins& joins)
{
    // A file made again holds nothing: the settings in use stay in use rather than falling back to
    // their defaults unseen (the time before a session stops, the reminders). Keys with a join (the
    // history, counts) take only what was added since, as below.
    for (const auto& settled : values.settledKeys()) {
        // Named, not bound: a lambda below captures them, which clang 14 refuses for bindings.
        const std::string& suite = settled.first;
        const std::string& key = settled.second;
        const auto resident = values.copyOf(suite, key);
        const bool own = std::any_of(m_toJoin.begin(), m_toJoin.end(),
            [&](const PendingJournal::Write& write) { return write.suite == suite && write.key == key; });
        if (own || joins.of(suite, key) || !resident || !resident->held) {
            continue;
        }
        if (auto text = PropertyListJson::encode(*resident->held)) {
            m_toJoin.push_back(
                { 0, suite, key, std::move(text), PendingJournal::Basis::Known, std::nullopt });
        }
    }
}

void DefaultsPathFollower::joined()
{
    m_toJoin.clear();
    m_unusable = DefaultsFileIdentity();
    m_lost.store(false, std::memory_order_release);
    m_lostReason.clear();
    log(LogLevel::Info, lcStore(),
        "Kiruvo now uses the settings database at " + m_path
            + ", with what it wrote since it last read the one before.");
}

void DefaultsPathFollower::wrote(const std::string& suite, const std::string& key,
    const std::optional<std::string>& stored, const std::optional<StoredValue>& before)
{
    m_ownWrites.wrote(suite, key, stored, before);
}

} // namespace platform
