#pragma once

#include "app/engine/CurrentSession.h"
#include "app/engine/HistoryStoreFailure.h"
#include "app/engine/ReminderSeam.h"
#include "app/engine/Session.h"
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

// The session engine: turns the user's input activity into sessions, keeps the history of
// finished sessions under "sessions" and answers the questions asked of it (a day's sessions, day
// totals, averages).
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
// Every write of "sessions" goes through setAllSessions(); any change of the key, also one made
// elsewhere, renews the history's generation and makes every answer derived from the history stale
// at once. The decoded history and each day's stored total are kept until then: the one-second
// tick pays for the running session only, however long the history. Stored entries that do not
// decode are kept as they are and written back with the rest.
//
// Main-thread only.
class SessionController : public QObject {
    Q_OBJECT
public:
    static constexpr double minimumStoredDuration = 180.0;
    static constexpr int keptDays = 121;
    static constexpr double idleDiagnosticsInterval = 300.0;

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
    // false stops (and stores) the running one; both then refresh the status item.
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
    // session runs drops that one, whose stored session answers again as it was. Reports an error
    // and changes nothing when the history is empty.
    void continuePreviousSession();

    // The idle step of the one-second tick. A source of exact figures is asked, and while a session
    // runs only once the figure it last gave, grown by the time since, could have reached the
    // threshold. A source of threshold events is never asked: the engine follows what it told
    // (at once when told, and at the tick for what enabling or disabling changed).
    void checkIdle();
    // The smallest of the seconds since the last left or right mouse-down, mouse move, key-down
    // and scroll-wheel event.
    double secondsSinceLastUserInput() const;
    // The diagnostics written every 300 s while a session runs (debug mode only).
    void runIdleDiagnostics();
    // Whether any idle source answers now. Without one the user counts as present, so a session
    // does not end when the user leaves; a source that comes later (a D-Bus service starting after
    // this application) makes it true, and losing every source false again.
    bool isIdleDetectionAvailable() const { return m_isIdleDetectionAvailable; }

    // Delivers one reminder through the reminder seam.
    void notify(zk::Duration duration);
    ReminderSeam& reminderSeam() { return m_reminderSeam; }

    // What the status item must redraw through; set by the tray. Without one nothing is redrawn.
    void setStatusItemUpdate(std::function<void()> update) { m_statusItemUpdate = std::move(update); }

    // The reminder timer's interval in seconds, when one is armed.
    std::optional<double> notifyTimerInterval() const;
    // The reminder timer's action, as when it fires.
    void fireNotifyTimer();

    // --- History

    // The stored history in stored order (newest first as kept by the engine). Decoded once after
    // each change of "sessions" and kept until the next. While the store cannot read it back (a
    // locked or failing file), answers go without it and the store is asked again a minute later;
    // a history written meanwhile joins the stored list once that reads, and the store keeps a copy
    // of the stored list when it is written over before.
    std::vector<Session> allSessions() const;
    // The same list without copying it.
    std::shared_ptr<const std::vector<Session>> allSessionsShared() const;
    // Replaces the stored history. The entries of the stored list that do not decode are kept and
    // written after these.
    void setAllSessions(std::vector<Session> sessions);
    // Empties the stored history, the entries that do not decode included: the user asked for
    // nothing to be left. A running session is not touched.
    void removeAllSessions();
    // Counts the changes of "sessions" seen by this engine, whoever made them; every answer
    // derived from the history is keyed by it.
    std::uint64_t historyGeneration() const { return m_historyGeneration; }

    // From the earliest start to the latest end of the stored sessions; nothing when there is none.
    std::optional<platform::DateRange> allSessionsDateRange() const;
    // The calendar days from the first session's day to the last's, both included; 0 without any.
    int trackedDayCount() const;
    // The stored sessions that overlap the calendar day of `date` (rounded to whole seconds), in
    // stored order.
    std::vector<Session> sessionsForDayAt(platform::Date date) const;

    // Tracked time on the day of `date`, the running session included; nothing when it is zero.
    std::optional<zk::Duration> totalDurationForDayAt(platform::Date date) const;
    // Tracked time of the stored sessions on the day of `date`.
    zk::Duration totalDurationForSessionsAtDay(platform::Date date) const;
    // Today's total of the same clock time one calendar day earlier.
    std::optional<zk::Duration> totalDurationYesterday() const;
    // The day totals of the given days, in order; days without a total are left out.
    std::vector<zk::Duration> dailyTotals(const std::vector<platform::Date>& dates) const;
    // The mean day total, in seconds, over the days from `lowerOffset` to `upperOffset` days from
    // today (both included) that have a total; weekends, as the locale counts them, left out when
    // asked. 0 when no day has a total.
    double averageDuration(int lowerOffset, int upperOffset, bool excludingWeekends) const;

    // Whether the history in memory is not in the store because its last write failed. It stays
    // the truth for every answer and is written again by the next tick and at quit.
    bool hasUnstoredHistory() const { return m_unstoredHistory != nullptr; }
    // Writes the unstored history again; nothing when there is none.
    void retryUnstoredHistory();

    // Changes with every change of "sessions", as historyGeneration() does.
    const platform::Uuid& allSessionsCacheKey() const { return m_allSessionsCacheKey; }

    // Runs one piece of work on another thread.
    using BackgroundRunner = std::function<void(std::function<void()> work)>;
    // Starts decoding the stored history on another thread (through `runner`; empty: Qt's global
    // thread pool), so that start-up goes on meanwhile. A question about the history asked before
    // the decode is done waits for it, or decodes on the asking thread when the decode has not
    // begun: the stored text is decoded once either way. A change of "sessions" meanwhile drops the
    // decode. Nothing when the history is decoded or being decoded already.
    void decodeHistoryInBackground(BackgroundRunner runner = {});
    // Whether a question about the history would now wait for the background decode.
    bool isDecodingHistory() const { return m_decode && !m_history; }
    // How many times a stored history has been decoded in this process, by any engine.
    static std::uint64_t historyDecodeCount();
    // Makes the history's join known to every store of the process. Called before the settings
    // open: their opening puts into the file what a run before kept while another program held it.
    static void joinHistoriesWrittenBeforeTheStoreOpens();
    // The store's join of a stored history with one written while it could not be read (`base`
    // null: every entry of both), or written over `base` while another program changed the stored
    // one (what either took out of `base` stays out, what either added is in). Each session once,
    // pruned and sorted. Pure; safe under the store's lock.
    static std::optional<platform::PropertyList> joinStoredHistories(const platform::PropertyList& stored,
        const platform::PropertyList& written, const platform::PropertyList* base);

Q_SIGNALS:
    // "sessions" changed: a session was stored, pruned or continued here, or the key was written
    // elsewhere. Emitted once the new history answers, on the main thread.
    void historyChanged();
    // The background decode is over: its history answers, or a change of "sessions" dropped it.
    // Emitted on the main thread.
    void historyDecoded();
    // isIdleDetectionAvailable() changed.
    void idleDetectionAvailabilityChanged(bool available);

private:
    struct History {
        std::vector<Session> sessions;
        // Stored entries that did not decode, kept verbatim.
        std::vector<platform::PropertyList> undecodable;
        // The stored list is there but could not be read for the moment (a locked or failing
        // file): this one lacks it, and holds only what was added since.
        bool unread = false;
        // The stored session that the running one continues: written with the rest, left out of
        // `sessions` and so of every answer.
        std::optional<Session> continued;
    };
    class HistoryDecode;
    // A stored value as the store hands it out.
    using StoredValue = std::shared_ptr<const platform::PropertyList>;

    void setUpEvents();
    void setUpNotifyTimer();
    void pruneOldSessions();
    void enabledDidChange();
    void updateStatusItem();
    // `measuredIdle`: the user idle time already measured at this moment, if any.
    void stop(bool fromIdle, std::optional<double> measuredIdle);
    void historyDidChange();
    void renewHistoryGeneration();
    // `history` with the session being continued taken out of its sessions; itself when none is.
    std::shared_ptr<const History> withContinuedHeld(std::shared_ptr<const History> history) const;
    // `history` with its continued session back among the others, in its place by start.
    static std::shared_ptr<const History> withContinuedReleased(std::shared_ptr<const History> history);
    // The running session no longer continues a stored one: that one answers again as stored.
    void releaseContinued();
    void readIdleDuration();
    // Tells the idle source the threshold, and whether the user is away.
    void armIdleWatches();
    void idleSourceDidTell(const platform::IdleEvent& event);
    // Starts or ends the session by what the source of events last told.
    void followIdleEvents();
    // The user idle time by which a stop from idle moves the end back.
    double userIdleTime() const;
    void handleNegativeDuration(double duration);

    // What the stored history of one calendar day comes to, kept until the history or the time
    // zone changes.
    struct Day {
        // From the day's first instant to the next day's, both included.
        platform::DateRange range;
        std::shared_ptr<const std::vector<Session>> sessions;
        zk::Duration storedTotal;
    };

    // The decoded history, read from the store on the first question after a change.
    std::shared_ptr<const History> history() const;
    std::shared_ptr<const History> readHistory() const;
    // The list stored in `suite` decoded; a pure function of the stored value, safe on any thread.
    static std::shared_ptr<const History> decodeHistory(const platform::UserDefaults& suite);
    // Adds the sessions of a stored list to `history`, and its entries that do not decode.
    static void addStoredEntries(History& history, const platform::PropertyList& stored);
    // Reports each stored entry that did not decode, each only once.
    void reportUndecodable(const History& history) const;
    // On the main thread once the background decode has run.
    void finishDecode(const std::shared_ptr<HistoryDecode>& decode);
    // Forgets the background decode (the history changed); whether there was one.
    bool dropDecode();
    // Writes the history; the store and the memo then hold the same list.
    void writeHistory(std::shared_ptr<const History> history);
    // The same with `previous`, the stored value as read just before.
    void writeHistory(std::shared_ptr<const History> history, const StoredValue& previous);
    // Puts the history into the store over `previous`; on failure keeps it as the unstored history.
    void storeHistory(std::shared_ptr<const History> history, const StoredValue& previous);
    // What "sessions" holds in the store now; null when nothing or when it cannot be read.
    StoredValue storedHistoryValue() const;
    // The stored list with the sessions of an unread history added (the stored one of the same id
    // kept), pruned and sorted.
    std::shared_ptr<const History> joinedWithStored(
        const History& history, const platform::PropertyList& stored) const;
    // Asks the store again for a history that could not be read, a while after it failed.
    void retryUnreadHistory();
    // The history pruned to the last 121 days and sorted newest first; nothing when it already is.
    static std::optional<std::vector<Session>> pruned(const std::vector<Session>& sessions);
    // The day of the rounded date, from the memo or computed now. Nothing when the calendar has
    // no such day.
    const Day* day(platform::Date rounded) const;
    std::optional<zk::Duration> totalForDay(platform::Date rounded) const;

    std::optional<CurrentSession> m_currentSession;
    // The id of the stored session that the running one continues.
    std::optional<platform::Uuid> m_continuedId;
    platform::Uuid m_allSessionsCacheKey;
    std::uint64_t m_historyGeneration = 0;
    bool m_isWritingHistory = false;
    mutable std::shared_ptr<const History> m_history;
    // The uptime at which the history last failed to read.
    mutable double m_unreadSince = 0;
    // The background decode of the stored history, until its history is in place.
    std::shared_ptr<HistoryDecode> m_decode;
    // Days by their first instant, for m_daysGeneration and m_daysZone.
    mutable std::map<double, Day> m_days;
    mutable std::uint64_t m_daysGeneration = 0;
    mutable std::uint64_t m_daysZone = 0;
    mutable std::optional<std::pair<std::uint64_t, std::optional<platform::DateRange>>> m_dateRange;
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
    bool m_isIdleDetectionAvailable = true;

    QTimer m_notifyTimer;
    QTimer m_idleDiagnosticsTimer;
    std::vector<QMetaObject::Connection> m_connections;
    std::shared_ptr<platform::UserDefaults> m_suite;
    std::vector<platform::UserDefaults::ObserverId> m_observers;
    std::shared_ptr<bool> m_alive;

    ReminderSeam m_reminderSeam;
    std::function<void()> m_statusItemUpdate;
    // The history whose write failed, until a write succeeds.
    std::shared_ptr<const History> m_unstoredHistory;
    HistoryStoreFailure m_storeFailure;
    // Undecodable stored entries already reported, so each is reported once.
    mutable std::set<std::string> m_reportedUndecodable;
};

// Rounds to the nearest whole second since the reference date, halves away from zero.
platform::Date roundedToWholeSeconds(platform::Date date);

} // namespace kiruvo
