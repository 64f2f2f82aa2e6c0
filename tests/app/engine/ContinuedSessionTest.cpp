#include "app/SessionEngineFixture.h"
#include "support/SeparateTestProcess.h"

#include <QProcess>

#include <csignal>
#include <unistd.h>

using kiruvo::Session;
using kiruvo::SessionController;
using platform::Date;

namespace {

// Continuing a stored session: it leaves the answers while it runs again, but stays in the store
// until the running session ends and takes its place.
class ContinuedSessionTest : public SessionEngineTest {
protected:
    // The sessions the store holds, decoded, in stored order.
    static std::vector<Session> storedSessions() { return sessionsIn(storedEntries()); }

    static double seconds(const std::optional<zk::Duration>& duration)
    {
        return duration ? duration->seconds : 0.0;
    }
};

} // namespace

TEST_F(ContinuedSessionTest, TheStoredSessionStaysInTheStoreUntilTheContinuedOneReplacesIt)
{
    const Date now = fake.clock.now();
    const Session older = session(now.addingTimeInterval(-7200), now.addingTimeInterval(-5400));
    const Session newest = session(now.addingTimeInterval(-1800), now.addingTimeInterval(-300));
    controller().setAllSessions({ newest, older });
    controller().continuePreviousSession();

    // Every answer leaves it out while it runs again: today's total counts its time once.
    EXPECT_EQ(controller().allSessions(), std::vector<Session> { older });
    EXPECT_EQ(controller().sessionsForDayAt(now), std::vector<Session> { older });
    EXPECT_NEAR(seconds(controller().totalDurationForDayAt(now)), 1800 + 1800 + 0.01, 1e-6);
    // The store still holds it.
    EXPECT_EQ(storedSessions(), (std::vector<Session> { newest, older }));

    fake.clock.advance(600);
    controller().stop(false);
    const auto sessions = controller().allSessions();
    ASSERT_EQ(sessions.size(), 2u);
    EXPECT_EQ(sessions[0].id(), newest.id()) << "the continued session takes the stored one's place";
    EXPECT_EQ(sessions[0].dateRange().lowerBound, newest.dateRange().lowerBound);
    EXPECT_NEAR(sessions[0].duration(), 2400.01, 1e-6);
    EXPECT_EQ(sessions[1], older);
    EXPECT_EQ(storedSessions(), sessions);
    EXPECT_NEAR(seconds(controller().totalDurationForDayAt(fake.clock.now())), 1800 + 2400.01, 1e-6);
}

TEST_F(ContinuedSessionTest, AControllerGoneWithoutStoppingLeavesTheStoredSessionInTheHistory)
{
    const Date now = fake.clock.now();
    const Session stored = session(now.addingTimeInterval(-1800), now.addingTimeInterval(-300));
    controller().setAllSessions({ stored });
    controller().continuePreviousSession();
    fake.clock.advance(600);
    m_controller.reset(); // no stop: the process died

    EXPECT_EQ(controller().allSessions(), std::vector<Session> { stored });
    EXPECT_FALSE(controller().currentSession());
}

TEST_F(ContinuedSessionTest, AContinuedSessionNeverEndsBeforeTheStoredOne)
{
    const Date now = fake.clock.now();
    const Session stored = session(now.addingTimeInterval(-1800), now.addingTimeInterval(-300));
    controller().setAllSessions({ stored });
    controller().continuePreviousSession();
    fake.clock.advance(900);
    // Idle since before the stored session ended: the running part counts nothing.
    idle.source.setAll(1500);
    controller().stop(true);
    EXPECT_EQ(controller().allSessions(), std::vector<Session> { stored });
    EXPECT_EQ(storedSessions(), std::vector<Session> { stored });
}

TEST_F(ContinuedSessionTest, AShortStoredSessionContinuedBrieflyIsKeptAsItWas)
{
    // Stored by another writer, shorter than a session this one keeps.
    const Date now = fake.clock.now();
    const Session brief = session(now.addingTimeInterval(-100), now.addingTimeInterval(-60));
    storeRaw({ brief.jsonText() });
    controller().continuePreviousSession();
    EXPECT_TRUE(controller().allSessions().empty());
    fake.clock.advance(30);
    controller().stop(false); // 130 s in all: too short to store, and nothing to replace it with
    EXPECT_EQ(controller().allSessions(), std::vector<Session> { brief });
    EXPECT_EQ(storedSessions(), std::vector<Session> { brief });
}

TEST_F(ContinuedSessionTest, AContinuedSessionOlderThanTheKeptDaysIsPrunedWhenItEnds)
{
    const Session old = session(oslo(2024, 1, 10, 9), oslo(2024, 1, 10, 10));
    storeRaw({ old.jsonText() });
    controller().continuePreviousSession();
    fake.clock.advance(60);
    controller().stop(false);
    EXPECT_TRUE(controller().allSessions().empty());
    EXPECT_TRUE(storedSessions().empty());
}

TEST_F(ContinuedSessionTest, ChangesOfTheHistoryMeanwhileKeepTheStoredSession)
{
    const Date now = fake.clock.now();
    const Session older = session(now.addingTimeInterval(-7200), now.addingTimeInterval(-5400));
    const Session newest = session(now.addingTimeInterval(-1800), now.addingTimeInterval(-300));
    controller().setAllSessions({ newest, older });
    controller().continuePreviousSession();

    // The History window deletes what it shows.
    controller().setAllSessions({});
    EXPECT_TRUE(controller().allSessions().empty());
    EXPECT_EQ(storedSessions(), std::vector<Session> { newest });

    // Another writer adds a session: the stored one stays out of the answers.
    const Session added = session(now.addingTimeInterval(-20000), now.addingTimeInterval(-19000));
    storeRaw({ newest.jsonText(), added.jsonText() });
    EXPECT_EQ(controller().allSessions(), std::vector<Session> { added });

    // Continuing again resumes the session the history shows, which takes in the one continued
    // before: one session from its start, in the store at once.
    controller().continuePreviousSession();
    EXPECT_TRUE(controller().allSessions().empty());
    ASSERT_TRUE(controller().currentSession());
    EXPECT_EQ(controller().currentSession()->dateRange().lowerBound, added.dateRange().lowerBound);
    const auto merged = storedSessions();
    ASSERT_EQ(merged.size(), 1u);
    EXPECT_EQ(merged[0].id(), added.id());
    EXPECT_EQ(merged[0].dateRange(),
        (platform::DateRange { added.dateRange().lowerBound, newest.dateRange().upperBound }));
    controller().newSession();
    const auto sessions = controller().allSessions();
    ASSERT_EQ(sessions.size(), 1u);
    EXPECT_EQ(sessions[0].id(), added.id());
    EXPECT_EQ(sessions[0].dateRange().lowerBound, added.dateRange().lowerBound);
    EXPECT_NEAR(sessions[0].duration(), 20000.01, 1e-6);
}

TEST_F(ContinuedSessionTest, ASecondContinueResumesTheSessionBeforeTheContinuedOne)
{
    // B ended 13:55, A ran 14:07:30 to 14:10 and the clock reads 14:12.
    const Date now = fake.clock.now();
    const Session oldest = session(now.addingTimeInterval(-20000), now.addingTimeInterval(-19000));
    const Session b = session(now.addingTimeInterval(-1870), now.addingTimeInterval(-1020));
    const Session a = session(now.addingTimeInterval(-270), now.addingTimeInterval(-120));
    controller().setAllSessions({ a, b, oldest });
    controller().continuePreviousSession();
    EXPECT_EQ(controller().currentSession()->dateRange().lowerBound, a.dateRange().lowerBound);
    EXPECT_EQ(controller().allSessions().front(), b);

    controller().continuePreviousSession();
    EXPECT_EQ(controller().currentSession()->dateRange().lowerBound, b.dateRange().lowerBound);
    EXPECT_EQ(controller().allSessions(), std::vector<Session> { oldest });
    // Nothing of A's or B's time is counted twice, and none is lost.
    EXPECT_NEAR(seconds(controller().totalDurationForDayAt(now)), 1000 + 1870 + 0.01, 1e-6);

    // Idle since before A ended: the stop keeps what was stored, A's end included.
    fake.clock.advance(600);
    idle.source.setAll(900);
    controller().stop(true);
    const auto sessions = controller().allSessions();
    ASSERT_EQ(sessions.size(), 2u);
    EXPECT_EQ(sessions[0].id(), b.id());
    EXPECT_EQ(sessions[0].dateRange(),
        (platform::DateRange { b.dateRange().lowerBound, a.dateRange().upperBound }));
    EXPECT_EQ(sessions[1], oldest);
    EXPECT_EQ(storedSessions(), sessions);
}

TEST_F(ContinuedSessionTest, ClearingTheHistoryMeanwhileLeavesOnlyTheContinuedSession)
{
    const Date now = fake.clock.now();
    const Session stored = session(now.addingTimeInterval(-1800), now.addingTimeInterval(-300));
    controller().setAllSessions({ stored });
    controller().continuePreviousSession();
    controller().removeAllSessions();
    EXPECT_TRUE(storedEntries().empty());
    fake.clock.advance(60);
    controller().stop(false);
    const auto sessions = controller().allSessions();
    ASSERT_EQ(sessions.size(), 1u);
    EXPECT_NEAR(sessions[0].duration(), 1860.01, 1e-6) << "the running session is not touched by a clear";
}

// A real crash, on a real file: the first run continues the newest session and is killed; the
// next run on the same file finds every stored session.
TEST(ContinuedSessionFileTest, AKilledRunLosesNoStoredSession)
{
    if (!SeparateTestProcess::isRunningAlone()) {
        SeparateTestProcess::runCurrentTest();
        return;
    }
    const QByteArray crashingOn = qgetenv("KIRUVO_TEST_CONTINUE_THEN_DIE");
    const auto zone = *platform::TimeZone::withIdentifier("Europe/Oslo");
    const Date now(737000000);
    platform::fake::ScopedFakeClock fake(now, 50000);
    platform::fake::ScopedFakeIdleTimeSource idle;
    platform::fake::FakeSystemEvents events;
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    platform::ErrorReporter reporter(folder.filePath("reports").toStdString());
    platform::ErrorReporter::setShared(&reporter);
    const auto openStore = [](const QString& file) {
        platform::UserDefaults::setStandard(std::make_shared<platform::UserDefaults>(
            platform::DefaultsDatabase::open(file.toStdString()), platform::UserDefaults::standardSuiteName));
    };

    const Session older = *Session::make(*platform::Uuid::parse("0C1D6E4A-5B7F-4E2A-9D3C-1A2B3C4D5E6F"),
        now.addingTimeInterval(-7200), now.addingTimeInterval(-5400), zone);
    const Session newest = *Session::make(*platform::Uuid::parse("7E8F9A0B-1C2D-4E3F-8A5B-6C7D8E9F0A1B"),
        now.addingTimeInterval(-1800), now.addingTimeInterval(-300), zone);
    if (!crashingOn.isEmpty()) {
        openStore(QString::fromUtf8(crashingOn));
        SessionController controller;
        controller.setAllSessions({ newest, older });
        controller.continuePreviousSession();
        fake.clock.advance(600);
        ::kill(::getpid(), SIGKILL);
    }

    const QString file = folder.filePath("defaults.sqlite3");
    QProcess run;
    auto environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("KIRUVO_TEST_RUNNING_ALONE"), QStringLiteral("1"));
    environment.insert(QStringLiteral("KIRUVO_TEST_CONTINUE_THEN_DIE"), file);
    run.setProcessEnvironment(environment);
    run.setProcessChannelMode(QProcess::MergedChannels);
    run.start(QCoreApplication::applicationFilePath(),
        { QStringLiteral("--gtest_filter=ContinuedSessionFileTest.AKilledRunLosesNoStoredSession") });
    ASSERT_TRUE(run.waitForFinished(60000));
    ASSERT_EQ(run.exitStatus(), QProcess::CrashExit) << run.readAll().toStdString();

    openStore(file);
    SessionController controller;
    const auto sessions = controller.allSessions();
    ASSERT_EQ(sessions.size(), 2u) << "the continued session was lost with the run";
    EXPECT_EQ(sessions[0], newest);
    EXPECT_EQ(sessions[1], older);
    platform::ErrorReporter::setShared(nullptr);
}
