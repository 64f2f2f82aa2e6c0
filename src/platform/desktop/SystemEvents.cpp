#include "platform/desktop/SystemEvents.h"

#include "platform/linux/LogindSystemEvents.h"

#include <QCoreApplication>
#include <QPointer>
#include <utility>

namespace platform {

namespace {
SystemEvents* installedEvents = nullptr;
QPointer<SystemEvents> systemEvents;
} // namespace

SystemEvents::SystemEvents(QObject* parent)
    : QObject(parent)
{
}

SystemEvents::~SystemEvents()
{
    if (installedEvents == this) {
        installedEvents = nullptr;
    }
}

SystemEvents& SystemEvents::shared()
{
    if (installedEvents) {
        return *installedEvents;
    }
    if (!systemEvents) {
        // Owned by the application object, so that it goes before the event dispatcher does.
        systemEvents = new LogindSystemEvents(QCoreApplication::instance());
    }
    return *systemEvents;
}

void SystemEvents::setShared(SystemEvents* events)
{
    installedEvents = events;
}

void SystemEvents::deliverWillSleep()
{
    Q_EMIT willSleep();
}

void SystemEvents::deliverDidWake()
{
    Q_EMIT didWake();
}

bool SystemEvents::deliverWillTerminate()
{
    if (m_deliveredWillTerminate) {
        return false;
    }
    // Set before emitting, so that a subscriber that quits the application (which emits
    // aboutToQuit synchronously) cannot deliver it a second time.
    m_deliveredWillTerminate = true;
    Q_EMIT willTerminate();
    return true;
}

void SystemEvents::deliverWillExitAtOnce()
{
    deliverWillTerminate();
    if (!std::exchange(m_deliveredWillExitAtOnce, true)) {
        Q_EMIT willExitAtOnce();
    }
}

} // namespace platform
