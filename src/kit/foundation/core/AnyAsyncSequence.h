#pragma once

#include "platform/async/AsyncSequence.h"

#include <QCoro/QCoroTask>
#include <QtGlobal>

#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <utility>

namespace zk {

// An asynchronous sequence of Element whose concrete type is hidden. Every makeAsyncIterator()
// starts a fresh pass over the base; errors of the base pass through unchanged.
template <class E> class AnyAsyncSequence {
public:
    using Element = E;

    // Boxes any iterator of Element. Copies share the box and so one position; one next() at a
    // time across all copies (overlapping calls are a programming error and stop the program).
    class Iterator {
    public:
        template <class ConcreteIterator> explicit Iterator(ConcreteIterator iterator)
        {
            auto box = std::make_shared<Box<ConcreteIterator>>(std::move(iterator));
            m_next = [box](std::stop_token token) { return forward(box, std::move(token)); };
        }

        QCoro::Task<std::optional<E>> next(std::stop_token token = {}) const
        {
            return m_next(std::move(token));
        }

    private:
        template <class ConcreteIterator> struct Box {
            explicit Box(ConcreteIterator i)
                : iterator(std::move(i))
            {
            }
            ConcreteIterator iterator;
            bool busy = false;
        };

        // A free coroutine with its arguments copied into its frame, so that nothing it uses
        // belongs to a closure that may go away while it is suspended.
        template <class ConcreteIterator>
        static QCoro::Task<std::optional<E>> forward(
            std::shared_ptr<Box<ConcreteIterator>> box, std::stop_token token)
        {
            if (box->busy) {
                qFatal("AnyAsyncSequence: next() called while another call on the same iterator is running");
            }
            box->busy = true;
            struct Release {
                bool& busy;
                ~Release() { busy = false; }
            } release { box->busy };
            co_return co_await box->iterator.next(std::move(token));
        }

        std::function<QCoro::Task<std::optional<E>>(std::stop_token)> m_next;
    };

    template <platform::async::AsyncSequence Base>
    requires std::same_as<typename Base::Element, E>
    explicit AnyAsyncSequence(Base base)
        : m_makeAsyncIterator([base = std::move(base)] { return Iterator(base.makeAsyncIterator()); })
    {
    }

    Iterator makeAsyncIterator() const { return m_makeAsyncIterator(); }

private:
    std::function<Iterator()> m_makeAsyncIterator;
};

} // namespace zk
