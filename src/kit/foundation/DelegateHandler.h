#pragma once

#include <QObject>

#include <functional>

namespace zk {

// The receiver an asynchronous presentation (an error shown in a window-modal box) calls back once
// it has been shown. Whoever hands it over keeps it alive until then.
class DelegateHandler : public QObject {
    Q_OBJECT

public:
    explicit DelegateHandler(std::function<void()> didPresent = {}, QObject* parent = nullptr)
        : QObject(parent)
        , m_didPresent(std::move(didPresent))
    {
    }

public Q_SLOTS:
    // Calls the callback, if there is one, at every call.
    void didPresentHandler()
    {
        if (m_didPresent) {
            m_didPresent();
        }
    }

private:
    std::function<void()> m_didPresent;
};

} // namespace zk
