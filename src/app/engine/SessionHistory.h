#pragma once

#include "app/engine/HistoryStoreFailure.h"
#include "app/engine/Session.h"
#include "platform/Uuid.h"
#include "platform/store/PropertyList.h"
#include "platform/store/UserDefaults.h"

#include <QObject>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace kiruvo {

// The history of finished sessions, stored under "sessions" of one settings suite as the text of
// one JSON object per session, newest first.
//
// Every write goes through setAllSessions() (or add(), prune(), removeAllSessions()); any change of
// the key, also one made elsewhere, renews generation() and is told by changed(), so that every
// answer derived from the history is known to be stale at once. The decoded list is kept until
// then; what another program commits to the store meanwhile is read at the next question. Each
// write is made over the list it was derived from, so that the store joins it with what another
// program changed since rather than undoing that. Stored entries that do not decode are kept as
// they are and written back with the rest.
//
// While the store cannot read the list back (a locked or failing file), answers go without it and
// the store is asked again a minute later; a history written meanwhile joins the stored list once
// that reads. A history whose write failed stays the truth in memory and is written again by
// retryUnstored().
//
// One stored session can be held out: the one a running session continues. It leaves every answer
// but stays in the store until the running session ends and takes its place.
//
// Main-thread only, apart from the decode it may hand to another thread.
class SessionHistory : public QObject {
    Q_OBJECT
public:
    // Sessions starting more than this many calendar days ago are pruned.
    static constexpr int keptDays = 121;

    // The history stored in `suite`, decoded on the first question.
    explicit SessionHistory(std::shared_ptr<platform::UserDefaults> suite, QObject* parent = nullptr);
    ~SessionHistory() override;

    // The stored history in stored order, without the session held out. What another program
    // committed to the store since it was last read is read first.
    std::vector<Session> allSessions() const;
    // The same list without copying it.
    std::shared_ptr<const std::vector<Session>> allSessionsShared() const;
    // Replaces the stored history. The entries of the stored list that do not decode are kept and
    // written after these, and so is the session held out.
    void setAllSessions(std::vector<Session> sessions);
    // Empties the stored history, the entries that do not decode and the session held out
    // included: the user asked for nothing to be left.
    void removeAllSessions();
    // Adds a finished session in place of the stored one of the same id, if any, and prunes, in
    // one write.
    void add(Session finished);
    // Keeps the last 121 calendar days, sorted newest first. A prune that changes nothing writes
    // nothing: rewriting the whole history costs a commit of every session.
    void prune();

    // Has the store read the history again when another program may have changed it since; the
    // change is then told as any other. Not while our own write is under way, nor inside itself.
    // For an answer kept beside the history, keyed by generation(), before it is given.
    void catchUp() const;
    // Counts the changes of "sessions" seen here, whoever made them; every answer derived from the
    // history is keyed by it.
    std::uint64_t generation() const { return m_generation; }
    // Changes with every change of "sessions", as generation() does.
    const platform::Uuid& cacheKey() const { return m_cacheKey; }

    // Holds the stored session `id` out of every answer, in place of one held out before. Nothing
    // is written: the store keeps it until add() replaces it.
    void holdOut(const platform::Uuid& id);
    // The session held out answers again as it is stored.
    void releaseHeldOut();
    // The id held out, whether or not the history still holds such a session.
    const std::optional<platform::Uuid>& heldOutId() const { return m_heldOutId; }
    // The stored session held out; nothing when none is, or the history no longer has it.
    std::optional<Session> heldOut() const;

    // Whether the history in memory is not in the store because its last write failed.
    bool hasUnstoredHistory() const { return m_unstored != nullptr; }
    // Lets the store retry the writes that met another process's lock, tells the user of a lock
    // that lasts, and writes the unstored history again.
    void retryUnstored();
    // Asks the store again for a history that could not be read, a minute after it failed.
    void retryUnread();
    // How soon retryUnstored() has work again after a retry that left writes waiting for another
    // program's lock; each such retry in a row waits twice as long as the one before, up to
    // longestRetryInterval, so that a file held for hours is not tried every second.
    static constexpr double retryInterval = 1.0;
    static constexpr double longestRetryInterval = 64.0;
    // The system uptime at which retryUnstored() or retryUnread() next has work: the present
    // retry interval after the last retry while writes wait for another program's lock or the
    // history is unstored, a minute after a read that failed; nothing while nothing waits.
    // retryNeeded() says when this may have come nearer.
    std::optional<double> nextRetryAt() const;
    // Whether retryUnstored() has work now.
    bool isRetryDue() const;

    // Runs one piece of work on another thread.
    using BackgroundRunner = std::function<void(std::function<void()> work)>;
    // Starts decoding the stored history on another thread (through `runner`; empty: Qt's global
    // thread pool), so that start-up goes on meanwhile. A question asked before the decode is done
    // waits for it, or decodes on the asking thread when the decode has not begun: the stored text
    // is decoded once either way. A change of "sessions" meanwhile drops the decode. Nothing when
    // the history is decoded or being decoded already.
    void decodeInBackground(BackgroundRunner runner = {});
    // Whether a question about the history would now wait for the background decode.
    bool isDecoding() const { return m_decode && !m_history; }
    // How many times a stored history has been decoded in this process, by any instance.
    static std::uint64_t decodeCount();

    // Makes the history's join known to every store of the process. Called before the settings
    // open: their opening puts into the file what a run before kept while another program held it.
    static void joinHistoriesWrittenBeforeTheStoreOpens();
    // The store's join of a stored history with one written while it could not be read (`base`
    // null: every entry of both, the written copy of a session in both), or written over `base`
    // while another program changed the stored one (what either took out of `base` stays out, what
    // either added is in, and a session the writer changed since `base` is its copy, even where
    // the other program took it out). Each session once, pruned and sorted. Pure; safe under the
    // store's lock.
    static std::optional<platform::PropertyList> joinStoredHistories(const platform::PropertyList& stored,
        const platform::PropertyList& written, const platform::PropertyList* base);
    // `sessions` pruned to the last 121 days and sorted newest first; nothing when it already is.
    static std::optional<std::vector<Session>> pruned(const std::vector<Session>& sessions);

Q_SIGNALS:
    // "sessions" changed, here or elsewhere, or a session was held out or released. Emitted once
    // the new history answers, on the main thread.
    void changed();
    // The background decode is over: its history answers, or a change of "sessions" dropped it.
    // Emitted on the main thread.
    void decoded();
    // Something came to wait for a retry: a write of any key kept beside a file another program
    // holds, or a history that did not read. Emitted on the main thread.
    void retryNeeded();

private:
    // A stored value as the store hands it out.
    using StoredValue = std::shared_ptr<const platform::PropertyList>;
    struct History {
        std::vector<Session> sessions;
        // Stored entries that did not decode, kept verbatim.
        std::vector<platform::PropertyList> undecodable;
        // The stored list is there but could not be read for the moment (a locked or failing
        // file): this one lacks it, and holds only what was added since.
        bool unread = false;
        // What is stored is not a list of sessions (another program's text, object or corrupt
        // value): the sessions read before it answer, joined with any it holds, until a write
        // stores the list again and the odd value is copied aside.
        bool notAList = false;
        // Entries of a stored list that neither read as a session nor can be kept in a list of
        // ours (JSON that is no property list): kept in the copy the store makes of the whole
        // stored text before the next write replaces it.
        std::vector<std::string> setAside;
        // The stored session held out: written with the rest, left out of `sessions` and so of
        // every answer.
        std::optional<Session> continued;
        // For a history the store does not hold (its write failed): the stored list it was derived
        // from. Null for one the store holds, and for one derived from an unread history. Cleared
        // once the store holds it.
        mutable StoredValue base;
    };
    class Decode;

    // The decoded history, read from the store on the first question after a change.
    std::shared_ptr<const History> history() const;
    std::shared_ptr<const History> readHistory() const;
    // The list stored in `suite` decoded; a pure function of the stored value, safe on any thread.
    static std::shared_ptr<const History> decodeHistory(const platform::UserDefaults& suite);
    // Adds the sessions of a stored list to `history`, and its entries that do not decode.
    static void addStoredEntries(History& history, const platform::PropertyList& stored);
    // The same for stored text the store could not read as a property list, as far as it reads
    // as JSON: a list's elements one by one, a session as an object or as its text.
    static void addUnreadableEntries(History& history, const std::string& text);
    // A history read from a value that is not a list, with the sessions read before it.
    std::shared_ptr<const History> withLastList(std::shared_ptr<const History> history) const;
    // Reports each stored entry that did not decode, each only once.
    void reportUndecodable(const History& history) const;
    // `history` with the session held out taken out of its sessions; itself when none is.
    std::shared_ptr<const History> withHeldOut(std::shared_ptr<const History> history) const;
    // `history` with its held-out session back among the others, in its place by start.
    static std::shared_ptr<const History> withHeldOutReleased(std::shared_ptr<const History> history);
    // On the main thread once the background decode has run.
    void finishDecode(const std::shared_ptr<Decode>& decode);
    // Forgets the background decode (the history changed); whether there was one.
    bool dropDecode();
    void renewGeneration();
    // Someone changed "sessions".
    void storeDidChange();
    // Writes the history, derived from `from` (the history in memory before); the store and the
    // memo then hold the same list.
    void write(std::shared_ptr<const History> history, const std::shared_ptr<const History>& from);
    // The same with `previous`, the stored value as read just before.
    void write(std::shared_ptr<const History> history, const std::shared_ptr<const History>& from,
        const StoredValue& previous);
    // Puts the history into the store over `previous`, as derived from `base` (null: derived from
    // nothing known, an unread history); on failure keeps it as the unstored history.
    void store(std::shared_ptr<const History> history, const StoredValue& previous, StoredValue base);
    // The stored history a history in memory was derived from, in its stored form; null when that
    // is not known.
    static StoredValue baseOf(const std::shared_ptr<const History>& history);
    // The list the store keeps for `history`: its sessions newest first with the one held out in its
    // place, then the entries that do not decode.
    static platform::PropertyListArray storedForm(const History& history);
    // What "sessions" holds in the store now; null when nothing or when it cannot be read.
    StoredValue storedValue() const;
    // The stored list with the sessions of an unread history added (the stored one of the same id
    // kept), pruned and sorted.
    std::shared_ptr<const History> joinedWithStored(
        const History& history, const platform::PropertyList& stored) const;

    const std::shared_ptr<platform::UserDefaults> m_suite;
    platform::UserDefaults::ObserverId m_observer = 0;
    platform::UserDefaults::ObserverId m_storeObserver = 0;
    // When retryUnstored() last ran, how long after that it has work again, and how long the retry
    // after the next one waits while the file stays held.
    std::optional<double> m_retriedAt;
    double m_retryWait = retryInterval;
    double m_retryDelay = retryInterval;
    platform::Uuid m_cacheKey;
    std::uint64_t m_generation = 0;
    // While our own write is under way: how many changes of "sessions" the store told meanwhile.
    // One is the write itself; any other is a value the store joined ours with, or one it put in
    // before ours.
    std::optional<int> m_toldWhileWriting;
    mutable bool m_catchingUp = false;
    mutable std::shared_ptr<const History> m_history;
    // The last history read from or written as a list: what answers while another program's
    // value that is not a list is stored.
    mutable std::shared_ptr<const History> m_lastList;
    // A value that is not a list is reported once, until a list is read again.
    mutable bool m_notAListReported = false;
    // The uptime at which the history last failed to read.
    mutable double m_unreadSince = 0;
    // The background decode of the stored history, until its history is in place.
    std::shared_ptr<Decode> m_decode;
    std::optional<platform::Uuid> m_heldOutId;
    // The history whose write failed, until a write succeeds.
    std::shared_ptr<const History> m_unstored;
    HistoryStoreFailure m_storeFailure;
    // Undecodable stored entries already reported, so each is reported once.
    mutable std::set<std::string> m_reportedUndecodable;
};

} // namespace kiruvo
