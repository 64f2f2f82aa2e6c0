#pragma once

#include "platform/combine/AnyPublisher.h"
#include "platform/combine/PassthroughSubject.h"

#include <QWidget>

namespace zk {

// The kit's base view: it says once when it first gets (or loses) a parent, and once when it
// first appears in a shown window, so that content can be set up lazily. Later moves publish
// nothing; the publishers never complete. Children are clipped to it, as every widget's are.
//
// Main-thread only.
class ZKView : public QWidget {
    Q_OBJECT
public:
    explicit ZKView(QWidget* parent = nullptr);

    platform::combine::AnyPublisher<platform::combine::Void> didMoveToSuperviewPublisher() const
    {
        return m_didMoveToSuperviewSubject.eraseToAnyPublisher();
    }
    platform::combine::AnyPublisher<platform::combine::Void> didAppearPublisher() const
    {
        return m_didAppearSubject.eraseToAnyPublisher();
    }

protected:
    bool event(QEvent* event) override;

private:
    bool m_didMoveToSuperviewWasCalled = false;
    bool m_didMoveToWindowWasCalled = false;
    platform::combine::PassthroughSubject<platform::combine::Void> m_didMoveToSuperviewSubject;
    platform::combine::PassthroughSubject<platform::combine::Void> m_didAppearSubject;
};

} // namespace zk
