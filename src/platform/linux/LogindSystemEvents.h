#pragma once

#include "platform/desktop/SystemEvents.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <functional>

class QDBusPendingCallWatcher;

namespace platform {

class BusNameOwner;
class DisplayLossWatch;
class SignalPipe;

// The system events of a Linux desktop:
// - sleep and wake from logind's PrepareForSleep on the system bus. A "delay" sleep inhibitor is
//   held from start-up, so that the system waits until willSleep's subscribers have stored what
//   they must; it is released right after they ran and taken again on wake. Without the inhibitor
//   the system would suspend first and the subscribers would run after resume.
// - will-terminate from logind's PrepareForShutdown, the session manager's commit-data request,
//   SIGTERM/SIGINT/SIGHUP (through a self-pipe into the event loop) and the application's own
//   aboutToQuit, whichever comes first. The roads that come from outside the application quit it
//   after will-terminate has been delivered, so that nothing runs on that would no longer be saved.
// - the display's end (the X server or the Wayland compositor went away, as at a logout): Qt ends
//   the process then without returning to the event loop, so will-terminate (when no road has
//   delivered it yet) and will-exit-at-once are delivered first, on the spot.
// Without a system bus there are no sleep events; that is logged once and is not an error.
//
// Main-thread only.
class LogindSystemEvents final : public SystemEvents {
    Q_OBJECT
public:
    struct Options {
        // Install the handlers of SIGTERM, SIGINT and SIGHUP.
        bool watchSignals;
        // Follow the application object's aboutToQuit and commitDataRequest, and its display's end.
        bool watchApplication;
        // Ends the application after an outside road delivered will-terminate; empty posts
        // QCoreApplication::exit(0) to the event loop, which no window can refuse.
        std::function<void()> quit;
    };

    // Everything on the real system bus.
    explicit LogindSystemEvents(QObject* parent = nullptr);
    // logind on the given bus (a private bus in tests).
    LogindSystemEvents(const QDBusConnection& systemBus, Options options, QObject* parent = nullptr);
    ~LogindSystemEvents() override;

    bool isWatchingLogind() const { return m_watchingLogind; }
    bool holdsSleepInhibitor() const { return m_sleepInhibitor >= 0; }
    bool isWatchingSignals() const;
    bool isWatchingDisplay() const;

    // What each event does; public so that the roads can be driven without a bus or a signal.
    void handlePrepareForSleep(bool start);
    void handlePrepareForShutdown(bool start);
    void handleTerminationSignal(int signalNumber);
    void handleCommitDataRequest();
    void handleDisplayLost();
    // Takes ownership of an inhibitor's file descriptor, as logind's Inhibit hands it out; an
    // inhibitor that arrives while the system is going to sleep is released at once.
    void adoptSleepInhibitor(int fd);

Q_SIGNALS:
    // After every change of holdsSleepInhibitor().
    void sleepInhibitorChanged(bool held);

private Q_SLOTS:
    void onPrepareForSleep(bool start, const QDBusMessage& message);
    void onPrepareForShutdown(bool start, const QDBusMessage& message);

private:
    void watchLogind();
    void takeSleepInhibitor();
    void inhibitFinished(QDBusPendingCallWatcher* watcher);
    void releaseSleepInhibitor();
    void quitApplication();

    QDBusConnection m_bus;
    Options m_options;
    SignalPipe* m_signalPipe = nullptr;
    DisplayLossWatch* m_displayLoss = nullptr;
    BusNameOwner* m_logind = nullptr;
    bool m_watchingLogind = false;
    bool m_sleeping = false;
    bool m_inhibitPending = false;
    bool m_loggedInhibitFailure = false;
    int m_sleepInhibitor = -1;
};

} // namespace platform
