#pragma once

#include "platform/store/StoredValue.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace platform {

// Who hears the writes of which key of which suite of a settings store. The store looks its
// listeners up while it writes and calls them once its locks are released; a listener removed in
// between is not called.
//
// Thread-safe.
class DefaultsListeners {
public:
    // Told of every write of one key of one suite, with what was stored before and after it (null
    // for nothing).
    using Listener = std::function<void(
        const std::string& key, const StoredValue& oldValue, const StoredValue& newValue)>;
    using Id = std::uint64_t;

    struct Entry {
        Id id = 0;
        std::string suite;
        std::string key;
        Listener listener;
        std::atomic<bool> active { true };
    };
    using Entries = std::vector<std::shared_ptr<Entry>>;
    // A listener to call, once the store's locks are released.
    struct Notice {
        std::shared_ptr<Entry> entry;
        std::string key;
        StoredValue oldValue;
        StoredValue newValue;
    };

    Id add(const std::string& suite, const std::string& key, Listener listener);
    void remove(Id id);
    // The listeners of `key` of `suite`, in the order they were added.
    Entries of(const std::string& suite, const std::string& key) const;
    // Every listener.
    Entries all() const;

    // Calls the listeners still there.
    static void tell(const Entries& entries, const std::string& key, const StoredValue& oldValue,
        const StoredValue& newValue);
    static void deliver(const std::vector<Notice>& notices);

private:
    mutable std::mutex m_mutex;
    std::atomic<std::size_t> m_count { 0 };
    Id m_nextId = 1;
    std::unordered_map<std::string, std::unordered_map<std::string, Entries>> m_byKey;
    std::unordered_map<Id, std::shared_ptr<Entry>> m_byId;
};

} // namespace platform
