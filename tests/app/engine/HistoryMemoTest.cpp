#include "app/SessionEngineFixture.h"

#include "libraries/defaults/Defaults.h"

using kiruvo::Session;
using platform::Date;
using platform::PropertyList;

namespace {

// The decoded history and the day totals are kept until "sessions" changes, and the answers they
// give must be those of a fresh computation at every moment: after a change from anywhere, a stop
// within the same second, midnight and a change of time zone.
class HistoryMemoTest : public SessionEngineTest {
protected:
    void SetUp() override
    {
        SessionEngineTest::SetUp();
        m_writes
            = store()->addObserver("sessions", [this](const auto&, const auto&, const auto&) { ++writes; });
    }
    void TearDown() override
    {
        store()->removeObserver(m_writes);
        SessionEngineTest::TearDown();
    }

    // Counts the engine's "the history changed" changeSignals from now on.
    void countSignals()
    {
        QObject::connect(&controller(), &kiruvo::SessionController::historyChanged, [this] {
            ++changeSignals;
            // What a listener reads at that moment is already the new history.
            signalledSizes.push_back(controller().allSessions().size());
        });
    }

    static double seconds(const std::optional<zk::Duration>& total) { return total ? total->seconds : -1; }

    int writes = 0;
    int changeSignals = 0;
    std::vector<std::size_t> signalledSizes;

private:
    platform::UserDefaults::ObserverId m_writes = 0;
};

} // namespace

TEST_F(HistoryMemoTest, TheDecodedHistoryIsKeptWhileTimePassesAndRenewedByAnyChange)
{
    const Session a = session(oslo(2024, 5, 15, 8), oslo(2024, 5, 15, 9));
    controller().setAllSessions({ a });
    const auto first = controller().allSessionsShared();
    const auto generation = controller().history().generation();
    for (int second = 0; second < 5; ++second) {
        fake.clock.advance(1);
        EXPECT_EQ(controller().allSessionsShared(), first) << "decoded again after " << second + 1 << " s";
    }
    EXPECT_EQ(controller().history().generation(), generation);

    const Session b = session(oslo(2024, 5, 15, 10), oslo(2024, 5, 15, 11));
    storeRaw({ PropertyList(b.jsonText()), PropertyList(a.jsonText()) });
    EXPECT_GT(controller().history().generation(), generation);
    EXPECT_EQ(controller().allSessions(), (std::vector<Session> { b, a }));
    const auto second = controller().allSessionsShared();
    EXPECT_NE(second, first);
    EXPECT_EQ(controller().allSessionsShared(), second);
}

TEST_F(HistoryMemoTest, AChangeFromElsewhereReachesTodaysTotalWithinTheSameSecond)
{
    const Date now = fake.clock.now();
    controller().setAllSessions({ session(oslo(2024, 5, 15, 8), oslo(2024, 5, 15, 9)) });
    EXPECT_EQ(seconds(controller().totalDurationForDayAt(now)), 3600);
    EXPECT_EQ(controller().sessionsForDayAt(now).size(), 1u);
    // The History window deletes through the setting itself.
    Defaults::set(kiruvo::Keys::sessions(), std::vector<Session> {});
    EXPECT_FALSE(controller().totalDurationForDayAt(now));
    EXPECT_TRUE(controller().sessionsForDayAt(now).empty());
    EXPECT_EQ(controller().totalDurationForSessionsAtDay(now).seconds, 0);
}

TEST_F(HistoryMemoTest, AStopFromIdleWithinTheSameSecondGivesTheBackdatedTotal)
{
    controller().start();
    fake.clock.advance(30 * 60);
    const Date now = fake.clock.now();
    EXPECT_NEAR(seconds(controller().totalDurationForDayAt(now)), 1800.01, 1e-6);
    idle.source.setAll(10 * 60);
    controller().stop(true);
    // The running half hour is gone and the stored twenty minutes count in the same second.
    EXPECT_NEAR(seconds(controller().totalDurationForDayAt(now)), 1200.01, 1e-6);
}

TEST_F(HistoryMemoTest, TheRunningSessionGrowsEverySecondWhileTheHistoryStaysPut)
{
    controller().setAllSessions({ session(oslo(2024, 5, 15, 8), oslo(2024, 5, 15, 9)) });
    controller().start();
    for (int second = 1; second <= 3; ++second) {
        fake.clock.advance(1);
        EXPECT_NEAR(
            seconds(controller().totalDurationForDayAt(fake.clock.now())), 3600 + second + 0.01, 1e-6);
    }
}

TEST_F(HistoryMemoTest, MidnightStartsTheNextDaysTotal)
{
    fake.clock.setNow(oslo(2024, 5, 15, 23, 50));
    controller().setAllSessions({ session(oslo(2024, 5, 15, 22), oslo(2024, 5, 15, 23)),
        session(oslo(2024, 5, 16, 0, 0), oslo(2024, 5, 16, 0, 0).addingTimeInterval(200)) });
    controller().start();
    fake.clock.advance(599); // 23:59:59
    EXPECT_NEAR(seconds(controller().totalDurationForDayAt(fake.clock.now())), 3600 + 599.01, 1e-6);
    // 23:59:59.6 rounds to the next day: its stored session, and nothing yet of the running one.
    fake.clock.advance(0.6);
    EXPECT_NEAR(seconds(controller().totalDurationForDayAt(fake.clock.now())), 200, 1e-6);
    fake.clock.advance(1);
    EXPECT_NEAR(seconds(controller().totalDurationForDayAt(fake.clock.now())), 200 + 0.61, 1e-6);
    // The day before is still answered from its own entry.
    EXPECT_EQ(controller().totalDurationForSessionsAtDay(oslo(2024, 5, 15, 12)).seconds, 3600);
}

TEST_F(HistoryMemoTest, ATimeZoneChangeMovesTheDaysAtOnce)
{
    // 08:00 to 09:00 in Oslo is 02:00 to 03:00 in New York, and on the day before in Honolulu.
    controller().setAllSessions({ session(oslo(2024, 5, 15, 8), oslo(2024, 5, 15, 9)) });
    const Date now = fake.clock.now(); // 12:00 in Oslo, 00:00 in Honolulu
    EXPECT_EQ(seconds(controller().totalDurationForDayAt(now)), 3600);
    platform::TimeZone::setCurrentForTesting(platform::TimeZone::withIdentifier("Pacific/Honolulu"));
    EXPECT_FALSE(controller().totalDurationForDayAt(now));
    EXPECT_EQ(controller().totalDurationForSessionsAtDay(now.addingTimeInterval(-3600)).seconds, 3600);
    platform::TimeZone::setCurrentForTesting(platform::TimeZone::withIdentifier("America/New_York"));
    EXPECT_EQ(seconds(controller().totalDurationForDayAt(now)), 3600);
}

TEST_F(HistoryMemoTest, AStopThatStoresWritesTheHistoryOnce)
{
    controller().setAllSessions({ session(oslo(2024, 5, 14, 9), oslo(2024, 5, 14, 10)) });
    countSignals();
    writes = 0;
    controller().start();
    fake.clock.advance(600);
    controller().stop(false);
    EXPECT_EQ(writes, 1);
    EXPECT_EQ(changeSignals, 1);
    EXPECT_EQ(signalledSizes, std::vector<std::size_t> { 2 });
    const auto stored = storedEntries();
    ASSERT_EQ(stored.size(), 2u);
    // The new session is first: the prune sorted it before the one write.
    EXPECT_EQ(stored[0], PropertyList(controller().allSessions()[0].jsonText()));
}

TEST_F(HistoryMemoTest, NothingIsWrittenWhenNothingChanged)
{
    controller().setAllSessions({ session(oslo(2024, 5, 14, 9), oslo(2024, 5, 14, 10)) });
    countSignals();
    writes = 0;
    const auto generation = controller().history().generation();
    // Too short to keep, and nothing old enough to prune.
    controller().start();
    fake.clock.advance(60);
    controller().stop(false);
    // Quitting with nothing running.
    events.terminate();
    controller().setEnabled(false);
    EXPECT_EQ(writes, 0);
    EXPECT_EQ(changeSignals, 0);
    EXPECT_EQ(controller().history().generation(), generation);
}

TEST_F(HistoryMemoTest, AnUnsortedHistoryIsSortedAndWrittenByTheNextPrune)
{
    const Session older = session(oslo(2024, 5, 13, 9), oslo(2024, 5, 13, 10));
    const Session newer = session(oslo(2024, 5, 14, 9), oslo(2024, 5, 14, 10));
    storeRaw({ PropertyList(older.jsonText()), PropertyList(newer.jsonText()) });
    writes = 0;
    controller().start();
    controller().stop(false);
    EXPECT_EQ(writes, 1);
    EXPECT_EQ(controller().allSessions(), (std::vector<Session> { newer, older }));
}

TEST_F(HistoryMemoTest, EveryChangeIsSignalledOnceWithTheNewHistoryInPlace)
{
    countSignals();
    const auto generation = controller().history().generation();
    controller().setAllSessions({ session(oslo(2024, 5, 14, 9), oslo(2024, 5, 14, 10)) });
    storeRaw({});
    controller().setAllSessions({ session(oslo(2024, 5, 14, 9), oslo(2024, 5, 14, 10)),
        session(oslo(2024, 5, 13, 9), oslo(2024, 5, 13, 10)) });
    EXPECT_EQ(changeSignals, 3);
    EXPECT_EQ(signalledSizes, (std::vector<std::size_t> { 1, 0, 2 }));
    EXPECT_EQ(controller().history().generation(), generation + 3);
}
