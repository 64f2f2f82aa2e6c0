#include "platform/store/PendingJournal.h"

#include "platform/Logger.h"
#include "support/TestErrorReporter.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <fstream>

using namespace platform;
namespace fs = std::filesystem;

namespace {

using Basis = PendingJournal::Basis;

class PendingJournalTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_folder.isValid());
        ASSERT_TRUE(m_reporter.isValid());
    }
    std::string path() const
    {
        return m_folder.filePath(QStringLiteral("defaults.sqlite3.pending")).toStdString();
    }

    // Runs statements on the file as another build of the store would.
    void exec(const std::string& sql) const
    {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(path().c_str(), &db), SQLITE_OK);
        char* error = nullptr;
        EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error), SQLITE_OK) << (error ? error : "");
        sqlite3_free(error);
        sqlite3_close(db);
    }
    std::string count(const std::string& sql) const
    {
        sqlite3* db = nullptr;
        std::string result;
        sqlite3_open(path().c_str(), &db);
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) == SQLITE_OK
            && sqlite3_step(statement) == SQLITE_ROW) {
            result = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
        }
        sqlite3_finalize(statement);
        sqlite3_close(db);
        return result;
    }

    static PendingJournal::Write write(std::string key, std::optional<std::string> text, Basis basis,
        std::optional<std::string> base = std::nullopt)
    {
        return { 0, "s", std::move(key), std::move(text), basis, std::move(base) };
    }

    QTemporaryDir m_folder;
    LogCapture m_log;
    TestErrorReporter m_reporter;
};

} // namespace

// One row per key: its latest value, over the base of its first write; what was kept reads back in
// a later run, and the file is gone once forgotten.
TEST_F(PendingJournalTest, KeepsEachKeysLatestWriteOverItsFirstBase)
{
    {
        PendingJournal journal(path(), 0);
        ASSERT_TRUE(journal.load());
        std::string failure;
        ASSERT_TRUE(journal.keep(write("a", "1", Basis::Known, "0"), failure)) << failure;
        ASSERT_TRUE(journal.keep(write("b", std::nullopt, Basis::Known), failure));
        ASSERT_TRUE(journal.keep(write("a", "2", Basis::Known, "1"), failure));
        ASSERT_TRUE(journal.keep(write("a", "3", Basis::Blind), failure));
        ASSERT_EQ(journal.writes().size(), 2u);
        EXPECT_EQ(count("SELECT count(*) FROM pending"), "2");
    }
    PendingJournal journal(path(), 0);
    ASSERT_TRUE(journal.load());
    ASSERT_EQ(journal.writes().size(), 2u);
    EXPECT_EQ(journal.writes()[0].key, "b");
    EXPECT_EQ(journal.writes()[0].text, std::nullopt);
    EXPECT_EQ(journal.writes()[0].basis, Basis::Known);
    EXPECT_EQ(journal.writes()[0].base, std::nullopt);
    const auto* a = journal.find("s", "a");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->text, "3");
    EXPECT_EQ(a->basis, Basis::Known);
    EXPECT_EQ(a->base, "0");
    EXPECT_TRUE(journal.setAsidePath().empty());

    journal.forget();
    EXPECT_TRUE(journal.empty());
    EXPECT_FALSE(fs::exists(path()));
}

// What an end of the process leaves between the emptying of the file and its removal, or during its
// making, holds no write: the next load removes it, rather than leaving it beside the settings for
// good.
TEST_F(PendingJournalTest, AFileLeftEmptyIsRemovedWhenLoaded)
{
    for (const bool withTable : { true, false }) {
        SCOPED_TRACE(withTable ? "emptied" : "made, with no table yet");
        if (withTable) {
            PendingJournal journal(path(), 0);
            std::string failure;
            ASSERT_TRUE(journal.keep(write("a", "1", Basis::Known, "0"), failure)) << failure;
            exec("DELETE FROM pending");
        } else {
            std::ofstream(path()).close();
        }
        ASSERT_TRUE(fs::exists(path()));
        PendingJournal journal(path(), 0);
        ASSERT_TRUE(journal.load());
        EXPECT_TRUE(journal.empty());
        EXPECT_TRUE(journal.setAsidePath().empty());
        EXPECT_FALSE(fs::exists(path()));
        EXPECT_FALSE(fs::exists(path() + "-journal"));
    }
}

// A file an earlier build left (no bases, several rows of one key) replays as that build would have,
// and still reads for it once this build has added to it.
TEST_F(PendingJournalTest, AFileOfAnEarlierBuildIsReadAndStaysReadableForIt)
{
    exec("CREATE TABLE pending(sequence INTEGER PRIMARY KEY, suite TEXT NOT NULL, key TEXT NOT NULL, "
         "value TEXT, blind INTEGER NOT NULL);"
         "INSERT INTO pending(suite, key, value, blind) VALUES('s', 'a', '1', 1), ('s', 'b', '\"x\"', 0),"
         "('s', 'a', '2', 0);");
    PendingJournal journal(path(), 0);
    ASSERT_TRUE(journal.load());
    ASSERT_EQ(journal.writes().size(), 2u);
    EXPECT_EQ(journal.find("s", "a")->text, "2");
    EXPECT_EQ(journal.find("s", "a")->basis, Basis::Blind);
    EXPECT_EQ(journal.find("s", "b")->basis, Basis::Unrecorded);
    std::string failure;
    ASSERT_TRUE(journal.keep(write("c", "3", Basis::Known, "4"), failure)) << failure;
    EXPECT_EQ(count("SELECT group_concat(key || '=' || value || '/' || blind, ' ') FROM "
                    "(SELECT sequence, suite, key, value, blind FROM pending ORDER BY sequence)"),
        "a=1/1 b=\"x\"/0 a=2/0 c=3/0");
}

// Rows no store could have written (a value that is no stored text, flags out of range, a blind
// write with a base) are left out; the file they came from is set aside and the sound rows are
// kept in a fresh one.
TEST_F(PendingJournalTest, RowsThatAreNoKeptWriteSetTheFileAside)
{
    exec("CREATE TABLE pending(sequence INTEGER PRIMARY KEY, suite TEXT NOT NULL, key TEXT NOT NULL, "
         "value TEXT, blind INTEGER NOT NULL, based INTEGER NOT NULL DEFAULT 0, base TEXT);"
         "INSERT INTO pending(suite, key, value, blind, based, base) VALUES"
         "('s', 'good', '1', 0, 1, '0'), ('s', 'garbled', '{nope', 0, 0, NULL),"
         "('s', 'flag', '1', 7, 0, NULL), ('s', 'both', '1', 1, 1, '2'), ('s', 'blob', CAST('1' AS BLOB), 0, "
         "0, NULL),"
         "('s', 'removed', NULL, 1, 0, NULL);");
    PendingJournal journal(path(), 0);
    ASSERT_TRUE(journal.load());
    ASSERT_EQ(journal.writes().size(), 2u);
    EXPECT_NE(journal.find("s", "good"), nullptr);
    EXPECT_NE(journal.find("s", "removed"), nullptr);
    ASSERT_FALSE(journal.setAsidePath().empty());
    EXPECT_TRUE(fs::exists(journal.setAsidePath()));
    EXPECT_EQ(m_log.countContaining("moved to " + journal.setAsidePath()), 1);
    EXPECT_EQ(count("SELECT count(*) FROM pending"), "2");
}
