#include "platform/async/Sleep.h"
#include "platform/async/TaskHandle.h"
#include "platform/combine/ManualScheduler.h"
#include "platform/linux/BootTimeScheduler.h"
#include "support/TryWithTimeout.h"

#include <QCoreApplication>
#include <QCoro/QCoroTask>
#include <QTest>

#include <gtest/gtest.h>

#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

using namespace platform::async;
using platform::combine::ManualScheduler;

TEST(AsyncTask, BodyStartsOnALaterTurnOfTheMainLoop)
{
    std::vector<std::string> log;
    auto task = TaskHandle::start([&](std::stop_token) -> QCoro::Task<void> {
        log.push_back("body");
        co_return;
    });
    log.push_back("after start");
    QCoro::waitFor(task.finished());
    EXPECT_EQ(log, (std::vector<std::string> { "after start", "body" }));
    EXPECT_TRUE(task.isFinished());
}

TEST(AsyncTask, CancellingASleepingTaskEndsTheSleepEarlyWithoutError)
{
    ManualScheduler scheduler;
    std::vector<std::string> log;
    auto task = TaskHandle::start([&](std::stop_token token) -> QCoro::Task<void> {
        log.push_back("sleeping");
        const bool elapsed = co_await sleepFor(3600, token, scheduler);
        log.push_back(elapsed ? "woke after the time" : "woke early");
        if (token.stop_requested()) {
            co_return;
        }
        log.push_back("should not run");
    });
    QCoreApplication::processEvents();
    EXPECT_EQ(log, (std::vector<std::string> { "sleeping" }));
    scheduler.advance(10);
    EXPECT_EQ(log.size(), 1u);
    task.cancel();
    EXPECT_TRUE(task.isCancelled());
    EXPECT_EQ(log.size(), 1u); // the wake-up goes through the scheduler, never inside cancel()
    scheduler.runPending();
    EXPECT_EQ(log, (std::vector<std::string> { "sleeping", "woke early" }));
    EXPECT_TRUE(task.isFinished());
    EXPECT_EQ(scheduler.pendingCount(), 0u); // the hour-long timer was withdrawn
}

TEST(AsyncTask, SleepRunsItsFullTimeOnTheScheduler)
{
    ManualScheduler scheduler;
    std::vector<double> wokeAt;
    auto task = TaskHandle::start([&](std::stop_token token) -> QCoro::Task<void> {
        for (int i = 0; i < 3; ++i) {
            if (!co_await sleepFor(2.5, token, scheduler)) {
                co_return;
            }
            wokeAt.push_back(scheduler.now());
        }
    });
    QCoreApplication::processEvents();
    scheduler.advance(7.4);
    EXPECT_EQ(wokeAt, (std::vector<double> { 2.5, 5.0 }));
    scheduler.advance(0.1);
    EXPECT_EQ(wokeAt, (std::vector<double> { 2.5, 5.0, 7.5 }));
    EXPECT_TRUE(task.isFinished());
}

TEST(AsyncTask, SleepWithACancelledTokenReturnsAtOnce)
{
    ManualScheduler scheduler;
    std::stop_source source;
    source.request_stop();
    EXPECT_FALSE(QCoro::waitFor(sleepFor(100, source.get_token(), scheduler)));
    EXPECT_EQ(scheduler.pendingCount(), 0u);
}

TEST(AsyncTask, RealTimerSleepOnTheMainThread)
{
    EXPECT_TRUE(QCoro::waitFor(sleepFor(0.01)));
    EXPECT_TRUE(QCoro::waitFor(sleepFor(-5))); // negative counts as no wait
}

TEST(AsyncTask, RealTimerSleepCancelledFromAnotherThread)
{
    auto task = TaskHandle::start(
        [](std::stop_token token) -> QCoro::Task<void> { co_await sleepFor(3600, token); });
    QCoreApplication::processEvents();
    std::thread([task] { task.cancel(); }).join();
    KIRUVO_TRY_VERIFY_WITH_TIMEOUT(task.isFinished(), 2000);
}

TEST(AsyncTask, AnEscapingErrorEndsTheTaskQuietly)
{
    auto task = TaskHandle::start([](std::stop_token) -> QCoro::Task<void> {
        throw std::runtime_error("failure inside a task");
        co_return;
    });
    QCoro::waitFor(task.finished());
    EXPECT_TRUE(task.isFinished());
}

TEST(AsyncTask, TheBodyClosureOutlivesTheStartCall)
{
    // A coroutine lambda reaches its captures through the closure object, which must stay alive
    // while the body is suspended.
    ManualScheduler scheduler;
    std::string result;
    auto task = TaskHandle::start(
        [&, text = std::string("captured text")](std::stop_token token) -> QCoro::Task<void> {
            co_await sleepFor(1, token, scheduler);
            result = text;
        });
    QCoreApplication::processEvents();
    scheduler.advance(1);
    EXPECT_EQ(result, "captured text");
}

TEST(AsyncTask, SleepOnTheContinuousClockEndsAtItsDeadlineOrWhenCancelled)
{
    // Zero and negative spans: the deadline has passed already.
    EXPECT_TRUE(QCoro::waitFor(sleepOnContinuousClock(0)));
    EXPECT_TRUE(QCoro::waitFor(sleepOnContinuousClock(-5)));
    EXPECT_TRUE(QCoro::waitFor(sleepOnContinuousClock(0.005)));

    auto task = TaskHandle::start([](std::stop_token token) -> QCoro::Task<void> {
        EXPECT_FALSE(co_await sleepOnContinuousClock(3600, token));
    });
    QCoreApplication::processEvents();
    task.cancel();
    KIRUVO_TRY_VERIFY_WITH_TIMEOUT(task.isFinished(), 2000);
}

TEST(AsyncTask, BootTimeTimersCountFromWhenTheyWereAskedFor)
{
    // A cancelled wait never runs its work; an infinite one is never armed.
    int ran = 0;
    {
        auto cancelled = platform::BootTimeScheduler::shared().schedule(0, [&] { ++ran; });
        cancelled.cancel();
    }
    auto never = platform::BootTimeScheduler::shared().schedule(
        std::numeric_limits<double>::infinity(), [&] { ++ran; });
    auto soon = platform::BootTimeScheduler::shared().schedule(0, [&] { ran += 10; });
    KIRUVO_TRY_COMPARE_WITH_TIMEOUT(ran, 10, 2000);
    QCoreApplication::processEvents();
    EXPECT_EQ(ran, 10);
}
