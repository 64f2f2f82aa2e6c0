#pragma once

#include "platform/combine/AnyCancellable.h"
#include "platform/combine/Scheduler.h"
#include "platform/combine/Subscriber.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <type_traits>
#include <utility>
#include <vector>

namespace platform::combine {

// A publisher of values of type T, the one vocabulary type of this library. Subscribing calls the
// subscriber synchronously on the sending thread unless an operator moves delivery elsewhere
// (receiveOn, receiveOnMain, debounce). Demand is not modelled: every value is delivered as it is
// sent. Copies share nothing but the subscribe function; each subscription has its own state.
//
// The contract of a subscribe function: deliver to the subscriber until it completes it or the
// returned cancellable is cancelled; cancelling stops delivery and deactivates the subscriber.
template <class T> class AnyPublisher {
public:
    using Output = T;
    using SubscribeFunction = std::function<AnyCancellable(const Subscriber<T>&)>;

    explicit AnyPublisher(SubscribeFunction subscribe)
        : m_subscribe(std::move(subscribe))
    {
    }

    AnyCancellable subscribe(const Subscriber<T>& subscriber) const
    {
        auto upstream = std::make_shared<AnyCancellable>(m_subscribe(subscriber));
        return AnyCancellable([subscriber, upstream] {
            subscriber.cancel();
            upstream->cancel();
        });
    }

    [[nodiscard]] AnyCancellable sink(typename Subscriber<T>::ValueFunction receiveValue) const
    {
        return subscribe(Subscriber<T>(std::move(receiveValue)));
    }

    [[nodiscard]] AnyCancellable sink(typename Subscriber<T>::CompletionFunction receiveCompletion,
        typename Subscriber<T>::ValueFunction receiveValue) const
    {
        return subscribe(Subscriber<T>(std::move(receiveValue), std::move(receiveCompletion)));
    }

    AnyPublisher eraseToAnyPublisher() const { return *this; }

    // Each value transformed by `transform`.
    template <class F>
    auto map(F transform) const -> AnyPublisher<std::decay_t<std::invoke_result_t<F&, const T&>>>
    {
        using U = std::decay_t<std::invoke_result_t<F&, const T&>>;
        return AnyPublisher<U>([upstream = *this, transform](const Subscriber<U>& down) mutable {
            return upstream.subscribe(
                Subscriber<T>([down, transform](const T& value) mutable { down.receive(transform(value)); },
                    [down](const Completion& completion) { down.receive(completion); }));
        });
    }

    // Only the values for which `isIncluded` is true.
    AnyPublisher filter(std::function<bool(const T&)> isIncluded) const
    {
        return AnyPublisher([upstream = *this, isIncluded](const Subscriber<T>& down) {
            return upstream.subscribe(Subscriber<T>(
                [down, isIncluded](const T& value) {
                    if (isIncluded(value)) {
                        down.receive(value);
                    }
                },
                [down](const Completion& completion) { down.receive(completion); }));
        });
    }

    // `transform` returns std::optional<U>; empty results are dropped.
    template <class F>
    auto compactMap(F transform) const
        -> AnyPublisher<typename std::decay_t<std::invoke_result_t<F&, const T&>>::value_type>
    {
        using U = typename std::decay_t<std::invoke_result_t<F&, const T&>>::value_type;
        return AnyPublisher<U>([upstream = *this, transform](const Subscriber<U>& down) mutable {
            return upstream.subscribe(Subscriber<T>(
                [down, transform](const T& value) mutable {
                    if (auto result = transform(value)) {
                        down.receive(*result);
                    }
                },
                [down](const Completion& completion) { down.receive(completion); }));
        });
    }

    // Drops a value that `isDuplicate(previous, current)` judges equal to the one before it.
    AnyPublisher removeDuplicates(std::function<bool(const T&, const T&)> isDuplicate) const
    {
        return AnyPublisher([upstream = *this, isDuplicate](const Subscriber<T>& down) {
            struct Last {
                std::mutex mutex;
                std::optional<T> value;
            };
            auto last = std::make_shared<Last>();
            return upstream.subscribe(Subscriber<T>(
                [down, isDuplicate, last](const T& value) {
                    {
                        std::lock_guard lock(last->mutex);
                        const bool duplicate = last->value && isDuplicate(*last->value, value);
                        last->value = value;
                        if (duplicate) {
                            return;
                        }
                    }
                    down.receive(value);
                },
                [down](const Completion& completion) { down.receive(completion); }));
        });
    }

    AnyPublisher removeDuplicates() const requires std::equality_comparable<T>
    {
        return removeDuplicates([](const T& a, const T& b) { return a == b; });
    }

    // `values` first, synchronously at subscription, then the upstream's.
    AnyPublisher prepend(std::vector<T> values) const
    {
        return AnyPublisher([upstream = *this, values = std::move(values)](const Subscriber<T>& down) {
            for (const T& value : values) {
                if (!down.isActive()) {
                    return AnyCancellable();
                }
                down.receive(value);
            }
            if (!down.isActive()) {
                return AnyCancellable();
            }
            return upstream.subscribe(down);
        });
    }

    AnyPublisher prepend(T value) const { return prepend(std::vector<T> { std::move(value) }); }

    // The values of both, in the order they are sent. Finishes when both have finished; a failure of
    // either is passed on at once and ends the merged subscription.
    AnyPublisher merge(AnyPublisher other) const
    {
        return AnyPublisher([first = *this, second = std::move(other)](const Subscriber<T>& down) {
            auto remaining = std::make_shared<std::atomic<int>>(2);
            auto makeInner = [down, remaining] {
                return Subscriber<T>([down](const T& value) { down.receive(value); },
                    [down, remaining](const Completion& completion) {
                        if (!completion.isFinished() || remaining->fetch_sub(1) == 1) {
                            down.receive(completion);
                        }
                    });
            };
            auto a = std::make_shared<AnyCancellable>(first.subscribe(makeInner()));
            auto b = std::make_shared<AnyCancellable>(second.subscribe(makeInner()));
            return AnyCancellable([a, b] {
                a->cancel();
                b->cancel();
            });
        });
    }

    // Delivery moved to `scheduler`, in the order sent. A subscriber cancelled before a posted
    // value arrives does not get it. The scheduler must outlive the subscription.
    AnyPublisher receiveOn(Scheduler& scheduler) const
    {
        return AnyPublisher([upstream = *this, scheduler = &scheduler](const Subscriber<T>& down) {
            return upstream.subscribe(Subscriber<T>(
                [down, scheduler](
                    const T& value) { scheduler->post([down, value] { down.receive(value); }); },
                [down, scheduler](const Completion& completion) {
                    scheduler->post([down, completion] { down.receive(completion); });
                }));
        });
    }

    // Delivery on the Qt main thread, in the order sent, always through the main queue (also when
    // sent on the main thread).
    AnyPublisher receiveOnMain() const { return receiveOn(Scheduler::main()); }

    // A value is passed on only once `seconds` have passed without a newer one; it is delivered on
    // `scheduler`. A value still waiting when the upstream completes is delivered before the
    // completion, so that the last change is never lost.
    AnyPublisher debounce(double seconds, Scheduler& scheduler = Scheduler::main()) const
    {
        return AnyPublisher([upstream = *this, seconds, scheduler = &scheduler](const Subscriber<T>& down) {
            struct State {
                std::mutex mutex;
                std::optional<T> pending;
                std::uint64_t generation = 0;
                AnyCancellable timer;
            };
            auto state = std::make_shared<State>();
            auto flush = [state, down](std::uint64_t generation) {
                std::optional<T> value;
                {
                    std::lock_guard lock(state->mutex);
                    if (generation != state->generation) {
                        return;
                    }
                    value = std::move(state->pending);
                    state->pending.reset();
                }
                if (value) {
                    down.receive(*value);
                }
            };
            auto upstreamCancellable = std::make_shared<AnyCancellable>(upstream.subscribe(Subscriber<T>(
                [state, scheduler, seconds, flush](const T& value) {
                    AnyCancellable previous;
                    std::uint64_t generation;
                    {
                        std::lock_guard lock(state->mutex);
                        state->pending = value;
                        generation = ++state->generation;
                        previous = std::move(state->timer);
                    }
                    previous.cancel();
                    AnyCancellable timer
                        = scheduler->schedule(seconds, [flush, generation] { flush(generation); });
                    std::lock_guard lock(state->mutex);
                    if (state->generation == generation) {
                        state->timer = std::move(timer);
                    }
                },
                [state, scheduler, down](const Completion& completion) {
                    AnyCancellable timer;
                    std::optional<T> value;
                    {
                        std::lock_guard lock(state->mutex);
                        ++state->generation;
                        value = std::move(state->pending);
                        state->pending.reset();
                        timer = std::move(state->timer);
                    }
                    timer.cancel();
                    scheduler->post([down, value, completion] {
                        if (value) {
                            down.receive(*value);
                        }
                        down.receive(completion);
                    });
                })));
            return AnyCancellable([upstreamCancellable, state] {
                upstreamCancellable->cancel();
                AnyCancellable timer;
                {
                    std::lock_guard lock(state->mutex);
                    ++state->generation;
                    state->pending.reset();
                    timer = std::move(state->timer);
                }
                timer.cancel();
            });
        });
    }

private:
    SubscribeFunction m_subscribe;
};

// A publisher that never sends anything and never completes.
template <class T> AnyPublisher<T> emptyNeverCompleting()
{
    return AnyPublisher<T>([](const Subscriber<T>&) { return AnyCancellable(); });
}

} // namespace platform::combine
