#pragma once

#include "kit/interface/Picker.h"
#include "libraries/defaults/Observable.h"

#include <functional>
#include <optional>
#include <utility>
#include <vector>

namespace zk {

// Binds a Picker to one setting: row n stands for `tags[n]`. The picker shows the row of the
// stored value (or of the key's default when nothing usable is stored, which is then left stored as
// it is), or no row when no tag equals it; choosing a row writes its tag at once. A change of the
// setting made anywhere shows at once (on the main thread's next turn), and the on-change action runs
// after every change of the value it takes in, but not for the value shown at first.
//
// Owned by the picker. Main-thread only.
template <Defaults::Storable Value> class PickerBinding : public QObject {
public:
    PickerBinding(Picker& picker, const Defaults::Key<Value>& key, std::vector<Value> tags)
        : QObject(&picker)
        , m_picker(&picker)
        , m_observable(new Defaults::Observable<Value>(key, this))
        , m_tags(std::move(tags))
        , m_shown(m_observable->value())
    {
        showValue(m_shown);
        // Queued: a write through the picker announces before it stores.
        QObject::connect(
            m_observable, &Defaults::ObservableBase::objectWillChange, this, [this] { refresh(); },
            Qt::QueuedConnection);
        QObject::connect(m_picker, &Picker::rowChosen, this, [this](int row) {
            if (row >= 0 && static_cast<std::size_t>(row) < m_tags.size()) {
                m_observable->setValue(m_tags[static_cast<std::size_t>(row)]);
            }
        });
    }

    Value value() const { return m_observable->value(); }
    const Defaults::Key<Value>& key() const { return m_observable->key(); }
    Defaults::ObservableBase* observable() const { return m_observable; }

    // Replaces the action (an empty one removes it).
    void onChange(std::function<void(const Value&)> action) { m_onChange = std::move(action); }
    // Adds an action that runs now and after each change the picker takes in, before the on-change
    // action: to re-label rows or show what goes with the value.
    void onShow(std::function<void(const Value&)> action)
    {
        if (action) {
            action(m_shown);
            m_onShow.push_back(std::move(action));
        }
    }

    std::optional<int> rowOf(const Value& value) const
    {
        for (std::size_t row = 0; row < m_tags.size(); ++row) {
            if (m_tags[row] == value) {
                return static_cast<int>(row);
            }
        }
        return std::nullopt;
    }

    // Reads the setting again now rather than on the next turn.
    void refresh()
    {
        const Value current = m_observable->value();
        showValue(current);
        if (current == m_shown) {
            return;
        }
        m_shown = current;
        for (const auto& action : m_onShow) {
            action(current);
        }
        if (m_onChange) {
            auto action = m_onChange;
            action(current);
        }
    }

private:
    void showValue(const Value& value) { m_picker->setSelectedRow(rowOf(value)); }

    Picker* m_picker;
    Defaults::Observable<Value>* m_observable;
    std::vector<Value> m_tags;
    Value m_shown;
    std::function<void(const Value&)> m_onChange;
    std::vector<std::function<void(const Value&)>> m_onShow;
};

} // namespace zk
