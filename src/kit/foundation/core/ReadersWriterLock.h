#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <type_traits>
#include <utility>

namespace zk {

// Guards state shared between threads the way a concurrent queue with barrier writes does. Every
// operation takes its place in one first-in-first-out order:
// - `read` runs its closure synchronously on the caller's thread, overlapping other reads, once
//   every write submitted before it has run; so a thread always reads its own earlier writes.
// - `write` queues its closure and returns at once; queued writes run one at a time, alone (no
//   read overlaps them), in submission order, on one worker thread that the lock starts at its
//   first write and keeps for the rest of its life (a thread per burst of writes would cost a
//   thread start every time the memo tables are touched after a pause).
// - `exclusive` is a synchronous write: it waits for its turn and runs alone on the caller's thread.
// A closure must not call `read`, `exclusive` or `waitForPendingWrites` on its own lock (it would
// wait for itself). Destroying the lock waits for the writes still queued.
class ReadersWriterLock {
public:
    static constexpr const char* defaultLabel = "com.zelvantorium.readersWriterLock";

    ReadersWriterLock();
    explicit ReadersWriterLock(std::string label);
    ~ReadersWriterLock();
    ReadersWriterLock(const ReadersWriterLock&) = delete;
    ReadersWriterLock& operator=(const ReadersWriterLock&) = delete;

    const std::string& label() const { return m_label; }

    // Runs `f` on this thread once the writes submitted before have run; exceptions propagate.
    template <class F> auto read(F&& f) -> decltype(f())
    {
        Turn turn(*m_state, beginRead());
        return f();
    }

    // Queues `f` as a barrier and returns at once. An exception thrown by `f` is logged and
    // dropped: nobody is waiting for it.
    void write(std::function<void()> f);

    // Runs `f` alone on this thread after every operation submitted before it; exceptions propagate.
    template <class F> auto exclusive(F&& f) -> decltype(f())
    {
        Turn turn(*m_state, beginExclusive());
        return f();
    }

    // Returns once every write submitted before the call has run.
    void waitForPendingWrites();

private:
    struct State;
    // Ends an operation that has its turn, also when its closure throws.
    class Turn {
    public:
        Turn(State& state, std::uint64_t ticket)
            : m_state(state)
            , m_ticket(ticket)
        {
        }
        ~Turn();
        Turn(const Turn&) = delete;
        Turn& operator=(const Turn&) = delete;

    private:
        State& m_state;
        std::uint64_t m_ticket;
    };

    static void runWrites(std::shared_ptr<State> state);
    std::uint64_t beginRead();
    std::uint64_t beginExclusive();

    std::string m_label;
    std::shared_ptr<State> m_state;
    std::thread m_worker;
};

} // namespace zk

// The dictionary guarded by such a lock lives beside it.
#include "kit/foundation/core/AtomicDictionary.h"
