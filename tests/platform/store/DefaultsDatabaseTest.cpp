#include "platform/store/DefaultsDatabase.h"

#include "platform/Logger.h"
#include "platform/store/PropertyListJson.h"
#include "support/OtherUsersFolder.h"
#include "support/SqliteToolLock.h"
#include "support/TestErrorReporter.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <thread>

#include <sys/wait.h>
#include <unistd.h>

using namespace platform;
namespace fs = std::filesystem;

namespace {

std::string readFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void writeFile(const fs::path& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

// A second, independent look at the file, as another process would have it.
class RawConnection {
public:
    explicit RawConnection(const std::string& path) { sqlite3_open(path.c_str(), &m_db); }
    ~RawConnection() { sqlite3_close(m_db); }
    bool exec(const std::string& sql)
    {
        return sqlite3_exec(m_db, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
    }
    std::optional<std::string> text(const std::string& sql)
    {
        sqlite3_stmt* statement = nullptr;
        std::optional<std::string> result;
        if (sqlite3_prepare_v2(m_db, sql.c_str(), -1, &statement, nullptr) == SQLITE_OK
            && sqlite3_step(statement) == SQLITE_ROW) {
            result = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
        }
        sqlite3_finalize(statement);
        return result;
    }

    sqlite3* handle() const { return m_db; }

private:
    sqlite3* m_db = nullptr;
};

std::vector<fs::path> movedAside(const fs::path& folder, const std::string& name)
{
    std::vector<fs::path> found;
    for (const auto& entry : fs::directory_iterator(folder)) {
        auto file = entry.path().filename().string();
        if (file.rfind(name + ".corrupt-", 0) == 0) {
            found.push_back(entry.path());
        }
    }
    std::sort(found.begin(), found.end());
    return found;
}

class DefaultsDatabaseTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_folder.isValid());
        ASSERT_TRUE(m_reporter.isValid());
    }
    // Whether the failure was both logged and handed to the error reporter.
    bool loggedAndReported(const std::string& text) const
    {
        return m_log.countContaining(text) > 0
            && readFile(m_reporter.reportsPath()).find(text) != std::string::npos;
    }

    fs::path folder() const { return fs::path(m_folder.path().toStdString()); }
    std::string file() const { return (folder() / "defaults.sqlite3").string(); }

    QTemporaryDir m_folder;
    platform::LogCapture m_log;
    TestErrorReporter m_reporter;
};

} // namespace

TEST_F(DefaultsDatabaseTest, WritesAreOnDiskInTheirTextFormWhenTheCallReturns)
{
    auto database = DefaultsDatabase::open(file());
    EXPECT_EQ(database->path(), file());
    ASSERT_TRUE(database->setValue("suite", "interval", 600.0));
    ASSERT_TRUE(database->setValue("suite", "list", PropertyListArray { 1, "a/b" }));
    ASSERT_TRUE(database->setValue("other", "interval", 3));

    RawConnection raw(file());
    EXPECT_EQ(raw.text("PRAGMA journal_mode"), "delete");
    EXPECT_EQ(raw.text("SELECT value FROM defaults WHERE suite='suite' AND key='interval'"), "600.0");
    EXPECT_EQ(raw.text("SELECT value FROM defaults WHERE suite='suite' AND key='list'"), "[1,\"a\\/b\"]");
    EXPECT_EQ(raw.text("SELECT value FROM defaults WHERE suite='other' AND key='interval'"), "3");

    ASSERT_TRUE(database->setValue("suite", "interval", std::nullopt));
    EXPECT_EQ(raw.text("SELECT count(*) FROM defaults WHERE key='interval'"), "1");
    EXPECT_EQ(database->value("suite", "interval"), nullptr);
}

TEST_F(DefaultsDatabaseTest, AReopenedStoreHoldsWhatWasWritten)
{
    const PropertyList history = PropertyListArray { PropertyListDictionary {
        { "start", Date(700000000.5) }, { "bytes", Bytes { 0, 1, 255 } }, { "zero", -0.0 } } };
    {
        auto database = DefaultsDatabase::open(file());
        ASSERT_TRUE(database->setValue("s", "history", history));
        ASSERT_TRUE(database->setValue("s", "count", std::int64_t { 1 } << 62));
        ASSERT_TRUE(database->setValue("s", "gone", "x"));
        ASSERT_TRUE(database->setValue("s", "gone", std::nullopt));
    }
    auto database = DefaultsDatabase::open(file());
    ASSERT_NE(database->value("s", "history"), nullptr);
    EXPECT_EQ(*database->value("s", "history"), history);
    ASSERT_NE(database->value("s", "count"), nullptr);
    EXPECT_EQ(*database->value("s", "count"), PropertyList(std::int64_t { 1 } << 62));
    EXPECT_EQ(database->value("s", "gone"), nullptr);
    EXPECT_EQ(database->values("s").size(), 2u);
    EXPECT_TRUE(database->values("nothing").empty());
    EXPECT_TRUE(database->movedAsidePath().empty());
}

// Reads are served from the values held in memory, so the pages SQLite went through to open the
// file and to write a large value must not stay in memory beside them. A large history is about a
// megabyte of pages; what SQLite itself needs to stay open is far less.
// A list as long as a history of thousands of sessions, far above deferredDecodeSize.
PropertyListArray largeHistory(int count = 5000)
{
    PropertyListArray history;
    for (int index = 0; index < count; ++index) {
        history.emplace_back(std::string(180, static_cast<char>('a' + index % 26)) + std::to_string(index));
    }
    return history;
}

TEST_F(DefaultsDatabaseTest, ThePagesReadAtOpenAndWrittenAreNotKeptInMemory)
{
    PropertyListArray history = largeHistory();
    const std::int64_t bigEnough = 512 * 1024;
    {
        auto database = DefaultsDatabase::open(file());
        ASSERT_TRUE(database->setValue("s", "history", history));
    }
    const std::int64_t before = sqlite3_memory_used();
    auto database = DefaultsDatabase::open(file());
    ASSERT_NE(database->value("s", "history"), nullptr);
    EXPECT_LT(sqlite3_memory_used() - before, bigEnough) << "after opening";

    history.emplace_back("one more");
    ASSERT_TRUE(database->setValue("s", "history", history));
    EXPECT_LT(sqlite3_memory_used() - before, bigEnough) << "after a write";
    ASSERT_TRUE(database->setValue("s", "small", 1));
    EXPECT_EQ(*database->value("s", "history"), PropertyList(history));

    database.reset();
    auto reopened = DefaultsDatabase::open(file());
    ASSERT_NE(reopened->value("s", "history"), nullptr);
    EXPECT_EQ(*reopened->value("s", "history"), PropertyList(history));
}

// Whoever reads a large value keeps it in its own form; the store must not keep a second copy for
// the process's life, yet every read must still give what is stored.
TEST_F(DefaultsDatabaseTest, ALargeValueStaysInMemoryOnlyWhileSomeoneHoldsIt)
{
    const PropertyList history(largeHistory());
    {
        auto database = DefaultsDatabase::open(file());
        ASSERT_TRUE(database->setValue("s", "history", history));
        ASSERT_TRUE(database->setValue("s", "small", "kept"));
    }
    auto database = DefaultsDatabase::open(file());
    std::weak_ptr<const PropertyList> read = database->value("s", "history");
    EXPECT_TRUE(read.expired()) << "the value decoded at open is the first reader's alone";

    DefaultsDatabase::Value held = database->value("s", "history");
    ASSERT_NE(held, nullptr);
    EXPECT_EQ(*held, history);
    EXPECT_EQ(database->value("s", "history"), held) << "read again while held: the same value";
    read = held;
    held.reset();
    EXPECT_TRUE(read.expired());
    ASSERT_NE(database->value("s", "history"), nullptr);
    EXPECT_EQ(*database->value("s", "history"), history);

    std::weak_ptr<const PropertyList> small = database->value("s", "small");
    EXPECT_FALSE(small.expired()) << "small values are kept";

    // What a writer stored is not kept either, and reads back as written.
    PropertyListArray longer = largeHistory(5001);
    ASSERT_TRUE(database->setValue("s", "history", longer));
    read = database->value("s", "history");
    EXPECT_TRUE(read.expired());
    EXPECT_EQ(*database->value("s", "history"), PropertyList(longer));
    const auto all = database->values("s");
    ASSERT_EQ(all.size(), 2u);
    for (const auto& [key, value] : all) {
        ASSERT_NE(value, nullptr) << key;
        EXPECT_EQ(*value, key == "history" ? PropertyList(longer) : PropertyList("kept"));
    }
}

TEST_F(DefaultsDatabaseTest, ListenersOfALargeValueHearWhatItWasAndIs)
{
    const PropertyList first(largeHistory(4000));
    const PropertyList second(largeHistory(4001));
    auto database = DefaultsDatabase::open(file());
    std::vector<std::pair<std::optional<PropertyList>, std::optional<PropertyList>>> heard;
    database->addListener(
        "s", "history", [&](const std::string&, const auto& oldValue, const auto& newValue) {
            heard.emplace_back(oldValue ? std::optional(*oldValue) : std::nullopt,
                newValue ? std::optional(*newValue) : std::nullopt);
        });
    ASSERT_TRUE(database->setValue("s", "history", first));
    ASSERT_TRUE(database->setValue("s", "history", second));
    ASSERT_TRUE(database->setValue("s", "history", 1));
    ASSERT_TRUE(database->setValue("s", "history", second));
    ASSERT_TRUE(database->setValue("s", "history", std::nullopt));
    const std::vector<std::pair<std::optional<PropertyList>, std::optional<PropertyList>>> expected {
        { std::nullopt, first },
        { first, second },
        { second, PropertyList(1) },
        { PropertyList(1), second },
        { second, std::nullopt },
    };
    EXPECT_TRUE(heard == expected);
    EXPECT_EQ(database->value("s", "history"), nullptr);
}

TEST_F(DefaultsDatabaseTest, ALargeValueStillReadsOnceTheFileIsClosed)
{
    const PropertyList history(largeHistory());
    auto database = DefaultsDatabase::open(file());
    ASSERT_TRUE(database->setValue("s", "history", history));
    database->close();
    ASSERT_NE(database->value("s", "history"), nullptr);
    EXPECT_EQ(*database->value("s", "history"), history);
    ASSERT_EQ(database->values("s").size(), 1u);
}

// Another program (an instance quitting as this one starts) may change the row in between: the
// value then reads as the file has it, and a text that does not read is kept, as at open.
TEST_F(DefaultsDatabaseTest, ALargeValueChangedByAnotherProgramReadsAsTheFileHasIt)
{
    auto database = DefaultsDatabase::open(file());
    ASSERT_TRUE(database->setValue("s", "history", largeHistory()));
    ASSERT_TRUE(database->setValue("s", "other", largeHistory()));
    RawConnection raw(file());
    ASSERT_TRUE(
        raw.exec("UPDATE defaults SET value = '[\"' || printf('%.70000c', 'x') || '\"' WHERE key='history'"));
    ASSERT_TRUE(raw.exec("DELETE FROM defaults WHERE key='other'"));

    EXPECT_EQ(database->value("s", "history"), nullptr);
    EXPECT_TRUE(loggedAndReported("could not be read again"));
    EXPECT_EQ(database->value("s", "other"), nullptr);
    EXPECT_TRUE(loggedAndReported("another program removed it"));
    EXPECT_TRUE(database->values("s").empty());

    const auto damaged = raw.text("SELECT value FROM defaults WHERE key='history'");
    ASSERT_TRUE(database->setValue("s", "history", "new"));
    bool copied = false;
    for (const auto& [key, value] : database->values("s")) {
        copied = copied || (key.rfind("history.unreadable-", 0) == 0 && *value == PropertyList(*damaged));
    }
    EXPECT_TRUE(copied);
}

// What the database file holds without its -wal and -shm files, as a copy of it alone would.
std::optional<std::string> valueInTheFileAlone(const fs::path& file, const fs::path& copyFolder)
{
    fs::create_directories(copyFolder);
    const fs::path copy = copyFolder / "copy.sqlite3";
    fs::copy_file(file, copy, fs::copy_options::overwrite_existing);
    RawConnection raw(copy.string());
    return raw.text("SELECT value FROM defaults WHERE suite='s' AND key='sessions'");
}

// The one file holds every write when the call returns, and nothing lies beside it while the store
// and another connection (a relaunch's overlap) have it open: a file renamed over it meets no log.
TEST_F(DefaultsDatabaseTest, TheFileAloneHoldsEveryWriteAndNothingLiesBesideIt)
{
    auto database = DefaultsDatabase::open(file());
    ASSERT_TRUE(database->setValue("s", "sessions", PropertyListArray { "one" }));
    {
        RawConnection reader(file());
        ASSERT_EQ(reader.text("SELECT value FROM defaults WHERE key='sessions'"), "[\"one\"]");
        ASSERT_TRUE(database->setValue("s", "sessions", PropertyListArray { "one", "two" }));
        EXPECT_EQ(valueInTheFileAlone(file(), folder() / "second"), "[\"one\",\"two\"]");
        for (const char* companion : { "-wal", "-shm", "-journal" }) {
            EXPECT_FALSE(fs::exists(file() + companion)) << companion;
        }
    }

    database->close();
    // Reads go on from memory; a write after the close is refused, not lost silently.
    ASSERT_NE(database->value("s", "sessions"), nullptr);
    EXPECT_FALSE(database->setValue("s", "late", 1));
    EXPECT_TRUE(loggedAndReported("the database is closed"));
    database->close(); // twice is harmless
    EXPECT_FALSE(database->checkpoint());
}

TEST_F(DefaultsDatabaseTest, DestroyingTheStoreLeavesEverythingInTheOneFile)
{
    {
        auto database = DefaultsDatabase::open(file());
        ASSERT_TRUE(database->setValue("s", "sessions", PropertyListArray { "kept" }));
    }
    EXPECT_FALSE(fs::exists(file() + "-wal"));
    EXPECT_EQ(valueInTheFileAlone(file(), folder() / "copy"), "[\"kept\"]");
}

TEST_F(DefaultsDatabaseTest, AFileThatIsNotADatabaseIsMovedAsideIntact)
{
    std::string garbage;
    for (int i = 0; i < 5000; ++i) {
        garbage += static_cast<char>((i * 7919) % 256);
    }
    writeFile(file(), garbage);
    writeFile(file() + "-wal", "wal bytes");

    auto database = DefaultsDatabase::open(file());
    auto moved = movedAside(folder(), "defaults.sqlite3");
    ASSERT_GE(moved.size(), 2u); // the file, its -wal, and the -shm that reading it may have made
    EXPECT_EQ(database->movedAsidePath(), moved[0].string());
    EXPECT_EQ(readFile(moved[0]), garbage);
    EXPECT_EQ(readFile(database->movedAsidePath() + "-wal"), "wal bytes");
    EXPECT_TRUE(loggedAndReported("moved to"));

    // The store goes on, in a fresh file at the same place.
    EXPECT_EQ(database->path(), file());
    EXPECT_TRUE(database->values("s").empty());
    ASSERT_TRUE(database->setValue("s", "k", "v"));
    database.reset();
    auto reopened = DefaultsDatabase::open(file());
    ASSERT_NE(reopened->value("s", "k"), nullptr);
    EXPECT_EQ(*reopened->value("s", "k"), PropertyList("v"));
    EXPECT_EQ(readFile(moved[0]), garbage);
}

TEST_F(DefaultsDatabaseTest, ADatabaseWithDamagedPagesIsMovedAside)
{
    {
        auto database = DefaultsDatabase::open(file());
        for (int i = 0; i < 2000; ++i) {
            ASSERT_TRUE(database->setValue("s", "key" + std::to_string(i), std::string(100, 'x')));
        }
    }
    std::string bytes = readFile(file());
    ASSERT_GT(bytes.size(), 3 * 4096u);
    for (std::size_t i = 4096 + 8; i < 3 * 4096; ++i) {
        bytes[i] = static_cast<char>(0xA5);
    }
    writeFile(file(), bytes);

    auto database = DefaultsDatabase::open(file());
    ASSERT_FALSE(database->movedAsidePath().empty());
    EXPECT_EQ(readFile(database->movedAsidePath()), bytes);
    EXPECT_EQ(database->path(), file());
    EXPECT_TRUE(database->values("s").empty());
    EXPECT_TRUE(database->setValue("s", "k", 1));
}

TEST_F(DefaultsDatabaseTest, ADirectoryInThePlaceOfTheFileIsMovedAsideWithItsContents)
{
    fs::create_directory(file());
    writeFile(fs::path(file()) / "keep.txt", "keep me");

    auto database = DefaultsDatabase::open(file());
    ASSERT_FALSE(database->movedAsidePath().empty());
    EXPECT_EQ(readFile(fs::path(database->movedAsidePath()) / "keep.txt"), "keep me");
    EXPECT_TRUE(fs::is_regular_file(file()));
    EXPECT_TRUE(database->setValue("s", "k", 1));
}

TEST_F(DefaultsDatabaseTest, AnUnusableFolderFallsBackToMemory)
{
    writeFile(folder() / "plain-file", "not a folder");
    const std::string path = (folder() / "plain-file" / "defaults.sqlite3").string();

    auto database = DefaultsDatabase::open(path);
    EXPECT_EQ(database->requestedPath(), path);
    EXPECT_EQ(database->path(), ":memory:");
    EXPECT_TRUE(loggedAndReported("could not be opened"));
    EXPECT_EQ(readFile(folder() / "plain-file"), "not a folder");
    ASSERT_TRUE(database->setValue("s", "k", 2));
    EXPECT_EQ(*database->value("s", "k"), PropertyList(2));
}

TEST_F(DefaultsDatabaseTest, AFolderOfAnotherUsersIsNotUsedDirectlyOrThroughALink)
{
    const fs::path others = otherUsersFolder(folder());
    ASSERT_FALSE(others.empty());
    fs::create_directory_symlink(others, folder() / "linked");
    for (const fs::path& path : { others / "defaults.sqlite3", folder() / "linked" / "defaults.sqlite3" }) {
        SCOPED_TRACE(path.string());
        auto database = DefaultsDatabase::open(path.string());
        EXPECT_EQ(database->path(), ":memory:");
        EXPECT_NE(database->unavailableReason().find("belongs to another user"), std::string::npos)
            << database->unavailableReason();
        ASSERT_TRUE(database->setValue("s", "k", 2));
    }
    if (others != "/") {
        EXPECT_TRUE(fs::is_empty(others)) << "nothing was made in it";
    }
}

TEST_F(DefaultsDatabaseTest, AnUnreadableRowIsIgnoredAndKept)
{
    {
        auto database = DefaultsDatabase::open(file());
        ASSERT_TRUE(database->setValue("s", "good", 1));
    }
    {
        RawConnection raw(file());
        ASSERT_TRUE(raw.exec("INSERT INTO defaults VALUES('s', 'bad', '{\"future\":1}')"));
    }
    auto database = DefaultsDatabase::open(file());
    EXPECT_TRUE(database->movedAsidePath().empty());
    EXPECT_NE(database->value("s", "good"), nullptr);
    EXPECT_EQ(database->value("s", "bad"), nullptr);
    EXPECT_TRUE(loggedAndReported("could not be read"));
    database.reset();
    RawConnection raw(file());
    EXPECT_EQ(raw.text("SELECT value FROM defaults WHERE key='bad'"), "{\"future\":1}");
}

// The damaged texts of a history that a stray byte, another writer or a bad disk may leave.
const std::vector<std::string>& damagedTexts()
{
    static const std::vector<std::string> texts {
        "[\"{\\\"id\\\":1}\"", // one byte lost at the end
        "[\"\xff\xfe\"]", // not UTF-8
        "[NaN]",
        "[1e999]",
        std::string(100000, '[') + std::string(100000, ']'), // nested too deeply
        "{\"future\":1}",
    };
    return texts;
}

TEST_F(DefaultsDatabaseTest, TheTextOfAnUnreadableRowIsCopiedAsideByTheWriteThatReplacesIt)
{
    for (const std::string& damaged : damagedTexts()) {
        const std::string path = (folder() / ("d" + std::to_string(damaged.size()) + ".sqlite3")).string();
        {
            auto database = DefaultsDatabase::open(path);
            ASSERT_TRUE(database->setValue("s", "sessions", PropertyListArray { "old" }));
        }
        {
            RawConnection raw(path);
            sqlite3_stmt* statement = nullptr;
            sqlite3_prepare_v2(raw.handle(), "UPDATE defaults SET value = ?1 WHERE key = 'sessions'", -1,
                &statement, nullptr);
            sqlite3_bind_text(
                statement, 1, damaged.data(), static_cast<int>(damaged.size()), SQLITE_TRANSIENT);
            ASSERT_EQ(sqlite3_step(statement), SQLITE_DONE);
            sqlite3_finalize(statement);
        }
        auto database = DefaultsDatabase::open(path);
        EXPECT_EQ(database->value("s", "sessions"), nullptr);
        EXPECT_EQ(database->unreadableText("s", "sessions"), damaged);

        ASSERT_TRUE(database->setValue("s", "sessions", PropertyListArray { "new" }));
        EXPECT_EQ(database->unreadableText("s", "sessions"), std::nullopt);
        std::vector<std::pair<std::string, DefaultsDatabase::Value>> backups;
        for (auto& [key, value] : database->values("s")) {
            if (key.rfind("sessions.unreadable-", 0) == 0) {
                backups.emplace_back(key, value);
            }
        }
        ASSERT_EQ(backups.size(), 1U);
        const PropertyList& copy = *backups.front().second;
        if (const auto* text = copy.getIf<std::string>()) {
            EXPECT_EQ(*text, damaged);
        } else {
            ASSERT_TRUE(copy.getIf<Bytes>());
            EXPECT_EQ(*copy.getIf<Bytes>(), Bytes(damaged.begin(), damaged.end()));
        }

        // The copy is in the file, and read back alike.
        const std::string backupKey = backups.front().first;
        database.reset();
        database = DefaultsDatabase::open(path);
        ASSERT_NE(database->value("s", backupKey), nullptr);
        EXPECT_EQ(*database->value("s", backupKey), copy);
        EXPECT_EQ(*database->value("s", "sessions"), PropertyList(PropertyListArray { "new" }));
        EXPECT_EQ(database->unreadableText("s", "sessions"), std::nullopt);
    }
}

TEST_F(DefaultsDatabaseTest, ARemovalAlsoCopiesAnUnreadableRowEvenWhenALockDelaysIt)
{
    {
        auto database = DefaultsDatabase::open(file());
        ASSERT_TRUE(database->setValue("s", "other", 1));
        RawConnection raw(file());
        ASSERT_TRUE(raw.exec("INSERT INTO defaults VALUES('s', 'k', '[NaN]')"));
    }
    auto database = DefaultsDatabase::open(file(), { .busyTimeoutMilliseconds = 0 });
    RawConnection raw(file());
    {
        RawConnection other(file());
        ASSERT_TRUE(other.exec("BEGIN IMMEDIATE"));
        ASSERT_TRUE(database->setValue("s", "k", std::nullopt));
        EXPECT_EQ(database->value("s", "k"), nullptr);
        EXPECT_EQ(raw.text("SELECT value FROM defaults WHERE key='k'"), "[NaN]");
        EXPECT_EQ(raw.text("SELECT count(*) FROM defaults WHERE key LIKE 'k.unreadable-%'"), "0");
        ASSERT_TRUE(other.exec("ROLLBACK"));
    }
    database->retry();
    EXPECT_EQ(raw.text("SELECT count(*) FROM defaults WHERE key='k'"), "0");
    EXPECT_EQ(raw.text("SELECT value FROM defaults WHERE key LIKE 'k.unreadable-%'"), "\"[NaN]\"");
    EXPECT_EQ(database->unreadableText("s", "k"), std::nullopt);
    EXPECT_TRUE(loggedAndReported("its text was copied to"));

    ASSERT_TRUE(database->setValue("s", "other", 2));
    EXPECT_EQ(raw.text("SELECT count(*) FROM defaults WHERE key LIKE 'k.unreadable-%'"), "1");
}

TEST_F(DefaultsDatabaseTest, ADatabaseOfAnotherProgramIsLeftAsItWas)
{
    const std::vector<std::pair<std::string, std::string>> foreign {
        { "other-tables", "CREATE TABLE notes(id INTEGER PRIMARY KEY, body TEXT)" },
        { "other-shape", "CREATE TABLE defaults(key TEXT PRIMARY KEY, value BLOB)" },
        { "extra-table",
            "CREATE TABLE defaults(suite TEXT NOT NULL, key TEXT NOT NULL, value TEXT NOT NULL, PRIMARY "
            "KEY(suite, key)); CREATE TABLE notes(body TEXT)" },
    };
    for (const auto& [name, schema] : foreign) {
        const std::string path = (folder() / (name + ".db")).string();
        {
            RawConnection raw(path);
            ASSERT_TRUE(raw.exec(schema));
        }
        const std::string before = readFile(path);
        auto database = DefaultsDatabase::open(path);
        EXPECT_EQ(database->path(), ":memory:") << name;
        EXPECT_NE(database->unavailableReason().find("not Kiruvo's settings database"), std::string::npos);
        EXPECT_TRUE(database->movedAsidePath().empty());
        ASSERT_TRUE(database->setValue("s", "k", 1));
        database.reset();
        EXPECT_EQ(readFile(path), before) << name;
        EXPECT_FALSE(fs::exists(path + "-wal")) << name;
        RawConnection raw(path);
        EXPECT_EQ(raw.text("PRAGMA journal_mode"), "delete") << name;
    }
    EXPECT_TRUE(loggedAndReported("it is left as it is"));
}

// A write that can be neither stored nor kept for later (the file is held, and nothing can be
// created beside it) changes nothing.
TEST_F(DefaultsDatabaseTest, AFailedWriteChangesNothingAndTellsNoOne)
{
    auto database = DefaultsDatabase::open(file(), { .busyTimeoutMilliseconds = 20 });
    ASSERT_TRUE(database->setValue("s", "k", "stored"));
    int calls = 0;
    database->addListener("s", "k", [&](auto&, auto&, auto&) { ++calls; });
    fs::create_directory(database->pendingPath());

    RawConnection other(file());
    ASSERT_TRUE(other.exec("BEGIN IMMEDIATE"));
    EXPECT_FALSE(database->setValue("s", "k", "not stored"));
    EXPECT_FALSE(database->setValue("s", "k", std::nullopt));
    EXPECT_FALSE(database->setValue("s", "new", 1));
    EXPECT_EQ(*database->value("s", "k"), PropertyList("stored"));
    EXPECT_EQ(database->value("s", "new"), nullptr);
    EXPECT_EQ(calls, 0);
    EXPECT_TRUE(loggedAndReported("was not stored"));
    ASSERT_TRUE(other.exec("COMMIT"));

    EXPECT_TRUE(database->setValue("s", "k", "now stored"));
    EXPECT_EQ(calls, 1);
}

TEST_F(DefaultsDatabaseTest, AValueThatCannotBeEncodedIsRefused)
{
    auto database = DefaultsDatabase::open(file());
    ASSERT_TRUE(database->setValue("s", "k", 1.5));
    EXPECT_FALSE(database->setValue("s", "k", std::numeric_limits<double>::quiet_NaN()));
    EXPECT_FALSE(database->setValue("s", "k", PropertyListArray { std::numeric_limits<double>::infinity() }));
    EXPECT_EQ(*database->value("s", "k"), PropertyList(1.5));
    RawConnection raw(file());
    EXPECT_EQ(raw.text("SELECT value FROM defaults WHERE key='k'"), "1.5");
}

TEST_F(DefaultsDatabaseTest, ListenersHearWritesOfTheirKeyOnly)
{
    auto database = DefaultsDatabase::open(":memory:");
    std::vector<std::string> heard;
    auto id = database->addListener(
        "s", "k", [&](const std::string& key, const auto& oldValue, const auto& newValue) {
            auto describe = [](const DefaultsDatabase::Value& v) {
                return v ? std::to_string(*v->getIf<std::int64_t>()) : std::string("-");
            };
            heard.push_back(key + ":" + describe(oldValue) + ">" + describe(newValue));
        });
    database->setValue("s", "k", 1);
    database->setValue("s", "k", 1);
    database->setValue("s", "other", 5);
    database->setValue("t", "k", 5);
    database->setValue("s", "k", std::nullopt);
    database->removeListener(id);
    database->setValue("s", "k", 2);
    EXPECT_EQ(heard, (std::vector<std::string> { "k:->1", "k:1>1", "k:1>-" }));
}

TEST_F(DefaultsDatabaseTest, AListenerRemovedDuringDeliveryIsNotCalled)
{
    auto database = DefaultsDatabase::open(":memory:");
    std::vector<int> calls;
    DefaultsDatabase::ListenerId second = 0;
    database->addListener("s", "k", [&](auto&, auto&, auto&) {
        calls.push_back(1);
        database->removeListener(second);
        // Reading and writing from inside a delivery must not deadlock.
        database->setValue("s", "echo", database->value("s", "k") ? 1 : 0);
    });
    second = database->addListener("s", "k", [&](auto&, auto&, auto&) { calls.push_back(2); });
    database->setValue("s", "k", 1);
    database->setValue("s", "k", 2);
    EXPECT_EQ(calls, (std::vector<int> { 1, 1 }));
    EXPECT_EQ(*database->value("s", "echo"), PropertyList(1));
}

TEST_F(DefaultsDatabaseTest, ConcurrentWritersAndReadersAgreeWithTheFile)
{
    auto database = DefaultsDatabase::open(file());
    std::atomic<int> notified = 0;
    database->addListener("s", "shared", [&](auto&, auto&, auto& newValue) {
        EXPECT_NE(newValue, nullptr);
        ++notified;
    });
    constexpr int writers = 4, writes = 50;
    std::atomic<bool> done = false;
    std::vector<std::thread> threads;
    for (int w = 0; w < writers; ++w) {
        threads.emplace_back([&, w] {
            for (int i = 0; i < writes; ++i) {
                EXPECT_TRUE(database->setValue("s", "own" + std::to_string(w), i));
                EXPECT_TRUE(database->setValue("s", "shared", PropertyListArray { w, i }));
            }
        });
    }
    std::thread reader([&] {
        while (!done) {
            if (auto value = database->value("s", "shared")) {
                EXPECT_EQ(value->getIf<PropertyListArray>()->size(), 2u);
            }
            database->values("s");
        }
    });
    for (auto& thread : threads) {
        thread.join();
    }
    done = true;
    reader.join();
    EXPECT_EQ(notified, writers * writes);

    auto cached = database->values("s");
    database.reset();
    auto reopened = DefaultsDatabase::open(file());
    ASSERT_EQ(reopened->values("s").size(), cached.size());
    for (const auto& [key, value] : cached) {
        ASSERT_NE(reopened->value("s", key), nullptr) << key;
        EXPECT_EQ(*reopened->value("s", key), *value) << key;
    }
    EXPECT_EQ(*reopened->value("s", "own0"), PropertyList(writes - 1));
}

// A long history is decoded when it is first read, not at open; however the first reads come, from
// one thread or many, before or with a write, each sees what is stored and the text is decoded once.
PropertyList longHistory(int marker)
{
    PropertyListArray entries;
    for (int i = 0; i < 4000; ++i) {
        entries.emplace_back("{\"id\":\"" + std::to_string(marker) + "-" + std::to_string(i) + "\"}");
    }
    return PropertyList(std::move(entries));
}

TEST_F(DefaultsDatabaseTest, ALongValueReadsAsStoredWhoeverReadsItFirst)
{
    const PropertyList history = longHistory(1);
    {
        auto database = DefaultsDatabase::open(file());
        ASSERT_TRUE(database->setValue("s", "sessions", history));
        ASSERT_TRUE(database->setValue("s", "small", 1));
        ASSERT_GE(PropertyListJson::encode(history)->size(), DefaultsDatabase::deferredDecodeSize);
    }
    // Every reader at once.
    {
        auto database = DefaultsDatabase::open(file());
        std::vector<DefaultsDatabase::Value> seen(6);
        std::vector<std::thread> readers;
        for (std::size_t i = 0; i < seen.size(); ++i) {
            readers.emplace_back([&, i] { seen[i] = database->value("s", "sessions"); });
        }
        for (auto& reader : readers) {
            reader.join();
        }
        ASSERT_NE(seen.front(), nullptr);
        EXPECT_EQ(*seen.front(), history);
        for (const auto& value : seen) {
            // One decode, shared by all.
            EXPECT_EQ(value, seen.front());
        }
        EXPECT_EQ(database->value("s", "sessions"), seen.front());
    }
    // The suite's list holds it before any single read.
    {
        auto database = DefaultsDatabase::open(file());
        const auto values = database->values("s");
        ASSERT_EQ(values.size(), 2u);
        const auto found = std::find_if(
            values.begin(), values.end(), [](const auto& entry) { return entry.first == "sessions"; });
        ASSERT_NE(found, values.end());
        EXPECT_EQ(*found->second, history);
    }
    // A write before any read: its listeners hear what was stored, and the new value is kept.
    {
        auto database = DefaultsDatabase::open(file());
        DefaultsDatabase::Value heardOld;
        database->addListener(
            "s", "sessions", [&](auto&, const auto& oldValue, auto&) { heardOld = oldValue; });
        ASSERT_TRUE(database->setValue("s", "sessions", longHistory(2)));
        ASSERT_NE(heardOld, nullptr);
        EXPECT_EQ(*heardOld, history);
    }
    auto database = DefaultsDatabase::open(file());
    EXPECT_EQ(*database->value("s", "sessions"), longHistory(2));
    EXPECT_FALSE(m_log.countContaining("could not be read"));
}

TEST_F(DefaultsDatabaseTest, ALongValueThatDoesNotDecodeIsReportedWhenReadAndCopiedAsideByItsWrite)
{
    std::string damaged = *PropertyListJson::encode(longHistory(1));
    damaged.pop_back();
    {
        auto database = DefaultsDatabase::open(file());
        ASSERT_TRUE(database->setValue("s", "sessions", 1));
        RawConnection raw(file());
        sqlite3_stmt* statement = nullptr;
        sqlite3_prepare_v2(
            raw.handle(), "UPDATE defaults SET value = ?1 WHERE key = 'sessions'", -1, &statement, nullptr);
        sqlite3_bind_text(statement, 1, damaged.data(), static_cast<int>(damaged.size()), SQLITE_TRANSIENT);
        ASSERT_EQ(sqlite3_step(statement), SQLITE_DONE);
        sqlite3_finalize(statement);
    }
    auto database = DefaultsDatabase::open(file());
    EXPECT_FALSE(m_log.countContaining("could not be read"));
    EXPECT_EQ(database->value("s", "sessions"), nullptr);
    EXPECT_TRUE(loggedAndReported("it reads as unset and is copied to a backup key"));
    EXPECT_EQ(database->unreadableText("s", "sessions"), damaged);
    EXPECT_EQ(m_log.countContaining("could not be read"), 1);

    ASSERT_TRUE(database->setValue("s", "sessions", longHistory(2)));
    EXPECT_EQ(database->unreadableText("s", "sessions"), std::nullopt);
    RawConnection raw(file());
    EXPECT_EQ(raw.text("SELECT count(*) FROM defaults WHERE key LIKE 'sessions.unreadable-%'"), "1");
}

TEST_F(DefaultsDatabaseTest, ReadersOfALargeValueBeingRewrittenGetAWholeWrittenValue)
{
    const std::vector<PropertyList> written { PropertyList(largeHistory(1000)),
        PropertyList(largeHistory(1001)) };
    auto database = DefaultsDatabase::open(file());
    ASSERT_TRUE(database->setValue("s", "history", written[0]));
    std::atomic<bool> done = false;
    std::thread writer([&] {
        for (int i = 0; i < 40; ++i) {
            EXPECT_TRUE(database->setValue("s", "history", written[i % 2]));
        }
        done = true;
    });
    std::vector<std::thread> readers;
    for (int r = 0; r < 3; ++r) {
        readers.emplace_back([&, r] {
            while (!done) {
                const auto value
                    = r == 0 ? database->values("s").at(0).second : database->value("s", "history");
                ASSERT_NE(value, nullptr);
                EXPECT_TRUE(*value == written[0] || *value == written[1]);
            }
        });
    }
    writer.join();
    for (auto& reader : readers) {
        reader.join();
    }
    EXPECT_EQ(*database->value("s", "history"), written[1]);
}

namespace {

// A store whose file another connection can keep it from reading. In write-ahead-log mode a reader
// never waits for a writer, so the file is left in rollback-journal mode: the other connection
// holds a read while the store opens, which keeps the store from switching the file to the log, as
// another process using the file at that moment would. The store waits for no lock.
class DefaultsDatabaseLockTest : public DefaultsDatabaseTest {
protected:
    std::shared_ptr<DefaultsDatabase> openHeldBack(const PropertyList& history)
    {
        {
            auto database = DefaultsDatabase::open(file());
            EXPECT_TRUE(database->setValue("s", "history", history));
            EXPECT_TRUE(database->setValue("s", "small", "kept"));
        }
        m_other = std::make_unique<RawConnection>(file());
        EXPECT_TRUE(m_other->exec("PRAGMA journal_mode=DELETE"));
        EXPECT_TRUE(m_other->exec("BEGIN"));
        EXPECT_EQ(m_other->text("SELECT count(*) FROM defaults"), "2");
        auto database = DefaultsDatabase::open(file(), { .busyTimeoutMilliseconds = 0 });
        EXPECT_TRUE(m_other->exec("COMMIT"));
        EXPECT_EQ(database->path(), file());
        // The value decoded at open is its first reader's: from now on it comes from the file.
        EXPECT_NE(database->value("s", "history"), nullptr);
        m_storedText = *m_other->text("SELECT value FROM defaults WHERE key='history'");
        return database;
    }

    void lock() { ASSERT_TRUE(m_other->exec("BEGIN EXCLUSIVE")); }
    void unlock() { ASSERT_TRUE(m_other->exec("ROLLBACK")); }

    // The rows the file holds under "<key>.unreadable-…", by key.
    std::vector<std::pair<std::string, std::string>> backupRows(const std::string& key)
    {
        std::vector<std::pair<std::string, std::string>> rows;
        sqlite3_stmt* statement = nullptr;
        sqlite3_prepare_v2(m_other->handle(),
            "SELECT key, value FROM defaults WHERE suite = 's' AND key LIKE ?1 ORDER BY key", -1, &statement,
            nullptr);
        const std::string pattern = key + ".unreadable-%";
        sqlite3_bind_text(statement, 1, pattern.c_str(), -1, SQLITE_TRANSIENT);
        while (sqlite3_step(statement) == SQLITE_ROW) {
            rows.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(statement, 0)),
                reinterpret_cast<const char*>(sqlite3_column_text(statement, 1)));
        }
        sqlite3_finalize(statement);
        return rows;
    }

    std::unique_ptr<RawConnection> m_other;
    std::string m_storedText;
};

constexpr const char* failedRead = "could not be read again from";

} // namespace

// A value that cannot be read back for a while is not gone: whoever reads it meanwhile gets
// nothing, but the write that follows keeps the stored row, exactly as it is in the file.
TEST_F(DefaultsDatabaseLockTest, ALargeValueThatCannotBeReadBackStaysStoredAndItsNextWriteKeepsIt)
{
    const PropertyList history(largeHistory());
    auto database = openHeldBack(history);

    lock();
    EXPECT_EQ(database->value("s", "history"), nullptr);
    EXPECT_TRUE(database->isStoredButUnread("s", "history"));
    EXPECT_EQ(database->value("s", "history"), nullptr);
    EXPECT_EQ(database->values("s").size(), 1u);
    EXPECT_TRUE(loggedAndReported(failedRead));
    EXPECT_EQ(m_log.countContaining(failedRead), 1) << "once while the failure lasts";
    // A write cannot get through the lock either: it waits, and leaves the file as it is.
    ASSERT_TRUE(database->setValue("s", "history", PropertyListArray { "new" }));
    EXPECT_EQ(m_other->text("SELECT value FROM defaults WHERE key='history'"), m_storedText);
    EXPECT_TRUE(backupRows("history").empty());
    EXPECT_EQ(*database->value("s", "history"), PropertyList(PropertyListArray { "new" }));
    unlock();

    // Whoever wrote may have read nothing: the old row is copied in the same transaction.
    database->retry();
    auto backups = backupRows("history");
    ASSERT_EQ(backups.size(), 1u);
    EXPECT_EQ(backups.front().second, m_storedText);
    EXPECT_EQ(m_other->text("SELECT value FROM defaults WHERE key='history'"), "[\"new\"]");
    EXPECT_TRUE(loggedAndReported("its row was copied to"));
    EXPECT_TRUE(loggedAndReported(backups.front().first));
    EXPECT_FALSE(database->isStoredButUnread("s", "history"));
    ASSERT_NE(database->value("s", backups.front().first), nullptr);
    EXPECT_EQ(*database->value("s", backups.front().first), history);

    // The key reads normally again and its writes keep nothing more.
    ASSERT_TRUE(database->setValue("s", "history", largeHistory(5001)));
    ASSERT_TRUE(database->setValue("s", "history", std::nullopt));
    EXPECT_EQ(backupRows("history").size(), 1u);
    EXPECT_EQ(database->values("s").size(), 2u);
}

// The failure ends with the first read that gets through; a later failure is a new one.
TEST_F(DefaultsDatabaseLockTest, AReadThatGetsThroughAgainEndsTheFailure)
{
    const PropertyList history(largeHistory());
    auto database = openHeldBack(history);

    lock();
    EXPECT_EQ(database->value("s", "history"), nullptr);
    unlock();
    const auto again = database->value("s", "history");
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(*again, history);
    EXPECT_FALSE(database->isStoredButUnread("s", "history"));
    ASSERT_TRUE(database->setValue("s", "history", largeHistory(4000)));
    EXPECT_TRUE(backupRows("history").empty());

    lock();
    EXPECT_EQ(database->value("s", "history"), nullptr);
    EXPECT_EQ(m_log.countContaining(failedRead), 2);
    unlock();
    const auto all = database->values("s");
    ASSERT_EQ(all.size(), 2u);
    EXPECT_FALSE(database->isStoredButUnread("s", "history"));
}

// Listeners hear what was stored before: the write reads it again for them once the file lets it,
// and still keeps the row that a writer may have taken for nothing. A removal keeps it too.
TEST_F(DefaultsDatabaseLockTest, ListenersHearTheValueThatCouldNotBeReadAndARemovalKeepsIt)
{
    const PropertyList history(largeHistory());
    auto database = openHeldBack(history);
    std::vector<std::pair<std::optional<PropertyList>, std::optional<PropertyList>>> heard;
    database->addListener(
        "s", "history", [&](const std::string&, const auto& oldValue, const auto& newValue) {
            heard.emplace_back(oldValue ? std::optional(*oldValue) : std::nullopt,
                newValue ? std::optional(*newValue) : std::nullopt);
        });

    lock();
    EXPECT_EQ(database->value("s", "history"), nullptr);
    unlock();
    const PropertyList longer(largeHistory(5001));
    ASSERT_TRUE(database->setValue("s", "history", longer));
    ASSERT_EQ(heard.size(), 1u);
    EXPECT_EQ(heard[0].first, history);
    EXPECT_EQ(heard[0].second, longer);
    ASSERT_EQ(backupRows("history").size(), 1u);
    EXPECT_EQ(backupRows("history").front().second, m_storedText);

    const std::string longerText = *m_other->text("SELECT value FROM defaults WHERE key='history'");
    lock();
    EXPECT_EQ(database->value("s", "history"), nullptr);
    unlock();
    ASSERT_TRUE(database->setValue("s", "history", std::nullopt));
    ASSERT_EQ(heard.size(), 2u);
    EXPECT_EQ(heard[1].first, longer);
    EXPECT_EQ(heard[1].second, std::nullopt);
    EXPECT_EQ(m_other->text("SELECT count(*) FROM defaults WHERE key='history'"), "0");
    const auto backups = backupRows("history");
    ASSERT_EQ(backups.size(), 2u);
    EXPECT_TRUE(std::any_of(
        backups.begin(), backups.end(), [&](const auto& row) { return row.second == longerText; }));
}

namespace {

// Another process that holds the file; rollback-journal mode, so that its lock keeps readers out too.
class Holder {
public:
    explicit Holder(const std::string& path)
        : m_raw(path)
    {
    }
    void hold(bool readersToo)
    {
        if (readersToo) {
            ASSERT_TRUE(m_raw.exec("PRAGMA journal_mode=DELETE"));
        }
        // Without readers kept out, a writer's lock, which readers of the file pass.
        ASSERT_TRUE(m_raw.exec(readersToo ? "BEGIN EXCLUSIVE" : "BEGIN IMMEDIATE"));
    }
    void release() { ASSERT_TRUE(m_raw.exec("ROLLBACK")); }

private:
    RawConnection m_raw;
};

std::optional<PropertyList> fileValue(const std::string& path, const std::string& key)
{
    RawConnection raw(path);
    auto text = raw.text("SELECT value FROM defaults WHERE suite = 's' AND key = '" + key + "'");
    return text ? PropertyListJson::decode(*text) : std::nullopt;
}

} // namespace

// A write that meets another process's lock waits for no more than a moment: it is kept, reads back
// at once, and reaches the file in its order with the writes after it once the lock ends.
TEST_F(DefaultsDatabaseTest, WritesThatMeetALockAreKeptAndReachTheFileInOrderWhenItEnds)
{
    auto database = DefaultsDatabase::open(file());
    ASSERT_TRUE(database->setValue("s", "k", "before"));
    ASSERT_TRUE(database->setValue("s", "gone", 1));
    std::vector<std::optional<PropertyList>> heard;
    database->addListener("s", "k", [&](auto&, auto&, const DefaultsDatabase::Value& value) {
        heard.push_back(value ? std::optional(*value) : std::nullopt);
    });

    Holder other(file());
    other.hold(false);
    ASSERT_TRUE(database->setValue("s", "k", "during"));
    ASSERT_TRUE(database->setValue("s", "gone", std::nullopt));
    ASSERT_TRUE(database->setValue("s", "k", "last"));
    EXPECT_TRUE(database->hasPendingWrites());
    EXPECT_EQ(*database->value("s", "k"), PropertyList("last"));
    EXPECT_EQ(database->value("s", "gone"), nullptr);
    EXPECT_EQ(
        heard, (std::vector<std::optional<PropertyList>> { PropertyList("during"), PropertyList("last") }));
    EXPECT_EQ(fileValue(file(), "k"), PropertyList("before"));
    EXPECT_TRUE(fs::exists(database->pendingPath()));
    database->retry();
    EXPECT_TRUE(database->hasPendingWrites());

    other.release();
    database->retry();
    EXPECT_FALSE(database->hasPendingWrites());
    EXPECT_EQ(fileValue(file(), "k"), PropertyList("last"));
    EXPECT_EQ(fileValue(file(), "gone"), std::nullopt);
    EXPECT_FALSE(fs::exists(database->pendingPath()));
    EXPECT_EQ(heard.size(), 2u);

    // Writes go straight to the file again.
    ASSERT_TRUE(database->setValue("s", "k", "after"));
    EXPECT_FALSE(database->hasPendingWrites());
    EXPECT_EQ(fileValue(file(), "k"), PropertyList("after"));
}

// A write kept during another program's lock, which that program then overwrites: the next write
// puts the kept one in first (the other program's value stays) and then its own. Listeners hear
// the two in that order, so that the last value they hear is the one stored.
TEST_F(DefaultsDatabaseTest, ListenersHearAKeptWriteBeforeTheWriteThatPutsItIn)
{
    if (!SqliteToolLock::available()) {
        GTEST_SKIP() << "the sqlite3 tool is not installed";
    }
    auto database = DefaultsDatabase::open(file());
    ASSERT_TRUE(database->setValue("s", "k", "before"));
    std::vector<std::optional<PropertyList>> heard;
    database->addListener("s", "k", [&](auto&, auto&, const DefaultsDatabase::Value& value) {
        heard.push_back(value ? std::optional(*value) : std::nullopt);
    });

    SqliteToolLock other(file());
    ASSERT_TRUE(other.hold(false));
    ASSERT_TRUE(database->setValue("s", "k", "kept"));
    ASSERT_TRUE(database->hasPendingWrites());
    ASSERT_TRUE(other.exec("UPDATE defaults SET value = '\"theirs\"' WHERE suite = 's' AND key = 'k';"));
    ASSERT_TRUE(other.commitAndRelease());
    ASSERT_TRUE(database->setValue("s", "k", "last"));

    EXPECT_FALSE(database->hasPendingWrites());
    EXPECT_EQ(fileValue(file(), "k"), PropertyList("last"));
    EXPECT_EQ(*database->value("s", "k"), PropertyList("last"));
    EXPECT_EQ(heard,
        (std::vector<std::optional<PropertyList>> {
            PropertyList("kept"), PropertyList("theirs"), PropertyList("last") }));
}

// Another program's commit may be to any key: a key with a join written after it is joined with
// what the file holds, over the value its writer derived it from, even when the write of another
// such key saw that commit first.
TEST_F(DefaultsDatabaseTest, AnotherProgramsCommitIsJoinedIntoEveryKeyWithAJoinWrittenAfterIt)
{
    if (!SqliteToolLock::available()) {
        GTEST_SKIP() << "the sqlite3 tool is not installed";
    }
    auto database = DefaultsDatabase::open(file());
    const auto unite = [](const PropertyList& stored, const PropertyList& written, const PropertyList*) {
        auto joined = *stored.getIf<PropertyListArray>();
        for (const auto& element : *written.getIf<PropertyListArray>()) {
            if (std::find(joined.begin(), joined.end(), element) == joined.end()) {
                joined.push_back(element);
            }
        }
        return std::optional(PropertyList(std::move(joined)));
    };
    database->setJoin("s", "a", unite);
    database->setJoin("s", "b", unite);
    const PropertyList before(PropertyListArray { 1 });
    ASSERT_TRUE(database->setValue("s", "a", before));
    ASSERT_TRUE(database->setValue("s", "b", before));

    SqliteToolLock other(file());
    ASSERT_TRUE(other.hold(false));
    ASSERT_TRUE(other.exec("UPDATE defaults SET value = '[1,2]' WHERE suite = 's' AND key = 'a';"));
    ASSERT_TRUE(other.commitAndRelease());
    ASSERT_TRUE(database->setValue("s", "b", PropertyListArray { 1, 3 }));
    const DefaultsDatabase::Value base = std::make_shared<const PropertyList>(before);
    ASSERT_TRUE(database->setValue("s", "a", PropertyListArray { 1, 4 }, &base));

    const PropertyList joined(PropertyListArray { 1, 2, 4 });
    EXPECT_EQ(fileValue(file(), "a"), joined);
    EXPECT_EQ(*database->value("s", "a"), joined);
    EXPECT_EQ(fileValue(file(), "b"), PropertyList(PropertyListArray { 1, 3 }));
}

// A removal made during a lock is as durable as any write: a process that dies before the lock ends
// leaves it for the next opening, which puts it into the file.
TEST_F(DefaultsDatabaseTest, WritesKeptDuringALockSurviveACrash)
{
    {
        auto database = DefaultsDatabase::open(file());
        ASSERT_TRUE(database->setValue("s", "deleted", "still there"));
        ASSERT_TRUE(database->setValue("s", "k", 1));
    }
    // The writer is forked before this process opens the file again, so that it inherits no state
    // of SQLite's about it; it starts once the lock is held.
    int start[2];
    ASSERT_EQ(pipe(start), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        char go = 0;
        if (read(start[0], &go, 1) != 1) {
            _exit(2);
        }
        auto database = DefaultsDatabase::open(file(), { .busyTimeoutMilliseconds = 0 });
        const bool kept = database->setValue("s", "deleted", std::nullopt) && database->setValue("s", "k", 2);
        // Killed: no destructor, no close.
        _exit(kept ? 0 : 1);
    }
    Holder other(file());
    other.hold(false);
    ASSERT_EQ(write(start[1], "x", 1), 1);
    close(start[0]);
    close(start[1]);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(fileValue(file(), "deleted"), PropertyList("still there"));
    other.release();

    auto database = DefaultsDatabase::open(file());
    EXPECT_EQ(database->value("s", "deleted"), nullptr);
    EXPECT_EQ(*database->value("s", "k"), PropertyList(2));
    EXPECT_FALSE(database->hasPendingWrites());
    EXPECT_EQ(fileValue(file(), "deleted"), std::nullopt);
    EXPECT_EQ(fileValue(file(), "k"), PropertyList(2));
    EXPECT_FALSE(fs::exists(database->pendingPath()));
}

// A file held at the opening for longer than the opening waits: the store runs on what it is given,
// opens the file at the first retry after the lock, and what was written meanwhile joins what the
// file holds (a key's join where it has one; otherwise the stored row is kept under a backup key).
TEST_F(DefaultsDatabaseTest, AFileHeldAtTheOpeningIsOpenedOnceFreeAndWhatWasWrittenJoinsIt)
{
    {
        auto database = DefaultsDatabase::open(file());
        ASSERT_TRUE(database->setValue("s", "history", PropertyListArray { 1, 2, 3 }));
        ASSERT_TRUE(database->setValue("s", "setting", "stored"));
        ASSERT_TRUE(database->setValue("s", "untouched", "stored"));
    }
    Holder other(file());
    other.hold(true);
    auto database = DefaultsDatabase::open(file(), { .busyTimeoutMilliseconds = 0 });
    EXPECT_EQ(database->path(), file());
    EXPECT_TRUE(database->unavailableReason().empty());
    EXPECT_TRUE(database->isWaitingForFile());
    EXPECT_EQ(database->value("s", "untouched"), nullptr);
    EXPECT_TRUE(database->isStoredButUnread("s", "untouched"));
    database->setJoin(
        "s", "history", [](const PropertyList& stored, const PropertyList& written, const PropertyList*) {
            auto joined = *stored.getIf<PropertyListArray>();
            for (const auto& element : *written.getIf<PropertyListArray>()) {
                joined.push_back(element);
            }
            return std::optional(PropertyList(std::move(joined)));
        });
    std::vector<std::pair<std::string, std::optional<PropertyList>>> heard;
    for (const char* key : { "history", "untouched" }) {
        database->addListener(
            "s", key, [&](const std::string& name, auto&, const DefaultsDatabase::Value& value) {
                heard.emplace_back(name, value ? std::optional(*value) : std::nullopt);
            });
    }

    ASSERT_TRUE(database->setValue("s", "history", PropertyListArray { 4 }));
    ASSERT_TRUE(database->setValue("s", "setting", "mine"));
    ASSERT_TRUE(database->setValue("s", "new", 1));
    EXPECT_EQ(*database->value("s", "history"), PropertyList(PropertyListArray { 4 }));
    database->retry();
    EXPECT_TRUE(database->isWaitingForFile());
    heard.clear();

    other.release();
    database->retry();
    EXPECT_FALSE(database->isWaitingForFile());
    EXPECT_FALSE(database->hasPendingWrites());
    const PropertyList joined(PropertyListArray { 1, 2, 3, 4 });
    EXPECT_EQ(*database->value("s", "history"), joined);
    EXPECT_EQ(*database->value("s", "untouched"), PropertyList("stored"));
    EXPECT_EQ(*database->value("s", "setting"), PropertyList("mine"));
    EXPECT_EQ(*database->value("s", "new"), PropertyList(1));
    EXPECT_EQ(fileValue(file(), "history"), joined);
    EXPECT_EQ(fileValue(file(), "setting"), PropertyList("mine"));
    RawConnection raw(file());
    EXPECT_EQ(raw.text("SELECT value FROM defaults WHERE key LIKE 'setting.unreadable-%'"), "\"stored\"");
    EXPECT_EQ(raw.text("SELECT count(*) FROM defaults WHERE key LIKE 'history.unreadable-%'"), "0");
    std::sort(heard.begin(), heard.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    EXPECT_EQ(heard,
        (std::vector<std::pair<std::string, std::optional<PropertyList>>> {
            { "history", joined }, { "untouched", PropertyList("stored") } }));

    // A later opening finds everything in the file.
    database.reset();
    database = DefaultsDatabase::open(file());
    EXPECT_EQ(*database->value("s", "history"), joined);
    EXPECT_EQ(*database->value("s", "new"), PropertyList(1));
}

// A count of what happened meanwhile joins the stored count even when the two are equal; a join
// known to the process serves every store, and the store's own comes first.
TEST_F(DefaultsDatabaseTest, AJoinedKeyIsJoinedEvenWhenWhatWasWrittenEqualsWhatIsStored)
{
    {
        auto database = DefaultsDatabase::open(file());
        ASSERT_TRUE(database->setValue("s", "processJoinedCount", 1));
        ASSERT_TRUE(database->setValue("s", "ownJoinedCount", 1));
    }
    const auto sum = [](std::int64_t extra) {
        return [extra](const PropertyList& stored, const PropertyList& written, const PropertyList*) {
            return std::optional(
                PropertyList(*stored.getIf<std::int64_t>() + *written.getIf<std::int64_t>() + extra));
        };
    };
    DefaultsDatabase::setProcessJoin("s", "processJoinedCount", sum(0));
    DefaultsDatabase::setProcessJoin("s", "ownJoinedCount", sum(100));
    Holder other(file());
    other.hold(true);
    auto database = DefaultsDatabase::open(file(), { .busyTimeoutMilliseconds = 0 });
    ASSERT_TRUE(database->isWaitingForFile());
    database->setJoin("s", "ownJoinedCount", sum(0));
    ASSERT_TRUE(database->setValue("s", "processJoinedCount", 1));
    ASSERT_TRUE(database->setValue("s", "ownJoinedCount", 1));

    other.release();
    database->retry();
    ASSERT_FALSE(database->isWaitingForFile());
    EXPECT_EQ(*database->value("s", "processJoinedCount"), PropertyList(2));
    EXPECT_EQ(*database->value("s", "ownJoinedCount"), PropertyList(2));
    EXPECT_EQ(fileValue(file(), "processJoinedCount"), PropertyList(2));
    EXPECT_EQ(fileValue(file(), "ownJoinedCount"), PropertyList(2));
}

// Another program stores something the key's join cannot take (a history that is not a list) in
// the moment after the store last looked at the file: a write over its base, straight or kept
// during a lock, is stored all the same, and that program's value is kept under a backup key. No
// write is answered as stored while the file and memory keep the other value.
TEST_F(DefaultsDatabaseTest, AValueAnotherProgramStoredThatTheJoinCannotTakeIsKeptAsideAndTheWriteStored)
{
    if (!SqliteToolLock::available()) {
        GTEST_SKIP() << "the sqlite3 tool is not installed";
    }
    const auto unite = [](const PropertyList& stored, const PropertyList& written,
                           const PropertyList*) -> std::optional<PropertyList> {
        const auto* storedList = stored.getIf<PropertyListArray>();
        const auto* writtenList = written.getIf<PropertyListArray>();
        if (!storedList || !writtenList) {
            return std::nullopt;
        }
        auto joined = *storedList;
        for (const auto& element : *writtenList) {
            if (std::find(joined.begin(), joined.end(), element) == joined.end()) {
                joined.push_back(element);
            }
        }
        return PropertyList(std::move(joined));
    };
    const auto backups = [this](const std::string& key) {
        RawConnection raw(file());
        std::vector<std::string> texts;
        sqlite3_stmt* statement = nullptr;
        sqlite3_prepare_v2(raw.handle(),
            ("SELECT value FROM defaults WHERE suite = 's' AND key LIKE '" + key + ".unreadable-%'").c_str(),
            -1, &statement, nullptr);
        while (sqlite3_step(statement) == SQLITE_ROW) {
            texts.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(statement, 0)));
        }
        sqlite3_finalize(statement);
        return texts;
    };
    auto database = DefaultsDatabase::open(file());
    database->setJoin("s", "straight", unite);
    database->setJoin("s", "kept", unite);
    const PropertyList before(PropertyListArray { 1 });
    const DefaultsDatabase::Value base = std::make_shared<const PropertyList>(before);
    ASSERT_TRUE(database->setValue("s", "straight", before));
    ASSERT_TRUE(database->setValue("s", "kept", before));

    // Straight into the file, over its base.
    {
        SqliteToolLock other(file());
        ASSERT_TRUE(other.hold(false));
        ASSERT_TRUE(
            other.exec("UPDATE defaults SET value = '\"theirs\"' WHERE suite = 's' AND key = 'straight';"));
        ASSERT_TRUE(other.commitAndRelease());
    }
    ASSERT_TRUE(database->setValue("s", "straight", PropertyListArray { 1, 2 }, &base));
    const PropertyList written(PropertyListArray { 1, 2 });
    EXPECT_EQ(fileValue(file(), "straight"), written);
    EXPECT_EQ(*database->value("s", "straight"), written);
    EXPECT_EQ(backups("straight"), std::vector<std::string> { "\"theirs\"" });
    EXPECT_TRUE(loggedAndReported("could not be joined with a write of it"));

    // Kept during a lock in which that program stores it, and put in when the lock ends.
    {
        SqliteToolLock other(file());
        ASSERT_TRUE(other.hold(false));
        ASSERT_TRUE(database->setValue("s", "kept", PropertyListArray { 1, 3 }, &base));
        ASSERT_TRUE(database->hasPendingWrites());
        ASSERT_TRUE(other.exec("UPDATE defaults SET value = '7' WHERE suite = 's' AND key = 'kept';"));
        ASSERT_TRUE(other.commitAndRelease());
    }
    database->retry();
    EXPECT_FALSE(database->hasPendingWrites());
    EXPECT_EQ(fileValue(file(), "kept"), PropertyList(PropertyListArray { 1, 3 }));
    EXPECT_EQ(*database->value("s", "kept"), PropertyList(PropertyListArray { 1, 3 }));
    EXPECT_EQ(backups("kept"), std::vector<std::string> { "7" });
}

TEST(DefaultsDatabasePath, FollowsTheEnvironment)
{
    auto saved = [](const char* name) -> std::optional<std::string> {
        const char* value = std::getenv(name);
        return value ? std::optional<std::string>(value) : std::nullopt;
    };
    auto restore = [](const char* name, const std::optional<std::string>& value) {
        value ? setenv(name, value->c_str(), 1) : unsetenv(name);
    };
    auto path = saved("KIRUVO_DEFAULTS_PATH"), xdg = saved("XDG_DATA_HOME"), home = saved("HOME");

    setenv("KIRUVO_DEFAULTS_PATH", "/somewhere/else.sqlite3", 1);
    EXPECT_EQ(DefaultsDatabase::defaultPath(), "/somewhere/else.sqlite3");
    unsetenv("KIRUVO_DEFAULTS_PATH");
    setenv("XDG_DATA_HOME", "/data", 1);
    EXPECT_EQ(DefaultsDatabase::defaultPath(), "/data/kiruvo/defaults.sqlite3");
    setenv("HOME", "/home/user", 1);
    unsetenv("XDG_DATA_HOME");
    EXPECT_EQ(DefaultsDatabase::defaultPath(), "/home/user/.local/share/kiruvo/defaults.sqlite3");
    setenv("XDG_DATA_HOME", "relative", 1);
    EXPECT_EQ(DefaultsDatabase::defaultPath(), "/home/user/.local/share/kiruvo/defaults.sqlite3");

    restore("KIRUVO_DEFAULTS_PATH", path);
    restore("XDG_DATA_HOME", xdg);
    restore("HOME", home);
}
