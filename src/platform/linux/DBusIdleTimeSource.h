#pragma once

#include "platform/desktop/IdleTimeSource.h"
#include "platform/desktop/PolledIdleEvents.h"
#include "platform/linux/DBusAvailabilityProbe.h"

#include <QDBusConnection>
#include <QDBusServiceWatcher>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QVariant>

#include <optional>

namespace platform {

// Idle events from a desktop's D-Bus service that answers the idle time only when asked
// (org.freedesktop.ScreenSaver's GetSessionIdleTime). A round trip may take long, so nothing ever
// waits for the service: it is asked in the background, one call at a time, and each answer, exact
// when it arrives, is turned into events (PolledIdleEvents): "idle since" once it reaches the
// threshold, "active again" once it shows input after the pause began. No figure is extrapolated to
// decide anything. While the user is present the service is asked only when the last answer could
// first have reached the threshold; while the user is away, every PolledIdleEvents::awayInterval
// seconds, whether or not the desktop's screen saver or lock is on: nothing obliges a desktop to say
// when they end, and input on the lock screen is the user's return.
//
// Failed calls are logged once until the service answers again. The service leaving the bus, and
// its return, are told as `changed`. Main-thread only.
class DBusIdleTimeSource final : public QObject, public IdleTimeSource {
    Q_OBJECT
public:
    struct Service {
        QString name; // bus name
        QString path;
        QString interface;
        QString method;
        // The method answers one unsigned number in these units; nothing when the service does
        // not say (PolledIdleEvents learns it from the answers).
        std::optional<double> secondsPerUnit;
        std::string description;
    };

    // org.freedesktop.ScreenSaver: GetSessionIdleTime, in seconds on most desktops and in
    // milliseconds on KDE.
    static Service freedesktopScreenSaver();

    // Asks nothing until armed.
    DBusIdleTimeSource(QDBusConnection connection, Service service);
    ~DBusIdleTimeSource() override;

    // Asks once, without waiting: until the answer, or `timeoutMs`, the source is asking (neither
    // available nor known to be missing). Then it answers, or waits for a service not on the bus
    // yet, or stays unavailable while the one there answers no number; either way it tells
    // `changed`. A service on the bus whose call ran out of time is asked again, waiting longer each
    // time, and tells `changed` again once it answers. Used to choose a backend at start-up.
    void probe(int timeoutMs);
    bool isAsking() const override { return m_firstQuestion.isAsking(); }

    Kind kind() const override { return Kind::thresholdEvents; }
    double secondsSinceLastEvent(InputEventType type) override;
    bool distinguishesEventTypes() const override { return false; }
    double secondsSinceLastInput() override;
    std::string name() const override { return m_service.description; }
    void armWatches(double thresholdSeconds, std::optional<double> idleSince) override;
    void disarmWatches() override;
    bool isAvailable() const override { return m_available; }
    // Not on the bus (yet): unavailable until the service appears, which is told as `changed`.
    void setAbsent() { m_available = false; }

    // Asks now, unless a call is on its way already (the timer's work, for tests).
    void ask();
    // The uptime at which the next question falls due.
    double nextQuestionAt() const;
    bool isIdle() const { return m_events.idleSince().has_value(); }

    // How long a background call may take before it counts as failed.
    static constexpr int callTimeoutMs = 5000;
    // How long after a failed call the service is asked again.
    static constexpr int retryAfterFailureMs = 5000;

private:
    void scheduleQuestion();
    // The figure in the service's units.
    std::optional<double> unitsFromReply(const QList<QVariant>& arguments, std::string* error) const;
    void received(double units, double askedAt);
    void failed(const std::string& error);
    void serviceVanished();
    void serviceAppeared();

    QDBusConnection m_connection;
    Service m_service;
    QDBusServiceWatcher m_watcher;
    QTimer m_timer;
    QObject m_context; // owns the pending call watchers, so none outlives the source
    DBusAvailabilityProbe m_firstQuestion { m_service.description };
    PolledIdleEvents m_events;
    bool m_armed = false;
    bool m_available = true;
    // Whether the service has been seen leaving: one that comes while absent from the start is new.
    bool m_hasLeftBus = false;
    bool m_callPending = false;
    bool m_reportedFailure = false;
};

} // namespace platform
