#include "app/SessionEngineFixture.h"

#include "libraries/defaults/Defaults.h"
#include "platform/Logger.h"
#include "platform/desktop/FallbackIdleTimeSource.h"
#include "platform/desktop/PolledIdleEvents.h"
#include "platform/fake/FakeDesktopIdle.h"

#include <functional>
#include <ostream>

using platform::fake::FakeDesktopIdle;
using Protocol = FakeDesktopIdle::Protocol;

namespace {

// A session, in seconds of wall-clock time since the scenario began.
struct Span {
    double start;
    double end;
};

std::ostream& operator<<(std::ostream& out, const Span& span)
{
    return out << "[" << span.start << ", " << span.end << "]";
}

class IdleScenarioTest;

// One line of the table: what the user and the machine do, and the sessions that must be stored
// with each kind of backend (the same for all, unless a backend cannot know better).
struct Scenario {
    const char* name;
    std::function<void(IdleScenarioTest&)> run;
    std::function<std::vector<Span>(Protocol)> expected;
};

const std::vector<Scenario>& scenarios();

// Every scenario against every kind of backend, through the fallback chain the application uses:
// the backend under test first, exact X11 figures after it. The user, the backend, the clock and
// the engine's one-second tick are all driven by the test.
class IdleScenarioTest : public SessionEngineTest,
                         public ::testing::WithParamInterface<std::tuple<Protocol, std::size_t>> {
public:
    Protocol protocol() const { return std::get<0>(GetParam()); }
    const Scenario& scenario() const { return scenarios()[std::get<1>(GetParam())]; }

    // Input every second for `seconds`.
    void work(int seconds)
    {
        for (int second = 0; second < seconds; ++second) {
            primary->input();
            fallback->input();
            primary->advance(1, tick);
        }
    }
    // No input for `seconds`.
    void away(double seconds) { primary->advance(seconds, tick); }
    void setThreshold(double seconds)
    {
        Defaults::set(kiruvo::Keys::idleDurationBeforeStop(), zk::Duration::fromSeconds(seconds));
    }
    void sleepFor(double seconds)
    {
        events.sleep();
        fake.clock.sleep(seconds);
        events.wake();
    }
    // The backend under test stops answering, or is back.
    void setPrimaryAvailable(bool available) { primary->setAvailable(available); }
    // Quits: the running session is stored.
    void quit() { events.terminate(); }

    std::vector<Span> stored()
    {
        std::vector<Span> spans;
        for (const auto& session : controller().allSessions()) {
            spans.push_back({ session.dateRange().lowerBound.timeIntervalSince(startDate),
                session.dateRange().upperBound.timeIntervalSince(startDate) });
        }
        std::reverse(spans.begin(), spans.end());
        return spans;
    }

    void SetUp() override
    {
        SessionEngineTest::SetUp();
        auto made = std::make_unique<FakeDesktopIdle>(fake.clock, protocol());
        auto madeFallback = std::make_unique<FakeDesktopIdle>(fake.clock, Protocol::x11);
        primary = made.get();
        fallback = madeFallback.get();
        std::vector<std::unique_ptr<platform::IdleTimeSource>> members;
        members.push_back(std::move(made));
        members.push_back(std::move(madeFallback));
        chain = std::make_unique<platform::FallbackIdleTimeSource>(std::move(members));
        platform::IdleTimeSource::setShared(chain.get());
        startDate = fake.clock.now();
        // Armed by the engine; enabled at launch as the status item does, which starts a session.
        controller().setEnabled(true);
    }

    void TearDown() override
    {
        m_controller.reset();
        platform::IdleTimeSource::setShared(nullptr);
        chain.reset();
        SessionEngineTest::TearDown();
    }

    FakeDesktopIdle* primary = nullptr;
    FakeDesktopIdle* fallback = nullptr;
    std::unique_ptr<platform::FallbackIdleTimeSource> chain;
    std::function<void()> tick = [this] { controller().checkIdle(); };
    platform::Date startDate;
    platform::LogCapture log;
};

const std::vector<Scenario>& scenarios()
{
    // The threshold is the default 600 s. work(n) gives input at seconds 0 to n-1 of its stretch.
    static const std::vector<Scenario> table {
        { "AwayLongerThanTheThreshold",
            [](IdleScenarioTest& t) {
                t.work(650); // last input at 649
                t.away(900);
                t.work(300); // back at 1550
                t.quit();
            },
            [](Protocol) {
                return std::vector<Span> { { 0, 649 }, { 1550, 1850 } };
            } },
        { "APauseJustShorterThanTheThresholdThenWork",
            [](IdleScenarioTest& t) {
                t.work(650);
                t.away(550); // idle 551 s at the next input
                t.work(300);
                t.quit();
            },
            [](Protocol) {
                return std::vector<Span> { { 0, 1500 } };
            } },
        { "AwayExactlyOneThreshold",
            [](IdleScenarioTest& t) {
                t.work(650);
                t.away(599); // the next input comes 600 s after the last
                t.work(300);
                t.quit();
            },
            [](Protocol) {
                return std::vector<Span> { { 0, 649 }, { 1249, 1549 } };
            } },
        { "AwayExactlyTwoThresholds",
            [](IdleScenarioTest& t) {
                t.work(650);
                t.away(1199);
                t.work(300);
                t.quit();
            },
            [](Protocol) {
                return std::vector<Span> { { 0, 649 }, { 1849, 2149 } };
            } },
        { "ThresholdChangedWhileIdle",
            [](IdleScenarioTest& t) {
                t.work(650);
                t.away(100);
                t.setThreshold(60); // lowered 101 s into a pause: the session ends
                t.away(200);
                t.setThreshold(600); // raised while away: the return must still be seen
                t.away(300);
                t.work(300); // back at 1250
                t.quit();
            },
            [](Protocol protocol) {
                // A compositor's notification counts its timeout from its creation and tells no
                // idle time, so a lowered threshold ends the session at the change at the earliest.
                const double end = protocol == Protocol::extIdleNotify ? 750 : 649;
                return std::vector<Span> { { 0, end }, { 1250, 1550 } };
            } },
        { "ThresholdRaisedWhileAwayThenBackBeforeIt",
            [](IdleScenarioTest& t) {
                t.work(650);
                t.away(100);
                t.setThreshold(60); // the session ends at 649
                t.away(200);
                t.setThreshold(600); // 301 s since the last input: below the new threshold
                t.away(99);
                t.work(300); // back at 1049: the absence before it is no work
                t.quit();
            },
            [](Protocol protocol) {
                const double end = protocol == Protocol::extIdleNotify ? 750 : 649;
                return std::vector<Span> { { 0, end }, { 1049, 1349 } };
            } },
        { "SleepDuringIdle",
            [](IdleScenarioTest& t) {
                t.work(650);
                t.away(300);
                t.sleepFor(3600); // the session ends at the sleep; the wake starts one
                t.away(700); // still away: the wake's session is empty
                t.work(300); // back at 950 + 3600 + 700
                t.quit();
            },
            [](Protocol) {
                return std::vector<Span> { { 0, 950 }, { 5250, 5550 } };
            } },
        { "SourceLostAndBack",
            [](IdleScenarioTest& t) {
                t.work(300);
                t.setPrimaryAvailable(false); // X11 stands in
                t.work(300);
                t.away(700); // ended at the last input, 599, by the stand-in
                t.setPrimaryAvailable(true); // back while the user is away
                t.away(200);
                t.work(300); // back at 1500: the returned backend sees it
                t.quit();
            },
            [](Protocol) {
                return std::vector<Span> { { 0, 599 }, { 1500, 1800 } };
            } },
    };
    return table;
}

} // namespace

TEST_P(IdleScenarioTest, StoresTheSessionsTheUserWorked)
{
    scenario().run(*this);
    const auto expected = scenario().expected(protocol());
    const auto actual = stored();
    ASSERT_EQ(actual.size(), expected.size()) << ::testing::PrintToString(actual);
    // Events are exact (the running session's range carries 0.01 s); exact figures are read once a
    // second; the screen saver answers in whole seconds, and while the user is away it is asked
    // only every few seconds: the next session starts up to that late, never early.
    const bool exactEvents = protocol() == Protocol::extIdleNotify || protocol() == Protocol::mutter;
    const double endTolerance = exactEvents ? 0.02 : 1.01;
    const double lateStart
        = protocol() == Protocol::screenSaver ? platform::PolledIdleEvents::awayInterval : 0;
    double storedTotal = 0;
    double expectedTotal = 0;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const std::string which = std::to_string(i) + " of " + ::testing::PrintToString(actual);
        EXPECT_GE(actual[i].start, expected[i].start - endTolerance) << which;
        EXPECT_LE(actual[i].start, expected[i].start + endTolerance + (i > 0 ? lateStart : 0)) << which;
        EXPECT_NEAR(actual[i].end, expected[i].end, endTolerance) << which;
        storedTotal += actual[i].end - actual[i].start;
        expectedTotal += expected[i].end - expected[i].start;
    }
    // Nothing lost: all the worked time is stored but for those bounds.
    EXPECT_NEAR(
        storedTotal, expectedTotal, 2 * expected.size() * endTolerance + (expected.size() - 1) * lateStart);
    EXPECT_FALSE(controller().currentSession());
    EXPECT_FALSE(controller().hasUnstoredHistory());

    if (std::string(scenario().name) == "SourceLostAndBack") {
        // The log says which backend answers, at each change.
        const std::string name = FakeDesktopIdle::toString(protocol());
        const int each = protocol() == Protocol::x11 ? 2 : 1; // both lines read the same then
        EXPECT_EQ(log.countContaining("Idle time now comes from fake x11 instead of fake " + name), each);
        EXPECT_EQ(
            log.countContaining("Idle time now comes from fake " + name + " instead of fake x11"), each);
        EXPECT_EQ(primary->armings(), 2) << "armed at the start and when back";
    }
}

INSTANTIATE_TEST_SUITE_P(EveryBackend, IdleScenarioTest,
    ::testing::Combine(
        ::testing::Values(Protocol::x11, Protocol::mutter, Protocol::extIdleNotify, Protocol::screenSaver),
        ::testing::Range<std::size_t>(0, scenarios().size())),
    [](const ::testing::TestParamInfo<IdleScenarioTest::ParamType>& info) {
        return std::string(FakeDesktopIdle::toString(std::get<0>(info.param))) + "_"
            + scenarios()[std::get<1>(info.param)].name;
    });
