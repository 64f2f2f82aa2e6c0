#include "platform/desktop/ReduceMotion.h"

#include "platform/linux/ReduceMotionPortal.h"

#include <QCoreApplication>
#include <QPointer>

namespace platform {

namespace {

std::optional<bool>& overrideValue()
{
    static std::optional<bool> value;
    return value;
}

const ReduceMotionPortal& portal()
{
    // Owned by the application object, so that it goes before the D-Bus connection does; never
    // destroyed at the process's exit, which may come without the application object ending (Qt's
    // platform plugin calls exit() when the display goes away).
    static QPointer<ReduceMotionPortal> portal;
    if (!portal) {
        portal = new ReduceMotionPortal(QDBusConnection::sessionBus(),
            QString::fromLatin1(SettingsPortal::service), QCoreApplication::instance());
    }
    return *portal;
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
