#include "kit/foundation/core/AtomicDictionary.h"
#include "kit/foundation/core/Once.h"
#include "kit/foundation/core/Once2.h"
#include "kit/foundation/core/ReadersWriterLock.h"
#include "kit/foundation/core/UnfairLock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <latch>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

using zk::AtomicDictionary;
using zk::ReadersWriterLock;

TEST(ReadersWriterLockTest, LabelsDefaultAsDocumented)
{
    EXPECT_EQ(ReadersWriterLock().label(), "com.zelvantorium.readersWriterLock");
    EXPECT_EQ(ReadersWriterLock("mine").label(), "mine");
    AtomicDictionary<int, int> dictionary;
    EXPECT_EQ(dictionary.lock().label(), "com.zelvantorium.AtomicDictionary");
}

TEST(ReadersWriterLockTest, WritesRunInSubmissionOrderAndReadsSeeThem)
{
    ReadersWriterLock lock;
    std::vector<int> order; // touched only inside the lock
    for (int i = 0; i < 500; ++i) {
        lock.write([&order, i] { order.push_back(i); });
    }
    // A read submitted after the writes waits for all of them.
    const std::size_t seen = lock.read([&] { return order.size(); });
    EXPECT_EQ(seen, 500u);
    lock.waitForPendingWrites();
    for (int i = 0; i < 500; ++i) {
        ASSERT_EQ(order[static_cast<std::size_t>(i)], i);
    }
}

TEST(ReadersWriterLockTest, WriteIsAsynchronous)
{
    ReadersWriterLock lock;
    std::latch release(1);
    std::atomic<bool> ran { false };
    lock.write([&] {
        release.wait();
        ran = true;
    });
    EXPECT_FALSE(ran.load()); // write() returned while the write is still blocked
    release.count_down();
    lock.waitForPendingWrites();
    EXPECT_TRUE(ran.load());
}

TEST(ReadersWriterLockTest, ReadsOverlapEachOther)
{
    ReadersWriterLock lock;
    // Each read waits, for a bounded time, until the other one is inside the lock too: reads that
    // were serialised would see one reader at most and give up instead of hanging the test.
    std::atomic<int> inside { 0 };
    std::atomic<int> mostInside { 0 };
    const auto readWaitingForTheOther = [&] {
        lock.read([&] {
            ++inside;
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
            while (inside.load() < 2 && std::chrono::steady_clock::now() < deadline) {
                std::this_thread::yield();
            }
            int seen = inside.load();
            int most = mostInside.load();
            while (seen > most && !mostInside.compare_exchange_weak(most, seen)) { }
            --inside;
        });
    };
    std::thread other(readWaitingForTheOther);
    readWaitingForTheOther();
    other.join();
    EXPECT_EQ(mostInside.load(), 2);
}

TEST(ReadersWriterLockTest, WriteRunsAloneAndLaterReadsWait)
{
    ReadersWriterLock lock;
    std::atomic<int> active { 0 };
    std::atomic<bool> overlapped { false };
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 200; ++i) {
                if ((i + t) % 4 == 0) {
                    lock.write([&] {
                        if (active.fetch_add(1) != 0) {
                            overlapped = true;
                        }
                        active.fetch_sub(1);
                    });
                } else if ((i + t) % 4 == 1) {
                    lock.exclusive([&] {
                        if (active.fetch_add(1) != 0) {
                            overlapped = true;
                        }
                        active.fetch_sub(1);
                    });
                } else {
                    lock.read([&] {
                        active.fetch_add(100);
                        active.fetch_sub(100);
                    });
                }
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    lock.waitForPendingWrites();
    EXPECT_FALSE(overlapped.load());
}

TEST(ReadersWriterLockTest, ExceptionInReadPropagatesAndReleasesTheTurn)
{
    ReadersWriterLock lock;
    EXPECT_THROW(lock.read([]() -> int { throw std::runtime_error("boom"); }), std::runtime_error);
    EXPECT_THROW(lock.exclusive([]() -> int { throw std::runtime_error("boom"); }), std::runtime_error);
    // A failed queued write is logged and the queue goes on.
    int value = 0;
    lock.write([] { throw std::runtime_error("queued boom"); });
    lock.write([&] { value = 7; });
    EXPECT_EQ(lock.read([&] { return value; }), 7);
}

TEST(ReadersWriterLockTest, DestructionWaitsForQueuedWrites)
{
    auto counter = std::make_shared<std::atomic<int>>(0);
    {
        ReadersWriterLock lock;
        for (int i = 0; i < 100; ++i) {
            lock.write([counter] { counter->fetch_add(1); });
        }
    }
    EXPECT_EQ(counter->load(), 100);
}

TEST(ReadersWriterLockTest, LockReleasedByItsOwnWriteDropsTheRest)
{
    auto lock = std::make_shared<ReadersWriterLock>();
    std::atomic<bool> laterRan { false };
    std::latch first(1);
    std::weak_ptr<ReadersWriterLock> weak = lock;
    // The first write holds the last reference; releasing it there destroys the lock on its worker.
    lock->write([owner = lock, &first]() mutable {
        first.wait();
        owner.reset();
    });
    lock->write([&laterRan] { laterRan = true; });
    lock.reset();
    first.count_down();
    while (!weak.expired()) {
        std::this_thread::yield();
    }
    // Give the worker a chance to (wrongly) run the dropped write.
    for (int i = 0; i < 1000; ++i) {
        std::this_thread::yield();
    }
    EXPECT_FALSE(laterRan.load());
}

TEST(AtomicDictionaryTest, SetGetAndRemove)
{
    AtomicDictionary<std::string, int> dictionary;
    EXPECT_FALSE(dictionary.get("missing"));
    dictionary.set("a", 1);
    EXPECT_EQ(dictionary.get("a"), 1); // the read waits for the queued write
    dictionary.set("a", std::nullopt);
    EXPECT_FALSE(dictionary.get("a"));
    EXPECT_EQ(dictionary.size(), 0u);
}

TEST(AtomicDictionaryTest, AssignMergesWithNewValuesWinning)
{
    AtomicDictionary<std::string, int> dictionary;
    dictionary.set("a", 1);
    dictionary.set("b", 2);
    dictionary.assign({});
    EXPECT_EQ(dictionary.size(), 2u);
    dictionary.assign({ { "b", 20 }, { "c", 30 } });
    const auto contents = dictionary.snapshot();
    EXPECT_EQ(contents, (std::unordered_map<std::string, int> { { "a", 1 }, { "b", 20 }, { "c", 30 } }));
}

TEST(AtomicDictionaryTest, SnapshotDoesNotSeeLaterWrites)
{
    AtomicDictionary<int, int> dictionary;
    dictionary.set(1, 1);
    const auto before = dictionary.snapshot();
    dictionary.set(2, 2);
    EXPECT_EQ(before.size(), 1u);
    EXPECT_EQ(dictionary.keys().size(), 2u);
}

TEST(AtomicDictionaryTest, ConcurrentModifyLosesNoUpdate)
{
    AtomicDictionary<std::string, int> counts;
    constexpr int threads = 16;
    constexpr int increments = 1000;
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&] {
            for (int i = 0; i < increments; ++i) {
                counts.modify([](auto& storage) { ++storage["hits"]; });
                if (i % 100 == 0) {
                    (void)counts.get("hits"); // reads interleaved with the writes
                }
            }
        });
    }
    for (auto& worker : workers) {
        worker.join();
    }
    EXPECT_EQ(counts.get("hits"), threads * increments);
}

TEST(AtomicDictionaryTest, ModifyReturnsItsResultAfterEarlierWrites)
{
    AtomicDictionary<int, int> dictionary;
    dictionary.set(1, 10);
    const int doubled = dictionary.modify([](auto& storage) { return storage[1] *= 2; });
    EXPECT_EQ(doubled, 20);
    EXPECT_EQ(dictionary.read([](const auto& storage) { return storage.at(1); }), 20);
}

TEST(OnceTest, RunsTheFirstClosureOnly)
{
    zk::Once once;
    int calls = 0;
    EXPECT_EQ(once.run([&] { return ++calls; }), 1);
    EXPECT_EQ(once.run([&] { return 100 + ++calls; }), 1);
    EXPECT_EQ(calls, 1);

    zk::Once voidOnce;
    int voidCalls = 0;
    voidOnce.run([&] { ++voidCalls; });
    voidOnce.run([&] { ++voidCalls; });
    EXPECT_EQ(voidCalls, 1);
}

TEST(OnceTest, AClosureThatThrowsHasNotRun)
{
    zk::Once once;
    EXPECT_THROW(once.run([]() -> int { throw std::runtime_error("not yet"); }), std::runtime_error);
    EXPECT_FALSE(once.hasRun());
    EXPECT_EQ(once.run([] { return 7; }), 7);
    EXPECT_EQ(once.run([] { return 8; }), 7);

    zk::Once voidOnce;
    EXPECT_THROW(voidOnce.run([] { throw std::runtime_error("not yet"); }), std::runtime_error);
    int calls = 0;
    voidOnce.run([&] { ++calls; });
    voidOnce.run([&] { ++calls; });
    EXPECT_EQ(calls, 1);
}

TEST(Once2Test, RunsItsQueuedClosureOnceAndKeepsItWhenItThrows)
{
    int calls = 0;
    bool fail = true;
    zk::Once2<int> once([&] {
        ++calls;
        if (fail) {
            throw std::runtime_error("later");
        }
        return 5;
    });
    EXPECT_FALSE(once.isExecuted());
    EXPECT_THROW(once.run(), std::runtime_error);
    fail = false;
    EXPECT_EQ(once.run(), 5);
    EXPECT_EQ(once.run(), 5);
    EXPECT_TRUE(once.isExecuted());
    EXPECT_EQ(calls, 2);
}

TEST(AtomicDictionaryTest, DescribesItsPairs)
{
    AtomicDictionary<std::string, int> dictionary;
    EXPECT_EQ(dictionary.debugDescription(), "[:]");
    dictionary.set("a", 1);
    EXPECT_EQ(dictionary.debugDescription(), "[\"a\": 1]");
}

TEST(OnceTest, ConcurrentCallersGetTheOneResult)
{
    zk::Once once;
    std::atomic<int> calls { 0 };
    std::vector<int> results(8);
    std::vector<std::thread> threads;
    std::latch start(8);
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&, t] {
            start.arrive_and_wait();
            results[static_cast<std::size_t>(t)] = once.run([&] {
                std::this_thread::yield();
                return 40 + ++calls;
            });
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(calls.load(), 1);
    for (int result : results) {
        EXPECT_EQ(result, 41);
    }
}

TEST(OnceDeathTest, AskingForAnotherTypeStops)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            zk::Once once;
            once.run([] { return 1; });
            once.run([] { return std::string("x"); });
        },
        "Fatal error");
}

TEST(SimpleOnceTest, KeepsTheFirstValueAndComparesByIdentity)
{
    int calls = 0;
    zk::SimpleOnce<int, int> once([&](const int& input) {
        ++calls;
        return input * 2;
    });
    const std::size_t hashBefore = std::hash<zk::SimpleOnce<int, int>> {}(once);
    EXPECT_EQ(once(3), 6);
    EXPECT_EQ(once(5), 6);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ((std::hash<zk::SimpleOnce<int, int>> {}(once)), hashBefore);

    zk::SimpleOnce<int, int> other([](const int& input) { return input * 2; });
    other(3);
    EXPECT_TRUE(once == once);
    EXPECT_FALSE(once == other);
}

TEST(UnfairLockTest, GuardsACounter)
{
    zk::UnfairLock lock;
    int counter = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 1000; ++i) {
                lock.withLock([&] { ++counter; });
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(counter, 8000);
}
