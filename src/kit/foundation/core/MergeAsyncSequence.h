#pragma once

#include "platform/async/AsyncSequence.h"
#include "platform/async/AsyncStream.h"
#include "platform/async/TaskHandle.h"

#include <QCoro/QCoroTask>

#include <atomic>
#include <exception>
#include <memory>
#include <stop_token>
#include <utility>

namespace zk {

// Interleaves two sequences of one type in arrival order, through an unbounded buffer, so nothing
// is lost. Feeding starts at construction, on the next turn of the main loop, one task per source.
//
// - Ends when both sources have ended.
// - The first error of either source ends it: the elements already buffered come first, then
//   next() raises that error; the other source is cancelled.
// - When the consumer goes away (every copy and iterator dropped) or is cancelled while waiting,
//   both feeders are cancelled, so no source is pulled for nobody.
//
// Copies share one channel; makeAsyncIterator() hands out the one stored iterator.
template <platform::async::AsyncSequence Base> class MergeAsyncSequence {
public:
    using Element = typename Base::Element;
    using Stream = platform::async::AsyncStream<Element>;
    using Iterator = typename Stream::Iterator;

    MergeAsyncSequence(Base first, Base second)
        : MergeAsyncSequence(Stream::makeStream(platform::async::BufferingPolicy::unbounded()),
            std::move(first), std::move(second))
    {
    }

    Iterator makeAsyncIterator() const { return m_iterator; }
    auto next(std::stop_token token = {}) const { return m_iterator.next(std::move(token)); }

private:
    struct Feed {
        std::stop_source source;
        std::atomic<int> running { 2 };
    };

    MergeAsyncSequence(std::pair<Stream, typename Stream::Continuation> parts, Base first, Base second)
        : m_stream(std::move(parts.first))
        , m_iterator(m_stream.makeAsyncIterator())
    {
        auto feed = std::make_shared<Feed>();
        auto continuation = std::move(parts.second);
        continuation.setOnTermination([feed](platform::async::Termination reason) {
            if (reason == platform::async::Termination::Cancelled) {
                feed->source.request_stop();
            }
        });
        for (Base* each : { &first, &second }) {
            // The closure lives as long as the task, which keeps the coroutine's captures valid.
            platform::async::TaskHandle::start(
                [source = std::move(*each), continuation, feed](
                    std::stop_token) -> QCoro::Task<void> { co_await pump(source, continuation, feed); });
        }
    }

    static QCoro::Task<void> pump(
        Base source, typename Stream::Continuation continuation, std::shared_ptr<Feed> feed)
    {
        const std::stop_token token = feed->source.get_token();
        std::exception_ptr failure;
        try {
            auto iterator = source.makeAsyncIterator();
            while (!token.stop_requested()) {
                auto element = co_await iterator.next(token);
                if (!element || token.stop_requested()) {
                    break;
                }
                continuation.yield(std::move(*element));
            }
        } catch (...) {
            failure = std::current_exception();
        }
        if (failure && !token.stop_requested()) {
            continuation.finish(failure);
            feed->source.request_stop();
        }
        if (feed->running.fetch_sub(1) == 1) {
            continuation.finish();
        }
    }

    Stream m_stream;
    Iterator m_iterator;
};

} // namespace zk
