#pragma once

#include "platform/combine/AnyCancellable.h"
#include "platform/combine/Scheduler.h"

#include <QCoro/QCoroTask>

#include <cstdint>
#include <functional>
#include <memory>

namespace zk {

// Where a timer waits and which clock it reads. The main source waits with Qt timers on the main
// thread, which keep firing while a menu is open or a control is tracked, and reads the monotonic
// uptime; tests pass a ManualScheduler and its own time.
struct TimerSource {
    platform::combine::Scheduler* scheduler = nullptr;
    std::function<double()> now;

    static TimerSource main();
};

// A timer on the main thread that calls its block every interval (or once), until invalidated.
// Like a timer added to a run loop, a scheduled timer keeps itself alive while it is valid: the
// returned handle may be dropped. Firings stay on the grid of start + n × interval; firings that
// a busy thread missed are skipped, not made up. An interval that is not a positive finite number
// counts as 0.1 ms.
//
// Main-thread only (the thread of the source's scheduler).
class Timer : public std::enable_shared_from_this<Timer> {
public:
    using Block = std::function<void(Timer&)>;

    // A timer that fires `interval` seconds from now and then, when `repeats`, every `interval`.
    static std::shared_ptr<Timer> scheduledInCommonModes(
        double interval, bool repeats, Block block, const TimerSource& source = TimerSource::main());

    // A repeating timer that ends by itself: each firing that comes later than `totalDuration`
    // seconds after the start invalidates the timer and calls `onFinish`; every other firing
    // (one exactly at the end included) calls `onRepeat`. `onRepeat` thus runs about
    // totalDuration / interval times.
    static std::shared_ptr<Timer> scheduledRepeating(double interval, double totalDuration,
        Block onRepeat = {}, std::function<void()> onFinish = {},
        const TimerSource& source = TimerSource::main());

    // The same timer, awaited: returns once it has finished. The new timer is stored in `*slot`
    // (replacing an earlier one there, which keeps running to its own end) before the first
    // suspension, so that the caller can stop it. Invalidating it early also ends the wait, on the
    // next turn of the source's scheduler: a stopped timer never leaves its waiter hanging.
    // Everything passed is used before the first suspension, so temporaries are fine.
    static QCoro::Task<void> scheduledRepeatingTimer(double interval, double totalDuration,
        const Block& onRepeat, std::shared_ptr<Timer>* slot, const TimerSource& source = TimerSource::main());

    Timer(const Timer&) = delete;
    Timer& operator=(const Timer&) = delete;
    ~Timer();

    // Stops the timer for good and lets go of its block, which is not called again. Safe to call
    // from the block.
    void invalidate();
    bool isValid() const { return m_valid; }
    double timeInterval() const { return m_interval; }

    // Invalidates the timer when there is one.
    static void invalidate(const std::shared_ptr<Timer>& timer);

private:
    struct Private { };

public:
    Timer(Private, double interval, bool repeats, Block block, TimerSource source);

private:
    void start();
    void scheduleNext();
    void fire();

    double m_interval;
    bool m_repeats;
    Block m_block;
    TimerSource m_source;
    double m_start = 0;
    std::uint64_t m_nextFiring = 1;
    bool m_valid = true;
    platform::combine::AnyCancellable m_pending;
    // Called once when the timer is invalidated (by anyone, at any time).
    std::function<void()> m_onInvalidate;
};

} // namespace zk
