#include "FakeSessionEngine.h"

#include "app/SessionEngineFixture.h"
#include "app/intents/SessionControllerEngine.h"
#include "app/intents/SessionIntentObject.h"
#include "platform/Logger.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace kiruvo;

namespace {

// The handlers' decisions, against an engine that counts what it is asked to do.
class IntentHandlersTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::TimeZone::setCurrentForTesting(platform::TimeZone::withIdentifier("Europe/Oslo"));
        platform::Locale::setCurrentForTesting(platform::Locale("en_US"));
    }
    void TearDown() override
    {
        platform::TimeZone::setCurrentForTesting(std::nullopt);
        platform::Locale::setCurrentForTesting(std::nullopt);
    }

    platform::fake::ScopedFakeClock fake { platform::Date(737000000.0), 50000 };
    FakeSessionEngine engine;
};

TEST_F(IntentHandlersTest, GetEnabledStateReportsTheEngine)
{
    engine.enabled = false;
    auto response = handled<GetEnabledStateIntentHandler>({});
    EXPECT_EQ(response.code, GetEnabledStateIntentResponseCode::success);
    EXPECT_EQ(response.isEnabled, false);
    engine.enabled = true;
    EXPECT_EQ(handled<GetEnabledStateIntentHandler>({}).isEnabled, true);
    EXPECT_EQ(engine.setEnabledCalls, 0);
}

TEST_F(IntentHandlersTest, SetAssignsOnlyAStateNotYetInForce)
{
    engine.enabled = true;
    auto response = handled<SetEnabledStateIntentHandler>({ SetOperation::set, SetState::enabled });
    EXPECT_EQ(response.code, SetEnabledStateIntentResponseCode::success);
    EXPECT_EQ(engine.setEnabledCalls, 0);

    response = handled<SetEnabledStateIntentHandler>({ SetOperation::set, SetState::disabled });
    EXPECT_EQ(response.code, SetEnabledStateIntentResponseCode::success);
    EXPECT_EQ(engine.setEnabledCalls, 1);
    EXPECT_FALSE(engine.enabled);
    // The response never carries the state back.
    EXPECT_EQ(response.state, SetState::unknown);

    handled<SetEnabledStateIntentHandler>({ SetOperation::set, SetState::enabled });
    EXPECT_TRUE(engine.enabled);
    EXPECT_EQ(engine.setEnabledCalls, 2);
}

TEST_F(IntentHandlersTest, SetWithTheUnknownStateChangesNothing)
{
    engine.enabled = true;
    const auto response = handled<SetEnabledStateIntentHandler>({ SetOperation::set, SetState::unknown });
    EXPECT_EQ(response.code, SetEnabledStateIntentResponseCode::unspecified);
    EXPECT_TRUE(engine.enabled);
    EXPECT_EQ(engine.setEnabledCalls, 0);
}

TEST_F(IntentHandlersTest, AnEndedSessionThatIsNotStoredAnswersFailure)
{
    engine.historyStored = false;
    EXPECT_EQ(handled<NewSessionIntentHandler>({}).code, NewSessionIntentResponseCode::failure);
    EXPECT_EQ(engine.newSessionCalls, 1);
    EXPECT_EQ(handled<SetEnabledStateIntentHandler>({ SetOperation::set, SetState::disabled }).code,
        SetEnabledStateIntentResponseCode::failure);
    EXPECT_EQ(handled<SetEnabledStateIntentHandler>({ SetOperation::toggle, SetState::unknown }).code,
        SetEnabledStateIntentResponseCode::failure);
    // A refused request stays unspecified: nothing was done.
    EXPECT_EQ(handled<SetEnabledStateIntentHandler>({ SetOperation::set, SetState::unknown }).code,
        SetEnabledStateIntentResponseCode::unspecified);
}

TEST_F(IntentHandlersTest, ToggleAlwaysAssigns)
{
    engine.enabled = true;
    handled<SetEnabledStateIntentHandler>({ SetOperation::toggle, SetState::enabled });
    EXPECT_FALSE(engine.enabled);
    handled<SetEnabledStateIntentHandler>({ SetOperation::toggle, SetState::enabled });
    EXPECT_TRUE(engine.enabled);
    EXPECT_EQ(engine.setEnabledCalls, 2);
}

TEST_F(IntentHandlersTest, AnUnknownOrInvalidRequestChangesNothingAndAnswersUnspecified)
{
    for (const SetEnabledStateIntent& intent :
        { SetEnabledStateIntent(SetOperation::unknown, SetState::disabled),
            SetEnabledStateIntent(static_cast<SetOperation>(7), SetState::disabled),
            SetEnabledStateIntent(static_cast<SetOperation>(-1), SetState::disabled),
            SetEnabledStateIntent(SetOperation::set, static_cast<SetState>(7)),
            SetEnabledStateIntent(SetOperation::set, static_cast<SetState>(-1)),
            SetEnabledStateIntent(SetOperation::toggle, static_cast<SetState>(-5)),
            SetEnabledStateIntent(SetOperation::toggle, static_cast<SetState>(3)) }) {
        const auto response = handled<SetEnabledStateIntentHandler>(intent);
        EXPECT_EQ(response.code, SetEnabledStateIntentResponseCode::unspecified);
    }
    EXPECT_TRUE(engine.enabled);
    EXPECT_EQ(engine.setEnabledCalls, 0);
}

TEST_F(IntentHandlersTest, GetTotalDurationTodayRoundsHalvesAwayFromZeroAndCountsNothingAsZero)
{
    const auto total = [this](std::optional<double> seconds) {
        engine.total = seconds ? std::optional(zk::Duration::fromSeconds(*seconds)) : std::nullopt;
        const auto response = handled<GetTotalDurationTodayIntentHandler>({});
        EXPECT_EQ(response.code, GetTotalDurationTodayIntentResponseCode::success);
        return response.result;
    };
    EXPECT_EQ(total(std::nullopt), 0.0);
    EXPECT_EQ(total(3599.5), 3600.0);
    EXPECT_EQ(total(89.4), 89.0);
    EXPECT_EQ(total(89.5), 90.0);
    ASSERT_FALSE(engine.totalAskedFor.empty());
    EXPECT_EQ(engine.totalAskedFor.back(), fake.clock.now());
}

TEST_F(IntentHandlersTest, GetSessionsAnswersAnEmptyListForAnEmptyHistory)
{
    const auto response = handled<GetSessionsIntentHandler>({});
    EXPECT_EQ(response.code, GetSessionsIntentResponseCode::success);
    ASSERT_TRUE(response.sessions);
    EXPECT_TRUE(response.sessions->empty());
}

TEST_F(IntentHandlersTest, GetSessionsKeepsTheStoredOrder)
{
    const auto oslo = *platform::TimeZone::withIdentifier("Europe/Oslo");
    const platform::Date now = fake.clock.now();
    engine.sessions = { *Session::make(platform::Uuid::random(), now.addingTimeInterval(-600), now, oslo),
        *Session::make(
            platform::Uuid::random(), now.addingTimeInterval(-90000), now.addingTimeInterval(-86400), oslo) };
    const auto response = handled<GetSessionsIntentHandler>({});
    ASSERT_TRUE(response.sessions);
    ASSERT_EQ(response.sessions->size(), 2u);
    EXPECT_EQ(response.sessions->at(0).identifier(), engine.sessions[0].id().uuidString());
    EXPECT_EQ(response.sessions->at(1).identifier(), engine.sessions[1].id().uuidString());
    EXPECT_EQ(response.sessions->at(0).displayString(), "10 minutes");
    EXPECT_EQ(response.sessions->at(1).duration, 3600.0);
}

TEST_F(IntentHandlersTest, NewSessionAsksTheEngine)
{
    const auto response = handled<NewSessionIntentHandler>({});
    EXPECT_EQ(response.code, NewSessionIntentResponseCode::success);
    EXPECT_EQ(engine.newSessionCalls, 1);
}

// The handlers against the real engine, driven by the fake clock, idle time and store.
class IntentHandlersOnEngineTest : public SessionEngineTest {
protected:
    void SetUp() override
    {
        SessionEngineTest::SetUp();
        m_engine = std::make_unique<SessionControllerEngine>(controller());
        SessionEngine::setSharedForTesting(m_engine.get());
    }
    void TearDown() override
    {
        SessionEngine::setSharedForTesting(nullptr);
        SessionEngineTest::TearDown();
    }

    std::unique_ptr<SessionControllerEngine> m_engine;
};

TEST_F(IntentHandlersOnEngineTest, SetWithTheStateInForceLogsNothing)
{
    controller().setEnabled(true);
    ASSERT_TRUE(controller().currentSession());
    const auto running = *controller().currentSession();
    fake.clock.advance(60);
    platform::LogCapture log;

    const auto response = handled<SetEnabledStateIntentHandler>({ SetOperation::set, SetState::enabled });
    EXPECT_EQ(response.code, SetEnabledStateIntentResponseCode::success);
    EXPECT_EQ(log.countContaining("Session enable"), 0);
    EXPECT_EQ(controller().currentSession(), running);
}

TEST_F(IntentHandlersOnEngineTest, SetWithStateZeroKeepsTheSessionRunning)
{
    controller().setEnabled(true);
    const auto running = *controller().currentSession();
    fake.clock.advance(600);
    const auto response = handled<SetEnabledStateIntentHandler>({ SetOperation::set, SetState::unknown });
    EXPECT_EQ(response.code, SetEnabledStateIntentResponseCode::unspecified);
    EXPECT_TRUE(controller().isEnabled());
    EXPECT_EQ(controller().currentSession(), running);
    EXPECT_TRUE(controller().allSessions().empty());
}

TEST_F(IntentHandlersOnEngineTest, TwoTogglesEndOneSessionAndStartAnother)
{
    controller().setEnabled(true);
    const auto first = *controller().currentSession();
    fake.clock.advance(600);
    handled<SetEnabledStateIntentHandler>({ SetOperation::toggle, SetState::unknown });
    EXPECT_FALSE(controller().isEnabled());
    fake.clock.advance(5);
    handled<SetEnabledStateIntentHandler>({ SetOperation::toggle, SetState::unknown });
    EXPECT_TRUE(controller().isEnabled());
    ASSERT_TRUE(controller().currentSession());
    EXPECT_NE(*controller().currentSession(), first);
    EXPECT_EQ(controller().currentSession()->start().seconds, fake.clock.systemUptime());
    EXPECT_EQ(controller().allSessions().size(), 1u);
}

TEST_F(IntentHandlersOnEngineTest, GetCurrentSessionWhileDisabledAnswersSuccessWithoutASession)
{
    controller().setEnabled(false);
    const auto response = handled<GetCurrentSessionIntentHandler>({});
    EXPECT_EQ(response.code, GetCurrentSessionIntentResponseCode::success);
    EXPECT_FALSE(response.currentSession);
}

TEST_F(IntentHandlersOnEngineTest, GetCurrentSessionDescribesTheRunningSession)
{
    controller().setEnabled(true); // 12:00 in Oslo
    fake.clock.advance(62 * 60 + 30);
    const auto response = handled<GetCurrentSessionIntentHandler>({});
    ASSERT_TRUE(response.currentSession);
    const CurrentSession_& session = *response.currentSession;
    EXPECT_EQ(session.identifier(), "currentSession");
    // 62.5 minutes, shown as the status item shows them.
    EXPECT_EQ(session.displayString(), "1 hour, 3 minutes");
    EXPECT_EQ(session.subtitleString(), "Started at 12:00\u202fPM");
    EXPECT_EQ(session.duration, 62 * 60 + 30.0);
    ASSERT_TRUE(session.startDate);
    EXPECT_EQ(session.startDate->hour, 12);
    EXPECT_EQ(session.startDate->minute, 0);
    EXPECT_EQ(session.startDate->day, 15);
    EXPECT_EQ(session.startDate->timeZone->identifier(), "Europe/Oslo");
}

TEST_F(IntentHandlersOnEngineTest, NewSessionWhileDisabledEnablesAndStarts)
{
    controller().setEnabled(false);
    const auto response = handled<NewSessionIntentHandler>({});
    EXPECT_EQ(response.code, NewSessionIntentResponseCode::success);
    EXPECT_TRUE(controller().isEnabled());
    ASSERT_TRUE(controller().currentSession());
    EXPECT_TRUE(controller().allSessions().empty());
}

TEST_F(IntentHandlersOnEngineTest, NewSessionDuringAShortSessionStoresNothing)
{
    controller().setEnabled(true);
    fake.clock.advance(120);
    handled<NewSessionIntentHandler>({});
    EXPECT_TRUE(controller().allSessions().empty());
    ASSERT_TRUE(controller().currentSession());
    EXPECT_EQ(controller().currentSession()->start().seconds, fake.clock.systemUptime());
}

TEST_F(IntentHandlersOnEngineTest, TotalTodayWithNothingTrackedIsZeroAndCountsOnlyTodaysPart)
{
    fake.clock.setNow(oslo(2024, 5, 15, 0, 5));
    controller().setEnabled(false);
    EXPECT_EQ(handled<GetTotalDurationTodayIntentHandler>({}).result, 0.0);

    controller().setAllSessions({ session(oslo(2024, 5, 14, 23, 0), oslo(2024, 5, 15, 0, 1)) });
    EXPECT_EQ(handled<GetTotalDurationTodayIntentHandler>({}).result, 60.0);
}

// The answer is made once per change of the history and kept for the calls after it; whatever
// changes what a script would read makes it again at once.
TEST_F(IntentHandlersOnEngineTest, GetSessionsFollowsEveryChangeOfTheHistoryAndOfTheDay)
{
    fake.clock.setNow(oslo(2024, 5, 15, 23, 30));
    const Session evening = session(oslo(2024, 5, 15, 21, 0), oslo(2024, 5, 15, 22, 0));
    controller().setAllSessions({ evening });
    const auto subtitles = [] {
        std::vector<std::string> texts;
        const auto response = handled<GetSessionsIntentHandler>({});
        for (const Session_& object : response.sessions.value()) {
            texts.push_back(object.subtitleString().value_or(""));
        }
        return texts;
    };
    const auto today = subtitles();
    ASSERT_EQ(today.size(), 1u);
    EXPECT_EQ(subtitles(), today);

    // Added here.
    const Session morning = session(oslo(2024, 5, 15, 8, 0), oslo(2024, 5, 15, 9, 0));
    controller().setAllSessions({ evening, morning });
    EXPECT_EQ(subtitles().size(), 2u);

    // Another program's commit: a history of one session, in New York.
    storeRaw({ platform::PropertyList(
        session(oslo(2024, 5, 15, 20, 0), oslo(2024, 5, 15, 20, 30), "America/New_York").jsonText()) });
    const auto outside = subtitles();
    ASSERT_EQ(outside.size(), 1u);
    EXPECT_NE(outside.front(), today.front());

    // Past midnight the same session is yesterday's, and its text names its date.
    controller().setAllSessions({ evening });
    fake.clock.setNow(oslo(2024, 5, 15, 23, 59));
    EXPECT_EQ(subtitles(), today);
    fake.clock.setNow(oslo(2024, 5, 16, 0, 1));
    const auto tomorrow = subtitles();
    ASSERT_EQ(tomorrow.size(), 1u);
    EXPECT_NE(tomorrow.front(), today.front()) << "yesterday's session names its date";
    EXPECT_EQ(tomorrow.front(), intentObject(evening).subtitleString().value_or(""));

    // The user's locale.
    platform::Locale::setCurrentForTesting(platform::Locale("de_DE"));
    EXPECT_EQ(subtitles().front(), intentObject(evening).subtitleString().value_or(""));
    EXPECT_NE(subtitles().front(), tomorrow.front());
}

TEST_F(IntentHandlersOnEngineTest, GetSessionsOfAnEmptyHistoryIsAnEmptyList)
{
    const auto response = handled<GetSessionsIntentHandler>({});
    ASSERT_TRUE(response.sessions);
    EXPECT_TRUE(response.sessions->empty());
}

} // namespace
