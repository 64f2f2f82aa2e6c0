#include "app/engine/SessionHistory.h"
#include "app/SessionEngineFixture.h"

#include <QSignalSpy>

#include <functional>
#include <thread>

using kiruvo::Session;
using kiruvo::SessionHistory;
using platform::Date;
using platform::PropertyList;
using platform::PropertyListArray;

namespace {

// The history on its own, over a suite of its own: no engine, no idle source, no standard store.
class SessionHistoryTest : public SessionEngineTest {
protected:
    void SetUp() override
    {
        SessionEngineTest::SetUp();
        m_writes
            = m_suite->addObserver("sessions", [this](const auto&, const auto&, const auto&) { ++writes; });
    }
    void TearDown() override
    {
        m_suite->removeObserver(m_writes);
        SessionEngineTest::TearDown();
    }

    SessionHistory& history()
    {
        if (!m_history) {
            m_history = std::make_unique<SessionHistory>(m_suite);
        }
        return *m_history;
    }

    void storeInSuite(const PropertyListArray& entries)
    {
        m_suite->setObject(PropertyList(entries), "sessions");
    }
    PropertyListArray entriesInSuite() const
    {
        auto object = m_suite->objectForKey("sessions");
        return object && object->isArray() ? *object->getIf<PropertyListArray>() : PropertyListArray {};
    }
    // The sessions the suite holds, decoded, in stored order.
    std::vector<Session> sessionsInSuite() const { return sessionsIn(entriesInSuite()); }

    std::shared_ptr<platform::UserDefaults> m_suite
        = std::make_shared<platform::UserDefaults>(platform::DefaultsDatabase::open(":memory:"), "history");
    std::unique_ptr<SessionHistory> m_history;
    int writes = 0;

private:
    platform::UserDefaults::ObserverId m_writes = 0;
};

} // namespace

TEST_F(SessionHistoryTest, ItsOwnSuiteIsTheOneReadAndWritten)
{
    const auto standardBefore = storedEntries();
    const Session stored = session(oslo(2024, 5, 14, 9), oslo(2024, 5, 14, 10));
    storeInSuite({ PropertyList(stored.jsonText()) });
    EXPECT_EQ(history().allSessions(), std::vector<Session> { stored });

    const Session added = session(oslo(2024, 5, 15, 9), oslo(2024, 5, 15, 10));
    history().setAllSessions({ added, stored });
    EXPECT_EQ(sessionsInSuite(), (std::vector<Session> { added, stored }));
    EXPECT_EQ(storedEntries(), standardBefore) << "the standard store is not this history's";
}

TEST_F(SessionHistoryTest, EveryChangeRenewsTheGenerationOnceAndIsToldWithTheNewListInPlace)
{
    QSignalSpy changes(&history(), &SessionHistory::changed);
    std::vector<std::size_t> toldSizes;
    QObject::connect(
        &history(), &SessionHistory::changed, [&] { toldSizes.push_back(history().allSessions().size()); });
    const auto generation = history().generation();
    const auto key = history().cacheKey();

    // Reading and time passing change nothing.
    history().allSessions();
    fake.clock.advance(3600);
    EXPECT_EQ(history().generation(), generation);
    EXPECT_EQ(history().cacheKey(), key);

    history().setAllSessions({ session(oslo(2024, 5, 14, 9), oslo(2024, 5, 14, 10)) });
    // Written by someone else on this thread: told at once.
    storeInSuite({});
    history().setAllSessions({ session(oslo(2024, 5, 14, 9), oslo(2024, 5, 14, 10)),
        session(oslo(2024, 5, 13, 9), oslo(2024, 5, 13, 10)) });
    EXPECT_EQ(changes.count(), 3);
    EXPECT_EQ(toldSizes, (std::vector<std::size_t> { 1, 0, 2 }));
    EXPECT_EQ(history().generation(), generation + 3);
    EXPECT_NE(history().cacheKey(), key);
}

TEST_F(SessionHistoryTest, AWriteFromAnotherThreadIsToldOnTheMainThreadAndNotAfterTheHistoryIsGone)
{
    history().allSessions();
    QSignalSpy changes(&history(), &SessionHistory::changed);
    const Session written = session(oslo(2024, 5, 14, 9), oslo(2024, 5, 14, 10));
    std::thread([&] { storeInSuite({ PropertyList(written.jsonText()) }); }).join();
    EXPECT_EQ(changes.count(), 0);
    processEvents();
    EXPECT_EQ(changes.count(), 1);
    EXPECT_EQ(history().allSessions(), std::vector<Session> { written });

    // A change told on its way to a history destroyed meanwhile reaches nobody.
    std::thread([&] { storeInSuite({}); }).join();
    m_history.reset();
    processEvents();
    EXPECT_EQ(history().allSessions(), std::vector<Session> {});
}

TEST_F(SessionHistoryTest, EntriesThatDoNotDecodeAreWrittenBackAfterTheSessionsUntilEverythingIsRemoved)
{
    const Session stored = session(oslo(2024, 5, 14, 9), oslo(2024, 5, 14, 10));
    const PropertyList odd(std::string("{\"id\": \"not a session\"}"));
    storeInSuite({ odd, PropertyList(stored.jsonText()), PropertyList(std::int64_t { 7 }) });
    EXPECT_EQ(history().allSessions(), std::vector<Session> { stored });
    // Each reported once, however often the history is read again.
    storeInSuite(entriesInSuite());
    EXPECT_EQ(history().allSessions(), std::vector<Session> { stored });
    EXPECT_EQ(reportsContaining("A stored session could not be read"), 2);
    history().setAllSessions({});
    EXPECT_EQ(entriesInSuite(), (PropertyListArray { odd, PropertyList(std::int64_t { 7 }) }));

    const Session added = session(oslo(2024, 5, 15, 9), oslo(2024, 5, 15, 10));
    history().setAllSessions({ added });
    EXPECT_EQ(entriesInSuite(),
        (PropertyListArray { PropertyList(added.jsonText()), odd, PropertyList(std::int64_t { 7 }) }));

    history().removeAllSessions();
    EXPECT_TRUE(entriesInSuite().empty());
    EXPECT_TRUE(history().allSessions().empty());
}

TEST_F(SessionHistoryTest, AddingTakesThePlaceOfTheSessionOfTheSameIdAndSortsInOneWrite)
{
    const Session older = session(oslo(2024, 5, 13, 9), oslo(2024, 5, 13, 10));
    const Session newer = session(oslo(2024, 5, 14, 9), oslo(2024, 5, 14, 10));
    history().setAllSessions({ newer, older });
    writes = 0;

    const Session newest = session(oslo(2024, 5, 15, 9), oslo(2024, 5, 15, 10));
    history().add(newest);
    EXPECT_EQ(history().allSessions(), (std::vector<Session> { newest, newer, older }));

    const Session grown = *Session::make(older.id(), older.dateRange().lowerBound, oslo(2024, 5, 13, 11),
        *platform::TimeZone::withIdentifier("Europe/Oslo"));
    history().add(grown);
    EXPECT_EQ(history().allSessions(), (std::vector<Session> { newest, newer, grown }));
    EXPECT_EQ(sessionsInSuite(), history().allSessions());
    EXPECT_EQ(writes, 2);
}

TEST_F(SessionHistoryTest, PruningKeepsSessionsStartingAfterTheCutoffAndWritesOnlyWhenSomethingChanges)
{
    const Date cutoff = oslo(2024, 1, 15, 12); // 121 calendar days before now
    const Session atCutoff = session(cutoff, cutoff.addingTimeInterval(600));
    const Session justAfter = session(cutoff.addingTimeInterval(1), cutoff.addingTimeInterval(600));
    const Session recent = session(oslo(2024, 5, 15, 9), oslo(2024, 5, 15, 10));

    history().setAllSessions({ recent, justAfter });
    writes = 0;
    history().prune();
    EXPECT_EQ(writes, 0) << "a sorted history within the kept days is not written again";

    history().setAllSessions({ atCutoff, justAfter, recent });
    writes = 0;
    history().prune();
    EXPECT_EQ(writes, 1);
    EXPECT_EQ(history().allSessions(), (std::vector<Session> { recent, justAfter }));
    EXPECT_EQ(sessionsInSuite(), history().allSessions());

    // Thirty days on, the cutoff has moved and the pure form agrees with the prune.
    fake.clock.advance(30 * 86400.0);
    const auto kept = SessionHistory::pruned({ recent, justAfter });
    ASSERT_TRUE(kept);
    EXPECT_EQ(*kept, std::vector<Session> { recent });
}

TEST_F(SessionHistoryTest, ASessionHeldOutLeavesTheAnswersButNotTheStore)
{
    const Session older = session(oslo(2024, 5, 14, 9), oslo(2024, 5, 14, 10));
    const Session newest = session(oslo(2024, 5, 15, 9), oslo(2024, 5, 15, 10));
    history().setAllSessions({ newest, older });
    QSignalSpy changes(&history(), &SessionHistory::changed);
    writes = 0;

    history().holdOut(newest.id());
    EXPECT_EQ(changes.count(), 1);
    EXPECT_EQ(writes, 0);
    EXPECT_EQ(history().allSessions(), std::vector<Session> { older });
    EXPECT_EQ(history().heldOut(), newest);
    EXPECT_EQ(sessionsInSuite(), (std::vector<Session> { newest, older }));

    // Written meanwhile, it goes back into the store in its place by start.
    const Session oldest = session(oslo(2024, 5, 12, 9), oslo(2024, 5, 12, 10));
    const Session between = session(oslo(2024, 5, 14, 12), oslo(2024, 5, 14, 13));
    history().setAllSessions({ between, older, oldest });
    EXPECT_EQ(sessionsInSuite(), (std::vector<Session> { newest, between, older, oldest }));
    EXPECT_EQ(history().allSessions(), (std::vector<Session> { between, older, oldest }));

    history().releaseHeldOut();
    EXPECT_FALSE(history().heldOutId());
    EXPECT_FALSE(history().heldOut());
    EXPECT_EQ(history().allSessions(), (std::vector<Session> { newest, between, older, oldest }));
    EXPECT_EQ(changes.count(), 3);
}

TEST_F(SessionHistoryTest, AHeldOutSessionIsHeldOutOfAHistoryReadAgainAndReplacedByTheOneAdded)
{
    const Session newest = session(oslo(2024, 5, 15, 9), oslo(2024, 5, 15, 10));
    const Session older = session(oslo(2024, 5, 14, 9), oslo(2024, 5, 14, 10));
    history().setAllSessions({ newest, older });
    history().holdOut(newest.id());

    // Another writer's list, read anew, still leaves it out while it is in there.
    storeInSuite({ PropertyList(newest.jsonText()), PropertyList(older.jsonText()) });
    EXPECT_EQ(history().allSessions(), std::vector<Session> { older });
    EXPECT_EQ(history().heldOut(), newest);

    // Taken out by another writer: nothing is held out any more, but the id stays for the session
    // that continues it.
    storeInSuite({ PropertyList(older.jsonText()) });
    EXPECT_FALSE(history().heldOut());
    EXPECT_EQ(history().heldOutId(), newest.id());

    const Session continued = *Session::make(newest.id(), newest.dateRange().lowerBound,
        oslo(2024, 5, 15, 12), *platform::TimeZone::withIdentifier("Europe/Oslo"));
    history().releaseHeldOut();
    history().add(continued);
    EXPECT_EQ(history().allSessions(), (std::vector<Session> { continued, older }));
}

TEST_F(SessionHistoryTest, ABackgroundDecodeOfAHistoryGoneMeanwhileIsDroppedQuietly)
{
    storeInSuite({ PropertyList(session(oslo(2024, 5, 14, 9), oslo(2024, 5, 14, 10)).jsonText()) });
    std::function<void()> work;
    history().decodeInBackground([&](std::function<void()> started) { work = std::move(started); });
    QSignalSpy decoded(&history(), &SessionHistory::decoded);
    EXPECT_TRUE(history().isDecoding());
    m_history.reset();

    const auto decodes = SessionHistory::decodeCount();
    std::thread(std::move(work)).join();
    processEvents();
    EXPECT_EQ(SessionHistory::decodeCount(), decodes + 1);
    EXPECT_EQ(decoded.count(), 0);
}
