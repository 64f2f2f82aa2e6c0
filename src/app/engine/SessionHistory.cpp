#include "app/engine/SessionHistory.h"

#include "app/engine/SettingsKeys.h"
#include "kit/foundation/Sorting.h"
#include "kit/foundation/core/GeneralError.h"
#include "kit/foundation/core/ReportError.h"
#include "libraries/defaults/Defaults.h"
#include "platform/MainQueue.h"
#include "platform/store/JsonWriter.h"
#include "platform/store/PropertyListJson.h"
#include "platform/time/Calendar.h"
#include "platform/time/Clock.h"

#include <QCoreApplication>
#include <QPointer>
#include <QThreadPool>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <iterator>
#include <mutex>
#include <unordered_map>
#include <unordered_set>
#include <utility>

namespace kiruvo {

namespace {

constexpr const char* historyKey = "sessions";
// How long an unread history is answered without before the store is asked again: every question
// that reaches a locked file may wait for the store's whole busy timeout.
constexpr double unreadHistoryRetryInterval = 60;

double uptime()
{
    return platform::Clock::shared().systemUptime();
}

platform::Date now()
{
    return platform::Clock::shared().now();
}

std::atomic<std::uint64_t> decodes { 0 };

} // namespace

SessionHistory::SessionHistory(std::shared_ptr<platform::UserDefaults> suite, QObject* parent)
    : QObject(parent)
    , m_suite(std::move(suite))
    , m_cacheKey(platform::Uuid::random())
{
    // Every change of the history ends the answers derived from it, whoever wrote it. The store
    // tells observers on the writing thread; the history changes on the main thread. This object
    // may be going away on the main thread meanwhile, so the work is the application's, and the
    // pointer taken here decides there.
    QPointer<SessionHistory> self(this);
    m_observer = m_suite->addObserver(historyKey, [self](const std::string&, const auto&, const auto&) {
        const auto tell = [self] {
            if (self) {
                self->storeDidChange();
            }
        };
        if (platform::MainQueue::isMainThread()) {
            tell();
        } else {
            platform::MainQueue::post(QCoreApplication::instance(), tell);
        }
    });
    // A history written while the stored one could not be read joins it once it reads.
    m_suite->setJoin(historyKey, &SessionHistory::joinStoredHistories);
    // Sessions another program stored as JSON objects are read, not taken as unset.
    m_suite->setReadsOtherForms(historyKey);
    // A write of any key, on any thread, may be the first kept beside a file another program holds.
    m_storeObserver = platform::UserDefaults::addDidChangeObserver([self] {
        platform::MainQueue::post(QCoreApplication::instance(), [self] {
            if (self && self->m_suite->hasWritesWaitingForFile()) {
                Q_EMIT self->retryNeeded();
            }
        });
    });
}

SessionHistory::~SessionHistory()
{
    platform::UserDefaults::removeDidChangeObserver(m_storeObserver);
    m_suite->removeObserver(m_observer);
}

std::uint64_t SessionHistory::decodeCount()
{
    return decodes.load(std::memory_order_relaxed);
}

std::shared_ptr<const SessionHistory::History> SessionHistory::decodeHistory(
    const platform::UserDefaults& suite)
{
    decodes.fetch_add(1, std::memory_order_relaxed);
    auto history = std::make_shared<History>();
    // The stored list as the store keeps it, not a copy of thousands of texts; the registered
    // default when nothing is stored.
    std::shared_ptr<const platform::PropertyList> stored = suite.storedValue(historyKey);
    if (!stored && suite.isStoredButUnread(historyKey)) {
        // Not the registered default: what is stored is not nothing.
        history->unread = true;
        return history;
    }
    if (!stored) {
        if (const auto text = suite.unreadableText(historyKey)) {
            addUnreadableEntries(*history, *text);
            return history;
        }
        if (auto registered = suite.objectForKey(historyKey)) {
            stored = std::make_shared<const platform::PropertyList>(std::move(*registered));
        }
    }
    if (!stored) {
        return history;
    }
    if (stored->isArray()) {
        addStoredEntries(*history, *stored);
        return history;
    }
    history->notAList = true;
    // One session stored alone, as its text, is still that session.
    const auto* text = stored->getIf<std::string>();
    if (auto session = text ? sessionFromStoredText(*text) : std::nullopt) {
        history->sessions.push_back(std::move(*session));
    }
    return history;
}

void SessionHistory::addUnreadableEntries(History& history, const std::string& text)
{
    const auto json = platform::JsonReader::parse(text);
    const auto sessionIn = [](const platform::JsonValue& value) -> std::optional<Session> {
        if (value.is_string()) {
            return sessionFromStoredText(value.get_ref<const std::string&>());
        }
        const auto written = value.is_object() ? platform::JsonWriter::write(value) : std::nullopt;
        return written ? sessionFromStoredText(*written) : std::nullopt;
    };
    if (!json || !json->is_array()) {
        history.notAList = true;
        if (auto session = json ? sessionIn(*json) : std::nullopt) {
            history.sessions.push_back(std::move(*session));
        }
        return;
    }
    for (const auto& element : *json) {
        if (auto session = sessionIn(element)) {
            history.sessions.push_back(std::move(*session));
            continue;
        }
        const auto written = platform::JsonWriter::write(element);
        auto kept = written ? platform::PropertyListJson::decode(*written) : std::nullopt;
        if (kept) {
            history.undecodable.push_back(std::move(*kept));
        } else {
            history.setAside.push_back(written.value_or(std::string()));
        }
    }
}

std::shared_ptr<const SessionHistory::History> SessionHistory::withLastList(
    std::shared_ptr<const History> history) const
{
    if (!m_lastList) {
        return history;
    }
    auto joined = std::make_shared<History>(*m_lastList);
    joined->notAList = true;
    joined->base.reset();
    for (const auto& session : history->sessions) {
        const bool known = std::any_of(joined->sessions.begin(), joined->sessions.end(),
            [&](const Session& kept) { return kept.id() == session.id(); });
        if (!known && !(joined->continued && joined->continued->id() == session.id())) {
            joined->sessions.push_back(session);
        }
    }
    if (auto sorted = pruned(joined->sessions)) {
        joined->sessions = std::move(*sorted);
    }
    return joined;
}

void SessionHistory::addStoredEntries(History& history, const platform::PropertyList& stored)
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

void SessionHistory::reportUndecodable(const History& history) const
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
    for (const auto& entry : history.setAside) {
        if (m_reportedUndecodable.insert(entry).second) {
            zk::reportError(zk::GeneralError(std::string("A stored session could not be read; it is kept "
                                                         "in a copy of the stored history.")),
                zk::ErrorUserInfo { { "entry", entry } });
        }
    }
}

std::shared_ptr<const SessionHistory::History> SessionHistory::readHistory() const
{
    if (m_unstored) {
        return m_unstored;
    }
    return decodeHistory(*m_suite);
}

// One decode of the stored history, done by whichever thread comes to it first: the worker it was
// started on, or a question that cannot wait for the worker to begin. The other waits for the
// result, or finds it done.
class SessionHistory::Decode {
public:
    explicit Decode(std::shared_ptr<platform::UserDefaults> suite)
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

void SessionHistory::decodeInBackground(BackgroundRunner runner)
{
    if (m_history || m_decode || m_unstored) {
        return;
    }
    if (!runner) {
        runner = [](std::function<void()> work) { QThreadPool::globalInstance()->start(std::move(work)); };
    }
    auto decode = std::make_shared<Decode>(m_suite);
    m_decode = decode;
    QPointer<SessionHistory> self(this);
    runner([self, decode] {
        decode->run();
        platform::MainQueue::post(QCoreApplication::instance(), [self, decode] {
            if (self) {
                self->finishDecode(decode);
            }
        });
    });
}

void SessionHistory::finishDecode(const std::shared_ptr<Decode>& decode)
{
    // A change of "sessions" since has dropped it.
    if (decode != m_decode) {
        return;
    }
    // A question that could not wait may have put the history in place already.
    history();
    m_decode.reset();
    Q_EMIT decoded();
}

bool SessionHistory::dropDecode()
{
    return std::exchange(m_decode, nullptr) != nullptr;
}

std::shared_ptr<const SessionHistory::History> SessionHistory::history() const
{
    if (!m_history) {
        if (m_decode) {
            m_history = m_decode->result();
        }
        if (!m_history) {
            m_history = readHistory();
        }
        if (m_history->notAList) {
            if (!std::exchange(m_notAListReported, true)) {
                zk::reportError(zk::GeneralError(std::string(
                    "The stored history is not a list of sessions; the sessions read before answer, and "
                    "the stored value is copied aside when the history is next written.")));
            }
            m_history = withLastList(m_history);
        }
        m_history = withHeldOut(m_history);
        if (!m_history->unread && !m_history->notAList) {
            m_lastList = m_history;
            m_notAListReported = false;
        }
        if (m_history->unread) {
            m_unreadSince = uptime();
            // Told from a turn of its own: the read may be a question asked in the middle of a change.
            QMetaObject::invokeMethod(
                const_cast<SessionHistory*>(this), &SessionHistory::retryNeeded, Qt::QueuedConnection);
        }
        reportUndecodable(*m_history);
    }
    return m_history;
}

void SessionHistory::renewGeneration()
{
    m_cacheKey = platform::Uuid::random();
    ++m_generation;
}

void SessionHistory::storeDidChange()
{
    // Our own write has put its list in place already and tells when it is done; it looks at
    // what else the store told meanwhile then.
    if (m_toldWhileWriting) {
        ++*m_toldWhileWriting;
        return;
    }
    renewGeneration();
    m_history.reset();
    const bool wasDecoding = dropDecode();
    if (m_catchingUp) {
        // Seen in the middle of a question: told from a turn of its own.
        QMetaObject::invokeMethod(
            this,
            [this, wasDecoding] {
                Q_EMIT changed();
                if (wasDecoding) {
                    Q_EMIT decoded();
                }
            },
            Qt::QueuedConnection);
        return;
    }
    Q_EMIT changed();
    if (wasDecoding) {
        Q_EMIT decoded();
    }
}

SessionHistory::StoredValue SessionHistory::storedValue() const
{
    return m_suite->storedValue(historyKey);
}

void SessionHistory::write(std::shared_ptr<const History> history, const std::shared_ptr<const History>& from)
{
    write(std::move(history), from, storedValue());
}

void SessionHistory::write(std::shared_ptr<const History> history, const std::shared_ptr<const History>& from,
    const StoredValue& previous)
{
    StoredValue base = baseOf(from);
    // A list built while the stored one could not be read holds only what was added since: it
    // joins the stored list when that reads now, rather than replacing it.
    if (history->unread && previous && previous->isArray()) {
        history = withHeldOut(joinedWithStored(*history, *previous));
        base = previous;
    }
    // The new list answers before the store tells its observers, so that what they ask of the
    // engine is already the new history; nobody need decode it again.
    m_history = history;
    if (!history->unread) {
        m_lastList = history;
    }
    renewGeneration();
    const bool wasDecoding = dropDecode();
    store(std::move(history), previous, std::move(base));
    Q_EMIT changed();
    if (wasDecoding) {
        Q_EMIT decoded();
    }
}

platform::PropertyListArray SessionHistory::storedForm(const History& history)
{
    platform::PropertyListArray stored;
    stored.reserve(history.sessions.size() + history.undecodable.size() + 1);
    // The session being continued is stored in its place by start, as it was.
    const Session* continued = history.continued ? &*history.continued : nullptr;
    for (const auto& session : history.sessions) {
        if (continued && !zk::sessionsByStartDescending(session, *continued)) {
            stored.emplace_back(std::exchange(continued, nullptr)->jsonText());
        }
        stored.emplace_back(session.jsonText());
    }
    if (continued) {
        stored.emplace_back(continued->jsonText());
    }
    for (const auto& entry : history.undecodable) {
        stored.push_back(entry);
    }
    return stored;
}

SessionHistory::StoredValue SessionHistory::baseOf(const std::shared_ptr<const History>& history)
{
    if (!history || history->unread) {
        return nullptr;
    }
    if (history->base) {
        return history->base;
    }
    return std::make_shared<const platform::PropertyList>(storedForm(*history));
}

void SessionHistory::store(
    std::shared_ptr<const History> history, const StoredValue& previous, StoredValue base)
{
    platform::PropertyListArray stored = storedForm(*history);
    // What is stored there is not a list of sessions at all (an old form, another writer's value):
    // it is copied aside before the history replaces it. Held until the write is done, so that the
    // store has it at hand for its observers rather than reading it from the file again. When it
    // could not be read at all, the store copies it aside itself.
    // Written over the copied value itself, so that the store does not copy it aside again.
    // A retry over the value copied before copies it no more.
    if (previous && !previous->isArray() && !(base && *base == *previous)
        && Defaults::detail::backUpUnreadable(*m_suite, historyKey, *previous, false)) {
        base = previous;
    }
    // Written over the list it was derived from: where another program has changed the stored
    // list since, the store joins the two rather than undoing that program's changes.
    m_toldWhileWriting = 0;
    platform::PropertyList list(std::move(stored));
    const bool written
        = base ? m_suite->setObject(list, historyKey, base) : m_suite->setObject(list, historyKey);
    const int told = *std::exchange(m_toldWhileWriting, std::nullopt);
    if (!written) {
        // Memory keeps the truth until a later write gets it into the store, over the same base.
        history->base = std::move(base);
        m_unstored = std::move(history);
        m_storeFailure.writeFailed(now());
        return;
    }
    history->base.reset();
    m_unstored.reset();
    m_storeFailure.writeSucceeded();
    if ((history->unread || told != 1) && m_history == history) {
        // Written over a list that did not read, the store joins the two once it can read it (at
        // once, or when a lock ends); a list another program changed meanwhile the store has
        // joined with ours just now. Either way the next question reads what it holds.
        m_history.reset();
    }
    // The history goes into the database file itself at once, not only into its write-ahead log:
    // the file alone is what a user copies or backs up.
    m_suite->synchronize();
}

void SessionHistory::retryUnstored()
{
    m_retriedAt = uptime();
    // Writes that met another process's lock wait in the store; this tick tries them again, and the
    // user hears of it only when the lock lasts.
    if (!m_suite->retryWaitingForFile()) {
        m_storeFailure.databaseHeld(now(), m_suite->filePath());
        m_retryWait = m_retryDelay;
        m_retryDelay = std::min(2 * m_retryDelay, longestRetryInterval);
    } else {
        m_storeFailure.databaseFree();
        m_retryWait = m_retryDelay = retryInterval;
    }
    if (!m_unstored) {
        return;
    }
    const auto previous = storedValue();
    if (m_unstored->unread && previous && previous->isArray()) {
        write(m_unstored, m_unstored, previous);
        return;
    }
    // The history in memory is unchanged: only the store catches up, over the list it was derived
    // from.
    store(m_unstored, previous, baseOf(m_unstored));
}

void SessionHistory::joinHistoriesWrittenBeforeTheStoreOpens()
{
    platform::UserDefaults::setProcessJoin(
        platform::UserDefaults::standardSuiteName, historyKey, &SessionHistory::joinStoredHistories);
}

std::optional<platform::PropertyList> SessionHistory::joinStoredHistories(
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
    // Each session is joined by its id, from the base (what the writer's list was derived from),
    // the writer's copy and the stored one. What the writer took out of the base stays out, and so
    // does what another program took out since, unless the writer changed it (a continued session
    // that ended later): a session the writer changed since the base wins over the stored copy.
    // Written blind, nothing is known to be taken out or changed, and the writer's copy wins.
    History before;
    if (base) {
        addStoredEntries(before, *base);
    }
    std::unordered_map<platform::Uuid, const Session*> inBase;
    for (const auto& session : before.sessions) {
        inBase.emplace(session.id(), &session);
    }
    std::unordered_map<platform::Uuid, const Session*> ours;
    for (const auto& session : added.sessions) {
        ours.emplace(session.id(), &session);
    }
    const auto changedByWriter = [&](const Session& session) {
        const auto found = inBase.find(session.id());
        return found == inBase.end() || !(*found->second == session);
    };
    std::unordered_set<platform::Uuid> seen;
    std::vector<Session> sessions;
    sessions.reserve(kept.sessions.size() + added.sessions.size());
    for (const auto& session : kept.sessions) {
        if (!seen.insert(session.id()).second) {
            continue;
        }
        const auto writers = ours.find(session.id());
        if (writers == ours.end()) {
            // Taken out by the writer, or added by another program.
            if (!inBase.contains(session.id())) {
                sessions.push_back(session);
            }
        } else {
            sessions.push_back(changedByWriter(*writers->second) ? *writers->second : session);
        }
    }
    for (const auto& session : added.sessions) {
        // Not stored any more: taken out by another program, unless the writer changed it since.
        if (seen.insert(session.id()).second && changedByWriter(session)) {
            sessions.push_back(session);
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

std::shared_ptr<const SessionHistory::History> SessionHistory::joinedWithStored(
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

std::optional<double> SessionHistory::nextRetryAt() const
{
    if (m_suite->isWaitingForFile() || m_suite->hasWritesWaitingForFile() || m_unstored) {
        return m_retriedAt ? *m_retriedAt + m_retryWait : uptime();
    }
    if (m_history && m_history->unread) {
        return m_unreadSince + unreadHistoryRetryInterval;
    }
    return std::nullopt;
}

bool SessionHistory::isRetryDue() const
{
    const auto due = nextRetryAt();
    return due && *due <= uptime();
}

void SessionHistory::retryUnread()
{
    if (!m_history || !m_history->unread || m_unstored
        || uptime() - m_unreadSince < unreadHistoryRetryInterval) {
        return;
    }
    // Every answer is derived again, from what the store gives now.
    renewGeneration();
    m_history.reset();
    Q_EMIT changed();
}

void SessionHistory::catchUp() const
{
    if (m_toldWhileWriting || m_catchingUp) {
        return;
    }
    m_catchingUp = true;
    m_suite->catchUp(historyKey);
    m_catchingUp = false;
}

std::vector<Session> SessionHistory::allSessions() const
{
    catchUp();
    return history()->sessions;
}

std::shared_ptr<const std::vector<Session>> SessionHistory::allSessionsShared() const
{
    catchUp();
    auto current = history();
    return std::shared_ptr<const std::vector<Session>>(current, &current->sessions);
}

void SessionHistory::setAllSessions(std::vector<Session> sessions)
{
    const auto current = history();
    auto updated = std::make_shared<History>();
    updated->sessions = std::move(sessions);
    updated->undecodable = current->undecodable;
    updated->unread = current->unread;
    updated->continued = current->continued;
    write(std::move(updated), current);
}

void SessionHistory::removeAllSessions()
{
    // Over what the user saw: what another program adds meanwhile is not the user's to clear.
    write(std::make_shared<History>(), history());
}

void SessionHistory::add(Session finished)
{
    auto sessions = allSessions();
    std::erase_if(sessions, [&](const Session& session) { return session.id() == finished.id(); });
    sessions.push_back(std::move(finished));
    if (auto kept = pruned(sessions)) {
        sessions = std::move(*kept);
    }
    setAllSessions(std::move(sessions));
}

void SessionHistory::holdOut(const platform::Uuid& id)
{
    const auto current = history();
    m_heldOutId = id;
    m_history = withHeldOut(current);
    if (m_unstored == current) {
        m_unstored = m_history;
    }
    renewGeneration();
    Q_EMIT changed();
}

std::optional<Session> SessionHistory::heldOut() const
{
    if (!m_heldOutId) {
        return std::nullopt;
    }
    return history()->continued;
}

std::shared_ptr<const SessionHistory::History> SessionHistory::withHeldOut(
    std::shared_ptr<const History> history) const
{
    if (!m_heldOutId || !history) {
        return history;
    }
    const auto found = std::find_if(history->sessions.begin(), history->sessions.end(),
        [&](const Session& session) { return session.id() == *m_heldOutId; });
    if (found == history->sessions.end()) {
        return history;
    }
    auto held = std::make_shared<History>(*history);
    held->continued = *found;
    held->sessions.erase(held->sessions.begin() + (found - history->sessions.begin()));
    return held;
}

std::shared_ptr<const SessionHistory::History> SessionHistory::withHeldOutReleased(
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

void SessionHistory::releaseHeldOut()
{
    if (!std::exchange(m_heldOutId, std::nullopt)) {
        return;
    }
    m_unstored = withHeldOutReleased(m_unstored);
    if (!m_history || !m_history->continued) {
        return;
    }
    m_history = withHeldOutReleased(m_history);
    renewGeneration();
    Q_EMIT changed();
}

std::optional<std::vector<Session>> SessionHistory::pruned(const std::vector<Session>& sessions)
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

void SessionHistory::prune()
{
    if (auto kept = pruned(*allSessionsShared())) {
        setAllSessions(std::move(*kept));
    }
}

} // namespace kiruvo
