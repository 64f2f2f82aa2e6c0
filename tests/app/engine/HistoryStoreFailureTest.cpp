#include "app/SessionEngineFixture.h"

#include <sqlite3.h>

#include <csignal>
#include <sys/resource.h>

namespace {

// The engine over a store in a real file, so that another connection can lock it and a file size
// limit can stand in for a full disk. The store waits for no lock: a locked write fails at once.
class HistoryStoreFailureTest : public SessionEngineTest {
protected:
    void SetUp() override
    {
        SessionEngineTest::SetUp();
        m_path = m_folder.filePath(QStringLiteral("defaults.sqlite3")).toStdString();
        platform::DefaultsDatabase::Options options;
        options.busyTimeoutMilliseconds = 0;
        m_suite = std::make_shared<platform::UserDefaults>(
            platform::DefaultsDatabase::open(m_path, options), platform::UserDefaults::standardSuiteName);
        platform::UserDefaults::setStandard(m_suite);
        // The engine's keys bind to the standard suite at their first use, which must be here: ctest
        // runs every test in a process of its own.
        if (kiruvo::Keys::sessions().suite() != m_suite) {
            GTEST_SKIP() << "needs a process of its own, as ctest runs it";
        }
    }

    void TearDown() override
    {
        struct rlimit unlimited { RLIM_INFINITY, RLIM_INFINITY };
        setrlimit(RLIMIT_FSIZE, &unlimited);
        if (m_lock) {
            sqlite3_close_v2(m_lock);
        }
        SessionEngineTest::TearDown();
    }

    // What another process finds in the file: the number of stored entries under "sessions".
    int storedSessionCount() const
    {
        sqlite3* db = nullptr;
        EXPECT_EQ(sqlite3_open_v2(m_path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
        sqlite3_stmt* statement = nullptr;
        sqlite3_prepare_v2(db,
            "SELECT json_array_length(value) FROM defaults WHERE key = 'sessions'", -1, &statement, nullptr);
        const int count = sqlite3_step(statement) == SQLITE_ROW ? sqlite3_column_int(statement, 0) : 0;
        sqlite3_finalize(statement);
        sqlite3_close_v2(db);
        return count;
    }

    void lockDatabase()
    {
        ASSERT_EQ(sqlite3_open_v2(m_path.c_str(), &m_lock, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(m_lock, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    }
    void unlockDatabase() { ASSERT_EQ(sqlite3_exec(m_lock, "ROLLBACK", nullptr, nullptr, nullptr), SQLITE_OK); }

    // Every file of this process stops growing, as on a full disk.
    static void fillDisk()
    {
        std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit full { 0, RLIM_INFINITY };
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &full), 0);
    }
    static void freeDisk()
    {
        struct rlimit unlimited { RLIM_INFINITY, RLIM_INFINITY };
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &unlimited), 0);
    }

    // Runs a session of ten minutes, then ends it.
    void trackTenMinutes()
    {
        controller().start();
        fake.clock.advance(600);
        controller().setEnabled(false);
    }

    std::string m_path;
    std::shared_ptr<platform::UserDefaults> m_suite;
    sqlite3* m_lock = nullptr;
};

} // namespace

TEST_F(HistoryStoreFailureTest, ASessionEndedWhileTheDatabaseIsLockedIsStoredOnceTheLockGoes)
{
    controller();
    lockDatabase();
    trackTenMinutes();

    // Memory holds the truth while the store cannot take it.
    EXPECT_TRUE(controller().hasUnstoredHistory());
    EXPECT_EQ(controller().allSessions().size(), 1u);
    fake.clock.advance(5);
    EXPECT_EQ(controller().allSessions().size(), 1u);
    controller().checkIdle();
    EXPECT_TRUE(controller().hasUnstoredHistory());
    EXPECT_EQ(storedSessionCount(), 0);

    unlockDatabase();
    controller().checkIdle();
    EXPECT_FALSE(controller().hasUnstoredHistory());
    EXPECT_EQ(storedSessionCount(), 1);
    EXPECT_EQ(controller().allSessions().size(), 1u);
}

TEST_F(HistoryStoreFailureTest, AFailureLastingAMinuteIsToldOnceInAnAlert)
{
    controller();
    lockDatabase();
    trackTenMinutes();
    for (int second = 0; second < 59; ++second) {
        fake.clock.advance(1);
        controller().checkIdle();
    }
    processEvents();
    EXPECT_TRUE(alertTitles.empty());
    for (int second = 0; second < 120; ++second) {
        fake.clock.advance(1);
        controller().checkIdle();
    }
    processEvents();
    ASSERT_EQ(alertTitles.size(), 1u);
    EXPECT_EQ(alertTitles.front(), "Kiruvo cannot save your sessions");

    unlockDatabase();
    controller().checkIdle();
    EXPECT_EQ(storedSessionCount(), 1);
}

TEST_F(HistoryStoreFailureTest, SessionsEndedOnAFullDiskAreStoredAtQuitOnceThereIsRoomAgain)
{
    controller();
    fillDisk();
    trackTenMinutes();
    controller().setEnabled(true);
    fake.clock.advance(900);
    controller().newSession();
    EXPECT_TRUE(controller().hasUnstoredHistory());
    EXPECT_EQ(controller().allSessions().size(), 2u);

    freeDisk();
    fake.clock.advance(400);
    events.terminate();
    EXPECT_FALSE(controller().hasUnstoredHistory());
    EXPECT_EQ(storedSessionCount(), 3);
}

TEST_F(HistoryStoreFailureTest, AHistoryStillUnstoredAtQuitIsWrittenAgainThen)
{
    controller();
    fillDisk();
    trackTenMinutes();
    freeDisk();
    // No session runs at quit: the retry alone stores the history.
    events.terminate();
    EXPECT_EQ(storedSessionCount(), 1);
}
