#pragma once

#include <QObject>

namespace LaunchAtLogin {

// The launch-at-login state for widgets: `objectWillChange` fires when a write starts and again
// when the desktop has answered, so a widget that reads isEnabled() on it (queued) shows the state
// the desktop holds. One shared instance: LaunchAtLogin::observable(). Main-thread only.
class Observable : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    bool isEnabled() const;
    void setEnabled(bool value);

signals:
    void objectWillChange();
};

} // namespace LaunchAtLogin
