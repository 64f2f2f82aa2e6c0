#pragma once

#include "platform/combine/AnyCancellable.h"
#include "platform/combine/Subscriber.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace platform::combine {

// The subscribers of a subject. Sending copies the list under the lock and calls the subscribers
// outside it, so a subscriber may send, subscribe or cancel from its callback, and sending from
// several threads at once is safe. A subscriber added during a send does not get that value.
template <class T> class SubscriberList : public std::enable_shared_from_this<SubscriberList<T>> {
public:
    // Adds `subscriber`, or, when the list has completed, gives it the completion at once.
    AnyCancellable add(const Subscriber<T>& subscriber)
    {
        if (auto cancellable = tryAdd(subscriber)) {
            return std::move(*cancellable);
        }
        if (auto completed = completion()) {
            subscriber.receive(*completed);
        }
        return AnyCancellable();
    }

    // Adds `subscriber` unless the list has completed (then nothing is delivered and the result is
    // empty). Calls no subscriber, so it may be used under the caller's own lock.
    std::optional<AnyCancellable> tryAdd(const Subscriber<T>& subscriber)
    {
        std::uint64_t id = 0;
        {
            std::lock_guard lock(m_mutex);
            if (m_completion) {
                return std::nullopt;
            }
            id = m_nextId++;
            m_entries.push_back({ id, subscriber });
        }
        return AnyCancellable([weak = this->weak_from_this(), id, subscriber] {
            subscriber.cancel();
            if (auto list = weak.lock()) {
                list->remove(id);
            }
        });
    }

    // The current subscribers, for delivery outside any lock.
    std::vector<Subscriber<T>> snapshot() const
    {
        std::vector<Subscriber<T>> result;
        std::lock_guard lock(m_mutex);
        result.reserve(m_entries.size());
        for (const Entry& entry : m_entries) {
            result.push_back(entry.subscriber);
        }
        return result;
    }

    void send(const T& value)
    {
        for (const Subscriber<T>& subscriber : snapshot()) {
            subscriber.receive(value);
        }
    }

    // Only the first completion counts; the subscribers are released afterwards.
    void complete(const Completion& completion)
    {
        std::vector<Entry> released;
        {
            std::lock_guard lock(m_mutex);
            if (m_completion) {
                return;
            }
            m_completion = completion;
            released.swap(m_entries);
        }
        for (const Entry& entry : released) {
            entry.subscriber.receive(completion);
        }
    }

    std::optional<Completion> completion() const
    {
        std::lock_guard lock(m_mutex);
        return m_completion;
    }

    std::size_t count() const
    {
        std::lock_guard lock(m_mutex);
        return m_entries.size();
    }

private:
    struct Entry {
        std::uint64_t id;
        Subscriber<T> subscriber;
    };

    void remove(std::uint64_t id)
    {
        std::lock_guard lock(m_mutex);
        std::erase_if(m_entries, [id](const Entry& entry) { return entry.id == id; });
    }

    mutable std::mutex m_mutex;
    std::vector<Entry> m_entries;
    std::uint64_t m_nextId = 1;
    std::optional<Completion> m_completion;
};

} // namespace platform::combine
