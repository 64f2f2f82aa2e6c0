#include "platform/linux/BootTimeScheduler.h"

#include "platform/Logger.h"
#include "platform/MainQueue.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <ctime>
#include <memory>
#include <sys/timerfd.h>
#include <unistd.h>

namespace platform {

namespace {

struct Wait {
    std::atomic<bool> cancelled { false };
    // The rest is touched on the main thread only.
    int fd = -1;
    QSocketNotifier* notifier = nullptr;
    std::function<void()> work;

    void release()
    {
        work = nullptr;
        if (notifier) {
            notifier->setEnabled(false);
            notifier->deleteLater();
            notifier = nullptr;
        }
        if (fd >= 0) {
            ::close(fd);
            fd = -1;
        }
    }
};

void start(const std::shared_ptr<Wait>& wait, double seconds)
{
    if (wait->cancelled.load()) {
        wait->release();
        return;
    }
    wait->fd = ::timerfd_create(CLOCK_BOOTTIME, TFD_NONBLOCK | TFD_CLOEXEC);
    if (wait->fd < 0) {
        // Without a timer file the wait can still end, only without counting a suspend.
        log(LogLevel::Error, lcSystem(), std::string("No boot-time timer: ") + std::strerror(errno));
        MainQueue::asyncAfter(seconds, QCoreApplication::instance(), [wait] {
            auto work = std::move(wait->work);
            wait->release();
            if (work && !wait->cancelled.load()) {
                work();
            }
        });
        return;
    }
    itimerspec when {};
    // A zero it_value would disarm the timer: the shortest wait is one nanosecond.
    const double whole = std::floor(seconds);
    when.it_value.tv_sec = static_cast<time_t>(whole);
    when.it_value.tv_nsec = static_cast<long>((seconds - whole) * 1e9);
    if (when.it_value.tv_sec == 0 && when.it_value.tv_nsec == 0) {
        when.it_value.tv_nsec = 1;
    }
    ::timerfd_settime(wait->fd, 0, &when, nullptr);
    wait->notifier = new QSocketNotifier(wait->fd, QSocketNotifier::Read);
    QObject::connect(
        wait->notifier, &QSocketNotifier::activated, wait->notifier, [weak = std::weak_ptr(wait)] {
            auto wait = weak.lock();
            if (!wait) {
                return;
            }
            std::uint64_t expirations = 0;
            (void)::read(wait->fd, &expirations, sizeof expirations);
            auto work = std::move(wait->work);
            wait->release();
            if (work && !wait->cancelled.load()) {
                work();
            }
        });
}

} // namespace

BootTimeScheduler& BootTimeScheduler::shared()
{
    static BootTimeScheduler scheduler;
    return scheduler;
}

void BootTimeScheduler::post(std::function<void()> work)
{
    // A scheduler's work belongs to the subscription that asked for it, which ends through its
    // cancellable, not through an object's lifetime.
    MainQueue::post(QCoreApplication::instance(), std::move(work));
}

combine::AnyCancellable BootTimeScheduler::schedule(double seconds, std::function<void()> work)
{
    if (std::isinf(seconds) && seconds > 0) {
        return combine::AnyCancellable();
    }
    const double delay = std::isnan(seconds) || seconds < 0 ? 0.0 : std::min(seconds, 1e9);
    auto wait = std::make_shared<Wait>();
    wait->work = std::move(work);
    // The notifier must live on the main thread, whatever thread asks.
    // Bound to the application: a cancelled wait still has its timer file closed.
    MainQueue::post(QCoreApplication::instance(), [wait, delay] { start(wait, delay); });
    return combine::AnyCancellable([wait] {
        wait->cancelled.store(true);
        MainQueue::post(QCoreApplication::instance(), [wait] { wait->release(); });
    });
}

} // namespace platform
