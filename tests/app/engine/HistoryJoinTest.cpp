#include "app/engine/Session.h"
#include "app/engine/SessionHistory.h"
#include "platform/store/DefaultsDatabase.h"
#include "platform/store/PropertyListJson.h"
#include "platform/store/UserDefaults.h"
#include "platform/time/Clock.h"
#include "support/SqliteToolLock.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
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
        const auto start = now.addingTimeInterval(-3600.0 * 5 * (index + 1));
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
