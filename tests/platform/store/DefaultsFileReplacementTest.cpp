#include "platform/ErrorReporter.h"
#include "platform/store/DefaultsDatabase.h"
#include "platform/store/DefaultsFileWatch.h"
#include "platform/store/PropertyListJson.h"
#include "platform/store/UserDefaults.h"
#include "support/SqliteToolLock.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>

using namespace platform;

namespace fs = std::filesystem;

namespace {

// What another program makes of the settings file: a whole new file made by the sqlite3 tool, then
// put in the store's place by a rename, as sync tools and dotfile managers do.
class DefaultsFileReplacementTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!SqliteToolLock::available()) {
            GTEST_SKIP() << "the sqlite3 tool is not installed";
        }
        ASSERT_TRUE(m_folder.isValid());
        m_reporter = std::make_unique<ErrorReporter>(at("reports"));
        ErrorReporter::setShared(m_reporter.get());
        fs::create_directories(at("data"));
    }
    void TearDown() override { ErrorReporter::setShared(nullptr); }

    std::string at(const std::string& name) const { return m_folder.path().toStdString() + "/" + name; }
    std::string file() const { return at("data/defaults.sqlite3"); }

    // Runs `sql` on `path` with the sqlite3 tool; its output, or nothing when it failed.
    static std::optional<std::string> tool(const std::string& path, const std::string& sql)
    {
        QProcess process;
        process.start("sqlite3", { QString::fromStdString(path), QString::fromStdString(sql) });
        if (!process.waitForFinished(10000) || process.exitCode() != 0) {
            return std::nullopt;
        }
        return process.readAllStandardOutput().trimmed().toStdString();
    }
    // A settings file of `rows` (key, stored text) of the suite "test", made at `path`.
    static void make(const std::string& path, const std::vector<std::pair<std::string, std::string>>& rows)
    {
        std::string sql = "PRAGMA journal_mode=WAL; CREATE TABLE defaults(suite TEXT NOT NULL, key TEXT NOT "
                          "NULL, value TEXT NOT NULL, PRIMARY KEY(suite, key));";
        for (const auto& [key, text] : rows) {
            sql += "INSERT INTO defaults VALUES('test', '" + key + "', '" + text + "');";
        }
        ASSERT_TRUE(tool(path, sql));
    }
    // What another process finds at `path` for `key`: the file checked whole first.
    static std::optional<std::string> read(const std::string& path, const std::string& key)
    {
        const auto found = tool(path,
            "PRAGMA integrity_check; SELECT value FROM defaults WHERE suite = 'test' AND key = '" + key
                + "';");
        if (!found || found->rfind("ok", 0) != 0) {
            return found ? std::optional(*found) : std::nullopt;
        }
        const std::string value = found->substr(2);
        return value.empty() ? std::nullopt : std::optional(value.substr(value.find_first_not_of('\n')));
    }
    static PropertyList list(std::initializer_list<std::int64_t> elements)
    {
        PropertyListArray array;
        for (auto element : elements) {
            array.emplace_back(element);
        }
        return PropertyList(std::move(array));
    }
    // A history's join: what the stored list holds, less what the writer took out of its base, and
    // the writer's additions.
    static std::optional<PropertyList> joinLists(
        const PropertyList& stored, const PropertyList& written, const PropertyList* base)
    {
        const auto holds = [](const PropertyList* list, const PropertyList& element) {
            const auto* array = list ? list->getIf<PropertyListArray>() : nullptr;
            return array && std::find(array->begin(), array->end(), element) != array->end();
        };
        PropertyListArray joined;
        for (const auto& element : *stored.getIf<PropertyListArray>()) {
            if (holds(&written, element) || !holds(base, element)) {
                joined.push_back(element);
            }
        }
        for (const auto& element : *written.getIf<PropertyListArray>()) {
            if (!holds(&stored, element) && !holds(base, element)) {
                joined.push_back(element);
            }
        }
        return PropertyList(std::move(joined));
    }
    std::shared_ptr<UserDefaults> open(const std::string& path)
    {
        auto suite = std::make_shared<UserDefaults>(DefaultsDatabase::open(path), "test");
        suite->setJoin("sessions", &joinLists);
        m_heard = std::make_shared<std::vector<std::optional<PropertyList>>>();
        suite->addObserver("sessions",
            [heard = m_heard](const std::string&, const std::optional<PropertyList>&,
                const std::optional<PropertyList>& now) { heard->push_back(now); });
        return suite;
    }
    // Once the store has let go: the file at the path is whole, holds `sessions` and the dark theme,
    // and nothing but the table of values (no trigger, table or row of the store's bookkeeping).
    void expectLeftWith(const std::string& sessions) const
    {
        EXPECT_EQ(read(file(), "sessions"), sessions);
        EXPECT_EQ(read(file(), "theme"), "\"dark\"");
        EXPECT_EQ(
            tool(file(),
                "SELECT name FROM sqlite_schema WHERE name NOT IN ('defaults', "
                "'sqlite_autoindex_defaults_1') UNION ALL SELECT suite FROM defaults WHERE suite <> 'test';"),
            "");
    }
    bool heard(const PropertyList& value) const
    {
        return QTest::qWaitFor([&] { return !m_heard->empty() && m_heard->back() == value; }, 5000);
    }

    QTemporaryDir m_folder;
    std::unique_ptr<ErrorReporter> m_reporter;
    std::shared_ptr<std::vector<std::optional<PropertyList>>> m_heard;
};

} // namespace

// A sync tool's copy renamed over the file: the next write goes into the new file, which keeps its
// own sessions and settings and gets what the store wrote since it read the file before; the log
// the old connection left at the path is never applied to it. A second copy is followed by the
// watch alone.
TEST_F(DefaultsFileReplacementTest, AFileRenamedOverTheStoresIsFollowedWithWhatTheStoreWrote)
{
    make(file(), { { "sessions", "[1]" }, { "theme", "\"light\"" }, { "volume", "1" } });
    auto suite = open(file());
    ASSERT_TRUE(suite->hearOtherPrograms());
    ASSERT_TRUE(suite->setObject(list({ 1, 2 }), "sessions"));
    ASSERT_TRUE(suite->setObject(PropertyList("dark"), "theme"));
    ASSERT_TRUE(suite->setObject(PropertyList(std::int64_t { 2 }), "volume"));

    // Another machine added session 7 and changed the volume; the theme is as the store read it.
    make(at("copy"), { { "sessions", "[1,7]" }, { "theme", "\"light\"" }, { "volume", "5" } });
    fs::rename(at("copy"), file());
    ASSERT_TRUE(suite->setObject(PropertyList(std::int64_t { 3 }), "count"));

    EXPECT_EQ(read(file(), "count"), "3");
    EXPECT_EQ(read(file(), "sessions"), "[1,7,2]");
    EXPECT_EQ(read(file(), "theme"), "\"dark\"");
    EXPECT_EQ(read(file(), "volume"), "5");
    EXPECT_EQ(suite->objectForKey("volume"), PropertyList(std::int64_t { 5 }));
    EXPECT_TRUE(heard(list({ 1, 7, 2 })));

    make(at("copy"), { { "sessions", "[1,7,2,9]" } });
    fs::rename(at("copy"), file());
    EXPECT_TRUE(heard(list({ 1, 7, 2, 9 })));
    EXPECT_EQ(read(file(), "count"), "3");
    suite->close();
    EXPECT_EQ(read(file(), "sessions"), "[1,7,2,9]");
}

// A copy renamed over the file while another program holds a read transaction on the old one, a
// third having committed to that one: the store answers the copy's sessions with its own, and the
// file left at the path is whole, the copy's, and the table of values alone.
TEST_F(DefaultsFileReplacementTest, ACopyRenamedOverWhileAReaderHoldsTheOldFileIsTakenWhole)
{
    make(file(), { { "sessions", "[1,2]" } });
    auto suite = open(file());
    ASSERT_TRUE(suite->setObject(
        list({ 1, 2, 3 }), "sessions", std::make_shared<const PropertyList>(list({ 1, 2 }))));
    ASSERT_TRUE(tool(file(), "INSERT INTO defaults VALUES('test', 'volume', '4');"));
    QProcess reader;
    reader.start("sqlite3", { QString::fromStdString(file()) });
    ASSERT_TRUE(reader.waitForStarted());
    reader.write("BEGIN; SELECT count(*) FROM defaults;\n");
    ASSERT_TRUE(QTest::qWaitFor([&] { return reader.canReadLine(); }, 10000));

    make(at("copy"), { { "sessions", "[1,2,7,8,9]" } });
    fs::rename(at("copy"), file());
    ASSERT_TRUE(suite->setObject(PropertyList("dark"), "theme"));
    EXPECT_EQ(suite->objectForKey("sessions"), list({ 1, 2, 7, 8, 9, 3 }));
    reader.write("COMMIT;\n.quit\n");
    reader.closeWriteChannel();
    ASSERT_TRUE(reader.waitForFinished(10000));

    suite->close();
    expectLeftWith("[1,2,7,8,9,3]");
}

// A program that puts a consistent copy over the file (VACUUM INTO, a rename) and goes on writing
// the file at the path at once, twice: none of its commits fails or is lost, and the store's
// writes join them.
TEST_F(DefaultsFileReplacementTest, AWriterThatRenamesAndGoesOnWritingLosesNothing)
{
    make(file(), { { "sessions", "[1]" } });
    auto suite = open(file());
    ASSERT_TRUE(suite->hearOtherPrograms());
    ASSERT_TRUE(
        suite->setObject(list({ 1, 2 }), "sessions", std::make_shared<const PropertyList>(list({ 1 }))));
    const auto compactAndAdd = [&](int session) {
        QProcess writer;
        const QString script
            = QStringLiteral("set -e; rm -f \"$2\"; sqlite3 \"$1\" \"VACUUM INTO '$2'\"; mv \"$2\" \"$1\"; "
                             "sqlite3 \"$1\" \"UPDATE defaults SET value = json_insert(value, '\\$[#]', $3) "
                             "WHERE key = 'sessions'\"");
        writer.start("sh",
            { "-c", script, "sh", QString::fromStdString(file()), QString::fromStdString(at("copy")),
                QString::number(session) });
        return writer.waitForFinished(10000) && writer.exitCode() == 0
            && writer.readAllStandardError().isEmpty();
    };
    ASSERT_TRUE(compactAndAdd(5));
    ASSERT_TRUE(suite->setObject(PropertyList("dark"), "theme"));
    ASSERT_TRUE(compactAndAdd(6));
    EXPECT_TRUE(heard(list({ 1, 2, 5, 6 })));
    ASSERT_TRUE(suite->setObject(
        list({ 1, 2, 5, 6, 7 }), "sessions", std::make_shared<const PropertyList>(list({ 1, 2, 5, 6 }))));

    suite->close();
    expectLeftWith("[1,2,5,6,7]");
}

// The data folder deleted and made again: the store makes a new file there with the sessions it
// recorded since it read the one before, not the whole history the folder was emptied of; a folder
// that stays deleted gets nothing until the store writes. The settings in use are kept in it.
TEST_F(DefaultsFileReplacementTest, AFolderMadeAgainGetsANewStoreWithTheSessionsSince)
{
    make(file(), { { "sessions", "[1]" }, { "theme", "\"dark\"" } });
    auto suite = open(file());
    ASSERT_TRUE(suite->hearOtherPrograms());
    ASSERT_TRUE(
        suite->setObject(list({ 1, 2 }), "sessions", std::make_shared<const PropertyList>(list({ 1 }))));

    fs::remove_all(at("data"));
    QTest::qWait(2 * DefaultsFileWatch::settleMilliseconds);
    EXPECT_FALSE(fs::exists(at("data")));
    fs::create_directory(at("data"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return read(file(), "sessions") == "[2]"; }, 5000));
    EXPECT_TRUE(heard(list({ 2 })));

    ASSERT_TRUE(suite->setObject(list({ 2, 3 }), "sessions"));
    EXPECT_EQ(read(file(), "sessions"), "[2,3]");
    // The settings in use stay so, in the new file too.
    EXPECT_EQ(read(file(), "theme"), "\"dark\"");
    EXPECT_EQ(suite->objectForKey("theme"), PropertyList("dark"));
}

// A file the store cannot use put in its place: the store says so, reads on from memory, and keeps
// every write beside the file, durably, until the file there can be used; then they go into it.
TEST_F(DefaultsFileReplacementTest, WritesWaitBesideWhileTheFileInItsPlaceCannotBeOpened)
{
    make(file(), { { "theme", "\"light\"" } });
    auto suite = open(file());
    ASSERT_TRUE(tool(at("foreign"), "CREATE TABLE notes(text); INSERT INTO notes VALUES('mine');"));
    fs::rename(at("foreign"), file());

    EXPECT_TRUE(suite->setObject(list({ 4 }), "sessions"));
    EXPECT_TRUE(suite->hasWritesWaitingForFile());
    EXPECT_TRUE(fs::exists(file() + ".pending"));
    EXPECT_EQ(suite->objectForKey("sessions"), list({ 4 }));
    EXPECT_EQ(suite->objectForKey("theme"), PropertyList("light"));
    EXPECT_EQ(tool(file(), "SELECT text FROM notes;"), "mine");
    EXPECT_EQ(tool(file(), "SELECT count(*) FROM sqlite_schema WHERE name = 'defaults';"), "0");
    EXPECT_FALSE(suite->retryWaitingForFile());

    // Its owner makes it a settings file in place.
    ASSERT_TRUE(tool(file(),
        "DROP TABLE notes; CREATE TABLE defaults(suite TEXT NOT NULL, key TEXT NOT NULL, value TEXT NOT "
        "NULL, "
        "PRIMARY KEY(suite, key));"));
    EXPECT_TRUE(suite->retryWaitingForFile());
    EXPECT_EQ(read(file(), "sessions"), "[4]");
    EXPECT_FALSE(fs::exists(file() + ".pending"));
}

// The path a symbolic link to a file in another folder, as dotfile managers keep it: another
// program's commits, which SQLite logs beside the real file, are heard; and the link pointed at
// another file, in a third folder, is followed, watch and writes alike.
TEST_F(DefaultsFileReplacementTest, ALinkedFileIsHeardAndFollowedWhenPointedElsewhere)
{
    fs::create_directories(at("dotfiles"));
    fs::create_directories(at("other"));
    make(at("dotfiles/kiruvo.sqlite3"), { { "sessions", "[1]" } });
    fs::create_symlink("../dotfiles/kiruvo.sqlite3", file());
    auto suite = open(file());
    ASSERT_TRUE(suite->hearOtherPrograms());

    const auto commit = [](const std::string& path, const std::string& sql) {
        SqliteToolLock other(path);
        return other.hold(false) && other.exec(sql) && other.commitAndRelease();
    };
    ASSERT_TRUE(commit(file(), "UPDATE defaults SET value = '[1,2]' WHERE key = 'sessions';"));
    EXPECT_TRUE(heard(list({ 1, 2 })));

    make(at("other/kiruvo.sqlite3"), { { "sessions", "[5]" } });
    fs::create_symlink("../other/kiruvo.sqlite3", at("data/link"));
    fs::rename(at("data/link"), file());
    EXPECT_TRUE(heard(list({ 5 })));
    ASSERT_TRUE(
        commit(at("other/kiruvo.sqlite3"), "UPDATE defaults SET value = '[5,6]' WHERE key = 'sessions';"));
    EXPECT_TRUE(heard(list({ 5, 6 })));
    ASSERT_TRUE(suite->setObject(PropertyList("dark"), "theme"));
    EXPECT_EQ(read(at("other/kiruvo.sqlite3"), "theme"), "\"dark\"");
    EXPECT_EQ(read(at("dotfiles/kiruvo.sqlite3"), "sessions"), "[1,2]");
    EXPECT_TRUE(fs::is_symlink(file()));
}

// A link pointed at a file that is not there yet, as a dotfile manager does before its first sync:
// the file the store makes through it is the user's alone, as the one it makes at its own path is.
TEST_F(DefaultsFileReplacementTest, AFileMadeWhereALinkLeadsIsTheUsersAlone)
{
    const mode_t previousMask = ::umask(022);
    fs::create_directories(at("fresh"));
    auto suite = open(file());
    ASSERT_TRUE(suite->setObject(PropertyList("light"), "theme"));
    fs::create_symlink("../fresh/kiruvo.sqlite3", at("data/link"));
    fs::rename(at("data/link"), file());
    ASSERT_TRUE(suite->setObject(PropertyList("dark"), "theme"));
    EXPECT_EQ(read(at("fresh/kiruvo.sqlite3"), "theme"), "\"dark\"");
    for (const auto& entry : fs::directory_iterator(at("fresh"))) {
        EXPECT_EQ(
            entry.status().permissions() & (fs::perms::group_all | fs::perms::others_all), fs::perms::none)
            << entry.path();
    }
    ::umask(previousMask);
}

// Another program keeps the list as JSON objects, a form the history reads: what it adds and deletes
// and what the store's writer adds are joined in the file, and nothing is copied to a backup key.
TEST_F(DefaultsFileReplacementTest, AListAnotherProgramKeepsAsObjectsIsJoinedAndNeverCopiedAside)
{
    make(file(), { { "sessions", R"([{"id":1,"at":10},{"id":2,"at":20}])" } });
    auto suite = open(file());
    const auto before = suite->storedValue("sessions");
    ASSERT_TRUE(before && before->isArray());
    const auto first = before->getIf<PropertyListArray>()->at(0);
    const auto second = before->getIf<PropertyListArray>()->at(1);
    EXPECT_EQ(first, PropertyList(std::string(R"({"at":10,"id":1})")));

    ASSERT_TRUE(tool(file(), R"(UPDATE defaults SET value = '[{"id":2,"at":20},{"id":3,"at":30}]';)"));
    auto written = *before->getIf<PropertyListArray>();
    written.emplace_back(std::string("mine"));
    ASSERT_TRUE(suite->setObject(PropertyList(written), "sessions", before));

    const PropertyList expected(PropertyListArray {
        second, PropertyList(std::string(R"({"at":30,"id":3})")), PropertyList(std::string("mine")) });
    EXPECT_EQ(suite->objectForKey("sessions"), expected);
    EXPECT_EQ(PropertyListJson::decode(read(file(), "sessions").value_or("")), expected);
    EXPECT_EQ(tool(file(), "SELECT count(*) FROM defaults WHERE key LIKE 'sessions.unreadable-%';"), "0");
}

// Another program holds the file in WAL mode with a commit of its own in the log, and a copy is
// renamed over the file: the store starting then shows what the copy alone holds and keeps its
// writes beside it while that program has the log open; once it has ended (killed, leaving the log
// at the path), the log is moved aside unapplied and the copy takes the writes. Nothing is set aside
// as damaged.
TEST_F(DefaultsFileReplacementTest, AnotherFilesLogAtThePathIsNeverAppliedToTheFileThere)
{
    make(file(), { { "sessions", "[1]" } });
    ASSERT_TRUE(tool(at("copy"),
        "PRAGMA journal_mode=DELETE; CREATE TABLE defaults(suite TEXT NOT NULL, key TEXT NOT NULL, value "
        "TEXT "
        "NOT NULL, PRIMARY KEY(suite, key)); INSERT INTO defaults VALUES('test', 'sessions', '[1,5]');"));
    QProcess holder;
    holder.start("python3",
        { "-c",
            "import sqlite3, sys, time\n"
            "db = sqlite3.connect(sys.argv[1], isolation_level=None)\n"
            "db.execute('PRAGMA journal_mode=WAL'); db.execute('PRAGMA wal_autocheckpoint=0')\n"
            "db.execute(\"UPDATE defaults SET value = '[1,2,3]'\")\n"
            "print('ready', flush=True)\n"
            "time.sleep(60)\n",
            QString::fromStdString(file()) });
    ASSERT_TRUE(holder.waitForReadyRead(10000)) << holder.readAllStandardError().toStdString();
    fs::rename(at("copy"), file());
    ASSERT_TRUE(fs::exists(file() + "-wal"));

    auto suite = open(file());
    EXPECT_TRUE(suite->isWaitingForFile());
    EXPECT_EQ(suite->objectForKey("sessions"), list({ 1, 5 }));
    const auto before = suite->storedValue("sessions");
    ASSERT_TRUE(suite->setObject(list({ 1, 5, 6 }), "sessions", before));
    EXPECT_TRUE(suite->hasWritesWaitingForFile());
    EXPECT_FALSE(suite->retryWaitingForFile());

    holder.kill();
    ASSERT_TRUE(holder.waitForFinished(10000));
    ASSERT_TRUE(fs::exists(file() + "-wal"));
    EXPECT_TRUE(suite->retryWaitingForFile());
    EXPECT_EQ(suite->objectForKey("sessions"), list({ 1, 5, 6 }));
    suite->close();
    EXPECT_FALSE(fs::exists(file() + "-wal"));
    EXPECT_EQ(read(file(), "sessions"), "[1,5,6]");
    for (const auto& entry : fs::directory_iterator(at("data"))) {
        EXPECT_EQ(entry.path().filename().string().find(".corrupt-"), std::string::npos) << entry.path();
    }
}
