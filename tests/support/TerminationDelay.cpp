#include "support/TerminationDelay.h"

#include "platform/linux/LogindSystemEvents.h"
#include "support/PrivateSessionBus.h"

#include <QDBusConnection>
#include <QElapsedTimer>

#include <csignal>

int terminationDelayMilliseconds(int timeoutMs)
{
    bool quit = false;
    // No system bus: the signals alone.
    platform::LogindSystemEvents events(QDBusConnection(QStringLiteral("kiruvo-termination-no-system-bus")),
        { true, false, [&quit] { quit = true; } });
    if (!events.isWatchingSignals()) {
        return -1;
    }
    QElapsedTimer waited;
    waited.start();
    ::raise(SIGTERM);
    if (!PrivateSessionBus::serveUntil([&quit] { return quit; }, timeoutMs)) {
        return -1;
    }
    return static_cast<int>(waited.elapsed());
}
