#pragma once

#include "kit/foundation/core/Duration.h"
#include "kit/interface/Picker.h"
#include "kit/interface/PickerBinding.h"

#include <array>

namespace kiruvo {

// "End session when idle for": every minute from 1 to 10, then 15, 20 and 30 minutes, bound to
// "idleDurationBeforeStop". A stored duration outside these shows no row and stays stored until the
// user picks one. Main-thread only.
class IdleDurationBeforeStopSetting : public zk::Picker {
    Q_OBJECT
public:
    static constexpr std::array<double, 13> durations { 60, 120, 180, 240, 300, 360, 420, 480, 540, 600, 900,
        1200, 1800 };

    explicit IdleDurationBeforeStopSetting(QWidget* parent = nullptr);

    zk::PickerBinding<zk::Duration>& binding() const { return *m_binding; }

private:
    zk::PickerBinding<zk::Duration>* m_binding;
};

} // namespace kiruvo
