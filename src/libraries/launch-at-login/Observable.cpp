#include "libraries/launch-at-login/Observable.h"

#include "libraries/launch-at-login/LaunchAtLogin.h"

namespace LaunchAtLogin {

bool Observable::isEnabled() const
{
    return LaunchAtLogin::isEnabled();
}

void Observable::setEnabled(bool value)
{
    LaunchAtLogin::setEnabled(value);
}

} // namespace LaunchAtLogin
