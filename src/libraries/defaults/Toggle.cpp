#include "libraries/defaults/Toggle.h"

#include <utility>

namespace Defaults {

Toggle::Toggle(const Key<bool>& key, QWidget* parent)
    : Toggle(QString(), key, parent)
{
}

Toggle::Toggle(const QString& title, const Key<bool>& key, QWidget* parent)
    // The title is shown as written: a lone "&" would otherwise become a mnemonic and vanish.
    : QCheckBox(QString(title).replace(QLatin1Char('&'), QLatin1String("&&")), parent)
    , m_observable(std::make_unique<Observable<bool>>(key))
{
    m_shown = m_observable->value();
    setChecked(m_shown);
    // Queued, as a redraw is: a write through the control announces before it stores, so the
    // stored value is read once the write is done.
    connect(
        m_observable.get(), &ObservableBase::objectWillChange, this, &Toggle::refresh, Qt::QueuedConnection);
    connect(this, &QCheckBox::clicked, this, [this](bool checked) { m_observable->setValue(checked); });
}

Toggle::~Toggle() = default;

Toggle& Toggle::onChange(std::function<void(bool)> action)
{
    m_onChange = std::move(action);
    return *this;
}

void Toggle::refresh()
{
    const bool value = m_observable->value();
    if (isChecked() != value) {
        setChecked(value);
    }
    if (value == m_shown) {
        return;
    }
    m_shown = value;
    if (m_onChange) {
        // A copy, so that the action may replace itself.
        auto action = m_onChange;
        action(value);
    }
}

} // namespace Defaults
