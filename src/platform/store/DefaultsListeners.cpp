#include "platform/store/DefaultsListeners.h"

#include <algorithm>

namespace platform {

DefaultsListeners::Id DefaultsListeners::add(
    const std::string& suite, const std::string& key, Listener listener)
{
    auto entry = std::make_shared<Entry>();
    entry->suite = suite;
    entry->key = key;
    entry->listener = std::move(listener);
    std::lock_guard lock(m_mutex);
    entry->id = m_nextId++;
    m_byKey[suite][key].push_back(entry);
    m_byId.emplace(entry->id, entry);
    m_count.fetch_add(1, std::memory_order_release);
    return entry->id;
}

void DefaultsListeners::remove(Id id)
{
    std::lock_guard lock(m_mutex);
    auto found = m_byId.find(id);
    if (found == m_byId.end()) {
        return;
    }
    auto entry = found->second;
    m_byId.erase(found);
    entry->active.store(false, std::memory_order_release);
    auto suiteIt = m_byKey.find(entry->suite);
    if (suiteIt != m_byKey.end()) {
        auto keyIt = suiteIt->second.find(entry->key);
        if (keyIt != suiteIt->second.end()) {
            std::erase(keyIt->second, entry);
            if (keyIt->second.empty()) {
                suiteIt->second.erase(keyIt);
            }
        }
        if (suiteIt->second.empty()) {
            m_byKey.erase(suiteIt);
        }
    }
    m_count.fetch_sub(1, std::memory_order_release);
}

DefaultsListeners::Entries DefaultsListeners::of(const std::string& suite, const std::string& key) const
{
    // Most writes have nobody listening: they take no lock.
    if (m_count.load(std::memory_order_acquire) == 0) {
        return {};
    }
    std::lock_guard lock(m_mutex);
    auto suiteIt = m_byKey.find(suite);
    if (suiteIt == m_byKey.end()) {
        return {};
    }
    auto it = suiteIt->second.find(key);
    return it == suiteIt->second.end() ? Entries {} : it->second;
}

DefaultsListeners::Entries DefaultsListeners::all() const
{
    std::lock_guard lock(m_mutex);
    Entries entries;
    entries.reserve(m_byId.size());
    for (const auto& [id, entry] : m_byId) {
        entries.push_back(entry);
    }
    return entries;
}

void DefaultsListeners::tell(
    const Entries& entries, const std::string& key, const StoredValue& oldValue, const StoredValue& newValue)
{
    for (const auto& entry : entries) {
        if (entry->active.load(std::memory_order_acquire)) {
            entry->listener(key, oldValue, newValue);
        }
    }
}

void DefaultsListeners::deliver(const std::vector<Notice>& notices)
{
    for (const auto& notice : notices) {
        if (notice.entry->active.load(std::memory_order_acquire)) {
            notice.entry->listener(notice.key, notice.oldValue, notice.newValue);
        }
    }
}

} // namespace platform
