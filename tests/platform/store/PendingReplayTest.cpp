#include "platform/store/DefaultsDatabase.h"

#include "platform/Logger.h"
#include "platform/store/DefaultsConnection.h"
#include "platform/store/DefaultsFileOpening.h"
#include "platform/store/PendingReplay.h"
#include "platform/store/PropertyListJson.h"
#include "platform/store/StoredValueJoins.h"
#include "support/SqliteToolLock.h"
#include "support/TestErrorReporter.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>

#include <sys/wait.h>
#include <unistd.h>

using namespace platform;
namespace fs = std::filesystem;

// What the store does with the writes it kept while another program (the sqlite3 tool, in a
// process of its own) held its file, once it can put them in: at the next opening after a crash,
// or at a retry.
namespace {

const std::string suite = "replay";

std::optional<std::string> query(const std::string& path, const std::string& sql)
{
    sqlite3* db = nullptr;
    std::optional<std::string> result;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) == SQLITE_OK
            && sqlite3_step(statement) == SQLITE_ROW && sqlite3_column_text(statement, 0)) {
            result = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
        }
        sqlite3_finalize(statement);
    }
    sqlite3_close_v2(db);
    return result;
}

PropertyList numbers(std::initializer_list<std::int64_t> values)
{
    PropertyListArray array;
    for (auto value : values) {
        array.emplace_back(value);
    }
    return PropertyList(std::move(array));
}

// A list's join as a history's: what the writer took out of the base stays out, what it added is
// added to the stored list; written blind, the two lists are put together.
std::optional<PropertyList> joinLists(
    const PropertyList& stored, const PropertyList& written, const PropertyList* base)
{
    const auto contains = [](const PropertyListArray& list, const PropertyList& element) {
        return std::find(list.begin(), list.end(), element) != list.end();
    };
    const PropertyListArray none;
    const auto& before = base ? *base->getIf<PropertyListArray>() : none;
    const auto& mine = *written.getIf<PropertyListArray>();
    PropertyListArray joined;
    for (const auto& element : *stored.getIf<PropertyListArray>()) {
        if (!contains(before, element) || contains(mine, element)) {
            joined.push_back(element);
        }
    }
    for (const auto& element : mine) {
        if (!contains(before, element) && !contains(joined, element)) {
            joined.push_back(element);
        }
    }
    return PropertyList(std::move(joined));
}

class PendingReplayTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!SqliteToolLock::available()) {
            GTEST_SKIP() << "the sqlite3 tool is not installed";
        }
        ASSERT_TRUE(m_folder.isValid());
        ASSERT_TRUE(m_reporter.isValid());
        DefaultsDatabase::setProcessJoin(suite, "history", joinLists);
        DefaultsDatabase::setProcessJoin(suite, "count",
            [](const PropertyList& stored, const PropertyList& written, const PropertyList* base) {
                const std::int64_t from = base ? *base->getIf<std::int64_t>() : 0;
                return std::optional(
                    PropertyList(*stored.getIf<std::int64_t>() + *written.getIf<std::int64_t>() - from));
            });
    }
    std::string file() const { return m_folder.filePath(QStringLiteral("defaults.sqlite3")).toStdString(); }
    std::optional<PropertyList> stored(const std::string& key) const
    {
        auto text = query(
            file(), "SELECT value FROM defaults WHERE suite = '" + suite + "' AND key = '" + key + "'");
        return text ? PropertyListJson::decode(*text) : std::nullopt;
    }
    int storedCount(const std::string& pattern) const
    {
        return std::stoi(
            query(file(), "SELECT count(*) FROM defaults WHERE key LIKE '" + pattern + "'").value_or("-1"));
    }

    // Runs `writes` in a process of its own that dies (no destructor, no close) once they return.
    void crashAfter(const std::function<bool()>& writes)
    {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            _exit(writes() ? 0 : 1);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));
        ASSERT_EQ(WEXITSTATUS(status), 0);
    }

    QTemporaryDir m_folder;
    LogCapture m_log;
    TestErrorReporter m_reporter;
};

} // namespace

// A run that kept writes and crashed during the lock; the program that held the file then changed
// it. The next opening puts in only what is newer than what the file holds: another program's
// added entry stays, its removal is not undone, and its setting stays over the older one kept here.
TEST_F(PendingReplayTest, WritesKeptByACrashedRunDoNotUndoWhatAnotherProgramWroteSince)
{
    {
        auto database = DefaultsDatabase::open(file());
        ASSERT_TRUE(database->setValue(suite, "history", numbers({ 1, 2, 3 })));
        ASSERT_TRUE(database->setValue(suite, "setting", "before"));
        ASSERT_TRUE(database->setValue(suite, "mine", "before"));
    }
    SqliteToolLock other(file());
    ASSERT_TRUE(other.hold(false));
    crashAfter([&] {
        auto database = DefaultsDatabase::open(file(), { .busyTimeoutMilliseconds = 0 });
        return database->setValue(suite, "history", numbers({ 1, 2, 3, 4 }))
            && database->setValue(suite, "setting", "mine") && database->setValue(suite, "mine", "after")
            && database->hasPendingWrites();
    });
    ASSERT_TRUE(other.exec("UPDATE defaults SET value = '[1,2,5]' WHERE key = 'history';"
                           "UPDATE defaults SET value = '\"theirs\"' WHERE key = 'setting';"));
    ASSERT_TRUE(other.commitAndRelease());

    auto database = DefaultsDatabase::open(file());
    EXPECT_FALSE(database->hasPendingWrites());
    EXPECT_EQ(*database->value(suite, "history"), numbers({ 1, 2, 5, 4 }));
    EXPECT_EQ(stored("history"), numbers({ 1, 2, 5, 4 }));
    EXPECT_EQ(*database->value(suite, "setting"), PropertyList("theirs"));
    EXPECT_EQ(stored("setting"), PropertyList("theirs"));
    EXPECT_EQ(stored("mine"), PropertyList("after"));
    EXPECT_EQ(storedCount("%.unreadable-%"), 0);
    EXPECT_FALSE(fs::exists(database->pendingPath()));

    // Replayed again (a crash between the commit and the removal), the same writes change nothing.
    database.reset();
    crashAfter([&] {
        SqliteToolLock again(file());
        if (!again.hold(false)) {
            return false;
        }
        auto kept = DefaultsDatabase::open(file(), { .busyTimeoutMilliseconds = 0 });
        return kept->setValue(suite, "history", numbers({ 1, 2, 5, 4 })) && kept->hasPendingWrites();
    });
    database = DefaultsDatabase::open(file());
    EXPECT_EQ(stored("history"), numbers({ 1, 2, 5, 4 }));
}

// The same while the store runs on: a count another launch raised meanwhile gets only what was
// counted here on top, and the listeners hear what the file holds.
TEST_F(PendingReplayTest, AWriteKeptDuringALockJoinsWhatTheHolderWroteMeanwhile)
{
    auto database = DefaultsDatabase::open(file());
    ASSERT_TRUE(database->setValue(suite, "count", 5));
    ASSERT_TRUE(database->setValue(suite, "setting", "before"));
    std::vector<PropertyList> heard;
    database->addListener(suite, "setting", [&](auto&, auto&, const DefaultsDatabase::Value& value) {
        heard.push_back(value ? *value : PropertyList());
    });
    SqliteToolLock other(file());
    ASSERT_TRUE(other.hold(false));
    ASSERT_TRUE(database->setValue(suite, "count", 6));
    ASSERT_TRUE(database->setValue(suite, "setting", "mine"));
    ASSERT_TRUE(database->hasPendingWrites());
    ASSERT_TRUE(other.exec("UPDATE defaults SET value = '6' WHERE key = 'count';"
                           "UPDATE defaults SET value = '\"theirs\"' WHERE key = 'setting';"));
    database->retry();
    EXPECT_TRUE(database->hasPendingWrites());
    ASSERT_TRUE(other.commitAndRelease());

    database->retry();
    EXPECT_FALSE(database->hasPendingWrites());
    EXPECT_EQ(*database->value(suite, "count"), PropertyList(7));
    EXPECT_EQ(stored("count"), PropertyList(7));
    EXPECT_EQ(*database->value(suite, "setting"), PropertyList("theirs"));
    EXPECT_EQ(heard, (std::vector<PropertyList> { PropertyList("mine"), PropertyList("theirs") }));
    EXPECT_EQ(m_log.countContaining("\"setting\" of suite \"replay\" was written by another program"), 1);
}

// No lock at all: another program added to and deleted from a list while the store held it in
// memory. The store's next write of it joins that program's change rather than undoing it; a key
// without a join takes the write, the latest there is.
TEST_F(PendingReplayTest, AWriteOverAListAnotherProgramChangedSinceJoinsIt)
{
    auto database = DefaultsDatabase::open(file());
    ASSERT_TRUE(database->setValue(suite, "history", numbers({ 1, 2, 3 })));
    ASSERT_TRUE(database->setValue(suite, "setting", "before"));
    SqliteToolLock other(file());
    ASSERT_TRUE(other.hold(false));
    ASSERT_TRUE(other.exec("UPDATE defaults SET value = '[1,2,5]' WHERE key = 'history';"
                           "UPDATE defaults SET value = '\"theirs\"' WHERE key = 'setting';"));
    ASSERT_TRUE(other.commitAndRelease());

    ASSERT_TRUE(database->setValue(suite, "setting", "mine"));
    ASSERT_TRUE(database->setValue(suite, "history", numbers({ 1, 2, 3, 4 })));
    EXPECT_FALSE(database->hasPendingWrites());
    EXPECT_EQ(stored("history"), numbers({ 1, 2, 5, 4 }));
    EXPECT_EQ(*database->value(suite, "history"), numbers({ 1, 2, 5, 4 }));
    EXPECT_EQ(stored("setting"), PropertyList("mine"));
    EXPECT_FALSE(fs::exists(database->pendingPath()));

    // Nobody else wrote since: the next write goes straight in.
    ASSERT_TRUE(database->setValue(suite, "history", numbers({ 1, 2, 5 })));
    EXPECT_EQ(stored("history"), numbers({ 1, 2, 5 }));
}

// However often a key is written during a lock, the pending file holds one row of it, so the file
// stays the size of one value (and what the store holds with it).
TEST_F(PendingReplayTest, AKeyWrittenOftenDuringALockKeepsOneRow)
{
    const auto longList = [](int marker) {
        PropertyListArray array(20'000, PropertyList(marker));
        return PropertyList(std::move(array));
    };
    auto database = DefaultsDatabase::open(file());
    ASSERT_TRUE(database->setValue(suite, "history", longList(0)));
    const auto size = PropertyListJson::encode(longList(0))->size();
    SqliteToolLock other(file());
    ASSERT_TRUE(other.hold(false));
    for (int marker = 1; marker <= 40; ++marker) {
        ASSERT_TRUE(database->setValue(suite, "history", longList(marker)));
    }
    const std::string pending = database->pendingPath();
    EXPECT_EQ(query(pending, "SELECT count(*) FROM pending"), "1");
    // The value and the base it was written over, and SQLite's pages around them.
    EXPECT_LT(fs::file_size(pending), 3 * size);
    EXPECT_EQ(*database->value(suite, "history"), longList(40));

    other.release();
    database->retry();
    EXPECT_FALSE(database->hasPendingWrites());
    EXPECT_EQ(stored("history"), longList(40));
}

// A pending file damaged in its middle (a torn write, a bad sector): every write that still reads is
// put into the file, and the damaged file is kept aside, named in the log.
TEST_F(PendingReplayTest, EveryWriteThatStillReadsFromADamagedPendingFileIsPutIn)
{
    constexpr int count = 30;
    const auto valueOf
        = [](int index) { return PropertyList(std::string(3000, static_cast<char>('a' + index % 26))); };
    std::string pending;
    {
        auto database = DefaultsDatabase::open(file());
        ASSERT_TRUE(database->setValue(suite, "first", 1));
        SqliteToolLock other(file());
        ASSERT_TRUE(other.hold(false));
        for (int index = 0; index < count; ++index) {
            ASSERT_TRUE(database->setValue(suite, "k" + std::to_string(index), valueOf(index)));
        }
        pending = database->pendingPath();
        database->close();
        ASSERT_TRUE(fs::exists(pending));
    }
    // One page in the middle (one row's leaf) overwritten.
    const auto pageSize = std::stoul(query(pending, "PRAGMA page_size").value_or("4096"));
    const auto pages = fs::file_size(pending) / pageSize;
    ASSERT_GT(pages, 10u);
    {
        std::fstream bytes(pending, std::ios::in | std::ios::out | std::ios::binary);
        bytes.seekp(static_cast<std::streamoff>((pages / 2) * pageSize));
        const std::string garbage(pageSize, '\xA5');
        bytes.write(garbage.data(), static_cast<std::streamsize>(garbage.size()));
    }

    auto database = DefaultsDatabase::open(file());
    int replayed = 0;
    for (int index = 0; index < count; ++index) {
        if (stored("k" + std::to_string(index)) == valueOf(index)) {
            ++replayed;
        }
    }
    EXPECT_GE(replayed, count - 2);
    EXPECT_FALSE(fs::exists(pending));
    std::vector<std::string> setAside;
    for (const auto& entry : fs::directory_iterator(fs::path(pending).parent_path())) {
        if (entry.path().filename().string().rfind("defaults.sqlite3.pending.corrupt-", 0) == 0) {
            setAside.push_back(entry.path().string());
        }
    }
    ASSERT_EQ(setAside.size(), 1u);
    EXPECT_EQ(m_log.countContaining("moved to " + setAside.front()), 1);
    EXPECT_EQ(stored("first"), PropertyList(1));
}

// Bytes that are no database at all: nothing to replay, the file is kept aside, the store works.
TEST_F(PendingReplayTest, APendingFileThatIsNoDatabaseIsSetAside)
{
    {
        auto database = DefaultsDatabase::open(file());
        ASSERT_TRUE(database->setValue(suite, "k", 1));
    }
    const std::string pending = file() + ".pending";
    std::ofstream(pending, std::ios::binary) << std::string(5000, 'x');
    auto database = DefaultsDatabase::open(file());
    EXPECT_FALSE(database->hasPendingWrites());
    EXPECT_FALSE(fs::exists(pending));
    EXPECT_EQ(m_log.countContaining("The file of pending writes " + pending + " was damaged"), 1);
    EXPECT_EQ(*database->value(suite, "k"), PropertyList(1));
    ASSERT_TRUE(database->setValue(suite, "k", 2));
    EXPECT_EQ(stored("k"), PropertyList(2));
}

namespace {

// The replay on its own, over a file and the values in memory, without a store around it.
class PendingReplayAloneTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_folder.isValid());
        ASSERT_TRUE(m_reporter.isValid());
        auto opening = DefaultsFileOpening::open(m_path, 1000, 1 << 16);
        ASSERT_EQ(opening.outcome, DefaultsFileOpening::Outcome::Opened);
        int failure = SQLITE_OK;
        m_file = DefaultsConnection::take(opening.db, 0, failure);
        ASSERT_TRUE(m_file);
        // Written since as another program adds: only what was counted here on top of the base.
        m_joins.set("s", "count",
            [](const PropertyList& stored, const PropertyList& written, const PropertyList* base) {
                const std::int64_t from = base ? *base->getIf<std::int64_t>() : 0;
                return std::optional(
                    PropertyList(*stored.getIf<std::int64_t>() + *written.getIf<std::int64_t>() - from));
            });
    }
    void store(const std::string& key, const std::string& text)
    {
        ASSERT_EQ(m_file->write("s", key, &text), SQLITE_DONE);
    }
    std::optional<std::string> stored(const std::string& key)
    {
        std::optional<std::string> text;
        EXPECT_EQ(m_file->read("s", key, text), SQLITE_DONE);
        return text;
    }
    bool replay(const std::vector<PendingJournal::Write>& writes, std::vector<ResidentValues::Replayed>& done)
    {
        return PendingReplay(*m_file, m_values, m_joins, m_path).run(writes, done);
    }

    QTemporaryDir m_folder;
    const std::string m_path = m_folder.filePath(QStringLiteral("defaults.sqlite3")).toStdString();
    ResidentValues m_values { m_path };
    StoredValueJoins m_joins;
    std::unique_ptr<DefaultsConnection> m_file;
    LogCapture m_log;
    TestErrorReporter m_reporter;
};

} // namespace

// Each write as it stands to the file: over an unchanged base it is written; over a base another
// program changed it is joined (or that program's value stays); made blind over another value
// without a join, the stored row is first copied aside. Replayed again, nothing changes.
TEST_F(PendingReplayAloneTest, EachWriteIsPutInAsItStandsToWhatTheFileHolds)
{
    store("count", "3");
    store("same", "1");
    store("theirs", "\"their value\"");
    store("blind", "\"stored\"");
    const std::vector<PendingJournal::Write> writes {
        { 1, "s", "count", "2", PendingJournal::Basis::Known, "1" },
        { 2, "s", "same", "2", PendingJournal::Basis::Known, "1" },
        { 3, "s", "theirs", "\"mine\"", PendingJournal::Basis::Known, "\"before\"" },
        { 4, "s", "blind", "\"written\"", PendingJournal::Basis::Blind, std::nullopt },
    };
    std::vector<ResidentValues::Replayed> done;
    ASSERT_TRUE(replay(writes, done));
    ASSERT_EQ(done.size(), 4u);
    EXPECT_EQ(stored("count"), "4");
    EXPECT_TRUE(done[0].changed);
    EXPECT_EQ(*done[0].value, PropertyList(4));
    EXPECT_EQ(stored("same"), "2");
    EXPECT_FALSE(done[1].changed);
    EXPECT_EQ(stored("theirs"), "\"their value\"");
    EXPECT_TRUE(done[2].changed);
    EXPECT_EQ(*done[2].value, PropertyList("their value"));
    EXPECT_EQ(stored("blind"), "\"written\"");
    ASSERT_FALSE(done[3].rowBackup.empty());
    EXPECT_EQ(stored(done[3].rowBackup), "\"stored\"");

    // The count's join adds what was counted over its base again: only the others are replayed.
    std::vector<ResidentValues::Replayed> again;
    ASSERT_TRUE(replay({ writes.begin() + 1, writes.end() }, again));
    EXPECT_EQ(stored("same"), "2");
    EXPECT_EQ(stored("theirs"), "\"their value\"");
    ASSERT_EQ(again.size(), 3u);
    EXPECT_TRUE(again[2].rowBackup.empty()) << "the file holds what was written already";
}

// While another program writes, nothing goes in and nothing is reported: the writes wait for the
// next try. A write that fails for another reason undoes the others, and is reported.
TEST_F(PendingReplayAloneTest, AReplayThatDoesNotCommitLeavesTheFileAsItWas)
{
    store("count", "1");
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(m_path.c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    std::vector<ResidentValues::Replayed> done;
    EXPECT_FALSE(replay({ { 1, "s", "count", "2", PendingJournal::Basis::Known, "1" } }, done));
    EXPECT_TRUE(done.empty());
    EXPECT_EQ(m_log.countContaining("could not be put into it"), 0);
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);

    ASSERT_EQ(sqlite3_exec(other,
                  "CREATE TRIGGER refuse BEFORE INSERT ON defaults WHEN NEW.key = 'refused' "
                  "BEGIN SELECT RAISE(ABORT, 'refused'); END",
                  nullptr, nullptr, nullptr),
        SQLITE_OK);
    sqlite3_close(other);
    EXPECT_FALSE(replay({ { 1, "s", "count", "2", PendingJournal::Basis::Known, "1" },
                            { 2, "s", "refused", "1", PendingJournal::Basis::Blind, std::nullopt } },
        done));
    EXPECT_EQ(stored("count"), "1");
    EXPECT_EQ(m_log.countContaining("could not be put into it"), 1);
}
