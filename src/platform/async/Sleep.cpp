#include "platform/async/Sleep.h"

#include "platform/linux/BootTimeScheduler.h"

#include <coroutine>
#include <memory>
#include <mutex>

namespace platform::async {

namespace {

// Resumed by whichever comes first, the timer or the cancellation; both wake it through the
// scheduler, so it always continues on the scheduler's thread and never inside cancel().
class SleepAwaiter {
public:
    SleepAwaiter(double seconds, std::stop_token token, combine::Scheduler& scheduler)
        : m_seconds(seconds)
        , m_token(std::move(token))
        , m_scheduler(&scheduler)
        , m_state(std::make_shared<State>())
    {
    }

    bool await_ready() const noexcept { return m_token.stop_requested(); }

    void await_suspend(std::coroutine_handle<> handle)
    {
        m_state->handle = handle;
        m_timer = m_scheduler->schedule(m_seconds, [state = m_state] { state->wake(true); });
        if (m_token.stop_possible()) {
            m_onStop = std::make_unique<std::stop_callback<OnStop>>(m_token, OnStop { m_state, m_scheduler });
        }
    }

    bool await_resume()
    {
        m_onStop.reset();
        m_timer.cancel();
        return m_state->elapsed;
    }

private:
    struct State {
        std::mutex mutex;
        std::coroutine_handle<> handle;
        bool woken = false;
        bool elapsed = false;

        void wake(bool timeElapsed)
        {
            std::coroutine_handle<> toResume;
            {
                std::lock_guard lock(mutex);
                if (woken) {
                    return;
                }
                woken = true;
                elapsed = timeElapsed;
                toResume = handle;
            }
            toResume.resume();
        }
    };

    struct OnStop {
        std::shared_ptr<State> state;
        combine::Scheduler* scheduler;
        void operator()() const
        {
            scheduler->post([state = state] { state->wake(false); });
        }
    };

    double m_seconds;
    std::stop_token m_token;
    combine::Scheduler* m_scheduler;
    std::shared_ptr<State> m_state;
    combine::AnyCancellable m_timer;
    std::unique_ptr<std::stop_callback<OnStop>> m_onStop; // movable, unlike the callback itself
};

} // namespace

QCoro::Task<bool> sleepFor(double seconds, std::stop_token token, combine::Scheduler& scheduler)
{
    co_return co_await SleepAwaiter(seconds, std::move(token), scheduler);
}

QCoro::Task<bool> sleepOnContinuousClock(double seconds, std::stop_token token)
{
    co_return co_await SleepAwaiter(seconds, std::move(token), BootTimeScheduler::shared());
}

} // namespace platform::async
