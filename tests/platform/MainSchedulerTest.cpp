#include "platform/combine/Scheduler.h"
#include "support/TryWithTimeout.h"

#include <QCoreApplication>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <chrono>

namespace {

// Counts the timer events that reach Qt timers.
struct TimerEventCounter : QObject {
    int count = 0;
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Timer && qobject_cast<QTimer*>(watched) != nullptr) {
            ++count;
        }
        return false;
    }
};

TEST(MainSchedulerTest, AWaitOfAFractionOfAMillisecondNeverSpinsTheEventLoop)
{
    // A deadline between two whole milliseconds: a timer that fell short of it and were started
    // again for 0 ms would fire many times before the work ran.
    TimerEventCounter counter;
    QCoreApplication::instance()->installEventFilter(&counter);
    for (const double seconds : { 0.0205, 0.0107, 0.0039 }) {
        counter.count = 0;
        bool ran = false;
        const auto start = std::chrono::steady_clock::now();
        auto cancellable = platform::combine::Scheduler::main().schedule(seconds, [&] { ran = true; });
        KIRUVO_TRY_VERIFY_WITH_TIMEOUT(ran, 5000);
        const double waited = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        EXPECT_GE(waited, seconds) << "never early";
        EXPECT_LE(counter.count, 2) << seconds;
    }
    QCoreApplication::instance()->removeEventFilter(&counter);
}

} // namespace
