#include "platform/MainQueue.h"
#include "support/TryWithTimeout.h"

#include <QCoreApplication>
#include <QTest>

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <limits>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using platform::MainQueue;

TEST(MainQueueTest, PostRunsLaterOnTheMainThreadInOrder)
{
    std::vector<int> order;
    for (int i = 0; i < 100; ++i) {
        MainQueue::post(qApp, [&order, i] {
            EXPECT_TRUE(MainQueue::isMainThread());
            order.push_back(i);
        });
    }
    EXPECT_TRUE(order.empty()) << "post must never run the work synchronously";
    KIRUVO_TRY_COMPARE_WITH_TIMEOUT(order.size(), std::size_t(100), 5000);
    for (int i = 0; i < 100; ++i) {
        EXPECT_EQ(order[i], i);
    }
}

TEST(MainQueueTest, PostFromOtherThreadsKeepsEachThreadsOrderAndTheGlobalPostingOrder)
{
    EXPECT_TRUE(MainQueue::isMainThread());
    std::mutex mutex;
    std::vector<int> posted; // the order in which post() was called
    std::vector<int> ran; // the order in which the work ran (main thread only)
    constexpr int threads = 4;
    constexpr int perThread = 250;
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&, t] {
            EXPECT_FALSE(MainQueue::isMainThread());
            for (int i = 0; i < perThread; ++i) {
                int id = t * perThread + i;
                std::lock_guard lock(mutex);
                posted.push_back(id);
                MainQueue::post(qApp, [&ran, id] {
                    EXPECT_TRUE(MainQueue::isMainThread());
                    ran.push_back(id);
                });
            }
        });
    }
    for (auto& worker : workers) {
        worker.join();
    }
    KIRUVO_TRY_COMPARE_WITH_TIMEOUT(ran.size(), std::size_t(threads * perThread), 5000);
    EXPECT_EQ(ran, posted);
}

TEST(MainQueueTest, WorkPostedFromWorkRunsAfterWhatWasAlreadyQueued)
{
    std::vector<std::string> order;
    MainQueue::post(qApp, [&] {
        order.push_back("a");
        MainQueue::post(qApp, [&] { order.push_back("c"); });
    });
    MainQueue::post(qApp, [&] { order.push_back("b"); });
    KIRUVO_TRY_COMPARE_WITH_TIMEOUT(order.size(), std::size_t(3), 5000);
    EXPECT_EQ(order, (std::vector<std::string> { "a", "b", "c" }));
}

TEST(MainQueueTest, AsyncAfterRunsOnTheMainThreadAfterItsDelay)
{
    std::vector<std::string> order;
    MainQueue::asyncAfter(0.05, qApp, [&] { order.push_back("later"); });
    MainQueue::asyncAfter(0.0, qApp, [&] {
        EXPECT_TRUE(MainQueue::isMainThread());
        order.push_back("sooner");
    });
    EXPECT_TRUE(order.empty());
    KIRUVO_TRY_COMPARE_WITH_TIMEOUT(order.size(), std::size_t(2), 5000);
    EXPECT_EQ(order, (std::vector<std::string> { "sooner", "later" }));
}

TEST(MainQueueTest, AsyncAfterClampsBadDelays)
{
    int ran = 0;
    MainQueue::asyncAfter(std::numeric_limits<double>::quiet_NaN(), qApp, [&] { ++ran; });
    MainQueue::asyncAfter(-5, qApp, [&] { ++ran; });
    MainQueue::asyncAfter(-std::numeric_limits<double>::infinity(), qApp, [&] { ++ran; });
    bool infiniteRan = false;
    MainQueue::asyncAfter(std::numeric_limits<double>::infinity(), qApp, [&] { infiniteRan = true; });
    KIRUVO_TRY_COMPARE_WITH_TIMEOUT(ran, 3, 5000);
    QCoreApplication::processEvents();
    EXPECT_FALSE(infiniteRan);
}

TEST(MainQueueTest, AsyncAfterFromAnotherThreadRunsOnTheMainThread)
{
    std::atomic<bool> onMain { false };
    std::atomic<bool> ran { false };
    std::thread worker([&] {
        MainQueue::asyncAfter(0.01, qApp, [&] {
            onMain = MainQueue::isMainThread();
            ran = true;
        });
    });
    worker.join();
    KIRUVO_TRY_VERIFY_WITH_TIMEOUT(ran.load(), 5000);
    EXPECT_TRUE(onMain.load());
}

TEST(MainQueueTest, VeryLongDelaysAreAcceptedWithoutRunningEarly)
{
    // Longer than one Qt timer can hold (about 24.8 days): must neither overflow into an immediate
    // run nor be refused.
    bool ran = false;
    MainQueue::asyncAfter(60.0 * 60 * 24 * 365, qApp, [&] { ran = true; });
    QTest::qWait(20);
    EXPECT_FALSE(ran);
}

TEST(MainQueueTest, WorkOfADestroyedContextIsDroppedAndTheRestKeepsItsOrder)
{
    std::vector<std::string> ran;
    auto kept = std::make_unique<QObject>();
    auto doomed = std::make_unique<QObject>();
    MainQueue::post(kept.get(), [&] { ran.push_back("kept 1"); });
    MainQueue::post(doomed.get(), [&] { ran.push_back("doomed post"); });
    MainQueue::asyncAfter(0, doomed.get(), [&] { ran.push_back("doomed after"); });
    MainQueue::post(qApp, [&] { ran.push_back("app"); });
    MainQueue::asyncAfter(0, kept.get(), [&] { ran.push_back("kept 2"); });
    MainQueue::post(kept.get(), [&] { ran.push_back("kept 3"); });
    doomed.reset();
    MainQueue::post(nullptr, [&] { ran.push_back("no context"); });
    bool done = false;
    MainQueue::post(qApp, [&] { done = true; });
    KIRUVO_TRY_VERIFY_WITH_TIMEOUT(done, 5000);
    EXPECT_EQ(ran, (std::vector<std::string> { "kept 1", "app", "kept 2", "kept 3" }));
}

TEST(MainQueueTest, WorkPostedFromAnotherThreadForADestroyedContextIsDropped)
{
    std::vector<int> ran;
    auto kept = std::make_unique<QObject>();
    auto doomed = std::make_unique<QObject>();
    std::thread worker([&] {
        for (int i = 0; i < 200; ++i) {
            QObject* context = i % 2 == 0 ? kept.get() : doomed.get();
            MainQueue::post(context, [&ran, i] {
                EXPECT_TRUE(MainQueue::isMainThread());
                ran.push_back(i);
            });
            // Only the start of the wait is posted: it must go with the context too.
            MainQueue::asyncAfter(0, context, [&ran, i] { ran.push_back(1000 + i); });
        }
    });
    worker.join();
    doomed.reset();
    std::vector<int> expected;
    for (int i = 0; i < 200; i += 2) {
        expected.push_back(i);
    }
    KIRUVO_TRY_COMPARE_WITH_TIMEOUT(ran.size(), std::size_t(200), 5000);
    QCoreApplication::processEvents();
    ASSERT_EQ(ran.size(), std::size_t(200));
    EXPECT_EQ(std::vector<int>(ran.begin(), ran.begin() + 100), expected);
    for (int i = 100; i < 200; ++i) {
        EXPECT_EQ(ran[i] % 2, 0) << "work of the destroyed context ran: " << ran[i];
        EXPECT_GE(ran[i], 1000);
    }
}

TEST(MainQueueTest, AContextDestroyedDuringAWaitEndsIt)
{
    bool ran = false;
    bool sentinelRan = false;
    auto context = std::make_unique<QObject>();
    MainQueue::asyncAfter(0.01, context.get(), [&] { ran = true; });
    QCoreApplication::processEvents(); // the wait has begun
    context.reset();
    MainQueue::asyncAfter(0.02, qApp, [&] { sentinelRan = true; });
    KIRUVO_TRY_VERIFY_WITH_TIMEOUT(sentinelRan, 5000);
    EXPECT_FALSE(ran);
}
