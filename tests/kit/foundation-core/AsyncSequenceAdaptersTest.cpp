#include "kit/foundation/core/AsyncSequences.h"
#include "support/TryWithTimeout.h"

#include <QCoreApplication>
#include <QCoro/QCoroTask>
#include <QTest>

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

using platform::async::AsyncStream;
using platform::async::Termination;

namespace {

using Strings = std::vector<std::string>;

// A sequence over a fixed list, optionally failing after its elements; counts its passes.
struct ListSequence {
    using Element = int;
    std::vector<int> values;
    bool failAtEnd = false;
    std::shared_ptr<int> passes = std::make_shared<int>(0);

    struct Iterator {
        std::vector<int> values;
        bool failAtEnd;
        std::size_t position = 0;
        QCoro::Task<std::optional<int>> next(std::stop_token = {})
        {
            if (position < values.size()) {
                co_return values[position++];
            }
            if (failAtEnd) {
                throw std::runtime_error("list failed");
            }
            co_return std::nullopt;
        }
    };
    Iterator makeAsyncIterator() const
    {
        ++*passes;
        return Iterator { values, failAtEnd };
    }
};

// Pulls from `iterator` until the end; "error:<what>" when it raises.
template <class Iterator> QCoro::Task<Strings> drain(Iterator iterator)
{
    Strings seen;
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

template <class Sequence> Strings collect(const Sequence& sequence)
{
    return QCoro::waitFor(drain(sequence.makeAsyncIterator()));
}

} // namespace

TEST(PassthroughAsyncSequence, DeliversWhatWasSentThenTheEnd)
{
    zk::PassthroughAsyncSequence<int> sequence;
    sequence.send(1);
    sequence.send(2);
    sequence.finish();
    sequence.send(3); // dropped
    EXPECT_EQ(collect(sequence), (Strings { "1", "2", "end" }));
    EXPECT_EQ(collect(sequence), (Strings { "end" }));
}

TEST(PassthroughAsyncSequence, CopiesShareOneQueue)
{
    zk::PassthroughAsyncSequence<int> sequence;
    auto copy = sequence;
    copy.send(1);
    sequence.send(2);
    auto first = QCoro::waitFor([](zk::PassthroughAsyncSequence<int> s) -> QCoro::Task<std::optional<int>> {
        co_return co_await s.makeAsyncIterator().next();
    }(copy));
    EXPECT_EQ(first, 1);
    sequence.finish();
    EXPECT_EQ(collect(sequence), (Strings { "2", "end" }));
}

TEST(PassthroughAsyncSequence, FinishWithNothingSentEndsAtOnce)
{
    zk::PassthroughAsyncSequence<int> sequence;
    sequence.finish();
    EXPECT_EQ(collect(sequence), (Strings { "end" }));
}

TEST(RemoveDuplicatesAsyncSequence, DropsRunsOfEqualElements)
{
    auto sequence = zk::removeDuplicates(ListSequence { { 1, 1, 2, 2, 2, 3, 1 } });
    EXPECT_EQ(collect(sequence), (Strings { "1", "2", "3", "1", "end" }));
}

TEST(RemoveDuplicatesAsyncSequence, ComparesWithTheElementPulledJustBefore)
{
    std::vector<std::pair<int, int>> asked;
    auto sequence
        = zk::removeDuplicates(ListSequence { { 1, 2, 3, 4 } }, [&](const int& previous, const int& current) {
              asked.emplace_back(previous, current);
              return current - previous <= 1;
          });
    EXPECT_EQ(collect(sequence), (Strings { "1", "end" }));
    EXPECT_EQ(asked, (std::vector<std::pair<int, int>> { { 1, 2 }, { 2, 3 }, { 3, 4 } }));
}

TEST(RemoveDuplicatesAsyncSequence, EmptyBaseEndsAtOnceAndEachIteratorStartsANewPass)
{
    EXPECT_EQ(collect(zk::removeDuplicates(ListSequence {})), (Strings { "end" }));
    ListSequence base { { 5, 5, 6 } };
    auto sequence = zk::removeDuplicates(base);
    const int before = *base.passes;
    EXPECT_EQ(collect(sequence), (Strings { "5", "6", "end" }));
    EXPECT_EQ(collect(sequence), (Strings { "5", "6", "end" }));
    EXPECT_EQ(*base.passes - before, 2);
}

TEST(RemoveDuplicatesAsyncSequence, ErrorsPassThrough)
{
    EXPECT_EQ(collect(zk::removeDuplicates(ListSequence { { 1, 1 }, true })),
        (Strings { "1", "error:list failed" }));
}

TEST(AnyAsyncSequence, ErasesTheTypeAndStartsAFreshPassEachTime)
{
    ListSequence base { { 1, 2 }, true };
    zk::AnyAsyncSequence<int> erased = zk::eraseToAnyAsyncSequence(base);
    EXPECT_EQ(collect(erased), (Strings { "1", "2", "error:list failed" }));
    EXPECT_EQ(collect(erased), (Strings { "1", "2", "error:list failed" }));
    EXPECT_EQ(*base.passes, 2);

    // Iterator copies share one position.
    auto iterator = erased.makeAsyncIterator();
    auto copy = iterator;
    auto first = QCoro::waitFor(iterator.next());
    auto second = QCoro::waitFor(copy.next());
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 2);
}

TEST(AnyAsyncSequence, WrapsAStreamAndItsCancellation)
{
    auto [stream, continuation] = AsyncStream<int>::makeStream();
    std::vector<Termination> ended;
    continuation.setOnTermination([&](Termination t) { ended.push_back(t); });
    auto erased = zk::eraseToAnyAsyncSequence(stream);
    std::stop_source source;
    std::optional<int> got = 0;
    auto consumer = [](zk::AnyAsyncSequence<int> s, std::stop_token token,
                        std::optional<int>& out) -> QCoro::Task<void> {
        out = co_await s.makeAsyncIterator().next(token);
    }(erased, source.get_token(), got);
    QCoreApplication::processEvents();
    source.request_stop();
    KIRUVO_TRY_VERIFY_WITH_TIMEOUT(consumer.isReady(), 1000);
    EXPECT_EQ(got, std::nullopt);
    EXPECT_EQ(ended, (std::vector<Termination> { Termination::Cancelled }));
}

TEST(MergeAsyncSequence, EmptySourcesEndTheMerge)
{
    EXPECT_EQ(collect(zk::merge(ListSequence {}, ListSequence {})), (Strings { "end" }));
    auto merged = zk::merge(ListSequence {}, ListSequence { { 7, 8 } });
    EXPECT_EQ(collect(merged), (Strings { "7", "8", "end" }));
}

TEST(MergeAsyncSequence, InterleavesInArrivalOrder)
{
    auto [a, feedA] = AsyncStream<int>::makeStream();
    auto [b, feedB] = AsyncStream<int>::makeStream();
    auto merged = zk::merge(a, b);
    Strings seen;
    auto consumer = [](zk::MergeAsyncSequence<AsyncStream<int>> m, Strings& out) -> QCoro::Task<void> {
        out = co_await drain(m.makeAsyncIterator());
    }(merged, seen);
    auto settle = [] {
        for (int i = 0; i < 10; ++i) {
            QCoreApplication::processEvents();
        }
    };
    settle();
    feedA.yield(1);
    settle();
    feedB.yield(2);
    settle();
    feedA.yield(3);
    settle();
    feedA.finish();
    feedB.yield(4);
    settle();
    EXPECT_FALSE(consumer.isReady());
    feedB.finish();
    KIRUVO_TRY_VERIFY_WITH_TIMEOUT(consumer.isReady(), 1000);
    EXPECT_EQ(seen, (Strings { "1", "2", "3", "4", "end" }));
}

TEST(MergeAsyncSequence, DeliversWhatWasBufferedThenTheFirstErrorAndCancelsTheOther)
{
    auto [failing, feedFailing] = AsyncStream<int>::makeStream();
    auto [other, feedOther] = AsyncStream<int>::makeStream();
    std::vector<Termination> otherEnded;
    feedOther.setOnTermination([&](Termination t) { otherEnded.push_back(t); });

    auto merged = zk::merge(failing, other);
    feedOther.yield(10);
    for (int i = 0; i < 10; ++i) {
        QCoreApplication::processEvents(); // 10 reaches the merged buffer; nobody consumes yet
    }
    feedFailing.yield(1);
    feedFailing.yield(2);
    feedFailing.finish(std::make_exception_ptr(std::runtime_error("source failed")));
    feedOther.yield(11); // may or may not make it before the error; never after it

    auto seen = collect(merged);
    ASSERT_GE(seen.size(), 4u);
    EXPECT_EQ(Strings(seen.begin(), seen.begin() + 3), (Strings { "10", "1", "2" }));
    EXPECT_EQ(seen.back(), "error:source failed");
    EXPECT_LE(seen.size(), 5u);
    KIRUVO_TRY_COMPARE_WITH_TIMEOUT(otherEnded, (std::vector<Termination> { Termination::Cancelled }), 1000);
    EXPECT_EQ(collect(merged), (Strings { "end" }));
}

TEST(MergeAsyncSequence, ASecondSourceErrorIsNotHeldBackBehindTheFirst)
{
    auto [first, feedFirst] = AsyncStream<int>::makeStream();
    auto [second, feedSecond] = AsyncStream<int>::makeStream();
    feedSecond.finish(std::make_exception_ptr(std::runtime_error("second failed")));
    auto merged = zk::merge(first, second);
    EXPECT_EQ(collect(merged), (Strings { "error:second failed" }));
}

TEST(MergeAsyncSequence, DroppingTheConsumerCancelsItsFeeders)
{
    auto [a, feedA] = AsyncStream<int>::makeStream();
    auto [b, feedB] = AsyncStream<int>::makeStream();
    std::vector<Termination> endedA;
    std::vector<Termination> endedB;
    feedA.setOnTermination([&](Termination t) { endedA.push_back(t); });
    feedB.setOnTermination([&](Termination t) { endedB.push_back(t); });
    {
        auto merged = zk::merge(std::move(a), std::move(b));
        for (int i = 0; i < 5; ++i) {
            QCoreApplication::processEvents(); // the feeders start and wait on their sources
        }
        EXPECT_TRUE(endedA.empty());
    }
    KIRUVO_TRY_COMPARE_WITH_TIMEOUT(endedA.size(), 1u, 1000);
    KIRUVO_TRY_COMPARE_WITH_TIMEOUT(endedB.size(), 1u, 1000);
    EXPECT_EQ(endedA[0], Termination::Cancelled);
    EXPECT_EQ(feedA.yield(1).kind, AsyncStream<int>::YieldResult::Kind::Terminated);
    // Let the woken feeders run to their end (a leak checker sees their frames otherwise).
    for (int i = 0; i < 5; ++i) {
        QCoreApplication::processEvents();
    }
}
