#pragma once

#include "kit/foundation/core/Duration.h"
#include "kit/interface/Picker.h"
#include "kit/interface/PickerBinding.h"

#include <array>
#include <optional>

namespace kiruvo {

// "Show a gentle reminder:": Never, or every 10, 15, 20, 25, 30 or 45 minutes, 1, 2, 3 or 4 hours,
// bound to "notifyInterval". A stored interval outside these shows no row and stays stored until the
// user picks one. Main-thread only.
class NotifyIntervalSetting : public zk::Picker {
    Q_OBJECT
public:
    static constexpr std::array<double, 10> durations { 600, 900, 1200, 1500, 1800, 2700, 3600, 7200, 10800,
        14400 };

    explicit NotifyIntervalSetting(QWidget* parent = nullptr);

    zk::PickerBinding<std::optional<zk::Duration>>& binding() const { return *m_binding; }

private:
    zk::PickerBinding<std::optional<zk::Duration>>* m_binding;
};

} // namespace kiruvo
