#include "app/windows/IdleDurationBeforeStopSetting.h"

#include "app/engine/SettingsKeys.h"
#include "app/windows/DurationChoiceFormatter.h"

namespace kiruvo {

IdleDurationBeforeStopSetting::IdleDurationBeforeStopSetting(QWidget* parent)
    : zk::Picker(tr("End session when idle for"), Style::menu, parent)
{
    // A formatter of this view's own, made once.
    static const DurationChoiceFormatter formatter;
    m_binding = new zk::PickerBinding<zk::Duration>(
        *this, Keys::idleDurationBeforeStop(), formatter.addRows(*this, durations));
}

} // namespace kiruvo
