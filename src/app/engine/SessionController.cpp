#include "app/engine/SessionController.h"

#include "app/engine/SettingsKeys.h"
#include "kit/foundation/Alert.h"
#include "kit/foundation/AlertPresenter.h"
#include "kit/foundation/core/FatalError.h"
#include "kit/foundation/core/GeneralError.h"
#include "kit/foundation/core/ReportError.h"
#include "libraries/defaults/Observation.h"
#include "platform/Logger.h"
#include "platform/MainQueue.h"
#include "platform/desktop/IdleTimeSource.h"
#include "platform/desktop/SystemEvents.h"
#include "platform/time/Clock.h"
#include "platform/time/Date.h"

#include <QCoreApplication>
#include <QPointer>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <utility>

namespace kiruvo {

namespace {

// The "Session ..." diagnostics are written only in debug mode.
bool debugMode()
{
    return platform::DebugLog::isEnabled();
}

double uptime()
{
    return platform::Clock::shared().systemUptime();
}

platform::Date now()
{
    return platform::Clock::shared().now();
}

// A double as the platform writes it by default: the shortest text that reads back the same, with
// ".0" on whole numbers ("-3.25", "-3.0").
std::string doubleText(double value)
{
    if (std::isnan(value)) {
        return "nan";
    }
    if (std::isinf(value)) {
        return value < 0 ? "-inf" : "inf";
    }
    char buffer[64];
    auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value);
    std::string text(buffer, error == std::errc() ? end : buffer);
    if (text.find_first_of(".e") == std::string::npos) {
        text += ".0";
    }
    return text;
}

std::string rangeText(const platform::DateRange& range)
{
    return doubleText(range.lowerBound.timeIntervalSinceReferenceDate) + "..."
        + doubleText(range.upperBound.timeIntervalSinceReferenceDate);
}

// Whether idle time is seen, or may still be: while the sources are being asked at start nothing
// says they are missing.
bool idleTimeMayBeSeen()
{
    const auto& source = platform::IdleTimeSource::shared();
    return source.isAvailable() || source.isAsking();
}

zk::ErrorUserInfo userInfo(const std::map<std::string, std::string>& fields)
{
    zk::ErrorUserInfo info;
    for (const auto& [key, value] : fields) {
        info.emplace(key, value);
    }
    return info;
}

} // namespace

SessionController& SessionController::shared()
{
    // Never destroyed: timers and subscriptions live as long as the process.
    static auto* instance = new SessionController();
    return *instance;
}

SessionController::SessionController()
    : m_history(Keys::sessions().suite())
    , m_dayTotals(m_history, m_currentSession)
{
    connect(&m_history, &SessionHistory::changed, this, &SessionController::historyChanged);
    connect(&m_history, &SessionHistory::decoded, this, &SessionController::historyDecoded);
    Keys::registerAll();
    m_isIdleDetectionAvailable = idleTimeMayBeSeen();
    // The source outlives this engine and tells on the main thread.
    platform::IdleTimeSource::shared().setEventHandler(
        [self = QPointer(this)](const platform::IdleEvent& event) {
            if (self) {
                self->idleSourceDidTell(event);
            }
        });
    m_checkTimer.setSingleShot(true);
    // Never early: a check before its moment finds nothing and must be armed again.
    m_checkTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_checkTimer, &QTimer::timeout, this, &SessionController::checkIdle);
    // What the idle step would find changes with the session and with tracking; a failed write of
    // the history, a write kept beside a held file and a history that did not read leave something
    // to retry.
    connect(this, &SessionController::currentSessionChanged, this, &SessionController::scheduleCheck);
    connect(this, &SessionController::enabledChanged, this, &SessionController::scheduleCheck);
    connect(&m_history, &SessionHistory::changed, this, &SessionController::scheduleCheck);
    connect(&m_history, &SessionHistory::retryNeeded, this, &SessionController::scheduleCheck);
    readIdleDuration();
    setUpEvents();
    // Not the idle step yet: tracking starts when "enableAtLaunch" is applied. Writes the opening
    // kept beside a held file are retried as every retry is.
    if (m_history.nextRetryAt()) {
        m_nextCheckAt = uptime() + SessionHistory::retryInterval;
        m_checkTimer.start(static_cast<int>(SessionHistory::retryInterval * 1000));
    }
}

SessionController::~SessionController() = default;

void SessionController::setUpEvents()
{
    platform::SystemEvents& events = platform::SystemEvents::shared();
    connect(&events, &platform::SystemEvents::willSleep, this, [this] {
        if (debugMode()) {
            zk::debugLog("Device will sleep");
        }
        m_wasEnabledBeforeSleep = m_isEnabled;
        if (debugMode()) {
            zk::debugLog(
                std::string("wasEnabledBeforeSleep: ") + (m_wasEnabledBeforeSleep ? "true" : "false"));
        }
        if (m_isEnabled) {
            setEnabled(false);
        }
    });
    connect(&events, &platform::SystemEvents::didWake, this, [this] {
        if (debugMode()) {
            zk::debugLog("Device did wake");
            zk::debugLog(
                std::string("wasEnabledBeforeSleep: ") + (m_wasEnabledBeforeSleep ? "true" : "false"));
        }
        // The compositor's idle timers may not have counted the sleep: the watches start afresh,
        // and the user who woke the machine counts as present.
        m_userIdleSince.reset();
        m_lastIdle.reset();
        armIdleWatches();
        if (m_wasEnabledBeforeSleep) {
            setEnabled(true);
        }
        scheduleCheck();
    });
    connect(&events, &platform::SystemEvents::willTerminate, this, [this] {
        if (debugMode()) {
            zk::debugLog("App will quit");
        }
        stop(false);
        m_history.retryUnstored();
    });

    // The store tells observers on the writing thread; the engine acts on the main thread.
    const auto observe = [this](const Defaults::Keys& key, void (SessionController::*action)()) {
        Defaults::observe({ std::cref(key) }, {}, [self = QPointer(this), action] {
            const auto run = [self, action] {
                if (self) {
                    (self.data()->*action)();
                }
            };
            if (platform::MainQueue::isMainThread()) {
                run();
            } else {
                platform::MainQueue::post(QCoreApplication::instance(), run);
            }
        })->tieToLifetime(this);
    };
    observe(Keys::notifyInterval(), &SessionController::setUpNotifyTimer);
    observe(Keys::idleDurationBeforeStop(), &SessionController::readIdleDuration);
    setUpNotifyTimer();

    m_notifyTimer.setTimerType(Qt::CoarseTimer);
    m_notifyTimer.setSingleShot(true);
    connect(&m_notifyTimer, &QTimer::timeout, this, &SessionController::notifyTimerDidFire);
    m_idleDiagnosticsTimer.setInterval(static_cast<int>(idleDiagnosticsInterval * 1000));
    connect(&m_idleDiagnosticsTimer, &QTimer::timeout, this, &SessionController::runIdleDiagnostics);
    m_idleDiagnosticsTimer.start();
}

void SessionController::readIdleDuration()
{
    m_idleDurationBeforeStop = Defaults::get(Keys::idleDurationBeforeStop());
    // A source that says only when the threshold is reached must know the threshold.
    if (m_armedThreshold != m_idleDurationBeforeStop.seconds) {
        armIdleWatches();
    }
    scheduleCheck();
}

void SessionController::armIdleWatches()
{
    m_armedThreshold = m_idleDurationBeforeStop.seconds;
    platform::IdleTimeSource::shared().armWatches(m_idleDurationBeforeStop.seconds, m_userIdleSince);
}

void SessionController::idleSourceDidTell(const platform::IdleEvent& event)
{
    switch (event.type) {
    case platform::IdleEvent::Type::idle:
        // Told again while away (watches armed anew), the first moment stays the last input.
        if (!m_userIdleSince || m_currentSession) {
            m_userIdleSince = event.uptime;
        }
        break;
    case platform::IdleEvent::Type::active:
        m_userIdleSince.reset();
        if (platform::IdleTimeSource::shared().kind() == platform::IdleTimeSource::Kind::thresholdEvents
            && m_isEnabled && !m_currentSession) {
            start();
            // The next session begins with the input that ended the break, even when the source
            // tells it a moment later.
            if (m_currentSession && event.uptime < m_currentSession->start().seconds) {
                moveCurrentSessionStart(event.uptime);
            }
            return;
        }
        break;
    case platform::IdleEvent::Type::changed:
        // Another backend answers now (the source logs which): it knows nothing of this one's
        // figures and must be told the threshold, and whether the user is away.
        m_lastIdle.reset();
        armIdleWatches();
        if (const bool available = idleTimeMayBeSeen(); available != m_isIdleDetectionAvailable) {
            m_isIdleDetectionAvailable = available;
            Q_EMIT idleDetectionAvailabilityChanged(available);
        }
        // Perhaps a source of another kind: asked, or telling.
        scheduleCheck();
        return;
    }
    if (platform::IdleTimeSource::shared().kind() == platform::IdleTimeSource::Kind::thresholdEvents) {
        followIdleEvents();
    }
    scheduleCheck();
}

void SessionController::followIdleEvents()
{
    if (!m_isEnabled) {
        return;
    }
    if (m_userIdleSince) {
        if (m_currentSession) {
            // The session ends at the last input, never before its start.
            stop(true, std::max(0.0, uptime() - *m_userIdleSince));
        }
    } else if (!m_currentSession) {
        start();
    }
}

double SessionController::userIdleTime() const
{
    if (platform::IdleTimeSource::shared().kind() == platform::IdleTimeSource::Kind::thresholdEvents) {
        // Between events the source knows no figure: the user is away since the event said so,
        // or present.
        return m_userIdleSince ? std::max(0.0, uptime() - *m_userIdleSince) : 0.0;
    }
    return secondsSinceLastUserInput();
}

// --- Tracking

void SessionController::setEnabled(bool enabled)
{
    const bool changed = enabled != m_isEnabled;
    m_isEnabled = enabled;
    enabledDidChange();
    if (changed) {
        Q_EMIT enabledChanged(enabled);
    }
}

void SessionController::enabledDidChange()
{
    if (m_isEnabled) {
        platform::log(platform::LogLevel::Info, platform::lcEngine(), "Session enable");
        m_wasEnabledBeforeSleep = true;
        // Enabling while a session runs keeps it.
        if (!m_currentSession) {
            start();
        }
    } else {
        platform::log(platform::LogLevel::Info, platform::lcEngine(), "Session disable");
        stop(false);
    }
}

void SessionController::start()
{
    if (debugMode()) {
        zk::debugLog("Session start");
    }
    if (!m_isEnabled) {
        // The change handler starts the session.
        setEnabled(true);
        return;
    }
    if (m_currentSession) {
        stop(false);
    }
    m_currentSession = CurrentSession(zk::Duration::fromSeconds(uptime()));
    m_lastIdle.reset();
    setUpNotifyTimer();
    Q_EMIT currentSessionChanged();
}

void SessionController::stop(bool fromIdle)
{
    stop(fromIdle, std::nullopt);
}

void SessionController::stop(bool fromIdle, std::optional<double> measuredIdle)
{
    if (debugMode()) {
        zk::debugLog("Session stop - from idle:", fromIdle);
        zk::debugLog("Session stop - currentSession.duration:",
            m_currentSession ? m_currentSession->duration().description() : std::string("nil"));
        zk::debugLog("Session stop - currentSession.dateRange:",
            m_currentSession ? rangeText(m_currentSession->dateRange()) : std::string("nil"));
        if (fromIdle) {
            zk::debugLog(
                "Session stop - Debug idle time", platform::IdleTimeSource::shared().secondsSinceLastInput());
            zk::debugLog("Session stop - Debug idle time2", (measuredIdle ? *measuredIdle : userIdleTime()));
        }
    }
    if (!m_currentSession) {
        return;
    }
    if (debugMode()) {
        zk::debugLog(
            "Session stop: userIdleTime", platform::IdleTimeSource::shared().secondsSinceLastInput());
    }
    const platform::DateRange running = m_currentSession->dateRange();
    const double idle = fromIdle ? (measuredIdle ? *measuredIdle : userIdleTime()) : 0.0;
    platform::Date start = running.lowerBound;
    platform::Date end = std::max(running.lowerBound, running.upperBound.addingTimeInterval(-idle));
    // A continued session starts where its stored one did and never ends before it: what was
    // stored is kept, whatever the running part came to.
    if (const auto continued = m_history.heldOut()) {
        start = continued->dateRange().lowerBound;
        end = std::max({ start, end, continued->dateRange().upperBound });
    }
    const double duration = end.timeIntervalSince(start);
    if (debugMode()) {
        zk::debugLog("Session stop: duration:", duration);
    }
    std::optional<Session> finished;
    if (duration >= minimumStoredDuration) {
        finished = Session::make(m_history.heldOutId().value_or(platform::Uuid::random()), start, end,
            platform::TimeZone::current());
    }
    m_currentSession.reset();
    m_lastIdle.reset();
    m_history.releaseHeldOut();
    if (finished) {
        // The finished session joins the history in place of the stored one it continued.
        m_history.add(std::move(*finished));
    } else {
        m_history.prune();
    }
    // Told once the history holds it: today's total counts it throughout.
    Q_EMIT currentSessionChanged();
}

void SessionController::newSession()
{
    if (debugMode()) {
        zk::debugLog("Session new");
    }
    stop(false);
    start();
}

void SessionController::continuePreviousSession()
{
    // The newest session the history answers with: the one the menu shows, never the one a
    // running session continues already.
    const auto sessions = m_history.allSessionsShared();
    if (sessions->empty()) {
        zk::reportError(zk::GeneralError(std::string()));
        return;
    }
    Session previous = sessions->front();
    if (const auto running = m_history.heldOut()) {
        previous = mergedWithContinued(previous, *running);
    }
    const double elapsed = now().timeIntervalSince(previous.dateRange().lowerBound);
    m_currentSession = CurrentSession(zk::Duration::fromSeconds(uptime() - elapsed));
    m_lastIdle.reset();
    // It stays in the store until the running session replaces it; only the answers leave it out.
    m_history.holdOut(previous.id());
    Q_EMIT currentSessionChanged();
}

Session SessionController::mergedWithContinued(const Session& previous, const Session& continued)
{
    // Continuing the older session spans the continued one's time as well: both become one
    // session from the earlier start to the later end, stored at once in place of the older one,
    // so that a crash meanwhile loses neither.
    const auto merged = Session::make(previous.id(),
        std::min(previous.dateRange().lowerBound, continued.dateRange().lowerBound),
        std::max(previous.dateRange().upperBound, continued.dateRange().upperBound), previous.timeZone());
    m_history.releaseHeldOut();
    auto sessions = m_history.allSessions();
    std::erase_if(sessions, [&](const Session& session) { return session.id() == continued.id(); });
    std::replace(sessions.begin(), sessions.end(), previous, *merged);
    m_history.setAllSessions(std::move(sessions));
    return *merged;
}

double SessionController::secondsSinceLastUserInput() const
{
    platform::IdleTimeSource& source = platform::IdleTimeSource::shared();
    // One question to the X server a second rather than five when the answer is the same for all.
    if (!source.distinguishesEventTypes()) {
        return source.secondsSinceLastEvent(platform::userInputEventTypes.front());
    }
    double smallest = std::numeric_limits<double>::infinity();
    for (auto type : platform::userInputEventTypes) {
        smallest = std::min(smallest, source.secondsSinceLastEvent(type));
    }
    return smallest;
}

void SessionController::checkIdle()
{
    // Each tick of the idle check is no retry: one waits its turn.
    if (m_history.isRetryDue()) {
        m_history.retryUnstored();
    }
    m_history.retryUnread();
    idleStep();
    scheduleCheck();
}

void SessionController::idleStep()
{
    if (m_currentSession) {
        const double duration = m_currentSession->duration().seconds;
        if (duration < 0) {
            handleNegativeDuration(duration);
            return;
        }
    }
    if (m_isEnabled) {
        // A source of events has said all there is to know; its figures are no measurement.
        if (platform::IdleTimeSource::shared().kind() == platform::IdleTimeSource::Kind::thresholdEvents) {
            followIdleEvents();
            return;
        }
        // Until then the user is certainly still active and the source need not be asked.
        if (const auto due = idleFigureMayReachThresholdAt()) {
            const double now = uptime();
            if (now >= m_lastIdle->uptime && now < *due) {
                return;
            }
        }
        const double idle = secondsSinceLastUserInput();
        m_lastAskedAt = uptime();
        if (idle < m_idleDurationBeforeStop.seconds) {
            // Below a threshold raised while the user is away, the figure still counts from the
            // input before the break: only input after it ends the break. New input comes a whole
            // threshold after that one, so a second's room takes up the figure's jitter.
            if (!m_currentSession && m_userIdleSince && uptime() - idle < *m_userIdleSince + 1.0) {
                return;
            }
            m_userIdleSince.reset();
            if (!m_currentSession) {
                start();
            }
            // The figure just measured serves the new session too.
            m_lastIdle = IdleMeasurement { uptime(), idle };
        } else {
            // Kept for a source of events that may take over while the user is away.
            if (!m_userIdleSince || m_currentSession) {
                m_userIdleSince = uptime() - idle;
            }
            if (m_currentSession) {
                // The figure just measured is the one to backdate by: one question per check.
                stop(true, idle);
            }
        }
        return;
    }
    if (m_currentSession) {
        stop(false);
        zk::reportError(zk::GeneralError(std::string("Current session was expected to exist but did not.")),
            m_currentSession ? userInfo(m_currentSession->debugInfo()) : zk::ErrorUserInfo {});
    }
}

std::optional<double> SessionController::idleFigureMayReachThresholdAt() const
{
    // The idle time grows no faster than the uptime, and input only makes it shorter.
    if (!m_currentSession || !m_lastIdle) {
        return std::nullopt;
    }
    return m_lastIdle->uptime + (m_idleDurationBeforeStop.seconds - m_lastIdle->idle);
}

std::optional<double> SessionController::idleCheckDueAt() const
{
    const double now = uptime();
    if (m_currentSession && m_currentSession->duration().seconds < 0) {
        return now;
    }
    if (!m_isEnabled) {
        // A session running while tracking is off is a fault the step reports and ends.
        return m_currentSession ? std::optional(now) : std::nullopt;
    }
    if (platform::IdleTimeSource::shared().kind() == platform::IdleTimeSource::Kind::thresholdEvents) {
        // The source tells every change; only a session that enabling started while the user is
        // away is left to end.
        return m_userIdleSince && m_currentSession ? std::optional(now) : std::nullopt;
    }
    if (m_currentSession) {
        return m_lastIdle ? idleFigureMayReachThresholdAt() : std::optional(now);
    }
    // No event says when the user is back: the source is asked until the figure drops.
    return m_lastAskedAt ? *m_lastAskedAt + awayQuestionInterval : now;
}

void SessionController::scheduleCheck()
{
    std::optional<double> due = idleCheckDueAt();
    if (const auto retry = m_history.nextRetryAt(); retry && (!due || *retry < *due)) {
        due = retry;
    }
    m_nextCheckAt = due;
    if (!due) {
        m_checkTimer.stop();
        return;
    }
    const double delay = std::max(0.0, *due - uptime());
    m_checkTimer.start(
        static_cast<int>(std::min(std::ceil(delay * 1000.0), double(std::numeric_limits<int>::max()))));
}

// A running session that starts after the present uptime cannot be measured. It is reported and
// restarted at once, so that the user sees one alert for it rather than one every second.
void SessionController::handleNegativeDuration(double duration)
{
    const std::string text = "The duration is negative: " + doubleText(duration);
    zk::reportError(zk::GeneralError(text), userInfo(m_currentSession->debugInfo()));
    m_history.releaseHeldOut();
    m_currentSession = CurrentSession(zk::Duration::fromSeconds(uptime()));
    m_lastIdle.reset();
    setUpNotifyTimer();
    Q_EMIT currentSessionChanged();
    if (m_negativeDurationAlertPending) {
        return;
    }
    m_negativeDurationAlertPending = true;
    zk::AlertDescription description;
    description.title = text;
    description.message = "This should not happen. Please report this to the developers using the feedback "
                          "button in the app.";
    zk::AlertPresenter::shared().present(zk::makeAlert(description), [self = QPointer(this)](int) {
        if (self) {
            self->m_negativeDurationAlertPending = false;
        }
    });
}

void SessionController::runIdleDiagnostics()
{
    if (!m_currentSession || !debugMode()) {
        return;
    }
    zk::debugLog("Debug idle time", platform::IdleTimeSource::shared().secondsSinceLastInput());
    zk::debugLog("Debug idle time2", secondsSinceLastUserInput());
}

// --- Reminders

void SessionController::setUpNotifyTimer()
{
    m_notifyTimer.stop();
    m_notifyInterval.reset();
    m_nextReminderAt.reset();
    const auto interval = Defaults::get(Keys::notifyInterval());
    if (!interval) {
        return;
    }
    // A timer of no length would fire without pause; such a stored interval is refused.
    if (!std::isfinite(interval->seconds) || interval->seconds <= 0) {
        platform::log(platform::LogLevel::Warning, platform::lcEngine(),
            "Ignoring the reminder interval " + interval->description() + ": it must be a positive length");
        return;
    }
    // Longer than a timer can wait is never reached.
    m_notifyInterval = std::min(interval->seconds, std::numeric_limits<int>::max() / 1000.0);
    armNotifyTimer(uptime() + *m_notifyInterval);
}

void SessionController::armNotifyTimer(double at)
{
    m_nextReminderAt = at;
    const double milliseconds
        = std::clamp(std::ceil((at - uptime()) * 1000.0), 0.0, double(std::numeric_limits<int>::max()));
    m_notifyTimer.start(static_cast<int>(milliseconds));
}

void SessionController::notifyTimerDidFire()
{
    if (!m_notifyInterval || !m_nextReminderAt) {
        return;
    }
    // One interval after the last reminder fell due, unless that passed while the process slept.
    const double now = uptime();
    const double next = *m_nextReminderAt + *m_notifyInterval;
    armNotifyTimer(next > now ? next : now + *m_notifyInterval);
    fireNotifyTimer();
}

void SessionController::moveCurrentSessionStart(double start)
{
    const double moved = start - m_currentSession->start().seconds;
    m_currentSession = CurrentSession(zk::Duration::fromSeconds(start));
    if (m_nextReminderAt) {
        armNotifyTimer(*m_nextReminderAt + moved);
    }
    Q_EMIT currentSessionChanged();
}

std::optional<double> SessionController::notifyTimerInterval() const
{
    return m_notifyInterval;
}

void SessionController::fireNotifyTimer()
{
    if (!m_currentSession) {
        return;
    }
    notify(zk::Duration::fromSeconds(uptime() - m_currentSession->start().seconds + 2.0));
}

void SessionController::notify(zk::Duration duration)
{
    m_reminderSeam.deliver(duration);
}

} // namespace kiruvo
