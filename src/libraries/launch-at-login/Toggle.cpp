#include "libraries/launch-at-login/Toggle.h"

#include "libraries/launch-at-login/LaunchAtLogin.h"
#include "libraries/launch-at-login/Observable.h"

namespace LaunchAtLogin {

Toggle::Toggle(QWidget* parent)
    : Toggle(QString::fromLatin1(defaultTitle), parent)
{
}

Toggle::Toggle(const QString& title, QWidget* parent)
    : zk::BoundCheckBox(
        title, [] { return observable().isEnabled(); }, [](bool value) { observable().setEnabled(value); },
        parent)
{
    follow(&observable(), &Observable::objectWillChange);
}

} // namespace LaunchAtLogin
