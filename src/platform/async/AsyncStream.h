#pragma once

#include "platform/async/BufferingPolicy.h"
#include "platform/async/ThreadContext.h"

#include <QtGlobal>

#include <coroutine>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <utility>

namespace platform::async {

// Why a stream ended, as told to its termination callback.
enum class Termination {
    Finished, // the producer called finish()
    Cancelled, // the consumer was cancelled while waiting, or every consumer handle went away
};

namespace detail {

template <class T> class StreamStorage {
public:
    struct Waiter {
        std::coroutine_handle<> handle;
        QObject* context = nullptr;
        std::optional<T> value;
        std::exception_ptr error;
    };

    struct YieldOutcome {
        enum class Kind { Enqueued, Dropped, Terminated };
        Kind kind;
        std::size_t remaining = 0;
        std::optional<T> dropped;
    };

    explicit StreamStorage(BufferingPolicy policy)
        : m_policy(policy)
    {
    }

    YieldOutcome yield(T value)
    {
        std::shared_ptr<Waiter> waiter;
        YieldOutcome outcome { YieldOutcome::Kind::Enqueued, 0, std::nullopt };
        {
            std::lock_guard lock(m_mutex);
            if (m_finished || m_cancelled) {
                return { YieldOutcome::Kind::Terminated, 0, std::nullopt };
            }
            if (m_waiter) {
                waiter = std::move(m_waiter);
                waiter->value = std::move(value);
                outcome.remaining = capacityLeft();
            } else {
                switch (m_policy.kind) {
                case BufferingPolicy::Kind::Unbounded:
                    m_buffer.push_back(std::move(value));
                    break;
                case BufferingPolicy::Kind::BufferingOldest:
                    if (m_buffer.size() >= m_policy.limit) {
                        return { YieldOutcome::Kind::Dropped, 0, std::move(value) };
                    }
                    m_buffer.push_back(std::move(value));
                    break;
                case BufferingPolicy::Kind::BufferingNewest:
                    if (m_policy.limit == 0) {
                        return { YieldOutcome::Kind::Dropped, 0, std::move(value) };
                    }
                    if (m_buffer.size() >= m_policy.limit) {
                        outcome.kind = YieldOutcome::Kind::Dropped;
                        outcome.dropped = std::move(m_buffer.front());
                        m_buffer.pop_front();
                    }
                    m_buffer.push_back(std::move(value));
                    break;
                }
                if (outcome.kind == YieldOutcome::Kind::Enqueued) {
                    outcome.remaining = capacityLeft();
                }
            }
        }
        if (waiter) {
            ThreadContext::resume(waiter->context, waiter->handle);
        }
        return outcome;
    }

    void finish(std::exception_ptr error)
    {
        std::shared_ptr<Waiter> waiter;
        std::function<void(Termination)> handler;
        {
            std::lock_guard lock(m_mutex);
            if (m_finished || m_cancelled) {
                return;
            }
            m_finished = true;
            m_error = std::move(error);
            handler = takeHandler(Termination::Finished);
            if (m_waiter) {
                // A waiting consumer means the buffer is empty: it gets the end (or the error) now.
                waiter = std::move(m_waiter);
                waiter->error = std::exchange(m_error, nullptr);
            }
        }
        if (handler) {
            handler(Termination::Finished);
        }
        if (waiter) {
            ThreadContext::resume(waiter->context, waiter->handle);
        }
    }

    // The consumer side ends: buffered elements are discarded and a waiting consumer gets the end.
    void cancel()
    {
        std::shared_ptr<Waiter> waiter;
        std::function<void(Termination)> handler;
        std::deque<T> discarded;
        {
            std::lock_guard lock(m_mutex);
            if (m_cancelled) {
                return;
            }
            m_cancelled = true;
            m_error = nullptr;
            discarded.swap(m_buffer);
            handler = takeHandler(Termination::Cancelled);
            waiter = std::move(m_waiter);
        }
        if (handler) {
            handler(Termination::Cancelled);
        }
        if (waiter) {
            ThreadContext::resume(waiter->context, waiter->handle);
        }
    }

    // Installs the termination callback; on a stream that has ended already it runs at once.
    void setOnTermination(std::function<void(Termination)> handler)
    {
        std::optional<Termination> ended;
        {
            std::lock_guard lock(m_mutex);
            if (!m_terminationReason) {
                m_onTermination = std::move(handler);
                return;
            }
            ended = m_terminationReason;
            if (m_handlerCalled) {
                return; // the one call has been made already
            }
            m_handlerCalled = true;
        }
        if (handler) {
            handler(*ended);
        }
    }

    // Takes the next element (or the end, or the error) when one is at hand; otherwise registers
    // `waiter` and returns false.
    bool takeOrWait(const std::shared_ptr<Waiter>& waiter)
    {
        std::lock_guard lock(m_mutex);
        if (!m_buffer.empty()) {
            waiter->value = std::move(m_buffer.front());
            m_buffer.pop_front();
            return true;
        }
        if (m_finished || m_cancelled) {
            waiter->error = std::exchange(m_error, nullptr); // the error is raised once
            return true;
        }
        if (m_waiter) {
            qFatal("AsyncStream: next() awaited by two consumers at once");
        }
        m_waiter = waiter;
        return false;
    }

private:
    std::size_t capacityLeft() const
    {
        if (m_policy.kind == BufferingPolicy::Kind::Unbounded) {
            return std::numeric_limits<std::size_t>::max();
        }
        return m_policy.limit > m_buffer.size() ? m_policy.limit - m_buffer.size() : 0;
    }

    // Under the lock: the callback to run for the first ending, if any.
    std::function<void(Termination)> takeHandler(Termination reason)
    {
        if (!m_terminationReason) {
            m_terminationReason = reason;
        }
        if (m_handlerCalled || !m_onTermination) {
            return {};
        }
        m_handlerCalled = true;
        return std::exchange(m_onTermination, nullptr);
    }

    std::mutex m_mutex;
    BufferingPolicy m_policy;
    std::deque<T> m_buffer;
    bool m_finished = false;
    bool m_cancelled = false;
    std::exception_ptr m_error;
    std::shared_ptr<Waiter> m_waiter;
    std::function<void(Termination)> m_onTermination;
    std::optional<Termination> m_terminationReason;
    bool m_handlerCalled = false;
};

// Ends its side of the stream when the last handle of that side goes away.
template <class T> struct ConsumerLease {
    explicit ConsumerLease(std::shared_ptr<StreamStorage<T>> s)
        : storage(std::move(s))
    {
    }
    ConsumerLease(const ConsumerLease&) = delete;
    ConsumerLease& operator=(const ConsumerLease&) = delete;
    ~ConsumerLease() { storage->cancel(); }
    std::shared_ptr<StreamStorage<T>> storage;
};

template <class T> struct ProducerLease {
    explicit ProducerLease(std::shared_ptr<StreamStorage<T>> s)
        : storage(std::move(s))
    {
    }
    ProducerLease(const ProducerLease&) = delete;
    ProducerLease& operator=(const ProducerLease&) = delete;
    ~ProducerLease() { storage->finish(nullptr); }
    std::shared_ptr<StreamStorage<T>> storage;
};

} // namespace detail

// An asynchronous sequence fed by hand through its Continuation, consumed by one coroutine with
// `co_await next()`, which gives the elements in order and an empty optional at the end.
//
// - The producer side (Continuation) may be used from any thread. A consumer that is waiting is
//   resumed on its own thread, on a later turn of its event loop, never inside yield().
// - finish(error) ends the stream: the consumer still gets the buffered elements, then the error
//   (raised by next() once), then the end.
// - The termination callback runs exactly once: at finish(), or when the consumer goes away
//   (every AsyncStream and Iterator handle destroyed) or is cancelled while waiting. When the
//   consumer goes away, buffered elements are discarded and later yields report Terminated.
// - When every Continuation handle is gone, the stream finishes, so a consumer never waits for a
//   producer that no longer exists.
// - Handles of either side are cheap to copy and share the one stream.
template <class T> class AsyncStream {
public:
    using Element = T;
    using Storage = detail::StreamStorage<T>;

    struct YieldResult {
        using Kind = typename Storage::YieldOutcome::Kind;
        Kind kind;
        std::size_t remaining = 0; // room left in the buffer after an enqueue
        std::optional<T> dropped; // the element given up for a Dropped result

        bool isEnqueued() const { return kind == Kind::Enqueued; }
    };

    class Continuation {
    public:
        YieldResult yield(T value) const
        {
            auto outcome = m_lease->storage->yield(std::move(value));
            return { outcome.kind, outcome.remaining, std::move(outcome.dropped) };
        }
        void finish(std::exception_ptr error = nullptr) const { m_lease->storage->finish(std::move(error)); }
        void setOnTermination(std::function<void(Termination)> handler) const
        {
            m_lease->storage->setOnTermination(std::move(handler));
        }

    private:
        friend class AsyncStream;
        explicit Continuation(std::shared_ptr<detail::ProducerLease<T>> lease)
            : m_lease(std::move(lease))
        {
        }
        std::shared_ptr<detail::ProducerLease<T>> m_lease;
    };

    // Awaits the next element; see AsyncStream::next.
    class NextAwaiter {
    public:
        NextAwaiter(std::shared_ptr<Storage> storage, std::stop_token token)
            : m_storage(std::move(storage))
            , m_token(std::move(token))
            , m_waiter(std::make_shared<typename Storage::Waiter>())
        {
        }
        bool await_ready() const noexcept { return false; }

        bool await_suspend(std::coroutine_handle<> handle)
        {
            if (m_token.stop_requested()) {
                m_storage->cancel();
            }
            m_waiter->handle = handle;
            m_waiter->context = ThreadContext::current();
            if (m_storage->takeOrWait(m_waiter)) {
                return false;
            }
            if (m_token.stop_possible()) {
                m_onStop
                    = std::make_unique<std::stop_callback<StopHandler>>(m_token, StopHandler { m_storage });
            }
            return true;
        }

        std::optional<T> await_resume()
        {
            m_onStop.reset();
            if (m_waiter->error) {
                std::rethrow_exception(std::exchange(m_waiter->error, nullptr));
            }
            return std::move(m_waiter->value);
        }

    private:
        struct StopHandler {
            std::shared_ptr<Storage> storage;
            void operator()() const { storage->cancel(); }
        };
        std::shared_ptr<Storage> m_storage;
        std::stop_token m_token;
        std::shared_ptr<typename Storage::Waiter> m_waiter;
        std::unique_ptr<std::stop_callback<StopHandler>> m_onStop; // movable, unlike the callback itself
    };

    class Iterator {
    public:
        // The next element, or an empty optional at the end. Raises the error the producer finished
        // with, once, after the buffered elements. When `token` is cancelled while waiting (or
        // before), the stream terminates and the result is the end: cancellation is no error.
        NextAwaiter next(std::stop_token token = {}) const
        {
            return NextAwaiter(m_lease->storage, std::move(token));
        }

    private:
        friend class AsyncStream;
        explicit Iterator(std::shared_ptr<detail::ConsumerLease<T>> lease)
            : m_lease(std::move(lease))
        {
        }
        std::shared_ptr<detail::ConsumerLease<T>> m_lease;
    };

    // A stream and its producer side.
    static std::pair<AsyncStream, Continuation> makeStream(
        BufferingPolicy policy = BufferingPolicy::unbounded())
    {
        auto storage = std::make_shared<Storage>(policy);
        AsyncStream stream(std::make_shared<detail::ConsumerLease<T>>(storage));
        Continuation continuation(std::make_shared<detail::ProducerLease<T>>(storage));
        return { std::move(stream), std::move(continuation) };
    }

    // Builds the stream and hands its producer side to `build`, synchronously, before returning.
    explicit AsyncStream(
        const std::function<void(Continuation)>& build, BufferingPolicy policy = BufferingPolicy::unbounded())
    {
        auto [stream, continuation] = makeStream(policy);
        m_lease = std::move(stream.m_lease);
        build(std::move(continuation));
    }

    // Every iterator draws from the one buffer.
    Iterator makeAsyncIterator() const { return Iterator(m_lease); }
    NextAwaiter next(std::stop_token token = {}) const { return makeAsyncIterator().next(std::move(token)); }

private:
    explicit AsyncStream(std::shared_ptr<detail::ConsumerLease<T>> lease)
        : m_lease(std::move(lease))
    {
    }
    std::shared_ptr<detail::ConsumerLease<T>> m_lease;
};

} // namespace platform::async
