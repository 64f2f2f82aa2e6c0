#include "platform/store/OutsideCommits.h"

#include "platform/store/DefaultsConnection.h"
#include "platform/store/PendingReplay.h"
#include "platform/store/PropertyListJson.h"

#include <sqlite3.h>

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

bool OutsideCommits::mayHaveChanged(
    DefaultsConnection& file, const std::string& suite, const std::string& key)
{
    // Another program's commit may be to any key: every key asked about is looked at again.
    look(file);
    return m_knownAt[suite][key] != m_commits;
}

void OutsideCommits::know(const std::string& suite, const std::string& key)
{
    m_knownAt[suite][key] = m_commits;
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

void OutsideCommits::catchUp(
    DefaultsConnection& file, const std::string& suite, const std::string& key, std::vector<Notice>& notices)
{
    look(file);
    auto& knownAt = m_knownAt[suite][key];
    if (knownAt == m_commits || m_values.unreadableText(suite, key)) {
        return;
    }
    std::optional<std::string> text;
    const int rc = file.read(suite, key, text);
    file.releaseMemory();
    // Held by another program for the moment: looked at again at the next question.
    if (rc != SQLITE_DONE) {
        return;
    }
    StoredValue now;
    if (text) {
        auto decoded = PropertyListJson::decode(*text);
        if (!decoded) {
            // What does not read is kept as a row found so at open would be, and copied aside
            // before anything replaces it.
            sqlite::reportFailure(SQLITE_FORMAT,
                "The value of \"" + key + "\" of suite \"" + suite + "\" that another program wrote to "
                    + m_path + " could not be read; it reads as unset and is copied to a backup key "
                    + "before it is replaced.",
                m_path);
            m_values.keepUnreadable(suite, key, std::move(*text));
            knownAt = m_commits;
            return;
        }
        now = std::make_shared<const PropertyList>(std::move(*decoded));
    }
    knownAt = m_commits;
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
