#include "platform/store/OutsideCommits.h"

#include "platform/store/DefaultsConnection.h"
#include "platform/store/PendingReplay.h"
#include "platform/store/PropertyListJson.h"

#include <sqlite3.h>

#include <algorithm>
#include <functional>
#include <unordered_set>
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
    std::optional<std::string> text;
    const int rc = file.read(suite, key, text);
    file.releaseMemory();
    // Held by another program for the moment: looked at again at the next question.
    if (rc != SQLITE_DONE) {
        return false;
    }
    know(suite, key);
    takeIfChanged(suite, key, std::move(text), notices);
    return true;
}

bool OutsideCommits::catchUpAll(DefaultsConnection& file, std::vector<Notice>& notices)
{
    look(file);
    if (m_allKnownAt == m_commits) {
        return true;
    }
    const auto inMemory = m_values.settledKeys();
    std::vector<DefaultsConnection::Row> rows;
    // A key a reader's question read since the commit is not read twice.
    const auto known = [this](const std::string& suite, const std::string& key) {
        return knownAt(suite, key) == m_commits;
    };
    const int rc = file.readAll(rows, [&](const std::string& suite, const std::string& key) {
        // A large value nobody holds or listens to: a reader of it reads the file anyway.
        const auto resident = m_values.copyOf(suite, key);
        return known(suite, key)
            || (resident && resident->large && resident->lent.expired()
                && m_listeners.of(suite, key).empty());
    });
    file.releaseMemory();
    if (rc != SQLITE_DONE) {
        return false;
    }
    std::unordered_map<std::string, std::unordered_set<std::string>> inFile;
    for (auto& row : rows) {
        inFile[row.suite].insert(row.key);
        if (row.text) {
            takeIfChanged(row.suite, row.key, std::move(row.text), notices);
        } else if (!known(row.suite, row.key)) {
            // Not read: a reader that takes it later reads it from the file.
            m_values.release(row.suite, row.key);
            wrote(row.suite, row.key);
        }
    }
    for (const auto& [suite, key] : inMemory) {
        if (const auto it = inFile.find(suite); it == inFile.end() || !it->second.contains(key)) {
            takeIfChanged(suite, key, std::nullopt, notices);
        }
    }
    m_allKnownAt = m_commits;
    return true;
}

void OutsideCommits::takeIfChanged(const std::string& suite, const std::string& key,
    std::optional<std::string> text, std::vector<Notice>& notices)
{
    // A row gone is told apart from every text's digest by having none.
    std::optional<std::size_t> digest;
    if (text) {
        digest = std::hash<std::string> {}(*text);
    }
    auto& digests = m_digests[suite];
    const auto known = digests.find(key);
    if (known != digests.end() && digest == known->second) {
        return;
    }
    if (digest) {
        digests[key] = *digest;
    } else {
        digests.erase(key);
    }
    take(suite, key, std::move(text), notices);
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
