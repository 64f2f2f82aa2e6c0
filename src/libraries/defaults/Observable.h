#pragma once

#include "libraries/defaults/Defaults.h"
#include "libraries/defaults/ObservableBase.h"
#include "libraries/defaults/Updates.h"
#include "platform/async/TaskHandle.h"

#include <QPointer>

#include <memory>
#include <stop_token>

namespace Defaults {

// One settings key as an object that views follow: `value()` reads the key (no caching),
// `setValue()` announces and then writes, and `objectWillChange` fires on the main thread for every
// change of the stored value, whoever made it (once shortly after construction, too, for the value
// read when the observation starts). Writes made with propagation suppressed on the main thread are
// not announced.
//
// The observing task starts on the main thread's next turn and ends with the object, which
// unregisters its observation. Main thread only.
template <Storable Value> class Observable : public ObservableBase {
public:
    explicit Observable(const Key<Value>& key, QObject* parent = nullptr)
        : ObservableBase(parent)
        , m_key(std::make_shared<const Key<Value>>(key))
    {
        // The task holds the key and only a guarded pointer to this object, so it never keeps the
        // object alive and stops announcing once it is gone.
        m_task = platform::async::TaskHandle::start(
            [key = m_key, self = QPointer<ObservableBase>(this)](std::stop_token token) -> QCoro::Task<void> {
                auto stream = valueStream(*key, true);
                while (true) {
                    auto element = co_await stream.next(token);
                    if (!element || !self) {
                        break;
                    }
                    emit self->objectWillChange();
                }
            });
    }

    ~Observable() override { m_task.cancel(); }

    Value value() const { return get(*m_key); }

    // The announcement comes before the write, as views expect of a will-change signal.
    void setValue(const Value& value)
    {
        emit objectWillChange();
        set(*m_key, value);
    }

    const Key<Value>& key() const { return *m_key; }

private:
    std::shared_ptr<const Key<Value>> m_key;
    platform::async::TaskHandle m_task;
};

} // namespace Defaults
