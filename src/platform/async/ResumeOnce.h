#pragma once

#include <coroutine>
#include <utility>

namespace platform::async {

// One suspended caller, woken at most once by whichever of several paths comes first (a
// completion, a timer, a cancellation). Whoever may wake it keeps it alive, usually through a
// shared_ptr, together with the waiting frame.
//
// Main-thread only, like the paths that wake it.
struct ResumeOnce {
    std::coroutine_handle<> handle;
    bool done = false;

    // Resumes the caller if it waits, and makes a later co_await return at once.
    void wake()
    {
        if (done) {
            return;
        }
        done = true;
        if (handle) {
            std::exchange(handle, nullptr).resume();
        }
    }

    // co_await resumeOnce.wait(): suspends until wake(). The awaiter holds a plain pointer, so it
    // has nothing to destroy (g++ 12 may destroy a temporary in a co_await operand twice).
    struct Awaiter {
        ResumeOnce* waiter;
        bool await_ready() const noexcept { return waiter->done; }
        void await_suspend(std::coroutine_handle<> caller) const { waiter->handle = caller; }
        void await_resume() const noexcept { }
    };
    Awaiter wait() { return Awaiter { this }; }
};

} // namespace platform::async
