#pragma once

#include "kit/interface/BoundCheckBox.h"

namespace LaunchAtLogin {

// The "Launch at login" switch: checking it registers the application to start at login,
// unchecking it unregisters it. It shows what the desktop holds, not what was clicked: it redraws
// from LaunchAtLogin::isEnabled() whenever the shared observable announces a change (a refused
// write springs back) and each time it is shown. Any number of toggles stay in step.
// Main-thread only.
class Toggle : public zk::BoundCheckBox {
    Q_OBJECT
public:
    static constexpr const char* defaultTitle = "Launch at login";

    explicit Toggle(QWidget* parent = nullptr);
    explicit Toggle(const QString& title, QWidget* parent = nullptr);
};

} // namespace LaunchAtLogin
