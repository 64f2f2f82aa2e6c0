#include "app/engine/DayTotals.h"
#include "app/engine/Session.h"
#include "app/engine/SessionHistory.h"
#include "platform/Logger.h"
#include "platform/store/DefaultsDatabase.h"
#include "platform/store/PropertyListJson.h"
#include "platform/store/UserDefaults.h"
#include "platform/time/Clock.h"
#include "support/SqliteToolLock.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <memory>
#include <set>

using kiruvo::Session;
using kiruvo::SessionHistory;
using platform::PropertyList;
using platform::PropertyListArray;

namespace {

// Sessions of the last days, one hour each, newest first as a pruned history has them.
std::vector<Session> recentSessions(int count)
{
    std::vector<Session> sessions;
    const auto now = platform::Clock::shared().now();
    for (int index = 0; index < count; ++index) {
        const auto start = now.addingTimeInterval(-3600.0 * 3 * (index + 1));
        sessions.push_back(*Session::make(
            platform::Uuid::random(), start, start.addingTimeInterval(3600), platform::TimeZone::utc()));
    }
    return sessions;
}

PropertyList stored(const std::vector<Session>& sessions, std::vector<int> indices)
{
    PropertyListArray array;
    for (int index : indices) {
        array.emplace_back(sessions[static_cast<std::size_t>(index)].jsonText());
    }
    return PropertyList(std::move(array));
}

// The indices of the joined sessions, in the joined order; -1 for an entry that is no session.
std::vector<int> indicesOf(const std::vector<Session>& sessions, const PropertyList& joined)
{
    std::vector<int> indices;
    for (const auto& element : *joined.getIf<PropertyListArray>()) {
        const auto* text = element.getIf<std::string>();
        const auto session = text ? Session::fromJsonText(*text) : std::nullopt;
        const auto found = std::find_if(sessions.begin(), sessions.end(),
            [&](const Session& known) { return session && known.id() == session->id(); });
        indices.push_back(found == sessions.end() ? -1 : static_cast<int>(found - sessions.begin()));
    }
    return indices;
}

} // namespace

// Written blind, the two histories are put together; written over a base, what either side took
// out of the base stays out and what either added is in. Every session once, newest first; an
// entry that is no session is kept.
TEST(HistoryJoinTest, KeepsEverySessionOnceAndHonoursWhatEitherSideTookOut)
{
    const auto sessions = recentSessions(8);
    const auto join = &SessionHistory::joinStoredHistories;

    auto blind = join(stored(sessions, { 0, 2, 4 }), stored(sessions, { 1, 2, 5, 5 }), nullptr);
    ASSERT_TRUE(blind);
    EXPECT_EQ(indicesOf(sessions, *blind), (std::vector<int> { 0, 1, 2, 4, 5 }));

    // Base 1..5; the other program took 2 out and added 0; this writer took 4 out and added 6.
    const auto base = stored(sessions, { 1, 2, 3, 4, 5 });
    auto based = join(stored(sessions, { 0, 1, 3, 4, 5 }), stored(sessions, { 1, 2, 3, 5, 6 }), &base);
    ASSERT_TRUE(based);
    EXPECT_EQ(indicesOf(sessions, *based), (std::vector<int> { 0, 1, 3, 5, 6 }));

    // A session the writer changed since the base (a continued one that ended later) is the
    // writer's copy, also where the other program took it out; one only the other program changed
    // is the stored copy.
    const auto later = [&](int index) {
        const auto& session = sessions[static_cast<std::size_t>(index)];
        return *Session::make(session.id(), session.dateRange().lowerBound,
            session.dateRange().upperBound.addingTimeInterval(300), platform::TimeZone::utc());
    };
    PropertyListArray theirs = *stored(sessions, { 1 }).getIf<PropertyListArray>();
    theirs.emplace_back(later(4).jsonText());
    PropertyListArray ours = *stored(sessions, { 2, 4 }).getIf<PropertyListArray>();
    ours.emplace_back(later(1).jsonText());
    ours.emplace_back(later(3).jsonText());
    const auto threeWay = join(PropertyList(theirs), PropertyList(ours), &base);
    ASSERT_TRUE(threeWay);
    std::set<std::string> texts;
    for (const auto& element : *threeWay->getIf<PropertyListArray>()) {
        texts.insert(*element.getIf<std::string>());
    }
    EXPECT_EQ(
        texts, (std::set<std::string> { later(1).jsonText(), later(3).jsonText(), later(4).jsonText() }));

    PropertyListArray withOddEntry = *stored(sessions, { 7 }).getIf<PropertyListArray>();
    withOddEntry.emplace_back(std::int64_t { 42 });
    auto kept = join(stored(sessions, { 0 }), PropertyList(withOddEntry), nullptr);
    ASSERT_TRUE(kept);
    EXPECT_EQ(indicesOf(sessions, *kept), (std::vector<int> { 0, 7, -1 }));

    EXPECT_FALSE(join(PropertyList("not a list"), stored(sessions, { 0 }), nullptr));
}

// A start while another program keeps even readers out of the settings: the session stored then
// is kept in the pending file, and the run ends before the lock does. The next start puts it into
// the file next to the stored history, which stays whole and is not copied aside.
TEST(HistoryJoinTest, AHistoryWrittenDuringALockAtStartJoinsTheStoredOneAtTheNextStart)
{
    if (!SqliteToolLock::available()) {
        GTEST_SKIP() << "the sqlite3 tool is not installed";
    }
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const std::string path = folder.filePath(QStringLiteral("defaults.sqlite3")).toStdString();
    const std::string suite = platform::UserDefaults::standardSuiteName;
    const auto sessions = recentSessions(14);
    std::vector<int> older(13);
    for (int index = 0; index < 13; ++index) {
        older[static_cast<std::size_t>(index)] = index + 1;
    }
    {
        auto database = platform::DefaultsDatabase::open(path);
        ASSERT_TRUE(database->setValue(suite, "sessions", stored(sessions, older)));
    }
    {
        SqliteToolLock other(path);
        ASSERT_TRUE(other.hold(true));
        auto database = platform::DefaultsDatabase::open(path, { .busyTimeoutMilliseconds = 0 });
        ASSERT_TRUE(database->isWaitingForFile());
        ASSERT_TRUE(database->setValue(suite, "sessions", stored(sessions, { 0 })));
        database->close();
        ASSERT_TRUE(database->hasPendingWrites());
    }

    // What the application does before anything opens the settings.
    SessionHistory::joinHistoriesWrittenBeforeTheStoreOpens();
    auto database = platform::DefaultsDatabase::open(path);
    EXPECT_FALSE(database->hasPendingWrites());
    const auto history = database->value(suite, "sessions");
    ASSERT_TRUE(history);
    std::vector<int> all { 0 };
    all.insert(all.end(), older.begin(), older.end());
    EXPECT_EQ(indicesOf(sessions, *history), all);
    for (const auto& [key, value] : database->values(suite)) {
        EXPECT_EQ(key.find("sessions.unreadable-"), std::string::npos) << key;
    }
}

namespace {

// The sqlite3 tool, a process of its own with no lock of ours, changes the stored history at once
// and ends; between the writes of the application, as a sync tool or a user at the prompt would.
class OtherWriter {
public:
    explicit OtherWriter(std::string path)
        : m_path(std::move(path))
    {
    }

    bool add(const Session& session)
    {
        return run("UPDATE defaults SET value = json_insert(value, '$[#]', '" + session.jsonText()
            + "') WHERE key = 'sessions';");
    }

    bool remove(const Session& session)
    {
        return run(
            "UPDATE defaults SET value = (SELECT json_group_array(j.value) FROM json_each(defaults.value)"
            " AS j WHERE json_extract(j.value, '$.id') IS NOT '"
            + session.id().uuidString() + "') WHERE key = 'sessions';");
    }

    bool run(const std::string& sql)
    {
        SqliteToolLock tool(m_path);
        return tool.hold(false) && tool.exec(sql) && tool.commitAndRelease();
    }

private:
    std::string m_path;
};

// The sessions of `all` that the stored list holds, by index; -1 for one it holds twice or does not
// know. What the file holds, read apart from the application's store.
std::multiset<int> storedIndices(const std::string& path, const std::vector<Session>& all)
{
    sqlite3* db = nullptr;
    std::multiset<int> indices;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(
                db, "SELECT value FROM defaults WHERE key = 'sessions'", -1, &statement, nullptr)
                == SQLITE_OK
            && sqlite3_step(statement) == SQLITE_ROW) {
            const auto value = platform::PropertyListJson::decode(
                reinterpret_cast<const char*>(sqlite3_column_text(statement, 0)));
            if (value) {
                for (int index : indicesOf(all, *value)) {
                    indices.insert(index);
                }
            }
        }
        sqlite3_finalize(statement);
    }
    sqlite3_close(db);
    return indices;
}

std::multiset<int> answeredIndices(const SessionHistory& history, const std::vector<Session>& all)
{
    PropertyListArray array;
    for (const auto& session : history.allSessions()) {
        array.emplace_back(session.jsonText());
    }
    const auto indices = indicesOf(all, PropertyList(std::move(array)));
    return { indices.begin(), indices.end() };
}

class HistoryOtherWriterTest : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override
    {
        if (!SqliteToolLock::available()) {
            GTEST_SKIP() << "the sqlite3 tool is not installed";
        }
        ASSERT_TRUE(m_folder.isValid());
        m_path = m_folder.filePath(QStringLiteral("defaults.sqlite3")).toStdString();
    }

    // A store over the file holding `sessions`, as the application opens it.
    std::shared_ptr<platform::UserDefaults> open(const std::vector<Session>& sessions)
    {
        std::vector<int> all(sessions.size());
        for (std::size_t index = 0; index < sessions.size(); ++index) {
            all[index] = static_cast<int>(index);
        }
        {
            auto database = platform::DefaultsDatabase::open(m_path);
            EXPECT_TRUE(database->setValue(suiteName, "sessions", stored(sessions, all)));
        }
        return std::make_shared<platform::UserDefaults>(platform::DefaultsDatabase::open(m_path), suiteName);
    }

    // The first `stored` of `stored + more` recent sessions in the file, and the history over it,
    // read once.
    SessionHistory& startWith(int stored, int more)
    {
        m_all = recentSessions(stored + more);
        m_history = std::make_unique<SessionHistory>(
            open(std::vector<Session>(m_all.begin(), m_all.begin() + stored)));
        EXPECT_EQ(m_history->allSessions().size(), static_cast<std::size_t>(stored));
        return *m_history;
    }

    static constexpr const char* suiteName = platform::UserDefaults::standardSuiteName;
    QTemporaryDir m_folder;
    std::string m_path;
    std::vector<Session> m_all;
    std::unique_ptr<SessionHistory> m_history;
};

} // namespace

// Another program adds and deletes sessions after the application read the history and before it
// writes what it made of it, with a short history and with one long enough to be kept out of
// memory: the application's writes keep what it did, in the file and in what the history answers,
// and add their own.
TEST_P(HistoryOtherWriterTest, WhatAnotherProgramAddedOrDeletedSurvivesTheNextWrites)
{
    const int stored = GetParam();
    // Stored ones first (newest first), then two the other program adds and two the application
    // adds, all within the kept days.
    auto& history = startWith(stored, 4);
    const auto& all = m_all;
    OtherWriter other(m_path);

    // What a deletion in the History window or the end of a session makes of the history read.
    const auto writeAdding = [&](const std::function<void()>& meanwhile, const Session& session) {
        auto sessions = history.allSessions();
        meanwhile();
        sessions.push_back(session);
        history.setAllSessions(std::move(sessions));
    };
    writeAdding(
        [&] {
            ASSERT_TRUE(other.add(all[stored]));
            ASSERT_TRUE(other.remove(all[1]));
        },
        all[stored + 2]);
    writeAdding(
        [&] {
            ASSERT_TRUE(other.add(all[stored + 1]));
            ASSERT_TRUE(other.remove(all[2]));
        },
        all[stored + 3]);
    history.prune();

    std::multiset<int> expected;
    for (int index = 0; index < stored + 4; ++index) {
        if (index != 1 && index != 2) {
            expected.insert(index);
        }
    }
    EXPECT_EQ(storedIndices(m_path, all), expected);
    EXPECT_EQ(answeredIndices(history, all), expected);
}

INSTANTIATE_TEST_SUITE_P(ShortAndLong, HistoryOtherWriterTest, ::testing::Values(6, 700));

// What another program committed is in the next answer, before the application writes anything, and
// is told as a change.
TEST_P(HistoryOtherWriterTest, WhatAnotherProgramCommittedIsAnsweredAtTheNextQuestion)
{
    const int stored = GetParam();
    auto& history = startWith(stored, 1);
    const auto& all = m_all;
    OtherWriter other(m_path);
    const auto generation = history.generation();
    int told = 0;
    QObject::connect(&history, &SessionHistory::changed, [&] { ++told; });

    ASSERT_TRUE(other.add(all[stored]));
    ASSERT_TRUE(other.remove(all[0]));
    std::multiset<int> expected;
    for (int index = 1; index <= stored; ++index) {
        expected.insert(index);
    }
    EXPECT_EQ(answeredIndices(history, all), expected);
    EXPECT_NE(history.generation(), generation);
    QCoreApplication::processEvents();
    EXPECT_EQ(told, 1);
    // Asked again with nothing new, the store is not read again.
    const auto decodes = SessionHistory::decodeCount();
    EXPECT_EQ(answeredIndices(history, all), expected);
    EXPECT_EQ(SessionHistory::decodeCount(), decodes);
}

// A continued session ends while another program adds a session: the stored copy of the continued
// session is the one it began as, and the one that ends takes its place with its new end.
TEST_F(HistoryOtherWriterTest, AContinuedSessionKeepsItsNewEndWhileAnotherProgramWrites)
{
    auto all = recentSessions(4);
    auto suite = open({ all[1], all[2], all[3] });
    OtherWriter other(m_path);
    SessionHistory history(suite);
    const Session previous = history.allSessions().front();
    ASSERT_EQ(previous.id(), all[1].id());

    history.holdOut(previous.id());
    ASSERT_TRUE(other.add(all[0]));
    history.releaseHeldOut();
    // Five more minutes of work, past the other program's session.
    const auto end = previous.dateRange().upperBound.addingTimeInterval(300);
    const Session continued
        = *Session::make(previous.id(), previous.dateRange().lowerBound, end, platform::TimeZone::utc());
    history.add(continued);

    EXPECT_EQ(storedIndices(m_path, all), (std::multiset<int> { 0, 1, 2, 3 }));
    auto database = platform::DefaultsDatabase::open(m_path);
    const auto value = database->value(suiteName, "sessions");
    ASSERT_TRUE(value);
    bool found = false;
    for (const auto& element : *value->getIf<PropertyListArray>()) {
        const auto session = Session::fromJsonText(*element.getIf<std::string>());
        if (session && session->id() == previous.id()) {
            found = true;
            EXPECT_EQ(session->dateRange().upperBound, end);
        }
    }
    EXPECT_TRUE(found);
    const auto answered = history.allSessions();
    const auto inMemory = std::find_if(
        answered.begin(), answered.end(), [&](const Session& s) { return s.id() == previous.id(); });
    ASSERT_NE(inMemory, answered.end());
    EXPECT_EQ(inMemory->dateRange().upperBound, end);
}

// Another program adds a session after today's total and the day's statistics were asked: the next
// question counts it, as the list of sessions does, rather than answering from what was derived
// before.
TEST_F(HistoryOtherWriterTest, DayTotalsCountWhatAnotherProgramAddedAtTheNextQuestion)
{
    auto& history = startWith(6, 1);
    OtherWriter other(m_path);
    const std::optional<kiruvo::CurrentSession> none;
    const kiruvo::DayTotals totals(history, none);
    const auto day = m_all[6].dateRange().lowerBound;
    const auto before = totals.totalDurationForDayAt(day);
    const auto sessionsBefore = totals.sessionsForDayAt(day).size();

    ASSERT_TRUE(other.add(m_all[6]));
    const auto after = totals.totalDurationForDayAt(day);
    ASSERT_TRUE(after);
    EXPECT_GT(after->seconds, before ? before->seconds : 0.0);
    EXPECT_EQ(totals.sessionsForDayAt(day).size(), sessionsBefore + 1);
    const kiruvo::DayTotals fresh(history, none);
    EXPECT_EQ(after->seconds, fresh.totalDurationForDayAt(day)->seconds);
    EXPECT_EQ(totals.averageDuration(-124, 0, false), fresh.averageDuration(-124, 0, false));
}

// Another program stores a history that does not read, then repairs it: the repaired history is
// the next answer, and the application's next write adds to it. Nothing is copied aside, as the
// file no longer holds what did not read.
TEST_F(HistoryOtherWriterTest, AHistoryAnotherProgramRepairsIsReadAndKept)
{
    auto& history = startWith(6, 2);
    OtherWriter other(m_path);
    ASSERT_TRUE(other.run("UPDATE defaults SET value = 'not a list' WHERE key = 'sessions';"));
    EXPECT_EQ(answeredIndices(history, m_all), (std::multiset<int> { 0, 1, 2, 3, 4, 5 }));
    ASSERT_TRUE(other.run(
        "UPDATE defaults SET value = json_array('" + m_all[6].jsonText() + "') WHERE key = 'sessions';"));

    EXPECT_EQ(answeredIndices(history, m_all), (std::multiset<int> { 6 }));
    history.add(m_all[7]);
    EXPECT_EQ(storedIndices(m_path, m_all), (std::multiset<int> { 6, 7 }));
    EXPECT_EQ(answeredIndices(history, m_all), (std::multiset<int> { 6, 7 }));
    auto database = platform::DefaultsDatabase::open(m_path);
    for (const auto& [key, value] : database->values(suiteName)) {
        EXPECT_EQ(key.find("sessions.unreadable-"), std::string::npos) << key;
    }
}

namespace {

// The keys the odd values were copied to, with what each holds.
std::vector<std::pair<std::string, platform::StoredValue>> backups(const std::string& path)
{
    auto database = platform::DefaultsDatabase::open(path);
    std::vector<std::pair<std::string, platform::StoredValue>> found;
    for (auto& [key, value] : database->values(platform::UserDefaults::standardSuiteName)) {
        if (key.starts_with("sessions.unreadable-")) {
            found.emplace_back(key, value);
        }
    }
    return found;
}

} // namespace

// Another program adds sessions as JSON objects rather than texts (json() in sqlite3), beside an
// object that is no session and a number: the history still reads whole, the objects that are
// sessions with it; the next write stores every session as text, keeps the number in place, and
// the stored text is copied aside once with the object that is no session in it.
TEST_F(HistoryOtherWriterTest, SessionsAnotherProgramAddsAsObjectsAreReadAndNothingElseIsLost)
{
    auto& history = startWith(12, 2);
    OtherWriter other(m_path);
    platform::LogCapture log;
    ASSERT_TRUE(
        other.run("UPDATE defaults SET value = json_insert(value, '$[#]', json('" + m_all[12].jsonText()
            + "'), '$[#]', json('{\"note\":\"mine\"}'), '$[#]', 5) WHERE key = 'sessions';"));

    std::multiset<int> expected;
    for (int index = 0; index <= 12; ++index) {
        expected.insert(index);
    }
    EXPECT_EQ(answeredIndices(history, m_all), expected);
    // Read, so not said to read as unset, nor to be copied aside.
    EXPECT_EQ(log.countContaining("reads as unset"), 0);
    EXPECT_EQ(log.countContaining("backup key"), 0);
    history.add(m_all[13]);
    expected.insert(13);
    EXPECT_EQ(answeredIndices(history, m_all), expected);
    // What is no session (the note, the number) stays in the list, and nothing is copied aside.
    expected.insert(-1);
    expected.insert(-1);
    EXPECT_EQ(storedIndices(m_path, m_all), expected);
    EXPECT_TRUE(backups(m_path).empty());
}

// What another program stores in place of the list, of every kind that is no list: the sessions
// read before answer, joined with the one the odd value holds; the next write stores them all with
// its own and copies the odd value aside, once.
TEST_F(HistoryOtherWriterTest, AValueThatIsNoListLeavesTheHistoryHeldAndIsCopiedAsideOnce)
{
    struct Odd {
        const char* kind;
        std::string sql;
        bool holdsASession;
    };
    const auto sessions = recentSessions(8);
    for (const Odd& odd : {
             Odd { "text holding a session", "json_quote('" + sessions[6].jsonText() + "')", true },
             Odd { "a session as an object", "'" + sessions[6].jsonText() + "'", true },
             Odd { "a number", "42", false },
             Odd { "corrupt text", "'[\"unfinished'", false },
         }) {
        SCOPED_TRACE(odd.kind);
        QTemporaryDir folder;
        ASSERT_TRUE(folder.isValid());
        m_path = folder.filePath(QStringLiteral("defaults.sqlite3")).toStdString();
        m_all = sessions;
        SessionHistory history(open(std::vector<Session>(sessions.begin(), sessions.begin() + 6)));
        ASSERT_EQ(history.allSessions().size(), 6u);
        OtherWriter other(m_path);
        ASSERT_TRUE(other.run("UPDATE defaults SET value = " + odd.sql + " WHERE key = 'sessions';"));

        std::multiset<int> expected { 0, 1, 2, 3, 4, 5 };
        if (odd.holdsASession) {
            expected.insert(6);
        }
        EXPECT_EQ(answeredIndices(history, m_all), expected);
        history.add(m_all[7]);
        expected.insert(7);
        EXPECT_EQ(storedIndices(m_path, m_all), expected);
        EXPECT_EQ(answeredIndices(history, m_all), expected);
        EXPECT_EQ(backups(m_path).size(), 1u);
    }
}

// The data folder deleted and made again while the application runs, before and after its first
// write of the run: every session recorded after that reaches the file at the path and every
// answer, and the deleted history is never put back.
TEST_F(HistoryOtherWriterTest, AFolderMadeAgainKeepsEverySessionRecordedSince)
{
    const auto sessions = recentSessions(10);
    for (const bool wroteBefore : { false, true }) {
        SCOPED_TRACE(wroteBefore ? "after a write" : "before any write");
        QTemporaryDir folder;
        ASSERT_TRUE(folder.isValid());
        const std::string data = folder.filePath(QStringLiteral("data")).toStdString();
        std::filesystem::create_directories(data);
        m_path = data + "/defaults.sqlite3";
        m_all = sessions;
        auto suite = open(std::vector<Session>(sessions.begin(), sessions.begin() + 5));
        ASSERT_TRUE(suite->hearOtherPrograms());
        SessionHistory history(suite);
        ASSERT_EQ(history.allSessions().size(), 5u);
        std::multiset<int> expected;
        if (wroteBefore) {
            history.add(m_all[5]);
            expected.insert(5);
        }

        std::filesystem::remove_all(data);
        std::filesystem::create_directories(data);
        for (int index = 6; index < 9; ++index) {
            history.add(m_all[static_cast<std::size_t>(index)]);
            expected.insert(index);
            EXPECT_EQ(storedIndices(m_path, m_all), expected) << index;
            EXPECT_EQ(answeredIndices(history, m_all), expected) << index;
        }
        suite->close();
        EXPECT_EQ(storedIndices(m_path, m_all), expected);
    }
}
