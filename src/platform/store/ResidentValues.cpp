#include "platform/store/ResidentValues.h"

#include "platform/store/PropertyListJson.h"
#include "platform/store/SqliteSupport.h"
#include "platform/store/UnreadableBackup.h"

#include <sqlite3.h>

#include <ctime>
#include <mutex>

namespace platform {

// A row decoded when first read. The first thread decodes it; another that reads it meanwhile
// waits for that decode.
struct ResidentValues::Deferred {
    std::once_flag decoded;
    std::string text;
    // Set by the decode when the text reads; otherwise `error` says why it does not.
    StoredValue value;
    std::string error;
};

ResidentValues::ResidentValues(const std::string& path)
    : m_path(path)
{
}

void ResidentValues::adopt(
    BySuite<StoredValue> values, BySuite<std::string> unreadable, BySuite<std::string> deferred)
{
    std::unique_lock lock(m_mutex);
    m_values.clear();
    for (auto& [suite, suiteValues] : values) {
        auto& residents = m_values[suite];
        for (auto& [key, value] : suiteValues) {
            residents[key] = Resident { std::move(value), {}, false };
        }
    }
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
}

void ResidentValues::keepOnlyValues()
{
    std::unique_lock lock(m_mutex);
    m_unreadable.clear();
    m_deferred.clear();
    m_hasDeferred.store(false, std::memory_order_release);
}

void ResidentValues::settle(const std::string& suite, const std::string* key) const
{
    if (!m_hasDeferred.load(std::memory_order_acquire)) {
        return;
    }
    std::vector<std::pair<std::string, std::shared_ptr<Deferred>>> found;
    {
        std::shared_lock lock(m_mutex);
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
            std::unique_lock lock(m_mutex);
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
                m_values[suite].insert_or_assign(name, Resident { entry->value, {}, true });
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
            sqlite::reportFailure(SQLITE_FORMAT,
                "The stored value of \"" + name + "\" of suite \"" + suite + "\" in " + m_path
                    + unreadableReport(suite, name, entry->error),
                m_path);
        }
    }
}

void ResidentValues::setReadsOtherForms(const std::string& suite, const std::string& key)
{
    std::unique_lock lock(m_mutex);
    m_readsOtherForms[suite][key] = true;
}

std::string ResidentValues::unreadableReport(
    const std::string& suite, const std::string& key, const std::string& error, bool again) const
{
    bool readsOtherForms = false;
    {
        std::shared_lock lock(m_mutex);
        const auto it = m_readsOtherForms.find(suite);
        readsOtherForms = it != m_readsOtherForms.end() && it->second.contains(key);
    }
    const std::string detail = error.empty() ? std::string() : " (" + error + ")";
    if (readsOtherForms) {
        return " is not in the form Kiruvo stores values in" + detail
            + "; its reader takes what it can of it, and it is copied to a backup key before it is replaced.";
    }
    return std::string(again ? " could not be read again" : " could not be read") + detail
        + "; it reads as unset and is copied to a backup key before it is replaced.";
}

ResidentValues::Resident* ResidentValues::residentOf(const std::string& suite, const std::string& key) const
{
    const auto suiteIt = m_values.find(suite);
    if (suiteIt == m_values.end()) {
        return nullptr;
    }
    const auto it = suiteIt->second.find(key);
    return it == suiteIt->second.end() ? nullptr : &it->second;
}

std::vector<std::pair<std::string, std::string>> ResidentValues::settledKeys() const
{
    std::vector<std::string> suites;
    {
        std::shared_lock lock(m_mutex);
        for (const auto& entry : m_deferred) {
            suites.push_back(entry.first);
        }
    }
    for (const auto& suite : suites) {
        settle(suite, nullptr);
    }
    std::vector<std::pair<std::string, std::string>> keys;
    std::shared_lock lock(m_mutex);
    for (const auto& [suite, residents] : m_values) {
        for (const auto& entry : residents) {
            keys.emplace_back(suite, entry.first);
        }
    }
    for (const auto& [suite, texts] : m_unreadable) {
        for (const auto& entry : texts) {
            keys.emplace_back(suite, entry.first);
        }
    }
    return keys;
}

ResidentValues::Found ResidentValues::find(const std::string& suite, const std::string& key) const
{
    std::shared_lock lock(m_mutex);
    const Resident* resident = residentOf(suite, key);
    if (!resident) {
        return {};
    }
    return { true, resident->large, resident->large ? resident->lent.lock() : resident->held };
}

std::optional<ResidentValues::Resident> ResidentValues::copyOf(
    const std::string& suite, const std::string& key) const
{
    std::shared_lock lock(m_mutex);
    const Resident* resident = residentOf(suite, key);
    return resident ? std::optional(*resident) : std::nullopt;
}

std::vector<std::pair<std::string, StoredValue>> ResidentValues::valuesOf(
    const std::string& suite, std::vector<std::string>& notHeld) const
{
    std::vector<std::pair<std::string, StoredValue>> result;
    std::shared_lock lock(m_mutex);
    auto suiteIt = m_values.find(suite);
    if (suiteIt == m_values.end()) {
        return {};
    }
    for (const auto& [key, resident] : suiteIt->second) {
        if (StoredValue value = resident.large ? resident.lent.lock() : resident.held) {
            result.emplace_back(key, std::move(value));
        } else {
            notHeld.push_back(key);
        }
    }
    return result;
}

std::optional<std::string> ResidentValues::unreadableText(
    const std::string& suite, const std::string& key) const
{
    settle(suite, &key);
    std::shared_lock lock(m_mutex);
    auto suiteIt = m_unreadable.find(suite);
    if (suiteIt == m_unreadable.end()) {
        return std::nullopt;
    }
    auto it = suiteIt->second.find(key);
    return it == suiteIt->second.end() ? std::nullopt : std::optional(it->second);
}

bool ResidentValues::isStoredButUnread(const std::string& suite, const std::string& key, bool otherwise) const
{
    std::shared_lock lock(m_mutex);
    const Resident* resident = residentOf(suite, key);
    return resident ? resident->unread : otherwise;
}

std::string ResidentValues::freeBackupKey(const std::string& suite, const std::string& key) const
{
    std::shared_lock lock(m_mutex);
    const auto values = m_values.find(suite);
    const auto texts = m_unreadable.find(suite);
    const auto deferred = m_deferred.find(suite);
    return unreadableBackupKey(
        key, static_cast<std::int64_t>(std::time(nullptr)), [&](const std::string& name) {
            return (values != m_values.end() && values->second.contains(name))
                || (texts != m_unreadable.end() && texts->second.contains(name))
                || (deferred != m_deferred.end() && deferred->second.contains(name));
        });
}

ResidentValues::Lending ResidentValues::lend(const std::string& suite, const std::string& key, bool fileOpen)
{
    std::unique_lock lock(m_mutex);
    Resident* resident = residentOf(suite, key);
    if (!resident) {
        return { true, nullptr };
    }
    if (!resident->large) {
        return { true, resident->held };
    }
    if (auto lent = resident->lent.lock()) {
        return { true, std::move(lent) };
    }
    if (!resident->held) {
        return {};
    }
    if (!fileOpen) {
        return { true, resident->held };
    }
    // The first reader takes it: from now on the value lives as long as readers hold it.
    StoredValue taken = std::move(resident->held);
    resident->held = nullptr;
    resident->lent = taken;
    return { true, std::move(taken) };
}

void ResidentValues::tookRead(const std::string& suite, const std::string& key, const StoredValue& value)
{
    std::unique_lock lock(m_mutex);
    if (Resident* resident = residentOf(suite, key)) {
        if (value) {
            resident->lent = value;
            resident->unread = false;
        } else {
            m_values[suite].erase(key);
        }
    }
}

void ResidentValues::lendRead(const std::string& suite, const std::string& key, const StoredValue& value)
{
    std::unique_lock lock(m_mutex);
    if (Resident* resident = residentOf(suite, key); resident && value) {
        resident->lent = value;
    }
}

void ResidentValues::release(const std::string& suite, const std::string& key)
{
    std::unique_lock lock(m_mutex);
    if (Resident* resident = residentOf(suite, key); resident && resident->large) {
        resident->held.reset();
    }
}

void ResidentValues::holdRead(const std::string& suite, const std::string& key, StoredValue value)
{
    std::unique_lock lock(m_mutex);
    if (value) {
        m_values[suite][key].held = std::move(value);
    } else {
        m_values[suite].erase(key);
    }
}

std::vector<std::pair<std::string, std::string>> ResidentValues::holdLargeValues()
{
    std::vector<std::pair<std::string, std::string>> notHeld;
    std::unique_lock lock(m_mutex);
    for (auto& [suite, suiteValues] : m_values) {
        for (auto& [key, resident] : suiteValues) {
            if (resident.large && !resident.held && !(resident.held = resident.lent.lock())) {
                notHeld.emplace_back(suite, key);
            }
        }
    }
    return notHeld;
}

bool ResidentValues::markUnread(const std::string& suite, const std::string& key)
{
    std::unique_lock lock(m_mutex);
    Resident* resident = residentOf(suite, key);
    return resident && !std::exchange(resident->unread, true);
}

void ResidentValues::keepUnreadable(const std::string& suite, const std::string& key, std::string text)
{
    std::unique_lock lock(m_mutex);
    m_unreadable[suite][key] = std::move(text);
}

void ResidentValues::dropUnreadable(const std::string& suite, const std::string& key)
{
    std::unique_lock lock(m_mutex);
    if (auto it = m_unreadable.find(suite); it != m_unreadable.end()) {
        it->second.erase(key);
    }
}

StoredValue ResidentValues::replace(const std::string& suite, const std::string& key, StoredValue value,
    bool lent, StoredValue previousLarge, const std::optional<std::pair<std::string, StoredValue>>& backup)
{
    StoredValue oldValue;
    std::unique_lock lock(m_mutex);
    if (backup) {
        m_unreadable[suite].erase(key);
        m_values[suite].insert_or_assign(backup->first, Resident { backup->second, {}, false });
    }
    auto& suiteValues = m_values[suite];
    auto it = suiteValues.find(key);
    Resident resident { lent ? nullptr : value, lent ? value : nullptr, lent };
    if (it != suiteValues.end()) {
        // The old value is kept only for listeners; otherwise it is released after the locks.
        oldValue = it->second.large ? std::move(previousLarge) : std::move(it->second.held);
        if (value) {
            it->second = std::move(resident);
        } else {
            suiteValues.erase(it);
        }
    } else if (value) {
        suiteValues.emplace(key, std::move(resident));
    }
    return oldValue;
}

void ResidentValues::overlay(const std::vector<PendingJournal::Write>& writes)
{
    std::unique_lock lock(m_mutex);
    for (const auto& write : writes) {
        std::optional<PropertyList> value;
        if (write.text) {
            value = PropertyListJson::decode(*write.text);
            if (!value) {
                continue;
            }
        }
        auto& suiteValues = m_values[write.suite];
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

std::vector<ResidentValues::Change> ResidentValues::takeReplayed(
    const std::vector<Replayed>& replayed, std::vector<std::string>& reports)
{
    std::vector<Change> changes;
    std::unique_lock lock(m_mutex);
    for (const auto& done : replayed) {
        auto& suiteValues = m_values[done.suite];
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
        if (done.unjoinable && !done.rowBackup.empty()) {
            reports.back() = "The value another program stored for \"" + done.key + "\" of suite \""
                + done.suite + "\" could not be joined with a write of it; " + reports.back()
                + " before the write replaced it.";
        } else if (done.backup || !done.rowBackup.empty()) {
            reports.back() = "The stored value of \"" + done.key + "\" of suite \"" + done.suite
                + "\" was replaced by a write made before it could be read; " + reports.back() + ".";
        }
        if (!done.changed) {
            // Held while only the pending file had it; now the file has it, it is only lent, as a
            // large value its writer put straight into the file.
            if (auto it = suiteValues.find(done.key);
                it != suiteValues.end() && done.large && it->second.held) {
                it->second.lent = std::exchange(it->second.held, nullptr);
                it->second.large = true;
            }
            continue;
        }
        StoredValue previous;
        if (auto it = suiteValues.find(done.key); it != suiteValues.end()) {
            previous = it->second.current();
        }
        if (done.value) {
            suiteValues.insert_or_assign(done.key, Resident { done.value, {}, done.large });
        } else {
            suiteValues.erase(done.key);
        }
        changes.push_back({ done.suite, done.key, std::move(previous), done.value });
    }
    return changes;
}

} // namespace platform
