#pragma once

#include "app/engine/CurrentSession.h"
#include "app/engine/DayTotals.h"
#include "app/engine/ReminderSeam.h"
#include "app/engine/Session.h"
#include "app/engine/SessionHistory.h"
#include "kit/foundation/core/Duration.h"
#include "platform/Uuid.h"
#include "platform/desktop/IdleTimeSource.h"
#include "platform/store/UserDefaults.h"
#include "platform/time/Calendar.h"
#include "platform/time/DateRange.h"

#include <QMetaObject>
#include <QObject>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace kiruvo {

// The session engine: turns the user's input activity into sessions and stores the finished ones
// in its SessionHistory, which DayTotals answers questions of (a day's sessions, day totals,
// averages).
//
// A session starts when tracking is enabled or input is seen while none runs, and ends when
// tracking is disabled, the machine sleeps, the application quits, a new session is asked for, or
// the user has been idle for "idleDurationBeforeStop". A finished session of 180 s or more is
// stored; after every end the history keeps only the last 121 calendar days, newest first.
//
// Time, idle time, sleep/wake and the store come from the shared platform services
// (platform::Clock, IdleTimeSource, SystemEvents, UserDefaults::standard()), read at each use, so
// tests drive the engine through their fakes.
//
// Continuing the newest stored session holds it out of the history's answers while the running
// session stands for it; the stop that ends the running session stores it in its place.
//
// Main-thread only.
class SessionController : public QObject {
    Q_OBJECT
public:
    static constexpr double minimumStoredDuration = 180.0;
    static constexpr double idleDiagnosticsInterval = 300.0;
    // How often a source of exact figures is asked while no session runs: the input that ends a
    // break starts the next session within this time.
    static constexpr double awayQuestionInterval = 1.0;

    // The application's engine, created on first use and alive for the rest of the process.
    static SessionController& shared();

    // A separate engine over the shared services; the application uses shared(). Subscribes to
    // sleep, wake and quit and to the two timing settings at once.
    SessionController();
    ~SessionController() override;

    // --- Tracking

    const std::optional<CurrentSession>& currentSession() const { return m_currentSession; }

    bool isEnabled() const { return m_isEnabled; }
    // Every assignment runs the change handler: true starts a session unless one runs already,
    // false stops (and stores) the running one.
    void setEnabled(bool enabled);

    bool isShowingNotification() const { return m_isShowingNotification; }
    void setShowingNotification(bool showing) { m_isShowingNotification = showing; }

    zk::Duration idleDurationBeforeStop() const { return m_idleDurationBeforeStop; }
    bool wasEnabledBeforeSleep() const { return m_wasEnabledBeforeSleep; }

    // Starts a new running session (enabling tracking first when it is off). A session running at
    // that moment is stopped first, so it is stored when long enough.
    void start();
    // Ends the running session. From idle, its end moves back by the user idle time (never before
    // its start). Stored when it lasted 180 s or more; the history is then pruned.
    void stop(bool fromIdle);
    void newSession();
    // Resumes the newest stored session as if it had never ended: it runs again from its start and
    // leaves every answer about the history meanwhile, so that no total counts it twice. The store
    // keeps it until the running session ends and takes its place (same id, never shorter): a crash
    // meanwhile costs the time since, never the stored session. Continuing while a continued
    // session runs resumes the newest session the history answers with, the one before it, which
    // then spans both. Reports an error and changes nothing when the history answers with none.
    void continuePreviousSession();

    // The idle step, run by the engine's own timer whenever it could find something to do (see
    // nextCheckAt()), and callable at any moment. A source of exact figures is asked, and while a
    // session runs only once the figure it last gave, grown by the time since, could have reached
    // the threshold. A source of threshold events is never asked: the engine follows what it told
    // (at once when told, and at the next step for what enabling or disabling changed). The same
    // step lets the store retry writes that wait for a lock.
    void checkIdle();
    // The system uptime at which the engine's timer runs the idle step next: nothing while only an
    // event (input told by the source, a setting, a session started or ended) can change what the
    // step would find. While a session runs with a source of exact figures, the moment the figure
    // could first reach the threshold; while none runs, every awayQuestionInterval; while the
    // history's store has something to retry, then (SessionHistory::nextRetryAt()).
    std::optional<double> nextCheckAt() const { return m_nextCheckAt; }
    // The smallest of the seconds since the last left or right mouse-down, mouse move, key-down
    // and scroll-wheel event.
    double secondsSinceLastUserInput() const;
    // The diagnostics written every 300 s while a session runs (debug mode only).
    void runIdleDiagnostics();
    // Whether any idle source answers now, or may yet: while the desktop's services are still
    // asked at start it stays true. Without one the user counts as present, so a session does not
    // end when the user leaves; a source that comes later (a D-Bus service starting after this
    // application) makes it true, and losing every source false again.
    bool isIdleDetectionAvailable() const { return m_isIdleDetectionAvailable; }

    // Delivers one reminder through the reminder seam.
    void notify(zk::Duration duration);
    ReminderSeam& reminderSeam() { return m_reminderSeam; }

    // The reminder timer's interval in seconds, when one is armed.
    std::optional<double> notifyTimerInterval() const;
    // The uptime at which the reminder timer fires next, when one is armed. The first reminder of a
    // session falls due one interval after its start, also when the start is moved back.
    std::optional<double> nextReminderAt() const { return m_nextReminderAt; }
    // The reminder timer's action, as when it fires.
    void fireNotifyTimer();

    // --- History and day totals

    // The stored history; every change of it is told by historyChanged().
    SessionHistory& history() { return m_history; }
    const SessionHistory& history() const { return m_history; }
    // The questions asked of the history by calendar day, the running session included.
    const DayTotals& dayTotals() const { return m_dayTotals; }

    // The members the rest of the application asks of the engine, answered by the two above.
    std::vector<Session> allSessions() const { return m_history.allSessions(); }
    std::shared_ptr<const std::vector<Session>> allSessionsShared() const
    {
        return m_history.allSessionsShared();
    }
    void setAllSessions(std::vector<Session> sessions) { m_history.setAllSessions(std::move(sessions)); }
    void removeAllSessions() { m_history.removeAllSessions(); }
    const platform::Uuid& allSessionsCacheKey() const { return m_history.cacheKey(); }
    bool hasUnstoredHistory() const { return m_history.hasUnstoredHistory(); }
    bool isDecodingHistory() const { return m_history.isDecoding(); }
    std::optional<platform::DateRange> allSessionsDateRange() const
    {
        return m_dayTotals.allSessionsDateRange();
    }
    int trackedDayCount() const { return m_dayTotals.trackedDayCount(); }
    std::vector<Session> sessionsForDayAt(platform::Date date) const
    {
        return m_dayTotals.sessionsForDayAt(date);
    }
    std::optional<zk::Duration> totalDurationForDayAt(platform::Date date) const
    {
        return m_dayTotals.totalDurationForDayAt(date);
    }
    zk::Duration totalDurationForSessionsAtDay(platform::Date date) const
    {
        return m_dayTotals.totalDurationForSessionsAtDay(date);
    }
    std::optional<zk::Duration> totalDurationYesterday() const
    {
        return m_dayTotals.totalDurationYesterday();
    }
    std::vector<zk::Duration> dailyTotals(const std::vector<platform::Date>& dates) const
    {
        return m_dayTotals.dailyTotals(dates);
    }
    double averageDuration(int lowerOffset, int upperOffset, bool excludingWeekends) const
    {
        return m_dayTotals.averageDuration(lowerOffset, upperOffset, excludingWeekends);
    }

Q_SIGNALS:
    // A session started or ended, or the running one now starts at another moment. Told once the
    // history holds what the change stored.
    void currentSessionChanged();
    // isEnabled() changed; the session it started or stopped is told before.
    void enabledChanged(bool enabled);
    // SessionHistory::changed() and SessionHistory::decoded() of history().
    void historyChanged();
    void historyDecoded();
    // isIdleDetectionAvailable() changed.
    void idleDetectionAvailabilityChanged(bool available);

private:
    void setUpEvents();
    void setUpNotifyTimer();
    // Arms the reminder timer to fire at the uptime `at` (at once when that has passed).
    void armNotifyTimer(double at);
    void notifyTimerDidFire();
    // Moves the running session's start to the uptime `start`; its reminders move with it.
    void moveCurrentSessionStart(double start);
    void enabledDidChange();
    // `measuredIdle`: the user idle time already measured at this moment, if any.
    void stop(bool fromIdle, std::optional<double> measuredIdle);
    // Replaces `previous` in the history with one session spanning it and the stored session
    // `continued` stands for, which leaves the history; the merged session.
    Session mergedWithContinued(const Session& previous, const Session& continued);
    void readIdleDuration();
    // Tells the idle source the threshold, and whether the user is away.
    void armIdleWatches();
    void idleSourceDidTell(const platform::IdleEvent& event);
    // Starts or ends the session by what the source of events last told.
    void followIdleEvents();
    // The user idle time by which a stop from idle moves the end back.
    double userIdleTime() const;
    void handleNegativeDuration(double duration);
    // checkIdle() without the store's retries and the scheduling.
    void idleStep();
    // While a session runs: when the idle figure last measured, grown by the time since, reaches
    // the threshold; before that the user is certainly still active.
    std::optional<double> idleFigureMayReachThresholdAt() const;
    // Arms the check timer at the earliest moment the idle step or the store's retries could find
    // something to do; stops it when there is none.
    void scheduleCheck();
    // When the idle step could next start or end a session by itself.
    std::optional<double> idleCheckDueAt() const;

    std::optional<CurrentSession> m_currentSession;
    SessionHistory m_history;
    DayTotals m_dayTotals;
    bool m_isEnabled = true;
    bool m_wasEnabledBeforeSleep = false;
    zk::Duration m_idleDurationBeforeStop;
    bool m_isShowingNotification = false;
    bool m_negativeDurationAlertPending = false;
    // The user idle time last measured while the running session ran, and the uptime then.
    struct IdleMeasurement {
        double uptime = 0;
        double idle = 0;
    };
    std::optional<IdleMeasurement> m_lastIdle;
    // The uptime of the last input while the user counts as away.
    std::optional<double> m_userIdleSince;
    // The threshold the idle source was last armed with.
    double m_armedThreshold = -1;
    // When the idle step last asked a source of exact figures.
    std::optional<double> m_lastAskedAt;
    std::optional<double> m_nextCheckAt;
    QTimer m_checkTimer;
    bool m_isIdleDetectionAvailable = true;

    // Fires once at m_nextReminderAt; each firing arms it again an interval later.
    QTimer m_notifyTimer;
    std::optional<double> m_notifyInterval;
    std::optional<double> m_nextReminderAt;
    QTimer m_idleDiagnosticsTimer;

    ReminderSeam m_reminderSeam;
};

} // namespace kiruvo
