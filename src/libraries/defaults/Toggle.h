#pragma once

#include "libraries/defaults/Observable.h"

#include <QCheckBox>

#include <functional>
#include <memory>

namespace Defaults {

// An on/off control bound to a Bool setting: clicking it stores the new state, and it follows
// changes made elsewhere. The optional on-change action runs on the main thread after each change of
// the stored value that the control takes in, whoever made it, but not for the value shown at first.
// Main thread only.
class Toggle : public QCheckBox {
    Q_OBJECT
public:
    explicit Toggle(const Key<bool>& key, QWidget* parent = nullptr);
    Toggle(const QString& title, const Key<bool>& key, QWidget* parent = nullptr);
    ~Toggle() override;

    // Replaces the action (an empty one removes it).
    Toggle& onChange(std::function<void(bool)> action);

private:
    void refresh();

    std::unique_ptr<Observable<bool>> m_observable;
    std::function<void(bool)> m_onChange;
    bool m_shown = false;
};

} // namespace Defaults
