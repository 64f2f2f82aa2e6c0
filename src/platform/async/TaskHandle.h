#pragma once

#include <QCoro/QCoroTask>

#include <coroutine>
#include <functional>
#include <memory>
#include <stop_token>
#include <vector>

namespace platform::async {

// A running coroutine with a cancellation flag: the stand-in for a detached task on the main
// thread. The body receives the flag as a std::stop_token and checks it after every co_await;
// the waits of this library (sleepFor, AsyncStream::next) end early when it is set, without an
// error. Cancelling only sets the flag: the body decides how to wind down.
//
// The body starts on the next turn of the main thread's event loop, not inside start(), so code
// after start() runs first. Destroying the handle does not cancel the task (it runs on, detached);
// owners that want their task to end with them cancel it in their destructor.
// An exception that escapes the body is logged and ends the task.
class TaskHandle {
public:
    using Body = std::function<QCoro::Task<void>(std::stop_token)>;

    TaskHandle() = default;

    static TaskHandle start(Body body);

    // Safe from any thread.
    void cancel() const;
    bool isCancelled() const;
    // True once the body has returned (main thread).
    bool isFinished() const;
    std::stop_token token() const;

    // Completes when the body has returned.
    QCoro::Task<void> finished() const;

    explicit operator bool() const { return static_cast<bool>(m_state); }

private:
    struct State;
    static QCoro::Task<void> run(State* state);
    static void finish(State* state);

    std::shared_ptr<State> m_state;
};

} // namespace platform::async
