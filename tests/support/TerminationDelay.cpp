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
    // When the quit came: the events the main thread was busy with when it came may outlast it.
    qint64 quitAfter = -1;
    QElapsedTimer waited;
    // No system bus: the signals alone.
    platform::LogindSystemEvents events(QDBusConnection(QStringLiteral("kiruvo-termination-no-system-bus")),
        { true, false, [&quitAfter, &waited] { quitAfter = waited.elapsed(); } });
    if (!events.isWatchingSignals()) {
        return -1;
    }
    waited.start();
    ::raise(SIGTERM);
    if (!PrivateSessionBus::serveUntil([&quitAfter] { return quitAfter >= 0; }, timeoutMs)) {
        return -1;
    }
    return static_cast<int>(quitAfter);
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
