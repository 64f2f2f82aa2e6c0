#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace platform::combine {

// Ends a subscription (or any other ongoing work) exactly once: when cancel() is called or when
// the object is destroyed, whichever comes first. Move-only, like the ownership it stands for;
// owners keep their subscriptions in a std::vector<AnyCancellable> so that they end with them.
// cancel() may be called from any thread.
class AnyCancellable {
public:
    AnyCancellable() = default;
    explicit AnyCancellable(std::function<void()> cancel)
        : m_action(std::make_shared<Action>(std::move(cancel)))
    {
    }
    AnyCancellable(const AnyCancellable&) = delete;
    AnyCancellable& operator=(const AnyCancellable&) = delete;
    AnyCancellable(AnyCancellable&& other) noexcept = default;
    AnyCancellable& operator=(AnyCancellable&& other) noexcept
    {
        if (this != &other) {
            cancel();
            m_action = std::move(other.m_action);
        }
        return *this;
    }
    ~AnyCancellable() { cancel(); }

    void cancel()
    {
        if (m_action) {
            m_action->run();
        }
    }

    // Hands the subscription to `set`, which then decides how long it lives.
    void store(std::vector<AnyCancellable>& set) && { set.push_back(std::move(*this)); }

    // A cancellable that can be copied into callbacks: running it cancels this subscription.
    // The subscription still ends when this object is destroyed.
    std::function<void()> cancelFunction() const
    {
        return [action = m_action] {
            if (action) {
                action->run();
            }
        };
    }

private:
    struct Action {
        explicit Action(std::function<void()> f)
            : function(std::move(f))
        {
        }
        void run()
        {
            if (!done.exchange(true)) {
                // Only the winner of the exchange touches the function.
                auto f = std::move(function);
                function = nullptr;
                if (f) {
                    f();
                }
            }
        }
        std::atomic<bool> done { false };
        std::function<void()> function;
    };

    std::shared_ptr<Action> m_action;
};

} // namespace platform::combine
