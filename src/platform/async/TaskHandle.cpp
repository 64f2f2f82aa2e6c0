#include "platform/async/TaskHandle.h"

#include "platform/Logger.h"
#include "platform/MainQueue.h"

#include <QCoreApplication>

#include <exception>
#include <string>

namespace platform::async {

struct TaskHandle::State {
    Body body; // kept here so that the captures of a coroutine lambda outlive its frame
    std::stop_source source;
    bool finished = false;
    std::vector<std::coroutine_handle<>> waiters;
    // Keeps the state alive while the body runs. The coroutine takes a plain pointer: g++ 12 at -O1
    // and above destroys a by-value shared_ptr parameter of a detached coroutine one time too many.
    std::shared_ptr<State> self;
};

namespace {

struct ToMainThread {
    bool await_ready() const noexcept { return false; }
    void await_suspend(std::coroutine_handle<> handle) const
    {
        // Bound to the application: a coroutine never resumed would keep its frame forever.
        MainQueue::post(QCoreApplication::instance(), [handle] { handle.resume(); });
    }
    void await_resume() const noexcept { }
};

// Holds no owning members: g++ 12 may destroy a braced temporary in a co_await expression twice.
struct FinishedAwaiter {
    bool* finished;
    std::vector<std::coroutine_handle<>>* waiters;

    bool await_ready() const noexcept { return *finished; }
    void await_suspend(std::coroutine_handle<> handle) const { waiters->push_back(handle); }
    void await_resume() const noexcept { }
};

} // namespace

TaskHandle TaskHandle::start(Body body)
{
    TaskHandle handle;
    handle.m_state = std::make_shared<State>();
    handle.m_state->body = std::move(body);
    handle.m_state->self = handle.m_state;
    run(handle.m_state.get()); // detached: the frame lives until the body returns
    return handle;
}

void TaskHandle::finish(State* state)
{
    const std::shared_ptr<State> keep = std::move(state->self);
    state->finished = true;
    state->body = nullptr;
    auto waiters = std::move(state->waiters);
    for (auto waiter : waiters) {
        waiter.resume();
    }
}

QCoro::Task<void> TaskHandle::run(State* state)
{
    co_await ToMainThread {};
    try {
        if (state->body) {
            co_await state->body(state->source.get_token());
        }
    } catch (const std::exception& error) {
        log(LogLevel::Error, lcCore(), std::string("A task ended with an uncaught error: ") + error.what());
    } catch (...) {
        log(LogLevel::Error, lcCore(), "A task ended with an uncaught error.");
    }
    finish(state);
}

void TaskHandle::cancel() const
{
    if (m_state) {
        m_state->source.request_stop();
    }
}

bool TaskHandle::isCancelled() const
{
    return m_state && m_state->source.stop_requested();
}

bool TaskHandle::isFinished() const
{
    return !m_state || m_state->finished;
}

std::stop_token TaskHandle::token() const
{
    return m_state ? m_state->source.get_token() : std::stop_token();
}

QCoro::Task<void> TaskHandle::finished() const
{
    // One path through the body, with no early co_return and the awaiter in a named local: g++ 12
    // has mishandled the destruction of frame locals around both.
    const std::shared_ptr<State> state = m_state;
    if (state && !state->finished) {
        FinishedAwaiter awaiter { &state->finished, &state->waiters };
        co_await awaiter;
    }
}

} // namespace platform::async
