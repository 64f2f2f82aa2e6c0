#include "support/TerminationDelay.h"

#include "platform/linux/LogindSystemEvents.h"
#include "support/PrivateSessionBus.h"

#include <QDBusConnection>
#include <QElapsedTimer>

#include <csignal>
#include <string>

namespace {

// Milliseconds from the signal to the quit; -1 when it has not quit within `timeoutMs`.
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

} // namespace

::testing::AssertionResult terminatesWithinASecond()
{
    const int delay = terminationDelayMilliseconds(60000);
    if (delay >= 0 && delay < 1000) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure()
        << "SIGTERM was acted on "
        << (delay < 0 ? std::string("not within a minute") : "after " + std::to_string(delay) + " ms");
}
