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
    wrote(suite, key);
    take(suite, key, std::move(text), notices);
    return true;
}

bool OutsideCommits::catchUpAll(DefaultsConnection& file, std::vector<Notice>& notices)
{
    look(file);
    if (m_allKnownAt == m_commits) {
        return true;
    }
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
    m_allKnownAt = m_commits;
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
        if (auto decoded = PropertyListJson::decode(*text)) {
            now = std::make_shared<const PropertyList>(std::move(*decoded));
        } else {
            // What does not read is kept as a row found so at open would be: it reads as unset, and
            // is copied aside before anything replaces it.
            sqlite::reportFailure(SQLITE_FORMAT,
                "The value of \"" + key + "\" of suite \"" + suite + "\" that another program wrote to "
                    + m_path + " could not be read; it reads as unset and is copied to a backup key "
                    + "before it is replaced.",
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
    const StoredValue before = resident ? (resident->held ? resident->held : resident->lent.lock()) : nullptr;
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
