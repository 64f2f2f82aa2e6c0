#pragma once

#include "kit/interface/BoundCheckBox.h"

namespace zk {

// The kit's "Launch at login" switch, over LaunchAtLoginObservable::shared(): like
// LaunchAtLogin::Toggle, but a refusal is reported and shown. Main-thread only.
class LaunchAtLoginToggle : public BoundCheckBox {
    Q_OBJECT
public:
    explicit LaunchAtLoginToggle(QWidget* parent = nullptr);
    explicit LaunchAtLoginToggle(const QString& title, QWidget* parent = nullptr);
};

} // namespace zk
