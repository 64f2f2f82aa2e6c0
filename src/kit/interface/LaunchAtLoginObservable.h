#pragma once

#include <QObject>

namespace zk {

// The kit's own launch-at-login state (the application shows LaunchAtLogin::Toggle instead): the
// same login item, but failures are reported and shown to the user rather than logged.
//
// Reading asks the desktop every time: only an enabled item reads as on; an item that waits for
// the user's approval reads as off and is reported ("SMAppService#status == .requiresApproval"),
// as is a state this program does not know. Writing announces the change, registers or
// unregisters (an enabled item is left as it is), announces again once the desktop has answered,
// and reports a refusal with "newValue" and shows it.
//
// One shared instance. Main-thread only.
class LaunchAtLoginObservable : public QObject {
    Q_OBJECT
public:
    static LaunchAtLoginObservable& shared();

    bool isEnabled() const;
    void setEnabled(bool value);

signals:
    void objectWillChange();

private:
    using QObject::QObject;
};

} // namespace zk
