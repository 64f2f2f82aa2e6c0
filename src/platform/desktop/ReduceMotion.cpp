#include "platform/desktop/ReduceMotion.h"

#include "platform/linux/ReduceMotionPortal.h"

namespace platform {

namespace {

std::optional<bool>& overrideValue()
{
    static std::optional<bool> value;
    return value;
}

const ReduceMotionPortal& portal()
{
    static ReduceMotionPortal portal(QDBusConnection::sessionBus());
    return portal;
}

} // namespace

bool ReduceMotion::isEnabled()
{
    if (overrideValue()) {
        return *overrideValue();
    }
    return portal().isEnabled();
}

void ReduceMotion::startFollowing()
{
    portal();
}

void ReduceMotion::setOverrideForTesting(std::optional<bool> enabled)
{
    overrideValue() = enabled;
}

} // namespace platform
