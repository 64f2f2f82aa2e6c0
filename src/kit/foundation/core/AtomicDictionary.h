#pragma once

#include "kit/foundation/core/Description.h"
#include "kit/foundation/core/ReadersWriterLock.h"

#include <optional>
#include <sstream>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace zk {

// A dictionary that any thread may read and write. Reads are synchronous; `set` and `assign` are
// queued writes, so the caller goes on before the change is made (its own next read sees it).
// A read-modify-write must go through `modify`, which runs alone: reading with `get` and writing
// back with `set` can lose a concurrent update.
template <class K, class V> class AtomicDictionary {
public:
    using Storage = std::unordered_map<K, V>;
    static constexpr const char* lockLabel = "com.zelvantorium.AtomicDictionary";

    AtomicDictionary()
        : m_lock(lockLabel)
    {
    }
    AtomicDictionary(const AtomicDictionary&) = delete;
    AtomicDictionary& operator=(const AtomicDictionary&) = delete;

    std::optional<V> get(const K& key) const
    {
        return m_lock.read([&]() -> std::optional<V> {
            auto found = m_storage.find(key);
            if (found == m_storage.end()) {
                return std::nullopt;
            }
            return found->second;
        });
    }

    // Stores `value` under `key`, or removes the key when `value` is empty.
    void set(const K& key, std::optional<V> value)
    {
        m_lock.write([this, key, value = std::move(value)]() mutable {
            if (value) {
                m_storage.insert_or_assign(key, std::move(*value));
            } else {
                m_storage.erase(key);
            }
        });
    }

    // Stores every pair of `other`, overwriting the keys it shares and keeping the others.
    void assign(Storage other)
    {
        m_lock.write([this, other = std::move(other)]() mutable {
            for (auto& [key, value] : other) {
                m_storage.insert_or_assign(key, std::move(value));
            }
        });
    }

    // Runs `f(storage&)` alone, after every operation submitted before it, and returns its result.
    template <class F> auto modify(F&& f) -> decltype(f(std::declval<Storage&>()))
    {
        return m_lock.exclusive([&]() -> decltype(auto) { return f(m_storage); });
    }

    // Runs `f(const storage&)` inside one read and returns its result.
    template <class F> auto read(F&& f) const -> decltype(f(std::declval<const Storage&>()))
    {
        return m_lock.read([&]() -> decltype(auto) { return f(std::as_const(m_storage)); });
    }

    std::vector<K> keys() const
    {
        return m_lock.read([&] {
            std::vector<K> result;
            result.reserve(m_storage.size());
            for (const auto& pair : m_storage) {
                result.push_back(pair.first);
            }
            return result;
        });
    }

    // A copy of the contents at this moment; later writes do not change it. Iterate over this.
    // The pairs as a dictionary prints them ("[:]" when empty, texts quoted), read under the lock.
    std::string debugDescription() const
    {
        return m_lock.read([&] {
            if (m_storage.empty()) {
                return std::string("[:]");
            }
            std::string text = "[";
            bool first = true;
            for (const auto& [key, value] : m_storage) {
                text += (first ? "" : ", ") + elementDescription(key) + ": " + elementDescription(value);
                first = false;
            }
            return text + "]";
        });
    }

    Storage snapshot() const
    {
        return m_lock.read([&] { return m_storage; });
    }

    std::size_t size() const
    {
        return m_lock.read([&] { return m_storage.size(); });
    }

    // Returns once the writes queued so far have been made.
    void waitForPendingWrites() const { m_lock.waitForPendingWrites(); }

    const ReadersWriterLock& lock() const { return m_lock; }

private:
    Storage m_storage;
    // Declared after the storage so that it is destroyed first: its destructor lets the queued
    // writes finish while the storage they change still exists.
    mutable ReadersWriterLock m_lock;
};

} // namespace zk
