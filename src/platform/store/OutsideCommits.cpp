#include "platform/store/OutsideCommits.h"

#include "platform/store/DefaultsConnection.h"
#include "platform/store/PendingReplay.h"
#include "platform/store/PropertyListJson.h"

#include <sqlite3.h>

#include <algorithm>
#include <functional>
#include <utility>

namespace platform {

OutsideCommits::OutsideCommits(ResidentValues& values, const DefaultsListeners& listeners,
    const StoredValueJoins& joins, const std::string& path, std::size_t largeSize)
    : m_values(values)
    , m_listeners(listeners)
    , m_joins(joins)
    , m_path(path)
    , m_largeSize(largeSize)
{
}

void OutsideCommits::adopt(std::optional<std::int64_t> changeVersion, std::int64_t schemaVersion)
{
    m_counted = changeVersion;
    m_schema = schemaVersion;
    m_versions.clear();
}

void OutsideCommits::look(DefaultsConnection& file)
{
    if (file.changedElsewhere()) {
        ++m_commits;
    }
}

std::uint64_t OutsideCommits::knownAt(const std::string& suite, const std::string& key)
{
    return std::max(m_knownAt[suite][key], m_allKnownAt);
}

bool OutsideCommits::mayHaveChanged(
    DefaultsConnection& file, const std::string& suite, const std::string& key)
{
    // Another program's commit may be to any key: every key asked about is looked at again.
    look(file);
    return knownAt(suite, key) != m_commits;
}

void OutsideCommits::know(const std::string& suite, const std::string& key)
{
    m_knownAt[suite][key] = m_commits;
}

void OutsideCommits::wrote(const std::string& suite, const std::string& key)
{
    if (auto it = m_digests.find(suite); it != m_digests.end()) {
        it->second.erase(key);
    }
}

void OutsideCommits::restart()
{
    m_knownAt.clear();
    m_digests.clear();
    m_allKnownAt = m_commits;
}

int OutsideCommits::putOverBase(DefaultsConnection& file, const std::string& suite, const std::string& key,
    const std::string& text, const StoredValue& base, std::vector<ResidentValues::Replayed>& replayed,
    std::string& failure)
{
    // Counted for the keys written without a base; this one is compared in the file itself.
    look(file);
    PendingJournal::Write write { 0, suite, key, text, PendingJournal::Basis::Known,
        base ? PropertyListJson::encode(*base) : std::nullopt };
    if (base && !write.base) {
        write.basis = PendingJournal::Basis::Blind;
    }
    ResidentValues::Replayed done;
    const int rc = PendingReplay(file, m_values, m_joins, m_path).putOne(write, done, failure);
    if (rc == SQLITE_DONE) {
        replayed.push_back(std::move(done));
    }
    return rc;
}

bool OutsideCommits::catchUp(
    DefaultsConnection& file, const std::string& suite, const std::string& key, std::vector<Notice>& notices)
{
    look(file);
    if (knownAt(suite, key) == m_commits) {
        return true;
    }
    std::optional<std::int64_t> version;
    if (m_counted) {
        std::int64_t latest = 0;
        switch (countsHold(file, latest)) {
        case Counted::Failed:
            return false;
        case Counted::Unknown:
            break;
        case Counted::Done:
            if (file.changeOf(suite, key, version.emplace()) != SQLITE_OK) {
                return false;
            }
            // Another program's commit was to other rows: this one is as memory has it.
            if (*version <= std::max(*m_counted, m_versions[suite][key])) {
                know(suite, key);
                return true;
            }
        }
    }
    std::optional<std::string> text;
    const int rc = file.read(suite, key, text);
    file.releaseMemory();
    // Held by another program for the moment: looked at again at the next question.
    if (rc != SQLITE_DONE) {
        return false;
    }
    know(suite, key);
    wrote(suite, key);
    if (version) {
        m_versions[suite][key] = *version;
    }
    take(suite, key, std::move(text), notices);
    return true;
}

OutsideCommits::Counted OutsideCommits::countsHold(DefaultsConnection& file, std::int64_t& latest)
{
    std::int64_t schema = 0;
    if (file.schemaVersion(schema) != SQLITE_OK) {
        return Counted::Failed;
    }
    // The table or the triggers may have been dropped or made again.
    if (schema != m_schema) {
        return Counted::Unknown;
    }
    if (file.latestChange(latest) != SQLITE_OK) {
        return Counted::Failed;
    }
    // Versions taken away (rows of the table deleted): they may be given again.
    return latest < *m_counted ? Counted::Unknown : Counted::Done;
}

OutsideCommits::Counted OutsideCommits::catchUpCounted(DefaultsConnection& file, std::vector<Notice>& notices)
{
    std::int64_t latest = 0;
    if (const Counted holds = countsHold(file, latest); holds != Counted::Done) {
        return holds;
    }
    // Read after the greatest version: a commit meanwhile leaves rows newer than it, read again
    // by the next call.
    std::vector<DefaultsConnection::Change> changes;
    if (file.changedSince(*m_counted, changes) != SQLITE_OK) {
        return Counted::Failed;
    }
    // Rows catchUp() read alone since they changed are as memory has them.
    std::erase_if(changes, [this](const DefaultsConnection::Change& change) {
        const auto known = m_versions.find(change.suite);
        if (known == m_versions.end()) {
            return false;
        }
        const auto it = known->second.find(change.key);
        return it != known->second.end() && it->second >= change.version;
    });
    // Every row read before any is taken, so that a failed read leaves memory and its listeners as
    // they were.
    std::vector<std::optional<std::string>> texts;
    for (const auto& change : changes) {
        if (file.read(change.suite, change.key, texts.emplace_back()) != SQLITE_DONE) {
            file.releaseMemory();
            return Counted::Failed;
        }
    }
    file.releaseMemory();
    for (std::size_t index = 0; index < changes.size(); ++index) {
        wrote(changes[index].suite, changes[index].key);
        take(changes[index].suite, changes[index].key, std::move(texts[index]), notices);
    }
    m_counted = std::max(latest, *m_counted);
    return Counted::Done;
}

bool OutsideCommits::catchUpAll(DefaultsConnection& file, std::vector<Notice>& notices)
{
    look(file);
    if (m_allKnownAt == m_commits) {
        return true;
    }
    const Counted counted = m_counted ? catchUpCounted(file, notices) : Counted::Unknown;
    if (counted == Counted::Failed || (counted == Counted::Unknown && !catchUpEveryRow(file, notices))) {
        return false;
    }
    m_allKnownAt = m_commits;
    return true;
}

bool OutsideCommits::catchUpEveryRow(DefaultsConnection& file, std::vector<Notice>& notices)
{
    // The counting made anew where another program dropped its table or triggers, and its greatest
    // version read before the rows.
    std::int64_t schema = 0;
    std::int64_t latest = 0;
    const bool counting = file.countChanges() == SQLITE_OK && file.schemaVersion(schema) == SQLITE_OK
        && file.latestChange(latest) == SQLITE_OK;
    std::vector<DefaultsConnection::Row> rows;
    const int rc = file.readAll(rows);
    file.releaseMemory();
    if (rc != SQLITE_DONE) {
        return false;
    }
    const auto inMemory = m_values.settledKeys();
    std::unordered_map<std::string, std::unordered_map<std::string, std::size_t>> digests;
    for (auto& row : rows) {
        const std::size_t digest = std::hash<std::string> {}(row.text);
        digests[row.suite][row.key] = digest;
        const auto suiteIt = m_digests.find(row.suite);
        if (suiteIt != m_digests.end()) {
            if (const auto it = suiteIt->second.find(row.key);
                it != suiteIt->second.end() && it->second == digest) {
                continue;
            }
        }
        take(row.suite, row.key, std::move(row.text), notices);
    }
    for (const auto& [suite, key] : inMemory) {
        if (const auto it = digests.find(suite); it == digests.end() || !it->second.contains(key)) {
            take(suite, key, std::nullopt, notices);
        }
    }
    m_digests = std::move(digests);
    m_counted = counting ? std::optional(latest) : std::nullopt;
    m_schema = schema;
    m_versions.clear();
    return true;
}

void OutsideCommits::take(const std::string& suite, const std::string& key, std::optional<std::string> text,
    std::vector<Notice>& notices)
{
    const auto unreadable = m_values.unreadableText(suite, key);
    if (unreadable && text == unreadable) {
        return;
    }
    StoredValue now;
    bool unreadableNow = false;
    if (text) {
        std::string error;
        if (auto decoded = PropertyListJson::decode(*text, &error)) {
            now = std::make_shared<const PropertyList>(std::move(*decoded));
        } else {
            // What does not decode is kept as a row found so at open would be, and copied aside
            // before anything replaces it; its reader may make something of it.
            sqlite::reportFailure(SQLITE_FORMAT,
                "The value of \"" + key + "\" of suite \"" + suite + "\" that another program wrote to "
                    + m_path + m_values.unreadableReport(suite, key, error),
                m_path);
            m_values.keepUnreadable(suite, key, std::move(*text));
            text.reset();
            unreadableNow = true;
        }
    }
    // Another program has replaced (or removed) what did not read: the file no longer holds it.
    if (unreadable && !unreadableNow) {
        m_values.dropUnreadable(suite, key);
    }
    const auto resident = m_values.copyOf(suite, key);
    const StoredValue before = resident ? resident->current() : nullptr;
    // A large value nobody holds cannot be compared: its listeners hear it again.
    const bool unknown = resident && resident->large && !before;
    if (!unknown && (before == now || (before && now && *before == *now))) {
        return;
    }
    const bool large = text && text->size() >= m_largeSize;
    m_values.replace(suite, key, now, large, before, std::nullopt);
    for (auto& entry : m_listeners.of(suite, key)) {
        notices.push_back({ std::move(entry), key, before, now });
    }
}

} // namespace platform
