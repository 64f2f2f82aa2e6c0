#pragma once

#include "platform/async/AsyncSequence.h"

#include <QCoro/QCoroTask>

#include <functional>
#include <optional>
#include <stop_token>
#include <utility>

namespace zk {

// Drops each element that `predicate(previous, current)` judges a duplicate of the element pulled
// just before it (whether or not that one was returned). The type is its own iterator;
// makeAsyncIterator() starts a new pass over the base. Errors of the base pass through unchanged.
template <platform::async::AsyncSequence Base> class RemoveDuplicatesAsyncSequence {
public:
    using Element = typename Base::Element;
    using Predicate = std::function<bool(const Element& previous, const Element& current)>;

    RemoveDuplicatesAsyncSequence(Base base, Predicate predicate)
        : m_base(std::move(base))
        , m_predicate(std::move(predicate))
        , m_iterator(m_base.makeAsyncIterator())
    {
    }

    RemoveDuplicatesAsyncSequence makeAsyncIterator() const
    {
        return RemoveDuplicatesAsyncSequence(m_base, m_predicate);
    }

    QCoro::Task<std::optional<Element>> next(std::stop_token token = {})
    {
        while (true) {
            const std::optional<Element> previous = m_previousElement;
            std::optional<Element> pulled = co_await m_iterator.next(token);
            // Kept before any test: the next comparison is always with the element just pulled.
            m_previousElement = pulled;
            if (!previous || !pulled) {
                co_return pulled;
            }
            if (!m_predicate(*previous, *pulled)) {
                co_return pulled;
            }
        }
    }

private:
    Base m_base;
    Predicate m_predicate;
    platform::async::AsyncIteratorOf<Base> m_iterator;
    std::optional<Element> m_previousElement;
};

} // namespace zk
