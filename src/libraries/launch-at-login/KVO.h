#pragma once

#include <QObject>

namespace LaunchAtLogin {

// The launch-at-login state as a Qt property: `isEnabledWillChange` comes before each write and
// `isEnabledChanged`, with the state read back, once the desktop has answered. One shared
// instance: LaunchAtLogin::kvo(). Main-thread only.
class KVO : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool isEnabled READ isEnabled WRITE setIsEnabled NOTIFY isEnabledChanged)
public:
    using QObject::QObject;

    bool isEnabled() const;
    void setIsEnabled(bool value);

signals:
    void isEnabledWillChange();
    void isEnabledChanged(bool isEnabled);
};

} // namespace LaunchAtLogin
