#pragma once

#include "platform/async/AsyncStream.h"

namespace zk {

// An asynchronous sequence into which its owner pushes values by hand, with an unbounded buffer.
// Copies share one queue: each value is delivered once, to whichever iterator asks first, in the
// order sent. send() and finish() are safe from any thread; one consumer at a time.
template <class E> class PassthroughAsyncSequence {
public:
    using Element = E;
    using Stream = platform::async::AsyncStream<E>;

    PassthroughAsyncSequence()
        : PassthroughAsyncSequence(Stream::makeStream(platform::async::BufferingPolicy::unbounded()))
    {
    }

    // A value sent after finish() is dropped without notice.
    void send(E element) const { m_continuation.yield(std::move(element)); }
    // Closes the sequence for good; values already sent are still delivered, then the end.
    void finish() const { m_continuation.finish(); }

    typename Stream::Iterator makeAsyncIterator() const { return m_stream.makeAsyncIterator(); }

private:
    explicit PassthroughAsyncSequence(std::pair<Stream, typename Stream::Continuation> parts)
        : m_stream(std::move(parts.first))
        , m_continuation(std::move(parts.second))
    {
    }

    Stream m_stream;
    typename Stream::Continuation m_continuation;
};

} // namespace zk
