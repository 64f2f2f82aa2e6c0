#pragma once

#include "platform/desktop/IdleTimeSource.h"
#include "platform/linux/DBusAvailabilityProbe.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusServiceWatcher>
#include <QObject>
#include <QTimer>
#include <QVariantMap>

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>

namespace platform {

class BusNameOwner;

// Idle events from GNOME Mutter's IdleMonitor on the session bus. An idle watch of the engine's
// threshold fires once the user has had no input for it ("idle since the threshold ago"); a
// user-active watch, set while the user is away, fires once at the next input. When armed, the
// exact idle time is asked for once as well, so that a user who is away already is told at once,
// with the moment of the last input.
//
// Mutter holds its idle watches back while another application inhibits idle (a video playing, a
// call): the break would go unseen. While idle is inhibited GetIdletime counts input alone, so
// while the session manager says idle is inhibited (org.gnome.SessionManager's InhibitedActions,
// and its PropertiesChanged) the idle time is asked for when it could first reach the threshold,
// and the user-active watch, which inhibitors leave alone, tells the return. Without inhibition
// nothing is asked: the watches serve. A session manager missing from the bus inhibits nothing.
//
// When the inhibitor ends, though, Mutter counts its idle time afresh, as if there had been input
// (its idle watches too; a user-active watch does not fire): a pause would be told from the end,
// late, or not at all. So while idle is inhibited each question goes with a user-active watch asked
// for before it: the answer tells the last input, and the watch any input after it. The last input
// an unfired watch vouches for stands across the inhibitor's end, and the break is told a threshold
// after it. A watch that fires while the user is present is asked for again, with the idle time,
// inputCheckInterval later; an inhibitor that ends before then leaves the input that fired it as
// the last one known, and the break is told a threshold after that input. (Input between the firing
// and the end is unseen: a pause then counts from up to that much before its real start, where
// counting from the end would lose a break shorter than the threshold and that delay.)
//
// Nothing ever waits for Mutter. Mutter leaving the bus (a restart, the end of the
// session) is told as `changed`, and so is its return.
//
// Main-thread only.
class MutterIdleTimeSource final : public QObject, public IdleTimeSource {
    Q_OBJECT
public:
    static constexpr const char* serviceName = "org.gnome.Mutter.IdleMonitor";
    static constexpr const char* objectPath = "/org/gnome/Mutter/IdleMonitor/Core";
    static constexpr const char* interfaceName = "org.gnome.Mutter.IdleMonitor";
    static constexpr const char* sessionManagerName = "org.gnome.SessionManager";
    static constexpr const char* sessionManagerPath = "/org/gnome/SessionManager";
    // The bit of InhibitedActions that says idle is inhibited.
    static constexpr uint idleInhibitedFlag = 8;
    // While idle is inhibited, how long after input the user-active watch told the idle time is
    // asked for again, with a new watch. Each time costs a few wake-ups while the user works.
    static constexpr double inputCheckInterval = 5.0;

    // `service` and `sessionManager`: the bus names to watch and ask (GNOME's own unless a test
    // stands in).
    explicit MutterIdleTimeSource(QDBusConnection connection,
        const QString& service = QString::fromLatin1(serviceName),
        const QString& sessionManager = QString::fromLatin1(sessionManagerName));
    ~MutterIdleTimeSource() override;

    // Asks for the idle time once, without waiting: until the answer, or `timeoutMs`, the source is
    // asking (neither available nor known to be missing). Then it answers, or waits for a Mutter
    // not on the bus yet, or stays unavailable while the one there does not answer; either way it
    // tells `changed`. A Mutter on the bus whose call ran out of time is asked again, waiting
    // longer each time, and tells `changed` again once it answers. Used to choose a backend at
    // start-up.
    void probe(int timeoutMs);
    bool isAsking() const override { return m_firstQuestion.isAsking(); }

    Kind kind() const override { return Kind::thresholdEvents; }
    double secondsSinceLastEvent(InputEventType type) override;
    bool distinguishesEventTypes() const override { return false; }
    double secondsSinceLastInput() override;
    std::string name() const override { return "GNOME Mutter IdleMonitor"; }
    void armWatches(double thresholdSeconds, std::optional<double> idleSince) override;
    void disarmWatches() override;
    bool isAvailable() const override { return m_available; }
    // Not on the bus (yet): unavailable until the service appears, which is told as `changed`.
    void setAbsent() { m_available = false; }

    bool isIdle() const { return m_idleSince.has_value(); }
    bool isIdleInhibited() const { return m_idleInhibited; }
    // While idle is inhibited, or its end left the last input to be kept, and the user present:
    // the uptime at which the idle time is asked for next.
    std::optional<double> nextQuestionAt() const { return m_nextQuestionAt; }
    // The uptime of the last input while an unfired user-active watch vouches that none came since.
    std::optional<double> lastInput() const { return m_lastInput; }
    // Asks for the idle time now (the timer's work, for tests).
    void ask();

private Q_SLOTS:
    void watchFired(uint id, const QDBusMessage& message);
    void sessionManagerPropertiesChanged(const QString& interface, const QVariantMap& changed,
        const QStringList& invalidated, const QDBusMessage& message);

private:
    void removeWatch(uint id);
    void removeWatches();
    // Sends `message` without waiting; `answered` gets the one value answered (invalid when the
    // call failed, which is logged) and whether no arming has come since.
    void send(const QDBusMessage& message, std::function<void(const QVariant&, bool)> answered);
    void addIdleWatch();
    void addUserActiveWatch();
    void askIdleTime();
    // The idle watch fired (`at`), and the user-active watch.
    void idleWatchFired(double at);
    void activeWatchFired(double at);
    // Once the idle watch's id is read: a firing still unclaimed while a user-active watch was
    // awaited is input.
    void claimEarlyFirings();
    void readInhibitedActions();
    void setIdleInhibited(bool inhibited);
    // While idle is inhibited (or its end left the last input to be kept) and the user present,
    // the next question falls due when the idle time `seconds`, just read, could first reach the
    // threshold; under inhibition with no watch vouching for the last input, within
    // inputCheckInterval.
    void scheduleQuestion(double seconds);
    void cancelQuestion();
    void becameIdle(double since);
    void serviceAppeared();
    void serviceVanished();
    void failed(const QString& what, const QString& error);

    QDBusMessage call(const char* method) const;

    QDBusConnection m_connection;
    const QString m_service;
    QDBusServiceWatcher m_watcher;
    const QString m_sessionManager;
    QDBusServiceWatcher m_sessionManagerWatcher;
    // Who sends the signals the two names' objects are heard by.
    BusNameOwner* m_mutterOwner = nullptr;
    BusNameOwner* m_sessionManagerOwner = nullptr;
    QTimer m_question;
    std::optional<double> m_nextQuestionAt;
    bool m_idleInhibited = false;
    // Whether idle was inhibited since the user last counted as present: an idle watch that fires
    // then may fire late, so the idle time is asked for rather than taken as the threshold.
    bool m_inhibitedDuringPause = false;
    QObject m_calls; // owns the pending call watchers; reset to drop the answers of an old arming
    DBusAvailabilityProbe m_firstQuestion { "GNOME Mutter's IdleMonitor" };
    double m_threshold = 600;
    bool m_armed = false;
    bool m_available = true;
    // Whether Mutter has been seen leaving: one that comes while absent from the start is new.
    bool m_hasLeftBus = false;
    std::optional<double> m_idleSince;
    // Watch ids; 0 for none.
    uint m_idleWatch = 0;
    uint m_activeWatch = 0;
    bool m_activeWatchPending = false;
    bool m_idleWatchPending = false;
    // Firings of watches whose ids were not read yet, while the idle watch's was awaited: the bus
    // may hand a signal over before an answer sent earlier, and with both watches asked for, the id
    // alone cannot tell an idle watch's firing from input until the answers name their watches.
    struct EarlyFiring {
        double at;
        // Whether a user-active watch was awaited too, which the firing may be.
        bool activeAwaited;
    };
    std::map<uint, EarlyFiring> m_earlyFirings;
    // How often a user-active watch has fired: an answer asked with a watch before it vouches for
    // the time after it only while none has.
    unsigned m_activeFirings = 0;
    // The last input, while a user-active watch asked for before the answer that told it has not
    // fired: Mutter's own count may restart at an inhibitor's end, this does not.
    std::optional<double> m_lastInput;
    // When the last user-active watch fired while the user was present: input for certain, the
    // latest one seen until a later answer tells.
    std::optional<double> m_inputSeenAt;
    // Questions for the idle time of this arming not answered yet.
    int m_idleTimeQuestions = 0;
    // When the idle watch fired while the idle time was being asked for: the answer, which the bus
    // may hand over after the firing, dates the break; the firing serves only if it cannot.
    std::optional<double> m_idleWatchFiredAt;
    // Counts the armings, so that answers to an older one are dropped.
    std::uint64_t m_generation = 0;
    bool m_reportedFailure = false;
};

} // namespace platform
