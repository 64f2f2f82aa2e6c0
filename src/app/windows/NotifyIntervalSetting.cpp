#include "app/windows/NotifyIntervalSetting.h"

#include "app/engine/SettingsKeys.h"
#include "app/windows/DurationChoiceFormatter.h"

namespace kiruvo {

NotifyIntervalSetting::NotifyIntervalSetting(QWidget* parent)
    : zk::Picker(tr("Show a gentle reminder:"), Style::menu, parent)
{
    std::vector<std::optional<zk::Duration>> tags;
    addRow({ tr("Never"), {} });
    tags.emplace_back(std::nullopt);
    addSeparator();
    // A formatter of this view's own, made once.
    static const DurationChoiceFormatter formatter;
    for (const zk::Duration duration : formatter.addRows(*this, durations, tr("Every %1"))) {
        tags.emplace_back(duration);
    }
    m_binding
        = new zk::PickerBinding<std::optional<zk::Duration>>(*this, Keys::notifyInterval(), std::move(tags));
}

} // namespace kiruvo
