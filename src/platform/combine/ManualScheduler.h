#pragma once

#include "platform/combine/Scheduler.h"

#include <cstdint>
#include <mutex>
#include <vector>

namespace platform::combine {

// A scheduler whose time moves only when told, for tests and fakes: work runs on the thread that
// calls advance() or runPending(), in order of due time, then of submission.
class ManualScheduler final : public Scheduler {
public:
    void post(std::function<void()> work) override;
    [[nodiscard]] AnyCancellable schedule(double seconds, std::function<void()> work) override;

    // Seconds advanced so far.
    double now() const;
    // Runs everything due now, including work that becomes due while running.
    void runPending();
    // Moves time forward by `seconds`, running each item at its own due time.
    void advance(double seconds);
    // Items waiting, due or not.
    std::size_t pendingCount() const;

private:
    struct Item {
        double due;
        std::uint64_t sequence;
        std::shared_ptr<std::function<void()>> work;
    };
    // Takes the earliest item due at or before `limit`, moving the clock to its due time.
    bool takeNext(double limit, std::function<void()>& work);

    mutable std::mutex m_mutex;
    double m_now = 0;
    std::uint64_t m_sequence = 0;
    std::vector<Item> m_items;
};

} // namespace platform::combine
