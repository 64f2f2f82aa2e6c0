#pragma once

#include <QCoro/QCoroTask>

#include <concepts>
#include <optional>
#include <stop_token>

namespace platform::async {

// An asynchronous sequence: a value that makes iterators whose `next(token)` is awaited for the
// next element (an empty optional at the end) and may raise the sequence's error. The token lets
// the consumer's cancellation end a wait early, which then gives the end.
template <class S>
concept AsyncSequence = requires(const S& sequence)
{
    typename S::Element;
    { sequence.makeAsyncIterator() };
}
&&requires(decltype(std::declval<const S&>().makeAsyncIterator())& iterator, std::stop_token token)
{
    { iterator.next(token) };
};

template <AsyncSequence S> using AsyncIteratorOf = decltype(std::declval<const S&>().makeAsyncIterator());

} // namespace platform::async
