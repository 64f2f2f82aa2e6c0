#pragma once

#include <QCache>
#include <QString>

#include <memory>
#include <mutex>
#include <optional>

namespace zk {

// A named, bounded, thread-safe cache of shared objects: entries may be dropped at any time once
// the limits are reached, so a reader must be able to rebuild what it misses.
template <class Key, class Object> class Cache {
public:
    // A new, empty cache with default limits at every call: nothing lives on between calls.
    static std::shared_ptr<Cache> shared() { return std::make_shared<Cache>(); }

    Cache() = default;
    Cache(QString name, qsizetype totalCostLimit, qsizetype countLimit)
        : m_name(std::move(name))
        , m_totalCostLimit(totalCostLimit)
    {
        m_entries.setMaxCost(countLimit > 0 ? countLimit : m_entries.maxCost());
    }

    QString name() const { return m_name; }
    qsizetype totalCostLimit() const { return m_totalCostLimit; }
    qsizetype countLimit() const { return m_entries.maxCost(); }

    std::shared_ptr<Object> object(const Key& key) const
    {
        std::lock_guard guard(m_mutex);
        if (const auto* entry = m_entries.object(key)) {
            return *entry;
        }
        return nullptr;
    }
    // Storing nothing removes the key's entry.
    void setObject(const Key& key, std::shared_ptr<Object> object)
    {
        std::lock_guard guard(m_mutex);
        if (!object) {
            m_entries.remove(key);
            return;
        }
        m_entries.insert(key, new std::shared_ptr<Object>(std::move(object)), 1);
    }

private:
    mutable std::mutex m_mutex;
    QString m_name;
    qsizetype m_totalCostLimit = 0;
    // Each entry costs one, so the cache's own limit is the count limit.
    mutable QCache<Key, std::shared_ptr<Object>> m_entries { 10000 };
};

} // namespace zk
