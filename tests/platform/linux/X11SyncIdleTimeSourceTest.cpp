#include "platform/linux/X11SyncIdleTimeSource.h"

#include "platform/Logger.h"
#include "platform/fake/FakeClock.h"
#include "platform/time/Clock.h"
#include "support/PrivateXServer.h"
#include "support/StandInIdleCounter.h"
#include "support/TryWithTimeout.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

#include <memory>
#include <vector>

using platform::IdleEvent;
using platform::X11SyncIdleTimeSource;

namespace {

// Time is the X server's own here: its counter runs on the machine's clock, so the thresholds are
// short and every wait ends as soon as what it waits for has come.
class X11SyncIdleTimeSourceTest : public ::testing::Test {
protected:
    // Between the moment before the input was sent and the moment the server had handled it.
    struct Input {
        double before;
        double after;
    };

    void SetUp() override
    {
        m_server = std::make_unique<PrivateXServer>();
        if (!m_server->isRunning()) {
            GTEST_SKIP() << "Xvfb is not available";
        }
        std::string error;
        source = X11SyncIdleTimeSource::open(m_server->display().c_str(), &error);
        ASSERT_NE(source, nullptr) << error;
        source->setEventHandler([this](const IdleEvent& event) {
            events.push_back(event);
            toldAt.push_back(uptime());
        });
    }
    void TearDown() override
    {
        source.reset();
        m_server.reset();
    }

    static double uptime() { return platform::Clock::shared().systemUptime(); }
    Input input()
    {
        const double before = uptime();
        m_server->tap(38);
        return { before, uptime() };
    }
    // Until what the source has asked or been told is read: a question to the server comes back
    // after every event the server sent before it.
    void settle()
    {
        static_cast<void>(source->secondsSinceLastInput());
        for (int i = 0; i < 3; ++i) {
            QCoreApplication::processEvents();
        }
    }
    void loseServer() { m_server.reset(); }

    // The events are read as the server sends them; an alarm read a little late is still dated by
    // the counter it carries.
    static constexpr double tolerance = 0.02;
    static constexpr int patienceMs = 10000;

    std::unique_ptr<X11SyncIdleTimeSource> source;
    std::vector<IdleEvent> events;
    std::vector<double> toldAt;
    platform::LogCapture log;

private:
    std::unique_ptr<PrivateXServer> m_server;
};

} // namespace

TEST(X11SyncIdleTimeSourceOpenTest, AMissingDisplayGivesNoSourceAndSaysWhy)
{
    std::string error;
    EXPECT_FALSE(X11SyncIdleTimeSource::open(":4711", &error));
    EXPECT_EQ(error, "the X display cannot be opened");
}

TEST_F(X11SyncIdleTimeSourceTest, TheBreakIsDatedByTheLastInputAndEndsAtTheNextOneAgainAndAgain)
{
    EXPECT_EQ(source->kind(), platform::IdleTimeSource::Kind::thresholdEvents);
    source->armWatches(0.25, std::nullopt);
    const Input last = input();
    KIRUVO_TRY_COMPARE_WITH_TIMEOUT(events.size(), 1U, patienceMs);
    EXPECT_EQ(events[0].type, IdleEvent::Type::idle);
    EXPECT_GE(events[0].uptime, last.before - tolerance);
    EXPECT_LE(events[0].uptime, last.after + tolerance);
    // Not before the threshold has passed.
    EXPECT_GE(toldAt[0], last.before + 0.25 - tolerance);

    const Input back = input();
    KIRUVO_TRY_COMPARE_WITH_TIMEOUT(events.size(), 2U, patienceMs);
    EXPECT_EQ(events[1].type, IdleEvent::Type::active);
    EXPECT_GE(events[1].uptime, back.before - tolerance);
    EXPECT_LE(events[1].uptime, toldAt[1]);

    // The alarms stay set: the next break is seen too, dated by the input that ended the first.
    KIRUVO_TRY_COMPARE_WITH_TIMEOUT(events.size(), 3U, patienceMs);
    EXPECT_EQ(events[2].type, IdleEvent::Type::idle);
    EXPECT_NEAR(events[2].uptime, back.after, back.after - back.before + tolerance);
}

TEST_F(X11SyncIdleTimeSourceTest, ArmedDuringAPauseItCountsTheThresholdFromTheLastInput)
{
    source->armWatches(60, std::nullopt);
    const Input last = input();
    // The figure is the server's own, asked now.
    KIRUVO_TRY_VERIFY_WITH_TIMEOUT(source->secondsSinceLastInput() >= 0.3, patienceMs);
    settle();
    EXPECT_TRUE(events.empty());

    // Lowered below the pause so far: the break is seen at once, from the input before it.
    source->armWatches(0.2, std::nullopt);
    KIRUVO_TRY_COMPARE_WITH_TIMEOUT(events.size(), 1U, patienceMs);
    EXPECT_EQ(events[0].type, IdleEvent::Type::idle);
    EXPECT_GE(events[0].uptime, last.before - tolerance);
    EXPECT_LE(events[0].uptime, last.after + tolerance);

    // Raised while the user is away: the break goes on until there is input.
    source->armWatches(60, events[0].uptime);
    settle();
    EXPECT_EQ(events.size(), 1U);
    const Input back = input();
    KIRUVO_TRY_COMPARE_WITH_TIMEOUT(events.size(), 2U, patienceMs);
    EXPECT_EQ(events[1].type, IdleEvent::Type::active);
    EXPECT_GE(events[1].uptime, back.before - tolerance);
}

TEST_F(X11SyncIdleTimeSourceTest, InputSinceTheUserWasSaidToBeAwayIsAReturn)
{
    // As after a wake: the engine still counts the user as away, who has typed since, and paused
    // again. The counter's reset at the server's start, before the user went, is no return; its
    // figure must have passed it before the moment the engine names, whatever the load.
    KIRUVO_TRY_VERIFY_WITH_TIMEOUT(source->secondsSinceLastInput() >= 1, patienceMs);
    const Input typed = input();
    settle();
    KIRUVO_TRY_VERIFY_WITH_TIMEOUT(source->secondsSinceLastInput() >= 1, patienceMs);
    source->armWatches(60, typed.before - 0.6);
    KIRUVO_TRY_COMPARE_WITH_TIMEOUT(events.size(), 1U, patienceMs);
    EXPECT_EQ(events[0].type, IdleEvent::Type::active);
    EXPECT_GE(events[0].uptime, typed.before - tolerance);
    // Dated by the input, not by the arming a second later: the server's figure, read a moment
    // after the server took it, dates the input that moment late at most.
    EXPECT_LE(events[0].uptime, typed.after + 0.5);
}

TEST_F(X11SyncIdleTimeSourceTest, AServerThatGoesIsToldAsAChange)
{
    loseServer();
    KIRUVO_TRY_VERIFY_WITH_TIMEOUT(!source->isAvailable(), patienceMs);
    ASSERT_EQ(events.size(), 1U);
    EXPECT_EQ(events[0].type, IdleEvent::Type::changed);
    EXPECT_EQ(source->secondsSinceLastInput(), 0);
    EXPECT_EQ(log.countContaining("The X server's connection was lost"), 1);
}

// --- Races, against a stand-in server on the test's clock ----------------------------------------

namespace {

class X11SyncIdleTimeSourceRaceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        auto counter = std::make_unique<StandInIdleCounter>(fake.clock);
        server = counter.get();
        source = X11SyncIdleTimeSource::withCounter(std::move(counter));
        ASSERT_NE(source, nullptr);
        source->setEventHandler([this](const IdleEvent& event) { events.push_back(event); });
    }
    double now() const { return fake.clock.systemUptime(); }
    // Time passes, and the server fires what it crosses; its events wait until read().
    void pass(double seconds)
    {
        fake.clock.advance(seconds);
        server->reach();
    }
    // What the server told, and the source's timer if it is due.
    void read()
    {
        const auto events = [] {
            for (int i = 0; i < 3; ++i) {
                QCoreApplication::processEvents();
            }
        };
        events();
        if (source->nextTimeoutAt() && *source->nextTimeoutAt() <= now()) {
            source->timeout();
            events();
        }
    }

    platform::fake::ScopedFakeClock fake;
    StandInIdleCounter* server = nullptr;
    std::unique_ptr<X11SyncIdleTimeSource> source;
    std::vector<IdleEvent> events;
};

} // namespace

TEST_F(X11SyncIdleTimeSourceRaceTest, AlarmsAndInputReadLateStillDateTheBreakAndTheReturn)
{
    source->armWatches(60, std::nullopt);
    server->input();
    const double lastInput = now();
    read();
    pass(60);
    // The application was busy for three seconds before it read the alarm.
    fake.clock.advance(3);
    read();
    ASSERT_EQ(events.size(), 1U);
    EXPECT_EQ(events[0].type, IdleEvent::Type::idle);
    EXPECT_DOUBLE_EQ(events[0].uptime, lastInput);

    pass(100);
    server->input();
    const double back = now();
    fake.clock.advance(2);
    read();
    ASSERT_EQ(events.size(), 2U);
    EXPECT_EQ(events[1].type, IdleEvent::Type::active);
    EXPECT_DOUBLE_EQ(events[1].uptime, back);
}

TEST_F(X11SyncIdleTimeSourceRaceTest, InputBeforeTheBreakWasToldTellsTheBreakAndTheReturn)
{
    source->armWatches(60, std::nullopt);
    server->input();
    const double lastInput = now();
    read();
    pass(1);
    read();
    ASSERT_TRUE(server->isWatchingInput());
    // Back before the timer of the break has run.
    pass(60);
    server->input();
    const double back = now();
    read();
    ASSERT_EQ(events.size(), 2U);
    EXPECT_EQ(events[0].type, IdleEvent::Type::idle);
    EXPECT_DOUBLE_EQ(events[0].uptime, lastInput);
    EXPECT_EQ(events[1].type, IdleEvent::Type::active);
    EXPECT_DOUBLE_EQ(events[1].uptime, back);
    EXPECT_FALSE(server->isWatchingInput()) << "every motion would wake the application";
}

TEST_F(X11SyncIdleTimeSourceRaceTest, ResetsFasterThanThePauseMarkNeitherHideTheBreakNorEndIt)
{
    source->armWatches(60, std::nullopt);
    server->input();
    const double lastInput = now();
    read();
    const auto resetFor = [&](double seconds) {
        for (double passed = 0; passed < seconds; passed += 0.25) {
            pass(0.25);
            server->resetScreenSaver();
            read();
        }
    };
    resetFor(120);
    ASSERT_EQ(events.size(), 1U);
    EXPECT_EQ(events[0].type, IdleEvent::Type::idle);
    // Dated by the last reset before input was watched again.
    EXPECT_GE(events[0].uptime, lastInput);
    EXPECT_LE(events[0].uptime, lastInput + X11SyncIdleTimeSource::unwatchedSeconds);

    server->input();
    const double back = now();
    read();
    ASSERT_EQ(events.size(), 2U);
    EXPECT_EQ(events[1].type, IdleEvent::Type::active);
    EXPECT_DOUBLE_EQ(events[1].uptime, back);
}
