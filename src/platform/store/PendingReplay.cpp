#include "platform/store/PendingReplay.h"

#include "platform/Logger.h"
#include "platform/store/DefaultsConnection.h"
#include "platform/store/DefaultsDatabase.h"
#include "platform/store/PropertyListJson.h"
#include "platform/store/StoredValueJoins.h"
#include "platform/store/UnreadableBackup.h"

#include <sqlite3.h>

namespace platform {

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

// Whether `text` is a list with nothing in it: a writer that read nothing more added all it wrote.
bool isEmpty(const std::string& text)
{
    const auto value = PropertyListJson::decode(text);
    const auto* array = value ? value->getIf<PropertyListArray>() : nullptr;
    return array && array->empty();
}

} // namespace

PendingReplay::PendingReplay(DefaultsConnection& file, const ResidentValues& values,
    const StoredValueJoins& joins, const std::string& path)
    : m_file(file)
    , m_values(values)
    , m_joins(joins)
    , m_path(path)
{
}

bool PendingReplay::run(
    const std::vector<PendingJournal::Write>& writes, std::vector<ResidentValues::Replayed>& replayed)
{
    int rc = m_file.exec("BEGIN IMMEDIATE");
    if (rc != SQLITE_OK) {
        return false;
    }
    std::string failure;
    rc = SQLITE_DONE;
    for (const auto& write : writes) {
        ResidentValues::Replayed done;
        done.suite = write.suite;
        done.key = write.key;
        if ((rc = apply(write, done, failure)) != SQLITE_DONE) {
            break;
        }
        replayed.push_back(std::move(done));
    }
    if (rc == SQLITE_DONE && (rc = m_file.exec("COMMIT")) == SQLITE_OK) {
        rc = SQLITE_DONE;
    } else if (rc == SQLITE_OK) {
        failure = m_file.message(rc);
    }
    if (rc != SQLITE_DONE) {
        m_file.exec("ROLLBACK");
        replayed.clear();
        if (!sqlite::isBusy(rc)) {
            sqlite::reportFailure(rc,
                "Writes kept while " + m_path + " was held could not be put into it yet: " + failure, m_path);
        }
        return false;
    }
    return true;
}

int PendingReplay::putOne(
    const PendingJournal::Write& write, ResidentValues::Replayed& done, std::string& failure)
{
    int rc = m_file.exec("BEGIN IMMEDIATE");
    if (rc != SQLITE_OK) {
        failure = m_file.message(rc);
        return rc;
    }
    done.suite = write.suite;
    done.key = write.key;
    rc = apply(write, done, failure);
    if (rc == SQLITE_DONE) {
        rc = m_file.exec("COMMIT");
        if (rc == SQLITE_OK) {
            return SQLITE_DONE;
        }
        failure = m_file.message(rc);
    }
    m_file.exec("ROLLBACK");
    return rc;
}

int PendingReplay::apply(
    const PendingJournal::Write& write, ResidentValues::Replayed& done, std::string& failure)
{
    const auto& [sequence, suite, key, written, basis, base] = write;
    std::optional<std::string> text = written;
    std::optional<std::string> stored;
    int rc = SQLITE_DONE;
    if (basis != PendingJournal::Basis::Unrecorded && (rc = m_file.read(suite, key, stored)) != SQLITE_DONE) {
        failure = m_file.message(rc);
        return rc;
    }
    const StoredValueJoin join = text ? m_joins.of(suite, key) : nullptr;
    bool blind = basis == PendingJournal::Basis::Blind;
    std::optional<PropertyList> storedValue = stored ? PropertyListJson::decode(*stored) : std::nullopt;
    if (basis == PendingJournal::Basis::Known && stored && !storedValue) {
        // Another program wrote what does not read: kept aside, as a write made blind keeps it.
        blind = true;
    } else if (basis == PendingJournal::Basis::Known && !stored && base && join && !isEmpty(*base)) {
        // The file lacks the key now (a folder made again, another program's removal): it takes what
        // the writer added to what it read, not what it read again.
        const auto writtenValue = PropertyListJson::decode(*text);
        const auto baseValue = PropertyListJson::decode(*base);
        const auto joined = writtenValue && baseValue
            ? StoredValueJoins::intoNothing(join, *writtenValue, *baseValue)
            : std::nullopt;
        if (auto joinedText = joined ? PropertyListJson::encode(*joined) : std::nullopt) {
            text = std::move(joinedText);
            done.changed = true;
            done.value = std::make_shared<const PropertyList>(std::move(*joined));
        }
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
        if (!joinedText && join && storedValue && writtenValue) {
            // What that program stored is not of the kind the key holds (a history that is not a
            // list): dropping the write would lose what it adds, and memory with it. The stored row
            // is kept aside and the write goes in.
            const std::string backup = m_values.freeBackupKey(suite, key);
            bool copied = false;
            if ((rc = m_file.copyRow(suite, key, backup, copied)) != SQLITE_DONE) {
                failure = "another program's value, which could not be joined with it, could not be kept "
                          "aside: "
                    + m_file.message(rc);
                return rc;
            }
            done.rowBackup = copied ? backup : std::string();
            done.unjoinable = true;
            return put(suite, key, text, done, failure);
        }
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
    if (blind && stored && (stored != text || join)
        && (rc = joinBlind(write, *stored, storedValue, join, text, done, failure)) != SQLITE_DONE) {
        return rc;
    }
    return put(suite, key, text, done, failure);
}

int PendingReplay::joinBlind(const PendingJournal::Write& write, const std::string& stored,
    const std::optional<PropertyList>& storedValue, const StoredValueJoin& join,
    std::optional<std::string>& text, ResidentValues::Replayed& done, std::string& failure)
{
    const auto& suite = write.suite;
    const auto& key = write.key;
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
    } else if (const auto unreadable = m_values.unreadableText(suite, key)) {
        done.backup
            = backUpUnreadable(m_file, m_values.freeBackupKey(suite, key), suite, *unreadable, failure);
        if (!done.backup) {
            return SQLITE_ABORT;
        }
    } else {
        const std::string backup = m_values.freeBackupKey(suite, key);
        bool copied = false;
        if (const int rc = m_file.copyRow(suite, key, backup, copied); rc != SQLITE_DONE) {
            failure = "its stored row, which could not be read, could not be copied: " + m_file.message(rc);
            return SQLITE_ABORT;
        }
        done.rowBackup = copied ? backup : std::string();
    }
    return SQLITE_DONE;
}

int PendingReplay::put(const std::string& suite, const std::string& key,
    const std::optional<std::string>& text, ResidentValues::Replayed& done, std::string& failure)
{
    const int rc = m_file.write(suite, key, text ? &*text : nullptr);
    if (rc != SQLITE_DONE) {
        failure = m_file.message(rc);
        return rc;
    }
    done.large = text && text->size() >= DefaultsDatabase::deferredDecodeSize;
    return SQLITE_DONE;
}

} // namespace platform
