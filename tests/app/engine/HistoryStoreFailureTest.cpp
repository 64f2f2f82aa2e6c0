#include "app/SessionEngineFixture.h"
#include "support/SeparateTestProcess.h"

#include <cmath>
#include <sqlite3.h>

#include <csignal>
#include <sys/resource.h>

using platform::Date;

namespace {

// The engine over a store in a real file, so that another connection can lock it and a file size
// limit can stand in for a full disk. The store waits for no lock: a locked write fails at once.
class HistoryStoreFailureTest : public SessionEngineTest {
protected:
    void SetUp() override
    {
        // The engine's keys bind to the standard suite at their first use, which must be this
        // file's: each test runs in a test program of its own.
        if (!SeparateTestProcess::isRunningAlone()) {
            SeparateTestProcess::runCurrentTest();
            GTEST_SKIP() << "ran in a test program of its own";
        }
        SessionEngineTest::SetUp();
        m_path = m_folder.filePath(QStringLiteral("defaults.sqlite3")).toStdString();
        prepareFile();
        platform::DefaultsDatabase::Options options;
        options.busyTimeoutMilliseconds = 0;
        m_suite = std::make_shared<platform::UserDefaults>(
            platform::DefaultsDatabase::open(m_path, options), platform::UserDefaults::standardSuiteName);
        opened();
        platform::UserDefaults::setStandard(m_suite);
        ASSERT_EQ(kiruvo::Keys::sessions().suite(), m_suite);
    }

    void TearDown() override
    {
        struct rlimit unlimited {
            RLIM_INFINITY, RLIM_INFINITY
        };
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
        sqlite3_prepare_v2(db, "SELECT json_array_length(value) FROM defaults WHERE key = 'sessions'", -1,
            &statement, nullptr);
        const int count = sqlite3_step(statement) == SQLITE_ROW ? sqlite3_column_int(statement, 0) : 0;
        sqlite3_finalize(statement);
        sqlite3_close_v2(db);
        return count;
    }

    // What the file holds before the store opens it, and what follows the opening.
    virtual void prepareFile() { }
    virtual void opened() { }

    void lockDatabase()
    {
        if (!m_lock) {
            ASSERT_EQ(sqlite3_open_v2(m_path.c_str(), &m_lock, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
        }
        ASSERT_EQ(sqlite3_exec(m_lock, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    }
    void unlockDatabase()
    {
        ASSERT_EQ(sqlite3_exec(m_lock, "ROLLBACK", nullptr, nullptr, nullptr), SQLITE_OK);
    }

    // Every file of this process stops growing, as on a full disk.
    static void fillDisk()
    {
        std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit full {
            0, RLIM_INFINITY
        };
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &full), 0);
    }
    static void freeDisk()
    {
        struct rlimit unlimited {
            RLIM_INFINITY, RLIM_INFINITY
        };
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &unlimited), 0);
    }

    // Puts `count` sessions of half an hour into the file, two hours apart, before the store opens it.
    void storeSessions(int count)
    {
        platform::PropertyListArray entries;
        for (int index = 0; index < count; ++index) {
            const Date end = oslo(2024, 5, 15, 10).addingTimeInterval(-7200.0 * index);
            entries.emplace_back(session(end.addingTimeInterval(-1800), end).jsonText());
        }
        auto database = platform::DefaultsDatabase::open(m_path);
        ASSERT_TRUE(database->setValue(platform::UserDefaults::standardSuiteName, "sessions",
            platform::PropertyList(std::move(entries))));
    }

    // Lets `seconds` pass, the engine's own check running wherever it armed itself (as its timer
    // would run it, and nowhere else), then shows the alerts.
    void letPass(int seconds)
    {
        const double until = fake.clock.systemUptime() + seconds;
        for (;;) {
            // What the store told from its writing thread reaches the engine.
            processEvents();
            const auto at = controller().nextCheckAt();
            if (!at || *at > until) {
                break;
            }
            fake.clock.advance(std::max(0.0, *at - fake.clock.systemUptime()));
            controller().checkIdle();
            ++checks;
        }
        fake.clock.advance(until - fake.clock.systemUptime());
        processEvents();
    }
    int checks = 0;

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

// A long stored history that the store, for a while, cannot read back. In write-ahead-log mode no
// lock keeps a reader out, so the file stays in rollback-journal mode: another connection reads it
// while the store opens, as another process may, and the store cannot switch it to the log.
class UnreadHistoryTest : public HistoryStoreFailureTest {
protected:
    static constexpr int storedCount = 1000;

    void prepareFile() override
    {
        storeSessions(storedCount);
        ASSERT_EQ(sqlite3_open_v2(m_path.c_str(), &m_lock, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(m_lock, "PRAGMA journal_mode=DELETE; BEGIN; SELECT count(*) FROM defaults",
                      nullptr, nullptr, nullptr),
            SQLITE_OK);
    }
    void opened() override
    {
        ASSERT_EQ(sqlite3_exec(m_lock, "COMMIT", nullptr, nullptr, nullptr), SQLITE_OK);
    }

    // Another writer of this process takes the newest stored session out: the engine forgets the
    // history it had and reads it again at its next question.
    void removeNewestElsewhere()
    {
        auto entries = *m_suite->objectForKey("sessions")->getIf<platform::PropertyListArray>();
        entries.erase(entries.begin());
        ASSERT_TRUE(m_suite->setObject(platform::PropertyList(std::move(entries)), "sessions"));
    }

    int backupCount() const
    {
        sqlite3* db = nullptr;
        sqlite3_open_v2(m_path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
        sqlite3_stmt* statement = nullptr;
        sqlite3_prepare_v2(db, "SELECT count(*) FROM defaults WHERE key LIKE 'sessions.unreadable-%'", -1,
            &statement, nullptr);
        const int count = sqlite3_step(statement) == SQLITE_ROW ? sqlite3_column_int(statement, 0) : -1;
        sqlite3_finalize(statement);
        sqlite3_close_v2(db);
        return count;
    }
};

// A session ended while the history does not read joins the stored history once it reads: whether
// the lock is gone by the session's end or only by a later tick.
TEST_F(UnreadHistoryTest, ASessionEndedWhileTheHistoryCannotBeReadJoinsTheStoredHistory)
{
    ASSERT_EQ(controller().allSessions().size(), std::size_t(storedCount));
    removeNewestElsewhere();
    lockDatabase();
    EXPECT_TRUE(controller().allSessions().empty());
    unlockDatabase();
    trackTenMinutes();
    EXPECT_FALSE(controller().hasUnstoredHistory());
    EXPECT_EQ(storedSessionCount(), storedCount);
    EXPECT_EQ(controller().allSessions().size(), std::size_t(storedCount));
    // The session just ended, newest of all; the stored ones last half an hour.
    EXPECT_NEAR(controller().allSessions().front().duration(), 600, 1);
    EXPECT_EQ(backupCount(), 0);

    // The store is locked through the next session's end; a tick stores it once the lock goes.
    removeNewestElsewhere();
    lockDatabase();
    EXPECT_TRUE(controller().allSessions().empty());
    controller().setEnabled(true);
    trackTenMinutes();
    // Kept beside the file until the lock goes.
    EXPECT_FALSE(controller().hasUnstoredHistory());
    controller().checkIdle();
    unlockDatabase();
    // The next retry is the tick that finds the lock gone.
    ASSERT_TRUE(controller().nextCheckAt());
    fake.clock.advance(std::max(0.0, *controller().nextCheckAt() - fake.clock.systemUptime()));
    controller().checkIdle();
    EXPECT_FALSE(controller().hasUnstoredHistory());
    EXPECT_EQ(storedSessionCount(), storedCount);
    EXPECT_EQ(controller().allSessions().size(), std::size_t(storedCount));
    EXPECT_EQ(backupCount(), 0);
}

// The history that did not read is asked for again a minute later, not at every question.
TEST_F(UnreadHistoryTest, TheHistoryIsReadAgainAMinuteAfterItFailed)
{
    controller().allSessions();
    removeNewestElsewhere();
    lockDatabase();
    EXPECT_TRUE(controller().allSessions().empty());
    unlockDatabase();
    int changes = 0;
    // Heard only while the count is there: the engine goes on after the test.
    QObject listener;
    QObject::connect(
        &controller(), &kiruvo::SessionController::historyChanged, &listener, [&] { ++changes; });
    fake.clock.advance(30);
    controller().checkIdle();
    EXPECT_EQ(changes, 0);
    EXPECT_TRUE(controller().allSessions().empty());
    fake.clock.advance(30);
    controller().checkIdle();
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(controller().allSessions().size(), std::size_t(storedCount - 1));
    fake.clock.advance(120);
    controller().checkIdle();
    EXPECT_EQ(changes, 1);
}

TEST_F(HistoryStoreFailureTest, ASessionEndedWhileTheDatabaseIsLockedIsStoredOnceTheLockGoes)
{
    controller();
    lockDatabase();
    trackTenMinutes();

    // The store keeps it beside the file while the file cannot take it.
    EXPECT_FALSE(controller().hasUnstoredHistory());
    EXPECT_TRUE(m_suite->hasWritesWaitingForFile());
    EXPECT_EQ(controller().allSessions().size(), 1u);
    // Tracking is off, so only the store's retry is armed: each one while the lock lasts waits
    // twice as long as the one before, from a second on.
    std::vector<double> retries;
    for (int retry = 0; retry < 4; ++retry) {
        const auto at = controller().nextCheckAt();
        ASSERT_TRUE(at);
        retries.push_back(*at);
        letPass(static_cast<int>(std::ceil(*at - fake.clock.systemUptime())));
    }
    EXPECT_EQ(retries[2] - retries[1], 2 * (retries[1] - retries[0])) << ::testing::PrintToString(retries);
    EXPECT_EQ(retries[3] - retries[2], 2 * (retries[2] - retries[1])) << ::testing::PrintToString(retries);
    EXPECT_EQ(controller().allSessions().size(), 1u);
    EXPECT_TRUE(m_suite->hasWritesWaitingForFile());
    EXPECT_EQ(storedSessionCount(), 0);

    unlockDatabase();
    const int checksBefore = checks;
    letPass(static_cast<int>(std::ceil(*controller().nextCheckAt() - fake.clock.systemUptime())));
    EXPECT_FALSE(controller().hasUnstoredHistory());
    EXPECT_EQ(storedSessionCount(), 1);
    EXPECT_EQ(controller().allSessions().size(), 1u);
    // Nothing waits any more: nothing is armed.
    EXPECT_FALSE(controller().nextCheckAt().has_value());
    letPass(600);
    EXPECT_EQ(checks, checksBefore + 1);
}

// Sessions deleted during a lock stay deleted, even when Kiruvo dies before the lock ends: the next
// run finds the deletion beside the file and puts it in.
TEST_F(HistoryStoreFailureTest, DeletionsDuringALockAreNotUndoneByACrash)
{
    trackTenMinutes();
    controller().setEnabled(true);
    fake.clock.advance(900);
    controller().newSession();
    ASSERT_EQ(storedSessionCount(), 2);

    lockDatabase();
    auto sessions = controller().allSessions();
    sessions.erase(sessions.begin());
    controller().setAllSessions(sessions);
    EXPECT_EQ(controller().allSessions().size(), 1u);
    EXPECT_FALSE(controller().hasUnstoredHistory());
    unlockDatabase();

    // The next run, this one never having retried: what the user saw done is what it finds.
    auto next = platform::DefaultsDatabase::open(m_path);
    EXPECT_EQ(storedSessionCount(), 1);
    controller().removeAllSessions();
    EXPECT_EQ(storedSessionCount(), 0);
}

// A lock that lasts is told once, after a minute; what waits reaches the file when it ends.
TEST_F(HistoryStoreFailureTest, ALockLastingAMinuteIsToldOnceInAnAlert)
{
    controller();
    lockDatabase();
    trackTenMinutes();
    letPass(59);
    EXPECT_TRUE(alertTitles.empty());
    letPass(120);
    ASSERT_EQ(alertTitles.size(), 1u);
    EXPECT_EQ(alertTitles.front(), "Kiruvo cannot reach its settings database");

    unlockDatabase();
    ASSERT_TRUE(controller().nextCheckAt());
    letPass(static_cast<int>(std::ceil(*controller().nextCheckAt() - fake.clock.systemUptime())));
    EXPECT_EQ(storedSessionCount(), 1);
    EXPECT_EQ(alertTitles.size(), 1u);
}

// Writes that fail outright (a full disk) are still told after a minute.
TEST_F(HistoryStoreFailureTest, AFailureLastingAMinuteIsToldOnceInAnAlert)
{
    controller();
    fillDisk();
    trackTenMinutes();
    letPass(59);
    EXPECT_TRUE(alertTitles.empty());
    letPass(120);
    ASSERT_EQ(alertTitles.size(), 1u);
    EXPECT_EQ(alertTitles.front(), "Kiruvo cannot save your sessions");

    freeDisk();
    letPass(1);
    EXPECT_EQ(storedSessionCount(), 1);
    EXPECT_FALSE(controller().nextCheckAt().has_value());
}

// Another program holds the file when Kiruvo starts, for longer than the opening waits: the
// sessions recorded meanwhile join the stored history as soon as the file is free.
class HeldAtStartTest : public HistoryStoreFailureTest {
protected:
    static constexpr int storedCount = 12;

    void prepareFile() override
    {
        storeSessions(storedCount);
        ASSERT_EQ(sqlite3_open_v2(m_path.c_str(), &m_lock, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
        ASSERT_EQ(
            sqlite3_exec(m_lock, "PRAGMA journal_mode=DELETE; BEGIN EXCLUSIVE", nullptr, nullptr, nullptr),
            SQLITE_OK);
    }
};

TEST_F(HeldAtStartTest, TheStoredHistoryAppearsOnceTheFileIsFreeWithTheSessionsRecordedMeanwhile)
{
    ASSERT_TRUE(m_suite->isWaitingForFile());
    fake.clock.setNow(oslo(2024, 5, 15, 14));
    EXPECT_TRUE(controller().allSessions().empty());
    trackTenMinutes();
    EXPECT_EQ(controller().allSessions().size(), 1u);
    int changes = 0;
    // Heard only while the count is there: the engine goes on after the test.
    QObject listener;
    QObject::connect(
        &controller(), &kiruvo::SessionController::historyChanged, &listener, [&] { ++changes; });
    for (int second = 0; second < 5; ++second) {
        fake.clock.advance(1);
        controller().checkIdle();
    }
    EXPECT_EQ(changes, 0);

    unlockDatabase();
    // The retry due next opens it.
    ASSERT_TRUE(controller().nextCheckAt());
    fake.clock.advance(std::max(0.0, *controller().nextCheckAt() - fake.clock.systemUptime()));
    controller().checkIdle();
    EXPECT_FALSE(m_suite->isWaitingForFile());
    EXPECT_EQ(changes, 1);
    ASSERT_EQ(controller().allSessions().size(), std::size_t(storedCount + 1));
    EXPECT_NEAR(controller().allSessions().front().duration(), 600, 1);
    EXPECT_EQ(storedSessionCount(), storedCount + 1);

    // The next session, and quitting, keep them all; nobody was told of a lock that soon ended.
    controller().setEnabled(true);
    fake.clock.advance(400);
    events.terminate();
    EXPECT_EQ(storedSessionCount(), storedCount + 2);
    processEvents();
    EXPECT_TRUE(alertTitles.empty());
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
