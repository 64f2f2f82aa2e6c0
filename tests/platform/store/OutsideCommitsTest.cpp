#include "platform/store/OutsideCommits.h"

#include "platform/store/DefaultsDatabase.h"
#include "support/SqliteToolLock.h"
#include "support/TestErrorReporter.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <functional>
#include <map>

using namespace platform;

namespace {

// What the listeners of every key asked for heard: each key's last value (nothing: removed), and
// how many times it was told.
struct Heard {
    std::map<std::string, std::optional<PropertyList>> values;
    std::map<std::string, int> times;
};

// The store over a file that the sqlite3 tool, in a process of its own, commits to.
class OutsideCommitsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!SqliteToolLock::available()) {
            GTEST_SKIP() << "the sqlite3 tool is not installed";
        }
        ASSERT_TRUE(m_folder.isValid());
        ASSERT_TRUE(m_reporter.isValid());
        m_database = DefaultsDatabase::open(file());
    }

    std::string file() const { return m_folder.filePath("defaults.sqlite3").toStdString(); }

    bool commit(const std::string& sql) const
    {
        SqliteToolLock other(file());
        return other.hold(false) && other.exec(sql) && other.commitAndRelease();
    }

    void listen(const std::vector<std::string>& keys)
    {
        for (const auto& key : keys) {
            m_database->addListener(
                "s", key, [this](const std::string& changed, const auto&, const auto& now) {
                    m_heard.values[changed] = now ? std::optional(*now) : std::nullopt;
                    ++m_heard.times[changed];
                });
        }
    }

    std::optional<PropertyList> value(const std::string& key) const
    {
        const auto stored = m_database->value("s", key);
        return stored ? std::optional(*stored) : std::nullopt;
    }

    QTemporaryDir m_folder;
    TestErrorReporter m_reporter;
    std::shared_ptr<DefaultsDatabase> m_database;
    Heard m_heard;
};

} // namespace

// Every way another program changes rows is heard, by every key it changed and no other: a value
// replaced by one of the same length, a row removed, added, renamed, put back by INSERT OR IGNORE
// after its removal, replaced by REPLACE, and every row deleted at once.
TEST_F(OutsideCommitsTest, EveryKindOfChangeIsHeardByItsKeysAlone)
{
    for (const char* key : { "same", "removed", "renamed", "kept", "again", "replaced" }) {
        ASSERT_TRUE(m_database->setValue("s", key, PropertyList("old")));
    }
    listen({ "same", "removed", "added", "renamed", "renamed2", "kept", "again", "replaced" });

    ASSERT_TRUE(commit("UPDATE defaults SET value = '\"new\"' WHERE key = 'same';"
                       "DELETE FROM defaults WHERE key IN ('removed', 'again');"
                       "INSERT INTO defaults VALUES('s', 'added', '1');"
                       "UPDATE defaults SET key = 'renamed2' WHERE key = 'renamed';"));
    ASSERT_TRUE(m_database->catchUpAll());
    EXPECT_EQ(m_heard.values,
        (std::map<std::string, std::optional<PropertyList>> { { "added", PropertyList(1) },
            { "again", std::nullopt }, { "removed", std::nullopt }, { "renamed", std::nullopt },
            { "renamed2", PropertyList("old") }, { "same", PropertyList("new") } }));
    EXPECT_EQ(value("same"), PropertyList("new"));

    m_heard = {};
    ASSERT_TRUE(commit("INSERT OR IGNORE INTO defaults VALUES('s', 'again', '\"back\"');"
                       "REPLACE INTO defaults VALUES('s', 'replaced', '\"had\"');"));
    ASSERT_TRUE(m_database->catchUpAll());
    EXPECT_EQ(m_heard.values,
        (std::map<std::string, std::optional<PropertyList>> {
            { "again", PropertyList("back") }, { "replaced", PropertyList("had") } }));

    m_heard = {};
    ASSERT_TRUE(commit("DELETE FROM defaults;"));
    ASSERT_TRUE(m_database->catchUpAll());
    EXPECT_EQ(m_heard.values,
        (std::map<std::string, std::optional<PropertyList>> { { "added", std::nullopt },
            { "again", std::nullopt }, { "kept", std::nullopt }, { "renamed2", std::nullopt },
            { "replaced", std::nullopt }, { "same", std::nullopt } }));
    EXPECT_TRUE(m_database->values("s").empty());
}

// A reader's question reads its key again only when another program changed that key: the change
// is read once, by the question or by the catching up of every key, and told once.
TEST_F(OutsideCommitsTest, AQuestionReadsItsKeyOnceAfterItChanged)
{
    ASSERT_TRUE(m_database->setValue("s", "asked", PropertyList("aaa")));
    ASSERT_TRUE(m_database->setValue("s", "other", PropertyList("x")));
    listen({ "asked", "other" });

    ASSERT_TRUE(commit("UPDATE defaults SET value = '\"y\"' WHERE key = 'other';"));
    m_database->catchUp("s", "asked");
    EXPECT_TRUE(m_heard.times.empty());
    ASSERT_TRUE(commit("UPDATE defaults SET value = '\"bbb\"' WHERE key = 'asked';"));
    m_database->catchUp("s", "asked");
    EXPECT_EQ(value("asked"), PropertyList("bbb"));
    ASSERT_TRUE(m_database->catchUpAll());
    EXPECT_EQ(m_heard.times, (std::map<std::string, int> { { "asked", 1 }, { "other", 1 } }));
    EXPECT_EQ(m_heard.values["other"], PropertyList("y"));
}

// A commit beside a large row that it leaves alone does not read that row, neither for every key
// nor for a question about the large row's own key; a commit to the large row itself does.
TEST_F(OutsideCommitsTest, ACommitBesideALargeRowLeavesItUnread)
{
    constexpr std::int64_t large = 8 * 1024 * 1024;
    ASSERT_TRUE(m_database->setValue("s", "setting", PropertyList("a")));
    ASSERT_TRUE(commit("INSERT INTO defaults VALUES('s', 'large', '\"' || printf('%." + std::to_string(large)
        + "c', 'x') || '\"');"));
    ASSERT_TRUE(m_database->catchUpAll());
    listen({ "setting", "large" });

    // The most SQLite held at once above what it held before.
    const auto peakDuring = [](const std::function<void()>& work) {
        sqlite3_int64 before = 0;
        sqlite3_int64 peak = 0;
        sqlite3_status64(SQLITE_STATUS_MEMORY_USED, &before, &peak, 1);
        work();
        sqlite3_int64 now = 0;
        sqlite3_status64(SQLITE_STATUS_MEMORY_USED, &now, &peak, 0);
        return peak - before;
    };
    ASSERT_TRUE(commit("UPDATE defaults SET value = '\"b\"' WHERE key = 'setting';"));
    EXPECT_LT(peakDuring([&] { m_database->catchUp("s", "large"); }), large / 4);
    EXPECT_LT(peakDuring([&] { ASSERT_TRUE(m_database->catchUpAll()); }), large / 4);
    EXPECT_EQ(m_heard.times, (std::map<std::string, int> { { "setting", 1 } }));

    ASSERT_TRUE(commit("UPDATE defaults SET value = '\"y\"' WHERE key = 'large';"));
    m_database->catchUp("s", "large");
    EXPECT_EQ(m_heard.values["large"], PropertyList("y"));
}

// Another program that drops the counting's table or triggers, or empties its table, is still
// heard: every row is read again once and the counting made anew, so that its later writes to the
// table succeed and are heard by their keys.
TEST_F(OutsideCommitsTest, ChangesAreHeardWhenTheCountingIsDroppedOrEmptied)
{
    ASSERT_TRUE(m_database->setValue("s", "a", PropertyList(1)));
    ASSERT_TRUE(m_database->setValue("s", "b", PropertyList(1)));
    listen({ "a", "b" });

    ASSERT_TRUE(commit("DROP TRIGGER kiruvo_row_updated; UPDATE defaults SET value = '2' WHERE key = 'a';"));
    ASSERT_TRUE(m_database->catchUpAll());
    EXPECT_EQ(m_heard.values["a"], PropertyList(2));
    ASSERT_TRUE(commit("UPDATE defaults SET value = '3' WHERE key = 'a';"));
    ASSERT_TRUE(m_database->catchUpAll());
    EXPECT_EQ(m_heard.values["a"], PropertyList(3));

    // What a user reading an older build's complaint about a table of versions would drop: no
    // write fails for it.
    ASSERT_TRUE(commit("DROP TABLE IF EXISTS defaults_changes;"));
    ASSERT_TRUE(m_database->catchUpAll());
    ASSERT_TRUE(commit("UPDATE defaults SET value = '4' WHERE key = 'b';"));
    ASSERT_TRUE(m_database->catchUpAll());
    EXPECT_EQ(m_heard.values["b"], PropertyList(4));

    ASSERT_TRUE(commit("DELETE FROM defaults WHERE suite = 'kiruvo.row-versions'; UPDATE defaults SET "
                       "value = '5' WHERE key = 'a';"));
    m_database->catchUp("s", "a");
    EXPECT_EQ(value("a"), PropertyList(5));
    ASSERT_TRUE(commit("UPDATE defaults SET value = '6' WHERE key = 'b';"));
    ASSERT_TRUE(m_database->catchUpAll());
    EXPECT_EQ(m_heard.values["b"], PropertyList(6));
    EXPECT_EQ(m_heard.times, (std::map<std::string, int> { { "a", 3 }, { "b", 2 } }));
}
