#include "app/SessionEngineFixture.h"

#include "platform/store/PropertyListJson.h"

using kiruvo::Session;
using platform::Date;
using platform::PropertyList;

namespace {

class HistoryQueriesTest : public SessionEngineTest { };

} // namespace

TEST_F(HistoryQueriesTest, AnEmptyHistoryAnswersNothing)
{
    EXPECT_TRUE(controller().allSessions().empty());
    EXPECT_FALSE(controller().allSessionsDateRange());
    EXPECT_EQ(controller().trackedDayCount(), 0);
    EXPECT_TRUE(controller().sessionsForDayAt(fake.clock.now()).empty());
}

TEST_F(HistoryQueriesTest, EachSessionIsStoredAsTheTextOfOneJsonObject)
{
    const auto id = *platform::Uuid::parse("E621E1F8-C36C-495A-93FC-0C247A3E6E5F");
    const Session first = *Session::make(
        id, Date(700000000), Date(700000600.5), *platform::TimeZone::withIdentifier("Europe/Oslo"));
    const Session second = session(Date(699000000), Date(699000300), "America/New_York");
    controller().setAllSessions({ first, second });
    const auto entries = storedEntries();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0],
        PropertyList(
            std::string(R"({"id":"E621E1F8-C36C-495A-93FC-0C247A3E6E5F","dateRange":[700000000,700000600.5],)"
                        R"("timeZone":{"identifier":"Europe\/Oslo"}})")));
    EXPECT_EQ(entries[1], PropertyList(second.jsonText()));
    // The generic typed read of the key agrees.
    EXPECT_EQ(Defaults::get(kiruvo::Keys::sessions()), (std::vector<Session> { first, second }));
    Defaults::set(kiruvo::Keys::sessions(), std::vector<Session> { first });
    EXPECT_EQ(storedEntries(), platform::PropertyListArray { entries[0] });
}

TEST_F(HistoryQueriesTest, AnEmptyHistoryIsWrittenAsAnEmptyList)
{
    controller().setAllSessions({});
    ASSERT_TRUE(store()->objectForKey("sessions"));
    EXPECT_TRUE(store()->objectForKey("sessions")->isArray());
}

TEST_F(HistoryQueriesTest, AWriteIsReadBackAtOnceAlsoWhenMadeElsewhere)
{
    const Session a = session(Date(700000000), Date(700000600));
    const Session b = session(Date(700001000), Date(700001600));
    controller().setAllSessions({ a });
    EXPECT_EQ(controller().allSessions(), std::vector<Session> { a });
    const auto dayBefore = controller().sessionsForDayAt(Date(700000000));
    storeRaw({ PropertyList(b.jsonText()), PropertyList(a.jsonText()) });
    EXPECT_EQ(controller().allSessions(), (std::vector<Session> { b, a }));
    EXPECT_EQ(controller().sessionsForDayAt(Date(700000000)).size(), dayBefore.size() + 1);
}

TEST_F(HistoryQueriesTest, TheHistoryKeyChangesWithTheStoredHistoryOnlyNotWithReadsOrTime)
{
    const Session a = session(Date(700000000), Date(700000600));
    controller().setAllSessions({ a });
    const auto key = controller().allSessionsCacheKey();
    controller().allSessions();
    EXPECT_EQ(controller().allSessionsCacheKey(), key);
    fake.clock.advance(3600);
    EXPECT_EQ(controller().allSessions(), std::vector<Session> { a });
    EXPECT_EQ(controller().allSessionsCacheKey(), key);
    controller().setAllSessions({});
    EXPECT_NE(controller().allSessionsCacheKey(), key);
    EXPECT_TRUE(controller().allSessions().empty());
}

TEST_F(HistoryQueriesTest, UndecodableEntriesAreKeptVerbatimAndReportedOnce)
{
    const Session a
        = session(fake.clock.now().addingTimeInterval(-7200), fake.clock.now().addingTimeInterval(-3600));
    const std::string broken = R"({"id":"not a uuid","dateRange":[1,2],"timeZone":{"identifier":"UTC"}})";
    storeRaw({ PropertyList(broken), PropertyList(a.jsonText()), PropertyList(std::int64_t(42)) });
    EXPECT_EQ(controller().allSessions(), std::vector<Session> { a });

    // A stop and its prune rewrite the history: the unreadable entries stay.
    controller().start();
    fake.clock.advance(600);
    controller().stop(false);
    const auto entries = storedEntries();
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(entries[2], PropertyList(broken));
    EXPECT_EQ(entries[3], PropertyList(std::int64_t(42)));
    EXPECT_EQ(controller().allSessions().size(), 2u);
    fake.clock.advance(1);
    controller().allSessions();
    EXPECT_EQ(reportsContaining("A stored session could not be read"), 2);
}

TEST_F(HistoryQueriesTest, AStoredValueThatIsNoListIsBackedUpBeforeItIsReplaced)
{
    store()->setObject(PropertyList(std::string("[not, a list")), "sessions");
    EXPECT_TRUE(controller().allSessions().empty());
    controller().setAllSessions({ session(Date(700000000), Date(700000600)) });
    bool backedUp = false;
    for (const auto& [name, value] : store()->dictionaryRepresentation()) {
        if (name.rfind("sessions.", 0) == 0 && value == PropertyList(std::string("[not, a list"))) {
            backedUp = true;
        }
    }
    EXPECT_TRUE(backedUp);
}

TEST_F(HistoryQueriesTest, TheDateRangeRunsFromTheEarliestStartToTheLatestEndWhateverTheOrder)
{
    const Session newest = session(oslo(2024, 5, 12, 17), oslo(2024, 5, 12, 18));
    const Session oldest = session(oslo(2024, 5, 10, 9), oslo(2024, 5, 10, 10));
    const Session longest = session(oslo(2024, 5, 11, 9), oslo(2024, 5, 12, 20));
    controller().setAllSessions({ oldest, newest, longest });
    ASSERT_TRUE(controller().allSessionsDateRange());
    EXPECT_EQ(controller().allSessionsDateRange()->lowerBound, oslo(2024, 5, 10, 9));
    EXPECT_EQ(controller().allSessionsDateRange()->upperBound, oslo(2024, 5, 12, 20));
    EXPECT_EQ(controller().trackedDayCount(), 3);
}

TEST_F(HistoryQueriesTest, TheDayCountCountsCalendarDaysBothIncluded)
{
    controller().setAllSessions({ session(oslo(2024, 5, 10, 10), oslo(2024, 5, 10, 11)) });
    EXPECT_EQ(controller().trackedDayCount(), 1);
    controller().setAllSessions({ session(oslo(2024, 5, 12, 17), oslo(2024, 5, 12, 18)),
        session(oslo(2024, 5, 10, 19), oslo(2024, 5, 10, 20)) });
    EXPECT_EQ(controller().trackedDayCount(), 3);
    controller().setAllSessions({ session(oslo(2024, 5, 10, 23), oslo(2024, 5, 11, 1)) });
    EXPECT_EQ(controller().trackedDayCount(), 2);
}

TEST_F(HistoryQueriesTest, SessionsBelongToEveryDayTheyOverlap)
{
    const Session acrossMidnight = session(oslo(2024, 5, 10, 23), oslo(2024, 5, 11, 1));
    const Session endingAtMidnight = session(oslo(2024, 5, 10, 22), oslo(2024, 5, 11, 0));
    const Session startingAtMidnight = session(oslo(2024, 5, 11, 0), oslo(2024, 5, 11, 1));
    controller().setAllSessions({ startingAtMidnight, endingAtMidnight, acrossMidnight });
    EXPECT_EQ(controller().sessionsForDayAt(oslo(2024, 5, 10, 12)),
        (std::vector<Session> { endingAtMidnight, acrossMidnight }));
    EXPECT_EQ(controller().sessionsForDayAt(oslo(2024, 5, 11, 12)),
        (std::vector<Session> { startingAtMidnight, acrossMidnight }));
    // 23:59:59.6 rounds to the next midnight.
    EXPECT_EQ(controller().sessionsForDayAt(oslo(2024, 5, 10, 23, 59, 59).addingTimeInterval(0.6)),
        controller().sessionsForDayAt(oslo(2024, 5, 11, 12)));
}

TEST_F(HistoryQueriesTest, DaysAreThoseOfTheZoneAtTheTimeOfTheQuestion)
{
    const Session evening = session(oslo(2024, 5, 10, 23, 30), oslo(2024, 5, 10, 23, 45));
    controller().setAllSessions({ evening });
    EXPECT_EQ(controller().sessionsForDayAt(oslo(2024, 5, 10, 12)).size(), 1u);
    platform::TimeZone::setCurrentForTesting(platform::TimeZone::withIdentifier("America/New_York"));
    fake.clock.advance(2);
    EXPECT_EQ(controller().sessionsForDayAt(oslo(2024, 5, 10, 12)).size(), 1u);
    EXPECT_TRUE(controller().sessionsForDayAt(oslo(2024, 5, 11, 12)).empty());
    platform::TimeZone::setCurrentForTesting(platform::TimeZone::withIdentifier("Asia/Tokyo"));
    fake.clock.advance(2);
    EXPECT_EQ(controller().sessionsForDayAt(oslo(2024, 5, 11, 12)).size(), 1u);
}

TEST_F(HistoryQueriesTest, ImpossibleSessionsAreKeptVerbatimButNeitherCountedNorShown)
{
    const Date now = fake.clock.now();
    const Session fine = session(now.addingTimeInterval(-7200), now.addingTimeInterval(-3600));
    const std::vector<std::string> impossible {
        // A hundred years long.
        session(now.addingTimeInterval(-100 * 365.25 * 86400), now.addingTimeInterval(-3600)).jsonText(),
        // Before 2001 and after 2200.
        session(Date(-1e6), Date(-1e6 + 600)).jsonText(),
        session(Date(6311347200.0), Date(6311347200.0 + 600)).jsonText(),
        R"({"id":"E621E1F8-C36C-495A-93FC-0C247A3E6E5F","dateRange":[-1e300,1e300],"timeZone":{"identifier":"UTC"}})",
    };
    platform::PropertyListArray raw { PropertyList(fine.jsonText()) };
    for (const auto& text : impossible) {
        raw.emplace_back(text);
    }
    storeRaw(raw);

    EXPECT_EQ(controller().allSessions(), std::vector<Session> { fine });
    EXPECT_EQ(controller().totalDurationForSessionsAtDay(now).seconds, 3600);
    EXPECT_EQ(controller().trackedDayCount(), 1);

    controller().setAllSessions({ fine });
    const auto entries = storedEntries();
    ASSERT_EQ(entries.size(), 5u);
    for (std::size_t i = 0; i < impossible.size(); ++i) {
        EXPECT_EQ(entries[i + 1], PropertyList(impossible[i]));
    }
    fake.clock.advance(1);
    controller().allSessions();
    EXPECT_EQ(reportsContaining("A stored session could not be read"), 4);
}
