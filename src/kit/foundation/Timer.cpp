#include "kit/foundation/Timer.h"

#include "platform/async/ResumeOnce.h"

#include <chrono>
#include <cmath>
#include <coroutine>

namespace zk {

namespace {

// Below this a repeating timer would keep the thread busy.
constexpr double minimumInterval = 0.0001;

} // namespace

TimerSource TimerSource::main()
{
    // The same clock as the main scheduler's deadlines, so that due times and waits agree.
    return TimerSource { &platform::combine::Scheduler::main(),
        [] {
            return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
        } };
}

Timer::Timer(Private, double interval, bool repeats, Block block, TimerSource source)
    : m_interval(std::isfinite(interval) && interval > minimumInterval ? interval : minimumInterval)
    , m_repeats(repeats)
    , m_block(std::move(block))
    , m_source(std::move(source))
{
}

Timer::~Timer() = default;

std::shared_ptr<Timer> Timer::scheduledInCommonModes(
    double interval, bool repeats, Block block, const TimerSource& source)
{
    auto timer = std::make_shared<Timer>(Private {}, interval, repeats, std::move(block), source);
    timer->start();
    return timer;
}

std::shared_ptr<Timer> Timer::scheduledRepeating(double interval, double totalDuration, Block onRepeat,
    std::function<void()> onFinish, const TimerSource& source)
{
    Block firing
        = [totalDuration, onRepeat = std::move(onRepeat), onFinish = std::move(onFinish)](Timer& timer) {
              if (timer.m_start + totalDuration < timer.m_source.now()) {
                  timer.invalidate();
                  if (onFinish) {
                      onFinish();
                  }
                  return;
              }
              if (onRepeat) {
                  onRepeat(timer);
              }
          };
    return scheduledInCommonModes(interval, true, std::move(firing), source);
}

QCoro::Task<void> Timer::scheduledRepeatingTimer(double interval, double totalDuration, const Block& onRepeat,
    std::shared_ptr<Timer>* slot, const TimerSource& source)
{
    auto waiter = std::make_shared<platform::async::ResumeOnce>();
    auto timer = scheduledRepeating(
        interval, totalDuration, onRepeat, [waiter] { waiter->wake(); }, source);
    timer->m_onInvalidate = [waiter, scheduler = source.scheduler] {
        // Never inside the caller's invalidate(): the waiter goes on from the scheduler.
        scheduler->post([waiter] { waiter->wake(); });
    };
    if (slot) {
        *slot = timer;
    }
    // Only the scheduled firing (and the slot) keep the timer alive, not this wait.
    timer.reset();
    co_await waiter->wait();
}

void Timer::start()
{
    m_start = m_source.now();
    m_nextFiring = 1;
    scheduleNext();
}

void Timer::scheduleNext()
{
    const double now = m_source.now();
    double due = m_start + m_interval * static_cast<double>(m_nextFiring);
    if (due < now) {
        // Missed firings are skipped, as a run loop does.
        m_nextFiring = static_cast<std::uint64_t>(std::floor((now - m_start) / m_interval)) + 1;
        due = m_start + m_interval * static_cast<double>(m_nextFiring);
    }
    ++m_nextFiring;
    m_pending = m_source.scheduler->schedule(due - now, [self = shared_from_this()] { self->fire(); });
}

void Timer::fire()
{
    const auto self = shared_from_this();
    if (!m_valid) {
        return;
    }
    // A copy: invalidating from inside the block lets go of the block.
    if (const Block block = m_block) {
        block(*this);
    }
    if (!m_repeats) {
        invalidate();
    } else if (m_valid) {
        scheduleNext();
    }
}

void Timer::invalidate()
{
    // Cancelling drops the scheduled firing, which may hold the last reference to this timer.
    const auto self = weak_from_this().lock();
    if (!m_valid) {
        return;
    }
    m_valid = false;
    m_pending.cancel();
    // Whatever the block holds goes with the timer's validity, not with the last handle.
    m_block = nullptr;
    if (auto onInvalidate = std::exchange(m_onInvalidate, nullptr)) {
        onInvalidate();
    }
}

void Timer::invalidate(const std::shared_ptr<Timer>& timer)
{
    if (timer) {
        timer->invalidate();
    }
}

} // namespace zk
