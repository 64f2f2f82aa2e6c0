#pragma once

#include "support/PrivateSessionBus.h"

#include "platform/desktop/FallbackIdleTimeSource.h"

#include <QDBusConnection>

#include <memory>

class HeldRepliesService;
class ScreenSaverStandIn;

// The idle sources of a desktop that does not report idle time, as the application would find
// them: the real FallbackIdleTimeSource over the real screen saver source waiting for its service
// on a private bus, and nothing else. Installed as the shared source while it lives (make the session
// engine after it). The service can then come, answering that the user is present, and go again,
// as a desktop's would.
//
// Or, slow to answer: a service on the bus that holds the source's first question until the test
// lets it answer or fail, as one busy at login does, while the chain is still asking.
class DesktopWithoutIdleTime {
public:
    enum class Start { serviceAbsent, serviceSlowToAnswer };

    explicit DesktopWithoutIdleTime(Start start = Start::serviceAbsent);
    ~DesktopWithoutIdleTime();
    DesktopWithoutIdleTime(const DesktopWithoutIdleTime&) = delete;
    DesktopWithoutIdleTime& operator=(const DesktopWithoutIdleTime&) = delete;

    // False (and the test should skip) when no private bus could be started.
    bool isRunning() const { return m_chain != nullptr; }
    platform::FallbackIdleTimeSource& chain() { return *m_chain; }
    // The desktop's private session bus, for its other services.
    PrivateSessionBus& bus() { return m_bus; }

    // The service takes its name on the bus; returns once the chain uses it (false after 5 s).
    bool serviceComes();
    // The service leaves the bus; returns once the chain has let it go (false after 5 s).
    bool serviceGoes();

    // Slow to answer: the first question reaches the service (false after 5 s), and is answered
    // (the user has just been active) or fails as a call that timed out does; each returns once the
    // chain knows (false after 5 s).
    bool questionArrives();
    bool slowServiceAnswers();
    bool slowServiceFails();

private:
    QString connectionName(const char* role) const;

    static inline int s_instances = 0;
    const int m_instance;
    PrivateSessionBus m_bus;
    platform::IdleTimeSource* m_previous = nullptr;
    std::unique_ptr<QDBusConnection> m_service;
    std::unique_ptr<ScreenSaverStandIn> m_standIn;
    std::unique_ptr<HeldRepliesService> m_slowService;
    std::unique_ptr<platform::FallbackIdleTimeSource> m_chain;
};
