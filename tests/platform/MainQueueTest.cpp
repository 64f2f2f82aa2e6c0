#include "platform/MainQueue.h"
#include "support/TryWithTimeout.h"

#include <QCoreApplication>
#include <QTest>

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <limits>
#include <mutex>
#include <thread>

using platform::MainQueue;

TEST(MainQueueTest, PostRunsLaterOnTheMainThreadInOrder)
{
    std::vector<int> order;
    for (int i = 0; i < 100; ++i) {
        MainQueue::post([&order, i] {
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
                MainQueue::post([&ran, id] {
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
    MainQueue::post([&] {
        order.push_back("a");
        MainQueue::post([&] { order.push_back("c"); });
    });
    MainQueue::post([&] { order.push_back("b"); });
    KIRUVO_TRY_COMPARE_WITH_TIMEOUT(order.size(), std::size_t(3), 5000);
    EXPECT_EQ(order, (std::vector<std::string> { "a", "b", "c" }));
}

TEST(MainQueueTest, AsyncAfterRunsOnTheMainThreadAfterItsDelay)
{
    std::vector<std::string> order;
    MainQueue::asyncAfter(0.05, [&] { order.push_back("later"); });
    MainQueue::asyncAfter(0.0, [&] {
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
    MainQueue::asyncAfter(std::numeric_limits<double>::quiet_NaN(), [&] { ++ran; });
    MainQueue::asyncAfter(-5, [&] { ++ran; });
    MainQueue::asyncAfter(-std::numeric_limits<double>::infinity(), [&] { ++ran; });
    bool infiniteRan = false;
    MainQueue::asyncAfter(std::numeric_limits<double>::infinity(), [&] { infiniteRan = true; });
    KIRUVO_TRY_COMPARE_WITH_TIMEOUT(ran, 3, 5000);
    QCoreApplication::processEvents();
    EXPECT_FALSE(infiniteRan);
}

TEST(MainQueueTest, AsyncAfterFromAnotherThreadRunsOnTheMainThread)
{
    std::atomic<bool> onMain { false };
    std::atomic<bool> ran { false };
    std::thread worker([&] {
        MainQueue::asyncAfter(0.01, [&] {
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
    MainQueue::asyncAfter(60.0 * 60 * 24 * 365, [&] { ran = true; });
    QTest::qWait(20);
    EXPECT_FALSE(ran);
}
