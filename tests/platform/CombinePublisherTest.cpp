#include "platform/combine/AnyPublisher.h"
#include "platform/combine/CurrentValueSubject.h"
#include "platform/combine/ManualScheduler.h"
#include "platform/combine/ObservableObjectPublisher.h"
#include "platform/combine/PassthroughSubject.h"
#include "support/TryWithTimeout.h"

#include <QCoreApplication>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

using namespace platform::combine;

namespace {

std::exception_ptr makeError(const char* text)
{
    return std::make_exception_ptr(std::runtime_error(text));
}

std::string messageOf(const std::exception_ptr& error)
{
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        return e.what();
    }
}

} // namespace

TEST(CombineSubject, DeliversSynchronouslyInOrderToEverySubscriber)
{
    PassthroughSubject<int> subject;
    std::vector<std::string> log;
    auto a = subject.sink([&](int v) { log.push_back(std::string("a").append(std::to_string(v))); });
    auto b = subject.sink([&](int v) { log.push_back(std::string("b").append(std::to_string(v))); });
    subject.send(1);
    subject.send(2);
    EXPECT_EQ(log, (std::vector<std::string> { "a1", "b1", "a2", "b2" }));
}

TEST(CombineSubject, DestroyingOrCancellingTheCancellableEndsTheSubscription)
{
    PassthroughSubject<int> subject;
    std::vector<int> seen;
    {
        auto cancellable = subject.sink([&](int v) { seen.push_back(v); });
        subject.send(1);
        EXPECT_EQ(subject.subscriberCount(), 1u);
    }
    subject.send(2);
    EXPECT_EQ(subject.subscriberCount(), 0u);

    std::vector<AnyCancellable> bag;
    subject.sink([&](int v) { seen.push_back(v * 10); }).store(bag);
    subject.send(3);
    bag.clear();
    subject.send(4);
    EXPECT_EQ(seen, (std::vector<int> { 1, 30 }));
}

TEST(CombineSubject, SubscriberCancelledDuringDeliveryGetsNothingMore)
{
    PassthroughSubject<int> subject;
    std::vector<std::string> log;
    AnyCancellable second;
    // The first subscriber cancels the second while the value is on its way to it.
    auto first = subject.sink([&](int v) {
        log.push_back("first" + std::to_string(v));
        second.cancel();
    });
    second = subject.sink([&](int v) { log.push_back("second" + std::to_string(v)); });
    subject.send(1);
    subject.send(2);
    EXPECT_EQ(log, (std::vector<std::string> { "first1", "first2" }));
}

TEST(CombineSubject, SubscriberMaySendAndSubscribeFromItsCallback)
{
    PassthroughSubject<int> subject;
    std::vector<std::string> log;
    std::vector<AnyCancellable> bag;
    auto outer = subject.sink([&](int v) {
        log.push_back("outer" + std::to_string(v));
        if (v == 1) {
            // Joins during a send: does not get the value being sent.
            subject.sink([&](int w) { log.push_back("late" + std::to_string(w)); }).store(bag);
            subject.send(2);
        }
    });
    subject.send(1);
    EXPECT_EQ(log, (std::vector<std::string> { "outer1", "outer2", "late2" }));
}

TEST(CombineSubject, CompletionEndsDeliveryAndReachesLateSubscribers)
{
    PassthroughSubject<int> subject;
    std::vector<std::string> log;
    auto early = subject.eraseToAnyPublisher().sink(
        [&](const Completion& c) {
            log.push_back(c.isFinished() ? "finished" : "failed:" + messageOf(c.error));
        },
        [&](int v) { log.push_back(std::to_string(v)); });
    subject.send(1);
    subject.sendCompletion(Completion::failure(makeError("boom")));
    subject.send(2);
    subject.sendCompletion();
    auto late = subject.eraseToAnyPublisher().sink(
        [&](const Completion& c) { log.push_back(c.isFinished() ? "late finished" : "late failed"); },
        [&](int v) { log.push_back("late" + std::to_string(v)); });
    EXPECT_EQ(log, (std::vector<std::string> { "1", "failed:boom", "late failed" }));
}

TEST(CombineSubject, SendsFromManyThreadsAtOnceReachTheSubscriber)
{
    PassthroughSubject<int> subject;
    std::atomic<int> count { 0 };
    std::atomic<long> sum { 0 };
    auto cancellable = subject.sink([&](int v) {
        count.fetch_add(1);
        sum.fetch_add(v);
    });
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&subject, t] {
            for (int i = 0; i < 1000; ++i) {
                subject.send(t * 1000 + i);
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(count.load(), 4000);
    EXPECT_EQ(sum.load(), 4000L * 3999 / 2);
}

TEST(CombineCurrentValueSubject, NewSubscriberGetsTheCurrentValueFirst)
{
    CurrentValueSubject<std::string> subject("initial");
    std::vector<std::string> seen;
    subject.send("second");
    auto cancellable = subject.sink([&](const std::string& v) { seen.push_back(v); });
    EXPECT_EQ(seen, (std::vector<std::string> { "second" }));
    subject.send("third");
    EXPECT_EQ(subject.value(), "third");
    EXPECT_EQ(seen, (std::vector<std::string> { "second", "third" }));
}

TEST(CombineCurrentValueSubject, SendFromInsideTheInitialDeliveryIsNotLost)
{
    CurrentValueSubject<int> subject(1);
    std::vector<int> seen;
    auto cancellable = subject.sink([&](int v) {
        seen.push_back(v);
        if (v == 1) {
            subject.send(2);
        }
    });
    subject.send(3);
    EXPECT_EQ(seen, (std::vector<int> { 1, 2, 3 }));
    EXPECT_EQ(subject.value(), 3);
}

TEST(CombineCurrentValueSubject, CompletedSubjectKeepsItsValueAndSendsOnlyTheCompletion)
{
    CurrentValueSubject<int> subject(1);
    subject.sendCompletion();
    subject.send(5);
    EXPECT_EQ(subject.value(), 1);
    std::vector<std::string> log;
    auto c = subject.eraseToAnyPublisher().sink(
        [&](const Completion&) { log.push_back("done"); }, [&](int v) { log.push_back(std::to_string(v)); });
    EXPECT_EQ(log, (std::vector<std::string> { "done" }));
}

TEST(CombineOperators, MapFilterCompactMapKeepOrder)
{
    PassthroughSubject<int> subject;
    std::vector<std::string> seen;
    auto c = subject.eraseToAnyPublisher()
                 .filter([](int v) { return v % 2 == 0; })
                 .compactMap([](int v) -> std::optional<int> {
                     if (v == 4) {
                         return std::nullopt;
                     }
                     return v * 10;
                 })
                 .map([](int v) { return std::string("#").append(std::to_string(v)); })
                 .sink([&](const std::string& v) { seen.push_back(v); });
    for (int i = 1; i <= 6; ++i) {
        subject.send(i);
    }
    EXPECT_EQ(seen, (std::vector<std::string> { "#20", "#60" }));
}

TEST(CombineOperators, RemoveDuplicatesComparesWithThePreviousValueOfEachSubscription)
{
    PassthroughSubject<int> subject;
    std::vector<int> first;
    std::vector<int> second;
    auto publisher = subject.eraseToAnyPublisher().removeDuplicates();
    auto a = publisher.sink([&](int v) { first.push_back(v); });
    for (int v : { 1, 1, 2, 2, 2, 3, 1 }) {
        subject.send(v);
    }
    auto b = publisher.sink([&](int v) { second.push_back(v); });
    subject.send(1);
    subject.send(4);
    EXPECT_EQ(first, (std::vector<int> { 1, 2, 3, 1, 4 }));
    EXPECT_EQ(second, (std::vector<int> { 1, 4 }));

    // A custom predicate is asked with (previous, current) and compares with the value just before.
    std::vector<int> near;
    auto c = subject.eraseToAnyPublisher()
                 .removeDuplicates([](int previous, int current) { return current - previous <= 1; })
                 .sink([&](int v) { near.push_back(v); });
    for (int v : { 1, 2, 3, 4, 10 }) {
        subject.send(v);
    }
    EXPECT_EQ(near, (std::vector<int> { 1, 10 }));
}

TEST(CombineOperators, PrependComesFirstEvenBeforeACurrentValue)
{
    CurrentValueSubject<int> subject(5);
    std::vector<int> seen;
    auto c
        = subject.eraseToAnyPublisher().prepend({ 1, 2 }).prepend(0).sink([&](int v) { seen.push_back(v); });
    subject.send(6);
    EXPECT_EQ(seen, (std::vector<int> { 0, 1, 2, 5, 6 }));
}

TEST(CombineOperators, MergeInterleavesAndFinishesWhenBothHaveFinished)
{
    PassthroughSubject<int> a;
    PassthroughSubject<int> b;
    std::vector<std::string> log;
    auto c = a.eraseToAnyPublisher().merge(b).sink([&](const Completion&) { log.push_back("finished"); },
        [&](int v) { log.push_back(std::to_string(v)); });
    a.send(1);
    b.send(2);
    a.sendCompletion();
    b.send(3);
    EXPECT_EQ(log, (std::vector<std::string> { "1", "2", "3" }));
    b.sendCompletion();
    EXPECT_EQ(log, (std::vector<std::string> { "1", "2", "3", "finished" }));
}

TEST(CombineOperators, MergePassesTheFirstFailureOnAtOnce)
{
    PassthroughSubject<int> a;
    PassthroughSubject<int> b;
    std::vector<std::string> log;
    auto c = a.eraseToAnyPublisher().merge(b).sink(
        [&](const Completion& completion) { log.push_back("failed:" + messageOf(completion.error)); },
        [&](int v) { log.push_back(std::to_string(v)); });
    b.send(1);
    b.sendCompletion(Completion::failure(makeError("second")));
    a.send(2);
    a.sendCompletion();
    EXPECT_EQ(log, (std::vector<std::string> { "1", "failed:second" }));
}

TEST(CombineOperators, ReceiveOnMainDeliversOnTheMainThreadInOrder)
{
    PassthroughSubject<int> subject;
    std::vector<int> seen;
    std::vector<bool> onMain;
    auto c = subject.eraseToAnyPublisher().receiveOnMain().sink([&](int v) {
        seen.push_back(v);
        onMain.push_back(QThread::currentThread() == QCoreApplication::instance()->thread());
    });
    std::thread worker([&] {
        for (int i = 0; i < 50; ++i) {
            subject.send(i);
        }
    });
    worker.join();
    EXPECT_TRUE(seen.empty()); // nothing runs on the worker
    KIRUVO_TRY_COMPARE_WITH_TIMEOUT(static_cast<int>(seen.size()), 50, 2000);
    for (int i = 0; i < 50; ++i) {
        EXPECT_EQ(seen[i], i);
        EXPECT_TRUE(onMain[i]);
    }
}

TEST(CombineOperators, ReceiveOnMainIsNeverSynchronousAndDropsAfterCancel)
{
    PassthroughSubject<int> subject;
    std::vector<int> seen;
    auto c = subject.eraseToAnyPublisher().receiveOnMain().sink([&](int v) { seen.push_back(v); });
    subject.send(1);
    EXPECT_TRUE(seen.empty());
    QCoreApplication::processEvents();
    EXPECT_EQ(seen, (std::vector<int> { 1 }));
    subject.send(2); // posted, then cancelled before it arrives
    c.cancel();
    QCoreApplication::processEvents();
    EXPECT_EQ(seen, (std::vector<int> { 1 }));
}

TEST(CombineOperators, ReceiveOnAManualSchedulerRunsOnlyWhenItRuns)
{
    ManualScheduler scheduler;
    PassthroughSubject<int> subject;
    std::vector<std::string> log;
    auto c = subject.eraseToAnyPublisher().receiveOn(scheduler).sink(
        [&](const Completion&) { log.push_back("done"); }, [&](int v) { log.push_back(std::to_string(v)); });
    subject.send(1);
    subject.send(2);
    subject.sendCompletion();
    EXPECT_TRUE(log.empty());
    scheduler.runPending();
    EXPECT_EQ(log, (std::vector<std::string> { "1", "2", "done" }));
}

TEST(CombineOperators, DebounceDeliversTheLastValueAfterAQuietPeriod)
{
    ManualScheduler scheduler;
    PassthroughSubject<int> subject;
    std::vector<std::pair<double, int>> seen;
    auto c = subject.eraseToAnyPublisher().debounce(0.5, scheduler).sink([&](int v) {
        seen.emplace_back(scheduler.now(), v);
    });
    subject.send(1);
    scheduler.advance(0.375);
    subject.send(2);
    scheduler.advance(0.375);
    EXPECT_TRUE(seen.empty()); // 0.75 s since the first value, but only 0.375 s of quiet
    subject.send(3);
    scheduler.advance(0.375);
    EXPECT_TRUE(seen.empty());
    scheduler.advance(0.125);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_DOUBLE_EQ(seen[0].first, 1.25);
    EXPECT_EQ(seen[0].second, 3);
    scheduler.advance(5);
    EXPECT_EQ(seen.size(), 1u);
    EXPECT_EQ(scheduler.pendingCount(), 0u); // superseded timers were cancelled, not left behind
}

TEST(CombineOperators, DebounceFlushesAPendingValueBeforeTheCompletion)
{
    ManualScheduler scheduler;
    PassthroughSubject<int> subject;
    std::vector<std::string> log;
    auto c = subject.eraseToAnyPublisher()
                 .debounce(10, scheduler)
                 .sink([&](const Completion&) { log.push_back("done"); },
                     [&](int v) { log.push_back(std::to_string(v)); });
    subject.send(7);
    subject.sendCompletion();
    scheduler.runPending();
    EXPECT_EQ(log, (std::vector<std::string> { "7", "done" }));
    EXPECT_DOUBLE_EQ(scheduler.now(), 0.0);
}

TEST(CombineOperators, CancelledDebounceNeverFires)
{
    ManualScheduler scheduler;
    PassthroughSubject<int> subject;
    std::vector<int> seen;
    auto c = subject.eraseToAnyPublisher().debounce(1, scheduler).sink([&](int v) { seen.push_back(v); });
    subject.send(1);
    c.cancel();
    scheduler.advance(2);
    EXPECT_TRUE(seen.empty());
    EXPECT_EQ(subject.subscriberCount(), 0u);
}

TEST(CombineOperators, DebounceOnTheMainThreadWithRealTimers)
{
    PassthroughSubject<int> subject;
    std::vector<int> seen;
    std::vector<bool> onMain;
    auto c = subject.eraseToAnyPublisher().debounce(0.02).sink([&](int v) {
        seen.push_back(v);
        onMain.push_back(QThread::currentThread() == QCoreApplication::instance()->thread());
    });
    std::thread worker([&] {
        subject.send(1);
        subject.send(2);
    });
    worker.join();
    KIRUVO_TRY_COMPARE_WITH_TIMEOUT(static_cast<int>(seen.size()), 1, 2000);
    EXPECT_EQ(seen[0], 2);
    EXPECT_TRUE(onMain[0]);
}

TEST(CombineObservableObjectPublisher, AnnouncesToEverySubscriber)
{
    ObservableObjectPublisher willChange;
    int count = 0;
    auto c = willChange.sink([&](const Void&) { ++count; });
    willChange.send();
    willChange.send();
    EXPECT_EQ(count, 2);
}

TEST(CombineEmpty, NeverEmitsNorCompletes)
{
    bool called = false;
    auto c = emptyNeverCompleting<int>()
                 .merge(emptyNeverCompleting<int>())
                 .sink([&](const Completion&) { called = true; }, [&](int) { called = true; });
    QCoreApplication::processEvents();
    EXPECT_FALSE(called);
}

TEST(CombineManualScheduler, WorkThatKeepsItsOwnCancellableIsReleasedOutsideTheLock)
{
    // Work that keeps the cancellable of its own scheduling alive (so that it runs even when its
    // caller lets go) is released after it has run; releasing cancels, and must not wait for the
    // scheduler that is running it.
    ManualScheduler scheduler;
    int runs = 0;
    auto keep = std::make_shared<AnyCancellable>();
    *keep = scheduler.schedule(0.4, [keep, &runs] { ++runs; });
    const AnyCancellable later = scheduler.schedule(0.5, [&runs] { ++runs; });
    keep.reset();

    scheduler.advance(1);

    EXPECT_EQ(runs, 2);
    EXPECT_EQ(scheduler.pendingCount(), 0u);
}
