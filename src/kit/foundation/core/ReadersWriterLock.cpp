#include "kit/foundation/core/ReadersWriterLock.h"

#include "platform/Logger.h"

#include <exception>
#include <thread>

namespace zk {

// Every operation draws a ticket in submission order. A read may start once no write with an
// earlier ticket is outstanding; a write (queued or exclusive) may start once its ticket is the
// earliest outstanding one, so it runs alone and in order. Queued writes are run by the lock's one
// worker thread, which holds the state alive, so a lock destroyed from inside one of its own writes
// (the last owner released there) leaves the worker a valid state to finish with.
struct ReadersWriterLock::State {
    std::string label;
    std::mutex mutex;
    std::condition_variable changed;
    std::uint64_t nextTicket = 0;
    std::set<std::uint64_t> outstanding; // every started-or-waiting operation not yet finished
    std::set<std::uint64_t> outstandingWrites;
    std::deque<std::pair<std::uint64_t, std::function<void()>>> queuedWrites;
    bool workerStarted = false;
    // Set when the lock is destroyed: the worker ends once the queue is empty.
    bool stopping = false;
    // Set when the lock is destroyed by one of its own queued writes: the writes still queued
    // belong to an owner that no longer exists and are dropped unrun.
    bool abandoned = false;

    bool readMayStart(std::uint64_t ticket) const
    {
        return outstandingWrites.empty() || *outstandingWrites.begin() > ticket;
    }
    bool writeMayStart(std::uint64_t ticket) const { return *outstanding.begin() == ticket; }

    void finish(std::uint64_t ticket)
    {
        {
            std::lock_guard guard(mutex);
            outstanding.erase(ticket);
            outstandingWrites.erase(ticket);
        }
        changed.notify_all();
    }
};

namespace {
// The state whose queued writes the current thread is running, if any.
thread_local const void* runningWritesOf = nullptr;

void logFailedWrite(const std::string& message)
{
    platform::log(platform::LogLevel::Error, platform::lcCore(), message);
}
} // namespace

ReadersWriterLock::ReadersWriterLock()
    : ReadersWriterLock(std::string(defaultLabel))
{
}

ReadersWriterLock::ReadersWriterLock(std::string label)
    : m_label(std::move(label))
    , m_state(std::make_shared<State>())
{
    m_state->label = m_label;
}

ReadersWriterLock::~ReadersWriterLock()
{
    const bool fromOwnWrite = runningWritesOf == m_state.get();
    if (!fromOwnWrite) {
        waitForPendingWrites();
    }
    {
        std::lock_guard guard(m_state->mutex);
        m_state->stopping = true;
        m_state->abandoned = fromOwnWrite;
    }
    m_state->changed.notify_all();
    if (!m_worker.joinable()) {
        return;
    }
    // The worker cannot wait for itself: destroyed from one of its own writes, it finishes alone.
    if (fromOwnWrite) {
        m_worker.detach();
    } else {
        m_worker.join();
    }
}

ReadersWriterLock::Turn::~Turn()
{
    m_state.finish(m_ticket);
}

std::uint64_t ReadersWriterLock::beginRead()
{
    State& s = *m_state;
    std::unique_lock lock(s.mutex);
    const std::uint64_t ticket = s.nextTicket++;
    s.outstanding.insert(ticket);
    s.changed.wait(lock, [&] { return s.readMayStart(ticket); });
    return ticket;
}

std::uint64_t ReadersWriterLock::beginExclusive()
{
    State& s = *m_state;
    std::unique_lock lock(s.mutex);
    const std::uint64_t ticket = s.nextTicket++;
    s.outstanding.insert(ticket);
    s.outstandingWrites.insert(ticket);
    s.changed.wait(lock, [&] { return s.writeMayStart(ticket); });
    return ticket;
}

void ReadersWriterLock::write(std::function<void()> f)
{
    bool startWorker = false;
    {
        std::lock_guard guard(m_state->mutex);
        const std::uint64_t ticket = m_state->nextTicket++;
        m_state->outstanding.insert(ticket);
        m_state->outstandingWrites.insert(ticket);
        m_state->queuedWrites.emplace_back(ticket, std::move(f));
        if (!m_state->workerStarted) {
            m_state->workerStarted = true;
            startWorker = true;
        }
    }
    if (startWorker) {
        m_worker = std::thread(&ReadersWriterLock::runWrites, m_state);
    } else {
        m_state->changed.notify_all();
    }
}

void ReadersWriterLock::runWrites(std::shared_ptr<State> state)
{
    runningWritesOf = state.get();
    for (;;) {
        std::uint64_t ticket = 0;
        std::function<void()> work;
        // Dropped writes are destroyed after the mutex is released (declared before it).
        std::deque<std::pair<std::uint64_t, std::function<void()>>> dropped;
        {
            std::unique_lock lock(state->mutex);
            state->changed.wait(
                lock, [&] { return state->stopping || state->abandoned || !state->queuedWrites.empty(); });
            if (state->abandoned) {
                for (const auto& queued : state->queuedWrites) {
                    state->outstanding.erase(queued.first);
                    state->outstandingWrites.erase(queued.first);
                }
                dropped.swap(state->queuedWrites);
            }
            if (state->queuedWrites.empty()) {
                if (state->stopping || state->abandoned) {
                    break;
                }
                continue;
            }
            ticket = state->queuedWrites.front().first;
            work = std::move(state->queuedWrites.front().second);
            state->queuedWrites.pop_front();
            state->changed.wait(lock, [&] { return state->writeMayStart(ticket); });
        }
        try {
            work();
        } catch (const std::exception& error) {
            logFailedWrite(state->label + ": a queued write failed: " + error.what());
        } catch (...) {
            logFailedWrite(state->label + ": a queued write failed");
        }
        work = nullptr; // release what the closure holds before others see the write done
        state->finish(ticket);
    }
    runningWritesOf = nullptr;
}

void ReadersWriterLock::waitForPendingWrites()
{
    // A queued write waiting for the queue it runs on would wait for itself.
    if (runningWritesOf == m_state.get()) {
        return;
    }
    State& s = *m_state;
    std::unique_lock lock(s.mutex);
    const std::uint64_t before = s.nextTicket;
    s.changed.wait(lock, [&] { return s.readMayStart(before); });
}

} // namespace zk
