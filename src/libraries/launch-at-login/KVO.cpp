#include "libraries/launch-at-login/KVO.h"

#include "libraries/launch-at-login/LaunchAtLogin.h"

namespace LaunchAtLogin {

bool KVO::isEnabled() const
{
    return LaunchAtLogin::isEnabled();
}

void KVO::setIsEnabled(bool value)
{
    LaunchAtLogin::setEnabled(value);
}

} // namespace LaunchAtLogin
