#include "platform/async/AsyncStream.h"
#include "support/TryWithTimeout.h"

#include <QCoreApplication>
#include <QCoro/QCoroTask>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

using namespace platform::async;

namespace {

// Everything the consumer gets until the end, or "error:<what>" when next() raises.
template <class T> QCoro::Task<std::vector<std::string>> drain(AsyncStream<T> stream)
{
    std::vector<std::string> seen;
    auto iterator = stream.makeAsyncIterator();
    try {
        while (auto value = co_await iterator.next()) {
            seen.push_back(std::to_string(*value));
        }
        seen.push_back("end");
    } catch (const std::exception& error) {
        seen.push_back(std::string("error:") + error.what());
    }
    co_return seen;
}

using Strings = std::vector<std::string>;

} // namespace

TEST(AsyncStream, DeliversBufferedElementsInOrderThenTheEnd)
{
    auto [stream, continuation] = AsyncStream<int>::makeStream();
    for (int i = 1; i <= 3; ++i) {
        EXPECT_TRUE(continuation.yield(i).isEnqueued());
    }
    continuation.finish();
    EXPECT_EQ(continuation.yield(4).kind, AsyncStream<int>::YieldResult::Kind::Terminated);
    EXPECT_EQ(QCoro::waitFor(drain(stream)), (Strings { "1", "2", "3", "end" }));
    // After the end, every further next() gives the end again.
    auto again = QCoro::waitFor(
        [](AsyncStream<int> s) -> QCoro::Task<bool> { co_return !(co_await s.next()).has_value(); }(stream));
    EXPECT_TRUE(again);
}

TEST(AsyncStream, AWaitingConsumerIsResumedLaterNotInsideYield)
{
    auto [stream, continuation] = AsyncStream<int>::makeStream();
    std::vector<int> seen;
    auto consumer = [](AsyncStream<int> s, std::vector<int>& out) -> QCoro::Task<void> {
        while (auto value = co_await s.next()) {
            out.push_back(*value);
        }
    }(stream, seen);
    continuation.yield(1);
    EXPECT_TRUE(seen.empty());
    QCoreApplication::processEvents();
    EXPECT_EQ(seen, (std::vector<int> { 1 }));
    continuation.finish();
    QCoreApplication::processEvents();
    EXPECT_TRUE(consumer.isReady());
}

TEST(AsyncStream, BufferingOldestKeepsTheFirstAndDropsNewcomers)
{
    auto [stream, continuation] = AsyncStream<int>::makeStream(BufferingPolicy::bufferingOldest(2));
    EXPECT_EQ(continuation.yield(1).remaining, 1u);
    EXPECT_EQ(continuation.yield(2).remaining, 0u);
    auto dropped = continuation.yield(3);
    EXPECT_EQ(dropped.kind, AsyncStream<int>::YieldResult::Kind::Dropped);
    EXPECT_EQ(dropped.dropped, 3);
    continuation.finish();
    EXPECT_EQ(QCoro::waitFor(drain(stream)), (Strings { "1", "2", "end" }));
}

TEST(AsyncStream, BufferingNewestDropsTheOldestToMakeRoom)
{
    auto [stream, continuation] = AsyncStream<int>::makeStream(BufferingPolicy::bufferingNewest(2));
    continuation.yield(1);
    continuation.yield(2);
    auto result = continuation.yield(3);
    EXPECT_EQ(result.kind, AsyncStream<int>::YieldResult::Kind::Dropped);
    EXPECT_EQ(result.dropped, 1);
    continuation.yield(4);
    continuation.finish();
    EXPECT_EQ(QCoro::waitFor(drain(stream)), (Strings { "3", "4", "end" }));
}

TEST(AsyncStream, ZeroBufferKeepsNothingButFeedsAWaitingConsumer)
{
    auto [stream, continuation] = AsyncStream<int>::makeStream(BufferingPolicy::bufferingNewest(0));
    EXPECT_EQ(continuation.yield(1).kind, AsyncStream<int>::YieldResult::Kind::Dropped);
    std::vector<int> seen;
    auto consumer = [](AsyncStream<int> s, std::vector<int>& out) -> QCoro::Task<void> {
        while (auto value = co_await s.next()) {
            out.push_back(*value);
        }
    }(stream, seen);
    EXPECT_TRUE(continuation.yield(2).isEnqueued()); // handed straight to the waiting consumer
    QCoreApplication::processEvents();
    continuation.finish();
    QCoreApplication::processEvents();
    EXPECT_EQ(seen, (std::vector<int> { 2 }));
}

TEST(AsyncStream, UnboundedNeverDrops)
{
    auto [stream, continuation] = AsyncStream<int>::makeStream();
    for (int i = 0; i < 10000; ++i) {
        ASSERT_TRUE(continuation.yield(i).isEnqueued());
    }
    continuation.finish();
    EXPECT_EQ(QCoro::waitFor(drain(stream)).size(), 10001u);
}

TEST(AsyncStream, FinishWithErrorDeliversTheBufferThenRaisesOnce)
{
    auto [stream, continuation] = AsyncStream<int>::makeStream();
    continuation.yield(1);
    continuation.yield(2);
    continuation.finish(std::make_exception_ptr(std::runtime_error("broken")));
    EXPECT_EQ(QCoro::waitFor(drain(stream)), (Strings { "1", "2", "error:broken" }));
    EXPECT_EQ(QCoro::waitFor(drain(stream)), (Strings { "end" }));
}

TEST(AsyncStream, TerminationCallbackRunsOnceAtFinish)
{
    auto [stream, continuation] = AsyncStream<int>::makeStream();
    std::vector<Termination> calls;
    continuation.setOnTermination([&](Termination t) { calls.push_back(t); });
    continuation.yield(1);
    continuation.finish();
    continuation.finish();
    EXPECT_EQ(calls, (std::vector<Termination> { Termination::Finished }));
    // The consumer still gets what was buffered; dropping it later calls nothing more.
    EXPECT_EQ(QCoro::waitFor(drain(stream)), (Strings { "1", "end" }));
    {
        auto gone = std::move(stream);
    }
    EXPECT_EQ(calls.size(), 1u);
}

TEST(AsyncStream, DroppingTheConsumerTerminatesAndDiscardsTheBuffer)
{
    std::vector<Termination> calls;
    std::optional<AsyncStream<std::string>::Continuation> kept;
    {
        AsyncStream<std::string> stream([&](AsyncStream<std::string>::Continuation c) {
            c.setOnTermination([&](Termination t) { calls.push_back(t); });
            c.yield("buffered");
            kept = c;
        });
        auto iterator = stream.makeAsyncIterator();
        {
            auto copy = stream;
        }
        EXPECT_TRUE(calls.empty()); // other handles still hold the consumer side
    }
    EXPECT_EQ(calls, (std::vector<Termination> { Termination::Cancelled }));
    EXPECT_EQ(kept->yield("late").kind, AsyncStream<std::string>::YieldResult::Kind::Terminated);
}

TEST(AsyncStream, CancellingAWaitingConsumerEndsItsWaitAndTerminates)
{
    auto [stream, continuation] = AsyncStream<int>::makeStream();
    std::vector<Termination> calls;
    continuation.setOnTermination([&](Termination t) { calls.push_back(t); });
    std::stop_source source;
    std::optional<int> got = -1;
    auto consumer
        = [](AsyncStream<int> s, std::stop_token token, std::optional<int>& out) -> QCoro::Task<void> {
        out = co_await s.next(token);
    }(stream, source.get_token(), got);
    QCoreApplication::processEvents();
    EXPECT_FALSE(consumer.isReady());
    source.request_stop();
    EXPECT_EQ(calls, (std::vector<Termination> { Termination::Cancelled }));
    QCoreApplication::processEvents();
    ASSERT_TRUE(consumer.isReady());
    EXPECT_EQ(got, std::nullopt);
    EXPECT_EQ(continuation.yield(1).kind, AsyncStream<int>::YieldResult::Kind::Terminated);
}

TEST(AsyncStream, AlreadyCancelledTokenGivesTheEndAtOnce)
{
    auto [stream, continuation] = AsyncStream<int>::makeStream();
    continuation.yield(1);
    std::stop_source source;
    source.request_stop();
    auto result
        = QCoro::waitFor([](AsyncStream<int> s, std::stop_token token) -> QCoro::Task<std::optional<int>> {
              co_return co_await s.next(token);
          }(stream, source.get_token()));
    EXPECT_EQ(result, std::nullopt);
}

TEST(AsyncStream, TerminationCallbackSetAfterTheEndRunsAtOnce)
{
    auto [stream, continuation] = AsyncStream<int>::makeStream();
    continuation.finish();
    std::vector<Termination> calls;
    continuation.setOnTermination([&](Termination t) { calls.push_back(t); });
    EXPECT_EQ(calls, (std::vector<Termination> { Termination::Finished }));
}

TEST(AsyncStream, LosingEveryProducerFinishesTheStream)
{
    auto [stream, continuation] = AsyncStream<int>::makeStream();
    continuation.yield(5);
    {
        auto gone = std::move(continuation);
    }
    EXPECT_EQ(QCoro::waitFor(drain(stream)), (Strings { "5", "end" }));
}

TEST(AsyncStream, YieldsFromAWorkerResumeTheConsumerOnItsOwnThread)
{
    auto [stream, continuation] = AsyncStream<int>::makeStream();
    std::vector<int> seen;
    bool allOnMain = true;
    auto consumer = [](AsyncStream<int> s, std::vector<int>& out, bool& onMain) -> QCoro::Task<void> {
        while (auto value = co_await s.next()) {
            out.push_back(*value);
            onMain = onMain && QThread::currentThread() == QCoreApplication::instance()->thread();
        }
    }(stream, seen, allOnMain);
    std::thread worker([c = continuation] {
        for (int i = 0; i < 200; ++i) {
            c.yield(i);
        }
        c.finish();
    });
    worker.join();
    KIRUVO_TRY_VERIFY_WITH_TIMEOUT(consumer.isReady(), 2000);
    ASSERT_EQ(seen.size(), 200u);
    for (int i = 0; i < 200; ++i) {
        EXPECT_EQ(seen[i], i);
    }
    EXPECT_TRUE(allOnMain);
}
