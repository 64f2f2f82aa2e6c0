#pragma once

// The kit's adapters over asynchronous sequences and the operations every sequence gains.

#include "kit/foundation/core/AnyAsyncSequence.h"
#include "kit/foundation/core/MergeAsyncSequence.h"
#include "kit/foundation/core/PassthroughAsyncSequence.h"
#include "kit/foundation/core/RemoveDuplicatesAsyncSequence.h"
#include "platform/async/AsyncSequence.h"

#include <concepts>
#include <utility>

namespace zk {

template <platform::async::AsyncSequence S>
AnyAsyncSequence<typename S::Element> eraseToAnyAsyncSequence(S sequence)
{
    return AnyAsyncSequence<typename S::Element>(std::move(sequence));
}

template <platform::async::AsyncSequence S>
RemoveDuplicatesAsyncSequence<S> removeDuplicates(
    S sequence, typename RemoveDuplicatesAsyncSequence<S>::Predicate isDuplicate)
{
    return RemoveDuplicatesAsyncSequence<S>(std::move(sequence), std::move(isDuplicate));
}

template <platform::async::AsyncSequence S>
requires std::equality_comparable<typename S::Element> RemoveDuplicatesAsyncSequence<S> removeDuplicates(
    S sequence)
{
    using E = typename S::Element;
    return RemoveDuplicatesAsyncSequence<S>(
        std::move(sequence), [](const E& a, const E& b) { return a == b; });
}

template <platform::async::AsyncSequence S> MergeAsyncSequence<S> merge(S sequence, S other)
{
    return MergeAsyncSequence<S>(std::move(sequence), std::move(other));
}

} // namespace zk
