#include "platform/store/OutsideCommits.h"

#include "platform/store/DefaultsDatabase.h"
#include "support/SqliteToolLock.h"
#include "support/TestErrorReporter.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdint>
#include <fstream>
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

// A large row that nobody holds or listens to is never read for another program's commit, beside it
// or to it, and reads as the file holds it; one that has a listener is read again and heard when it
// changed, and not told again when it did not.
TEST_F(OutsideCommitsTest, ALargeRowIsReadOnlyWhenSomeoneFollowsIt)
{
    constexpr std::int64_t large = 8 * 1024 * 1024;
    const auto largeText
        = [&](char c) { return "'\"' || printf('%." + std::to_string(large) + "c', '" + c + "') || '\"'"; };
    ASSERT_TRUE(m_database->setValue("s", "setting", PropertyList("a")));
    ASSERT_TRUE(commit("INSERT INTO defaults VALUES('s', 'large', " + largeText('x') + ");"));
    ASSERT_TRUE(m_database->catchUpAll());
    listen({ "setting" });

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
    EXPECT_LT(peakDuring([&] { ASSERT_TRUE(m_database->catchUpAll()); }), large / 4);
    ASSERT_TRUE(commit("UPDATE defaults SET value = " + largeText('y') + " WHERE key = 'large';"));
    EXPECT_LT(peakDuring([&] { ASSERT_TRUE(m_database->catchUpAll()); }), large / 4);
    EXPECT_EQ(m_heard.times, (std::map<std::string, int> { { "setting", 1 } }));
    const auto read = value("large");
    ASSERT_TRUE(read && read->isString());
    EXPECT_EQ(std::get<std::string>(read->value()).substr(0, 3), "yyy");

    // A value nobody held cannot be compared: its new listener may hear it once, then only changes.
    listen({ "large" });
    ASSERT_TRUE(commit("UPDATE defaults SET value = '\"c\"' WHERE key = 'setting';"));
    ASSERT_TRUE(m_database->catchUpAll());
    const int heardBefore = m_heard.times["large"];
    ASSERT_TRUE(commit("UPDATE defaults SET value = '\"d\"' WHERE key = 'setting';"));
    ASSERT_TRUE(m_database->catchUpAll());
    EXPECT_EQ(m_heard.times["large"], heardBefore);
    ASSERT_TRUE(commit("UPDATE defaults SET value = '\"small now\"' WHERE key = 'large';"));
    ASSERT_TRUE(m_database->catchUpAll());
    EXPECT_EQ(m_heard.values["large"], PropertyList("small now"));
    EXPECT_EQ(m_heard.times["large"], heardBefore + 1);
    EXPECT_EQ(m_heard.times["setting"], 3);
}

namespace {

// The file's change counter (bytes 24-27 of its header), which every commit to it raises.
std::uint32_t changeCounter(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    unsigned char bytes[28] = {};
    file.read(reinterpret_cast<char*>(bytes), sizeof bytes);
    return (std::uint32_t(bytes[24]) << 24) | (std::uint32_t(bytes[25]) << 16)
        | (std::uint32_t(bytes[26]) << 8) | bytes[27];
}

std::vector<std::string> schemaNames(const std::string& path)
{
    std::vector<std::string> names;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_exec(
            db, "SELECT name FROM sqlite_schema ORDER BY name",
            [](void* list, int, char** columns, char**) {
                static_cast<std::vector<std::string>*>(list)->emplace_back(columns[0]);
                return 0;
            },
            &names, nullptr);
    }
    sqlite3_close(db);
    return names;
}

} // namespace

// The store adds nothing to the file: opening it, following another program's commits and closing it
// write nothing to it, and what an earlier build added there to count changes (triggers, a table of
// versions, rows of versions), left by a kill or a reader at its quit, is taken away at the opening,
// after which other programs' writes are heard as any.
TEST_F(OutsideCommitsTest, TheFileIsLeftAsOtherProgramsWroteIt)
{
    ASSERT_TRUE(m_database->setValue("s", "a", PropertyList(1)));
    m_database->close();
    m_database.reset();
    const std::uint32_t before = changeCounter(file());
    auto database = DefaultsDatabase::open(file());
    ASSERT_TRUE(commit("UPDATE defaults SET value = '2' WHERE key = 'a';"));
    ASSERT_TRUE(database->catchUpAll());
    EXPECT_EQ(*database->value("s", "a"), PropertyList(2));
    database->close();
    database.reset();
    EXPECT_EQ(changeCounter(file()), before + 1);

    ASSERT_TRUE(commit("CREATE TABLE defaults_changes(suite, key, version); "
                       "CREATE TRIGGER kiruvo_row_updated AFTER UPDATE ON defaults BEGIN "
                       "INSERT INTO defaults_changes VALUES(new.suite, new.key, 1); END; "
                       "CREATE TRIGGER defaults_deleted AFTER DELETE ON defaults BEGIN SELECT 1; END; "
                       "INSERT INTO defaults VALUES('kiruvo.row-versions', '1:s:a', '7');"));
    m_database = DefaultsDatabase::open(file());
    EXPECT_EQ(schemaNames(file()), (std::vector<std::string> { "defaults", "sqlite_autoindex_defaults_1" }));
    EXPECT_TRUE(m_database->values("kiruvo.row-versions").empty());
    listen({ "a" });
    ASSERT_TRUE(commit("UPDATE defaults SET value = '3' WHERE key = 'a';"));
    ASSERT_TRUE(m_database->catchUpAll());
    EXPECT_EQ(m_heard.values["a"], PropertyList(3));
}
