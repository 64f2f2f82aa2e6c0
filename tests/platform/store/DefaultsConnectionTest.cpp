#include "platform/store/DefaultsConnection.h"

#include "platform/store/DefaultsFileOpening.h"
#include "support/TestErrorReporter.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sqlite3.h>

using namespace platform;

namespace {

class DefaultsConnectionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_folder.isValid());
        ASSERT_TRUE(m_reporter.isValid());
    }
    std::string file() const { return m_folder.filePath(QStringLiteral("defaults.sqlite3")).toStdString(); }
    std::unique_ptr<DefaultsConnection> open(int busyTimeoutMilliseconds = 0) const
    {
        auto opening = DefaultsFileOpening::open(file(), 1000, 1 << 16);
        EXPECT_EQ(opening.outcome, DefaultsFileOpening::Outcome::Opened) << opening.message;
        int failure = SQLITE_OK;
        auto connection = DefaultsConnection::take(opening.db, busyTimeoutMilliseconds, failure);
        EXPECT_EQ(failure, SQLITE_OK);
        EXPECT_EQ(opening.db, nullptr);
        return connection;
    }
    // Another program's connection to the file.
    sqlite3* other()
    {
        if (!m_other) {
            EXPECT_EQ(sqlite3_open(file().c_str(), &m_other), SQLITE_OK);
            sqlite3_busy_timeout(m_other, 1000);
        }
        return m_other;
    }
    void TearDown() override { sqlite3_close(m_other); }

    QTemporaryDir m_folder;
    TestErrorReporter m_reporter;
    sqlite3* m_other = nullptr;
};

} // namespace

// A row's text goes in and comes back byte for byte (NUL bytes too); a row that is not there reads
// as nothing, which is not the empty text; a removal leaves no row.
TEST_F(DefaultsConnectionTest, RowsAreWrittenReadAndRemovedAsTheyAre)
{
    auto file = open();
    ASSERT_TRUE(file);
    const std::string text("\"a\0b\"", 5);
    const std::string empty;
    ASSERT_EQ(file->write("s", "k", &text), SQLITE_DONE);
    ASSERT_EQ(file->write("s", "empty", &empty), SQLITE_DONE);
    std::optional<std::string> read;
    EXPECT_EQ(file->read("s", "k", read), SQLITE_DONE);
    EXPECT_EQ(read, text);
    EXPECT_EQ(file->read("s", "empty", read), SQLITE_DONE);
    EXPECT_EQ(read, std::string());
    EXPECT_EQ(file->read("other", "k", read), SQLITE_DONE);
    EXPECT_EQ(read, std::nullopt);
    ASSERT_EQ(file->write("s", "k", nullptr), SQLITE_DONE);
    EXPECT_EQ(file->read("s", "k", read), SQLITE_DONE);
    EXPECT_EQ(read, std::nullopt);
}

// A row is copied aside as the file holds it, whatever it holds; a key with no row copies nothing.
TEST_F(DefaultsConnectionTest, ARowIsCopiedAsideWithoutBeingRead)
{
    auto file = open();
    ASSERT_TRUE(file);
    const std::string garbage = "{not json";
    ASSERT_EQ(file->write("s", "k", &garbage), SQLITE_DONE);
    bool copied = false;
    EXPECT_EQ(file->copyRow("s", "k", "k.unreadable-1", copied), SQLITE_DONE);
    EXPECT_TRUE(copied);
    std::optional<std::string> read;
    EXPECT_EQ(file->read("s", "k.unreadable-1", read), SQLITE_DONE);
    EXPECT_EQ(read, garbage);
    EXPECT_EQ(file->copyRow("s", "missing", "missing.unreadable-1", copied), SQLITE_DONE);
    EXPECT_FALSE(copied);
    EXPECT_EQ(file->read("s", "missing.unreadable-1", read), SQLITE_DONE);
    EXPECT_EQ(read, std::nullopt);
}

// Only another program's commits count as a change of the file: the connection's own do not, and
// each is told once.
TEST_F(DefaultsConnectionTest, ChangesElsewhereAreThoseOfOtherConnections)
{
    auto file = open();
    ASSERT_TRUE(file);
    EXPECT_FALSE(file->changedElsewhere());
    const std::string text = "1";
    ASSERT_EQ(file->write("s", "k", &text), SQLITE_DONE);
    EXPECT_FALSE(file->changedElsewhere());
    ASSERT_EQ(sqlite3_exec(other(), "UPDATE defaults SET value = '2'", nullptr, nullptr, nullptr), SQLITE_OK);
    EXPECT_TRUE(file->changedElsewhere());
    EXPECT_FALSE(file->changedElsewhere());
}

// While another program writes, a write waits no longer than the busy timeout and says the file is
// held; reads go on. Once it commits, the write goes through.
TEST_F(DefaultsConnectionTest, AWriteDuringAnotherProgramsWriteSaysTheFileIsHeld)
{
    auto file = open(0);
    ASSERT_TRUE(file);
    const std::string text = "1";
    ASSERT_EQ(file->write("s", "k", &text), SQLITE_DONE);
    ASSERT_EQ(sqlite3_exec(other(), "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    const std::string next = "2";
    EXPECT_TRUE(sqlite::isBusy(file->write("s", "k", &next)));
    std::optional<std::string> read;
    EXPECT_EQ(file->read("s", "k", read), SQLITE_DONE);
    EXPECT_EQ(read, text);
    ASSERT_EQ(sqlite3_exec(other(), "COMMIT", nullptr, nullptr, nullptr), SQLITE_OK);
    EXPECT_EQ(file->write("s", "k", &next), SQLITE_DONE);
}

// A file whose table is gone has no statements to prepare: the connection stays with the caller.
TEST_F(DefaultsConnectionTest, AConnectionWithoutTheTableIsLeftToTheCaller)
{
    auto opening = DefaultsFileOpening::open(file(), 1000, 1 << 16);
    ASSERT_EQ(opening.outcome, DefaultsFileOpening::Outcome::Opened);
    ASSERT_EQ(sqlite3_exec(opening.db.get(), "DROP TABLE defaults", nullptr, nullptr, nullptr), SQLITE_OK);
    int failure = SQLITE_OK;
    EXPECT_EQ(DefaultsConnection::take(opening.db, 0, failure), nullptr);
    EXPECT_NE(failure, SQLITE_OK);
    ASSERT_NE(opening.db, nullptr);
    EXPECT_EQ(sqlite3_exec(opening.db.get(), "SELECT 1", nullptr, nullptr, nullptr), SQLITE_OK);
}
