#include "app/engine/SessionController.h"

#include "app/engine/DayHelpers.h"
#include "app/engine/SettingsKeys.h"
#include "kit/foundation/Alert.h"
#include "kit/foundation/AlertPresenter.h"
#include "kit/foundation/Sorting.h"
#include "kit/foundation/core/FatalError.h"
#include "kit/foundation/core/GeneralError.h"
#include "kit/foundation/core/ReportError.h"
#include "platform/Logger.h"
#include "platform/MainQueue.h"
#include "platform/desktop/IdleTimeSource.h"
#include "platform/desktop/SystemEvents.h"
#include "platform/store/DefaultsDatabase.h"
#include "platform/time/Clock.h"
#include "platform/time/Date.h"

#include <QThreadPool>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cmath>
#include <condition_variable>
#include <iterator>
#include <limits>
#include <mutex>
#include <unordered_set>
#include <utility>

namespace kiruvo {

namespace {

constexpr const char* historyKey = "sessions";
// How long an unread history is answered without before the store is asked again: every question
// that reaches a locked file may wait for the store's whole busy timeout.
constexpr double unreadHistoryRetryInterval = 60;

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

zk::ErrorUserInfo userInfo(const std::map<std::string, std::string>& fields)
{
    zk::ErrorUserInfo info;
    for (const auto& [key, value] : fields) {
        info.emplace(key, value);
    }
    return info;
}

} // namespace

platform::Date roundedToWholeSeconds(platform::Date date)
{
    return platform::Date(std::round(date.timeIntervalSinceReferenceDate));
}

SessionController& SessionController::shared()
{
    // Never destroyed: timers and subscriptions live as long as the process.
    static auto* instance = new SessionController();
    return *instance;
}

SessionController::SessionController()
    : m_allSessionsCacheKey(platform::Uuid::random())
    , m_suite(Keys::sessions().suite())
    , m_alive(std::make_shared<bool>(true))
{
    Keys::registerAll();
    std::weak_ptr<bool> alive = m_alive;
    m_isIdleDetectionAvailable = platform::IdleTimeSource::shared().isAvailable();
    platform::IdleTimeSource::shared().setEventHandler([this, alive](const platform::IdleEvent& event) {
        if (auto token = alive.lock(); token && *token) {
            idleSourceDidTell(event);
        }
    });
    readIdleDuration();
    setUpEvents();
    // A history written while the stored one could not be read joins it once it reads.
    m_suite->database()->setJoin(m_suite->suiteName(), historyKey, &SessionController::joinStoredHistories);
}

SessionController::~SessionController()
{
    *m_alive = false;
    for (auto id : m_observers) {
        m_suite->removeObserver(id);
    }
    for (auto& connection : m_connections) {
        QObject::disconnect(connection);
    }
}

void SessionController::setUpEvents()
{
    platform::SystemEvents& events = platform::SystemEvents::shared();
    m_connections.push_back(connect(&events, &platform::SystemEvents::willSleep, this, [this] {
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
    }));
    m_connections.push_back(connect(&events, &platform::SystemEvents::didWake, this, [this] {
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
    }));
    m_connections.push_back(connect(&events, &platform::SystemEvents::willTerminate, this, [this] {
        if (debugMode()) {
            zk::debugLog("App will quit");
        }
        stop(false);
        retryUnstoredHistory();
    }));

    // The store tells observers on the writing thread; the engine acts on the main thread.
    auto observe
        = [this](const Defaults::Keys& key, bool honourSuppression, void (SessionController::*action)()) {
              std::weak_ptr<bool> alive = m_alive;
              auto id = key.suite()->addObserver(key.name(),
                  [this, alive, honourSuppression, action](const std::string&, const auto&, const auto&) {
                      if (honourSuppression && Defaults::isPropagationSuppressed()) {
                          return;
                      }
                      auto run = [this, alive, action] {
                          if (auto token = alive.lock(); token && *token) {
                              (this->*action)();
                          }
                      };
                      if (platform::MainQueue::isMainThread()) {
                          run();
                      } else {
                          platform::MainQueue::post(run);
                      }
                  });
              m_observers.push_back(id);
          };
    observe(Keys::notifyInterval(), true, &SessionController::setUpNotifyTimer);
    observe(Keys::idleDurationBeforeStop(), true, &SessionController::readIdleDuration);
    // Every change of the history ends the answers derived from it, whoever wrote it.
    observe(Keys::sessions(), false, &SessionController::historyDidChange);
    setUpNotifyTimer();

    m_notifyTimer.setTimerType(Qt::CoarseTimer);
    connect(&m_notifyTimer, &QTimer::timeout, this, &SessionController::fireNotifyTimer);
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
                m_currentSession = CurrentSession(zk::Duration::fromSeconds(event.uptime));
            }
            return;
        }
        break;
    case platform::IdleEvent::Type::changed:
        // Another backend answers now (the source logs which): it knows nothing of this one's
        // figures and must be told the threshold, and whether the user is away.
        m_lastIdle.reset();
        armIdleWatches();
        if (const bool available = platform::IdleTimeSource::shared().isAvailable();
            available != m_isIdleDetectionAvailable) {
            m_isIdleDetectionAvailable = available;
            Q_EMIT idleDetectionAvailabilityChanged(available);
        }
        return;
    }
    if (platform::IdleTimeSource::shared().kind() == platform::IdleTimeSource::Kind::thresholdEvents) {
        followIdleEvents();
    }
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

void SessionController::updateStatusItem()
{
    if (m_statusItemUpdate) {
        m_statusItemUpdate();
    }
}

// --- Tracking

void SessionController::setEnabled(bool enabled)
{
    m_isEnabled = enabled;
    enabledDidChange();
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
    updateStatusItem();
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
    const auto held = m_continuedId ? history() : nullptr;
    const Session* continued = held && held->continued ? &*held->continued : nullptr;
    if (continued) {
        start = continued->dateRange().lowerBound;
        end = std::max({ start, end, continued->dateRange().upperBound });
    }
    const double duration = end.timeIntervalSince(start);
    if (debugMode()) {
        zk::debugLog("Session stop: duration:", duration);
    }
    std::optional<Session> finished;
    if (duration >= minimumStoredDuration) {
        finished = Session::make(
            m_continuedId.value_or(platform::Uuid::random()), start, end, platform::TimeZone::current());
    }
    m_currentSession.reset();
    m_lastIdle.reset();
    releaseContinued();
    if (!finished) {
        pruneOldSessions();
        return;
    }
    // The finished session joins the history (in place of the stored one it continued) and the
    // prune puts it in its place, in one write.
    auto sessions = allSessions();
    std::erase_if(sessions, [&](const Session& session) { return session.id() == finished->id(); });
    sessions.push_back(std::move(*finished));
    if (auto kept = pruned(sessions)) {
        sessions = std::move(*kept);
    }
    setAllSessions(std::move(sessions));
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
    // A continued session that runs is dropped, as any running session is here.
    releaseContinued();
    const auto current = history();
    if (current->sessions.empty()) {
        zk::reportError(zk::GeneralError(std::string()));
        return;
    }
    const Session previous = current->sessions.front();
    // It stays in the store until the running session replaces it; only the answers leave it out.
    m_continuedId = previous.id();
    m_history = withContinuedHeld(current);
    if (m_unstoredHistory == current) {
        m_unstoredHistory = m_history;
    }
    renewHistoryGeneration();
    const double elapsed = now().timeIntervalSince(previous.dateRange().lowerBound);
    m_currentSession = CurrentSession(zk::Duration::fromSeconds(uptime() - elapsed));
    m_lastIdle.reset();
    Q_EMIT historyChanged();
}

std::shared_ptr<const SessionController::History> SessionController::withContinuedHeld(
    std::shared_ptr<const History> history) const
{
    if (!m_continuedId || !history) {
        return history;
    }
    const auto found = std::find_if(history->sessions.begin(), history->sessions.end(),
        [&](const Session& session) { return session.id() == *m_continuedId; });
    if (found == history->sessions.end()) {
        return history;
    }
    auto held = std::make_shared<History>(*history);
    held->continued = *found;
    held->sessions.erase(held->sessions.begin() + (found - history->sessions.begin()));
    return held;
}

std::shared_ptr<const SessionController::History> SessionController::withContinuedReleased(
    std::shared_ptr<const History> history)
{
    if (!history || !history->continued) {
        return history;
    }
    auto released = std::make_shared<History>(*history);
    auto& sessions = released->sessions;
    sessions.insert(std::upper_bound(sessions.begin(), sessions.end(), *released->continued,
                        zk::sessionsByStartDescending),
        std::move(*released->continued));
    released->continued.reset();
    return released;
}

void SessionController::releaseContinued()
{
    if (!std::exchange(m_continuedId, std::nullopt)) {
        return;
    }
    m_unstoredHistory = withContinuedReleased(m_unstoredHistory);
    if (!m_history || !m_history->continued) {
        return;
    }
    m_history = withContinuedReleased(m_history);
    renewHistoryGeneration();
    Q_EMIT historyChanged();
}

std::optional<std::vector<Session>> SessionController::pruned(const std::vector<Session>& sessions)
{
    const auto cutoff = platform::Calendar::current().dateByAddingDays(-keptDays, now());
    const auto isTooOld
        = [&](const Session& session) { return cutoff && !(session.dateRange().lowerBound > *cutoff); };
    if (std::none_of(sessions.begin(), sessions.end(), isTooOld)
        && std::is_sorted(sessions.begin(), sessions.end(), zk::sessionsByStartDescending)) {
        return std::nullopt;
    }
    std::vector<Session> kept;
    kept.reserve(sessions.size());
    std::copy_if(sessions.begin(), sessions.end(), std::back_inserter(kept),
        [&](const Session& session) { return !isTooOld(session); });
    std::stable_sort(kept.begin(), kept.end(), zk::sessionsByStartDescending);
    return kept;
}

void SessionController::pruneOldSessions()
{
    // Rewriting the whole history costs a commit of every session: a prune that changes nothing
    // writes nothing.
    if (auto kept = pruned(*allSessionsShared())) {
        setAllSessions(std::move(*kept));
    }
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
    retryUnstoredHistory();
    retryUnreadHistory();
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
        // The idle time grows no faster than the uptime, and input only makes it shorter: while the
        // figure last measured in this session, grown by the time since, stays below the threshold,
        // the user is certainly still active and the source need not be asked.
        if (m_currentSession && m_lastIdle) {
            const double elapsed = uptime() - m_lastIdle->uptime;
            if (elapsed >= 0 && m_lastIdle->idle + elapsed < m_idleDurationBeforeStop.seconds) {
                return;
            }
        }
        const double idle = secondsSinceLastUserInput();
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
            } else {
                m_lastIdle = IdleMeasurement { uptime(), idle };
            }
        } else {
            // Kept for a source of events that may take over while the user is away.
            if (!m_userIdleSince || m_currentSession) {
                m_userIdleSince = uptime() - idle;
            }
            if (m_currentSession) {
                // The figure just measured is the one to backdate by: one question per tick.
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

// A running session that starts after the present uptime cannot be measured. It is reported and
// restarted at once, so that the user sees one alert for it rather than one every second.
void SessionController::handleNegativeDuration(double duration)
{
    const std::string text = "The duration is negative: " + doubleText(duration);
    zk::reportError(zk::GeneralError(text), userInfo(m_currentSession->debugInfo()));
    releaseContinued();
    m_currentSession = CurrentSession(zk::Duration::fromSeconds(uptime()));
    m_lastIdle.reset();
    setUpNotifyTimer();
    if (m_negativeDurationAlertPending) {
        return;
    }
    m_negativeDurationAlertPending = true;
    zk::AlertDescription description;
    description.title = text;
    description.message = "This should not happen. Please report this to the developers using the feedback "
                          "button in the app.";
    std::weak_ptr<bool> alive = m_alive;
    zk::AlertPresenter::shared().present(zk::makeAlert(description), [this, alive](int) {
        if (auto token = alive.lock(); token && *token) {
            m_negativeDurationAlertPending = false;
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
    const double milliseconds = std::min(interval->seconds * 1000.0, double(std::numeric_limits<int>::max()));
    m_notifyTimer.start(std::max(1, static_cast<int>(milliseconds)));
}

std::optional<double> SessionController::notifyTimerInterval() const
{
    if (!m_notifyTimer.isActive()) {
        return std::nullopt;
    }
    return m_notifyTimer.interval() / 1000.0;
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

// --- History

namespace {

std::atomic<std::uint64_t> historyDecodes { 0 };

} // namespace

std::uint64_t SessionController::historyDecodeCount()
{
    return historyDecodes.load(std::memory_order_relaxed);
}

std::shared_ptr<const SessionController::History> SessionController::decodeHistory(
    const platform::UserDefaults& suite)
{
    historyDecodes.fetch_add(1, std::memory_order_relaxed);
    auto history = std::make_shared<History>();
    // The stored list as the store keeps it, not a copy of thousands of texts; the registered
    // default when nothing is stored.
    std::shared_ptr<const platform::PropertyList> stored
        = suite.database()->value(suite.suiteName(), historyKey);
    if (!stored && suite.database()->isStoredButUnread(suite.suiteName(), historyKey)) {
        // Not the registered default: what is stored is not nothing.
        history->unread = true;
        return history;
    }
    if (!stored) {
        if (auto registered = suite.objectForKey(historyKey)) {
            stored = std::make_shared<const platform::PropertyList>(std::move(*registered));
        }
    }
    if (stored) {
        addStoredEntries(*history, *stored);
    }
    return history;
}

void SessionController::addStoredEntries(History& history, const platform::PropertyList& stored)
{
    const auto* array = stored.getIf<platform::PropertyListArray>();
    if (!array) {
        return;
    }
    history.sessions.reserve(history.sessions.size() + array->size());
    for (const auto& element : *array) {
        const auto* text = element.getIf<std::string>();
        std::optional<Session> session = text ? sessionFromStoredText(*text) : std::nullopt;
        if (session) {
            history.sessions.push_back(std::move(*session));
        } else {
            history.undecodable.push_back(element);
        }
    }
}

void SessionController::reportUndecodable(const History& history) const
{
    for (const auto& element : history.undecodable) {
        const auto* text = element.getIf<std::string>();
        const std::string entry = text ? *text : std::string("(an entry that is not text)");
        if (m_reportedUndecodable.insert(entry).second) {
            zk::reportError(
                zk::GeneralError(std::string("A stored session could not be read; it is kept as it is.")),
                zk::ErrorUserInfo { { "entry", entry } });
        }
    }
}

std::shared_ptr<const SessionController::History> SessionController::readHistory() const
{
    if (m_unstoredHistory) {
        return m_unstoredHistory;
    }
    return decodeHistory(*m_suite);
}

// One decode of the stored history, done by whichever thread comes to it first: the worker it was
// started on, or a question that cannot wait for the worker to begin. The other waits for the
// result, or finds it done.
class SessionController::HistoryDecode {
public:
    explicit HistoryDecode(std::shared_ptr<platform::UserDefaults> suite)
        : m_suite(std::move(suite))
    {
    }

    // On the worker.
    void run()
    {
        if (claim()) {
            decode();
        }
    }

    // The decoded history, decoded here when nobody has begun; nothing when the worker failed.
    std::shared_ptr<const History> result()
    {
        if (claim()) {
            decode();
        }
        std::unique_lock lock(m_mutex);
        m_done.wait(lock, [this] { return m_finished; });
        return m_result;
    }

private:
    bool claim()
    {
        std::lock_guard lock(m_mutex);
        return !std::exchange(m_claimed, true);
    }

    void decode()
    {
        std::shared_ptr<const History> decoded;
        try {
            decoded = decodeHistory(*m_suite);
        } catch (const std::exception&) {
            // Out of memory on the worker: the question decodes again on its own thread.
        }
        {
            std::lock_guard lock(m_mutex);
            m_result = std::move(decoded);
            m_finished = true;
        }
        m_done.notify_all();
    }

    const std::shared_ptr<platform::UserDefaults> m_suite;
    std::mutex m_mutex;
    std::condition_variable m_done;
    bool m_claimed = false;
    bool m_finished = false;
    std::shared_ptr<const History> m_result;
};

void SessionController::decodeHistoryInBackground(BackgroundRunner runner)
{
    if (m_history || m_decode || m_unstoredHistory) {
        return;
    }
    if (!runner) {
        runner = [](std::function<void()> work) { QThreadPool::globalInstance()->start(std::move(work)); };
    }
    auto decode = std::make_shared<HistoryDecode>(m_suite);
    m_decode = decode;
    std::weak_ptr<bool> alive = m_alive;
    runner([this, decode, alive] {
        decode->run();
        platform::MainQueue::post([this, decode, alive] {
            if (auto token = alive.lock(); token && *token) {
                finishDecode(decode);
            }
        });
    });
}

void SessionController::finishDecode(const std::shared_ptr<HistoryDecode>& decode)
{
    // A change of "sessions" since has dropped it.
    if (decode != m_decode) {
        return;
    }
    // A question that could not wait may have put the history in place already.
    history();
    m_decode.reset();
    Q_EMIT historyDecoded();
}

bool SessionController::dropDecode()
{
    return std::exchange(m_decode, nullptr) != nullptr;
}

std::shared_ptr<const SessionController::History> SessionController::history() const
{
    if (!m_history) {
        if (m_decode) {
            m_history = m_decode->result();
        }
        if (!m_history) {
            m_history = readHistory();
        }
        m_history = withContinuedHeld(m_history);
        if (m_history->unread) {
            m_unreadSince = uptime();
        }
        reportUndecodable(*m_history);
    }
    return m_history;
}

void SessionController::renewHistoryGeneration()
{
    m_allSessionsCacheKey = platform::Uuid::random();
    ++m_historyGeneration;
}

void SessionController::historyDidChange()
{
    // Our own write has put its list in place already and tells when it is done.
    if (m_isWritingHistory) {
        return;
    }
    renewHistoryGeneration();
    m_history.reset();
    const bool wasDecoding = dropDecode();
    Q_EMIT historyChanged();
    if (wasDecoding) {
        Q_EMIT historyDecoded();
    }
}

SessionController::StoredValue SessionController::storedHistoryValue() const
{
    return m_suite->database()->value(m_suite->suiteName(), historyKey);
}

void SessionController::writeHistory(std::shared_ptr<const History> history)
{
    writeHistory(std::move(history), storedHistoryValue());
}

void SessionController::writeHistory(std::shared_ptr<const History> history, const StoredValue& previous)
{
    // A list built while the stored one could not be read holds only what was added since: it
    // joins the stored list when that reads now, rather than replacing it.
    if (history->unread && previous && previous->isArray()) {
        history = withContinuedHeld(joinedWithStored(*history, *previous));
    }
    // The new list answers before the store tells its observers, so that what they ask of the
    // engine is already the new history; nobody need decode it again.
    m_history = history;
    renewHistoryGeneration();
    const bool wasDecoding = dropDecode();
    storeHistory(std::move(history), previous);
    Q_EMIT historyChanged();
    if (wasDecoding) {
        Q_EMIT historyDecoded();
    }
}

void SessionController::storeHistory(std::shared_ptr<const History> history, const StoredValue& previous)
{
    platform::PropertyListArray stored;
    stored.reserve(history->sessions.size() + history->undecodable.size() + 1);
    // The session being continued is stored in its place by start, as it was.
    const Session* continued = history->continued ? &*history->continued : nullptr;
    for (const auto& session : history->sessions) {
        if (continued && !zk::sessionsByStartDescending(session, *continued)) {
            stored.emplace_back(std::exchange(continued, nullptr)->jsonText());
        }
        stored.emplace_back(session.jsonText());
    }
    if (continued) {
        stored.emplace_back(continued->jsonText());
    }
    for (const auto& entry : history->undecodable) {
        stored.push_back(entry);
    }
    // What is stored there is not a list of sessions at all (an old form, another writer's value):
    // it is copied aside before the history replaces it. Held until the write is done, so that the
    // store has it at hand for its observers rather than reading it from the file again. When it
    // could not be read at all, the store copies it aside itself.
    if (previous && !previous->isArray()) {
        Defaults::detail::backUpUnreadable(*m_suite, historyKey, *previous, false);
    }
    m_isWritingHistory = true;
    const bool written = m_suite->setObject(platform::PropertyList(std::move(stored)), historyKey);
    m_isWritingHistory = false;
    if (!written) {
        // Memory keeps the truth until a later write gets it into the store.
        m_unstoredHistory = std::move(history);
        m_storeFailure.writeFailed(now());
        return;
    }
    m_unstoredHistory.reset();
    m_storeFailure.writeSucceeded();
    if (history->unread && m_history == history) {
        // Written over a list that did not read: the store joins the two once it can read it (at
        // once, or when a lock ends), so the next question reads what it holds.
        m_history.reset();
    }
    // The history goes into the database file itself at once, not only into its write-ahead log:
    // the file alone is what a user copies or backs up.
    m_suite->database()->checkpoint();
}

void SessionController::retryUnstoredHistory()
{
    // Writes that met another process's lock wait in the store; this tick tries them again, and the
    // user hears of it only when the lock lasts.
    platform::DefaultsDatabase& database = *m_suite->database();
    database.retry();
    if (database.isWaitingForFile() || database.hasPendingWrites()) {
        m_storeFailure.databaseHeld(now(), database.requestedPath());
    } else {
        m_storeFailure.databaseFree();
    }
    if (!m_unstoredHistory) {
        return;
    }
    const auto previous = storedHistoryValue();
    if (m_unstoredHistory->unread && previous && previous->isArray()) {
        writeHistory(m_unstoredHistory, previous);
        return;
    }
    // The history in memory is unchanged: only the store catches up.
    storeHistory(m_unstoredHistory, previous);
}

void SessionController::joinHistoriesWrittenBeforeTheStoreOpens()
{
    platform::DefaultsDatabase::setProcessJoin(
        platform::UserDefaults::standardSuiteName, historyKey, &SessionController::joinStoredHistories);
}

std::optional<platform::PropertyList> SessionController::joinStoredHistories(
    const platform::PropertyList& stored, const platform::PropertyList& written,
    const platform::PropertyList* base)
{
    if (!stored.isArray() || !written.isArray() || (base && !base->isArray())) {
        return std::nullopt;
    }
    History kept;
    addStoredEntries(kept, stored);
    History added;
    addStoredEntries(added, written);
    // Written over a base: what the writer took out of it stays out, and so does what another
    // program took out since. Written blind, nothing is known to be taken out.
    History before;
    if (base) {
        addStoredEntries(before, *base);
    }
    std::unordered_set<platform::Uuid> inBase;
    for (const auto& session : before.sessions) {
        inBase.insert(session.id());
    }
    std::unordered_set<platform::Uuid> removed = inBase;
    for (const auto& session : added.sessions) {
        removed.erase(session.id());
    }
    std::unordered_set<platform::Uuid> seen;
    std::vector<Session> sessions;
    sessions.reserve(kept.sessions.size() + added.sessions.size());
    for (auto& session : kept.sessions) {
        if (!removed.contains(session.id()) && seen.insert(session.id()).second) {
            sessions.push_back(std::move(session));
        }
    }
    for (auto& session : added.sessions) {
        if (!inBase.contains(session.id()) && seen.insert(session.id()).second) {
            sessions.push_back(std::move(session));
        }
    }
    const auto contains
        = [](const std::vector<platform::PropertyList>& entries, const platform::PropertyList& entry) {
              return std::find(entries.begin(), entries.end(), entry) != entries.end();
          };
    std::vector<platform::PropertyList> undecodable;
    for (auto& entry : kept.undecodable) {
        const bool takenOut = contains(before.undecodable, entry) && !contains(added.undecodable, entry);
        if (!takenOut && !contains(undecodable, entry)) {
            undecodable.push_back(std::move(entry));
        }
    }
    for (auto& entry : added.undecodable) {
        if (!contains(before.undecodable, entry) && !contains(undecodable, entry)) {
            undecodable.push_back(std::move(entry));
        }
    }
    if (auto sorted = pruned(sessions)) {
        sessions = std::move(*sorted);
    }
    platform::PropertyListArray joined;
    joined.reserve(sessions.size() + undecodable.size());
    for (const auto& session : sessions) {
        joined.emplace_back(session.jsonText());
    }
    for (auto& entry : undecodable) {
        joined.push_back(std::move(entry));
    }
    return platform::PropertyList(std::move(joined));
}

std::shared_ptr<const SessionController::History> SessionController::joinedWithStored(
    const History& history, const platform::PropertyList& stored) const
{
    auto joined = std::make_shared<History>();
    addStoredEntries(*joined, stored);
    const std::size_t storedCount = joined->sessions.size();
    const auto addUnknown = [&](const Session& session) {
        const auto storedEnd = joined->sessions.begin() + static_cast<std::ptrdiff_t>(storedCount);
        const bool known = std::any_of(joined->sessions.begin(), storedEnd,
            [&](const Session& kept) { return kept.id() == session.id(); });
        if (!known) {
            joined->sessions.push_back(session);
        }
    };
    for (const auto& session : history.sessions) {
        addUnknown(session);
    }
    if (history.continued) {
        addUnknown(*history.continued);
    }
    joined->undecodable.insert(
        joined->undecodable.end(), history.undecodable.begin(), history.undecodable.end());
    if (auto kept = pruned(joined->sessions)) {
        joined->sessions = std::move(*kept);
    }
    reportUndecodable(*joined);
    return joined;
}

void SessionController::retryUnreadHistory()
{
    if (!m_history || !m_history->unread || m_unstoredHistory
        || uptime() - m_unreadSince < unreadHistoryRetryInterval) {
        return;
    }
    // Every answer is derived again, from what the store gives now.
    renewHistoryGeneration();
    m_history.reset();
    Q_EMIT historyChanged();
}

std::vector<Session> SessionController::allSessions() const
{
    return history()->sessions;
}

std::shared_ptr<const std::vector<Session>> SessionController::allSessionsShared() const
{
    auto current = history();
    return std::shared_ptr<const std::vector<Session>>(current, &current->sessions);
}

void SessionController::setAllSessions(std::vector<Session> sessions)
{
    auto updated = std::make_shared<History>();
    updated->sessions = std::move(sessions);
    updated->undecodable = history()->undecodable;
    updated->unread = history()->unread;
    updated->continued = history()->continued;
    writeHistory(std::move(updated));
}

void SessionController::removeAllSessions()
{
    writeHistory(std::make_shared<History>());
}

std::optional<platform::DateRange> SessionController::allSessionsDateRange() const
{
    if (m_dateRange && m_dateRange->first == m_historyGeneration) {
        return m_dateRange->second;
    }
    auto sessions = allSessionsShared();
    std::optional<platform::DateRange> range;
    if (!sessions->empty()) {
        platform::Date earliest = sessions->front().dateRange().lowerBound;
        platform::Date latest = sessions->front().dateRange().upperBound;
        for (const auto& session : *sessions) {
            earliest = std::min(earliest, session.dateRange().lowerBound);
            latest = std::max(latest, session.dateRange().upperBound);
        }
        range = platform::DateRange { earliest, latest };
    }
    m_dateRange.emplace(m_historyGeneration, range);
    return range;
}

int SessionController::trackedDayCount() const
{
    const auto range = allSessionsDateRange();
    if (!range) {
        return 0;
    }
    const auto days = platform::Calendar::current().daysBetween(range->lowerBound, range->upperBound);
    return days.value_or(0) + 1;
}

namespace {

// Days remembered at most: the History window's averages ask for 125, the tick for one.
constexpr std::size_t rememberedDays = 512;

} // namespace

const SessionController::Day* SessionController::day(platform::Date rounded) const
{
    const std::uint64_t zone = platform::TimeZone::currentChangeCount();
    if (m_daysGeneration != m_historyGeneration || m_daysZone != zone || m_days.size() > rememberedDays) {
        m_days.clear();
        m_daysGeneration = m_historyGeneration;
        m_daysZone = zone;
    }
    const double seconds = rounded.timeIntervalSinceReferenceDate;
    // The day that begins last at or before the date holds it unless it ended before.
    if (auto next = m_days.upper_bound(seconds); next != m_days.begin()) {
        const Day& candidate = std::prev(next)->second;
        if (rounded < candidate.range.upperBound) {
            return &candidate;
        }
    }
    const auto range = platform::Calendar::current().dayRange(rounded);
    if (!range) {
        return nullptr;
    }
    const auto sessions = allSessionsShared();
    auto selected = std::make_shared<std::vector<Session>>();
    zk::Duration total = zk::Duration::zero();
    for (const auto& session : *sessions) {
        if (overlapsDayRange(session.dateRange(), *range)) {
            selected->push_back(session);
        }
    }
    for (const auto& session : *selected) {
        if (auto part = intersectionWithDayRange(session.dateRange(), *range)) {
            total = total + zk::Duration::fromSeconds(part->duration());
        }
    }
    auto [entry, inserted] = m_days.insert_or_assign(
        range->lowerBound.timeIntervalSinceReferenceDate, Day { *range, std::move(selected), total });
    return &entry->second;
}

std::vector<Session> SessionController::sessionsForDayAt(platform::Date date) const
{
    const Day* found = day(roundedToWholeSeconds(date));
    return found ? *found->sessions : std::vector<Session>();
}

zk::Duration SessionController::totalDurationForSessionsAtDay(platform::Date date) const
{
    const Day* found = day(roundedToWholeSeconds(date));
    return found ? found->storedTotal : zk::Duration::zero();
}

std::optional<zk::Duration> SessionController::totalForDay(platform::Date rounded) const
{
    const Day* found = day(rounded);
    if (!found) {
        return std::nullopt;
    }
    // The running session is measured at every question: it grows from one second to the next.
    zk::Duration total = found->storedTotal;
    if (m_currentSession) {
        if (auto part = intersectionWithDayRange(m_currentSession->dateRange(), found->range)) {
            total = total + zk::Duration::fromSeconds(part->duration());
        }
    }
    if (total == zk::Duration::zero()) {
        return std::nullopt;
    }
    return total;
}

std::optional<zk::Duration> SessionController::totalDurationForDayAt(platform::Date date) const
{
    return totalForDay(roundedToWholeSeconds(date));
}

std::optional<zk::Duration> SessionController::totalDurationYesterday() const
{
    const auto yesterday = platform::Calendar::current().dateByAddingDays(-1, now());
    if (!yesterday) {
        return std::nullopt;
    }
    return totalForDay(roundedToWholeSeconds(*yesterday));
}

std::vector<zk::Duration> SessionController::dailyTotals(const std::vector<platform::Date>& dates) const
{
    std::vector<zk::Duration> totals;
    totals.reserve(dates.size());
    for (auto date : dates) {
        if (auto total = totalForDay(roundedToWholeSeconds(date))) {
            totals.push_back(*total);
        }
    }
    return totals;
}

double SessionController::averageDuration(int lowerOffset, int upperOffset, bool excludingWeekends) const
{
    const auto calendar = platform::Calendar::current();
    std::vector<platform::Date> dates;
    for (int offset = lowerOffset; offset <= upperOffset; ++offset) {
        const auto date = calendar.dateByAddingDays(offset, now());
        if (!date) {
            continue;
        }
        if (excludingWeekends && calendar.isDateInWeekend(*date)) {
            continue;
        }
        dates.push_back(*date);
    }
    const auto totals = dailyTotals(dates);
    if (totals.empty()) {
        return 0;
    }
    double sum = 0;
    for (const auto& total : totals) {
        sum += total.seconds;
    }
    return sum / static_cast<double>(totals.size());
}

} // namespace kiruvo
