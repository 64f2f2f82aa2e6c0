#include "app/MenuBarFixture.h"

#include "libraries/defaults/Defaults.h"

#include <QString>

#include <cmath>
#include <ostream>
#include <utility>
#include <vector>

using kiruvo::ShowInMenuBar;

namespace {

// The status item's own timer, played by the test: the clock moves to each moment the item armed
// itself for, and the item is drawn there as the timer draws it. Nothing else draws it meanwhile.
class StatusItemScheduleTest : public MenuBarTest {
protected:
    struct Seen {
        double at; // seconds since `origin`
        QString title;
        // A running session's span carries a hundredth of a second more than its length.
        bool operator==(const Seen& other) const
        {
            return title == other.title && std::abs(at - other.at) <= 0.011;
        }
        friend void PrintTo(const Seen& seen, std::ostream* os)
        {
            *os << seen.title.toStdString() << " at " << seen.at << " s";
        }
    };

    double uptime() const { return fake.clock.systemUptime(); }

    // Follows the item's timer for `seconds`; what it drew at each firing whose title changed.
    std::vector<Seen> follow(double seconds)
    {
        std::vector<Seen> seen;
        const double until = uptime() + seconds;
        while (const auto at = menuBar().nextRedrawAt()) {
            if (*at > until) {
                break;
            }
            EXPECT_GE(*at, uptime()) << "armed for a moment already past";
            fake.clock.advance(std::max(0.0, *at - uptime()));
            const QString before = shown().title;
            menuBar().update();
            if (shown().title != before) {
                seen.push_back({ uptime() - origin, shown().title });
            }
        }
        fake.clock.advance(until - uptime());
        return seen;
    }

    double origin = 0;
};

TEST_F(StatusItemScheduleTest, TheRunningDurationIsLookedAtOnlyWhenItsRoundedMinuteChanges)
{
    runSessionFor(0);
    origin = uptime();
    processEvents();
    EXPECT_EQ(shown().title, "0m");
    // Minutes round halves up: the figure changes at 30 s, 90 s, 150 s...
    EXPECT_EQ(menuBar().nextRedrawAt(), origin + 30);
    const auto drawn = drawCount();
    const auto seen = follow(200);
    EXPECT_EQ(seen, (std::vector<Seen> { { 30, "1m" }, { 90, "2m" }, { 150, "3m" } }));
    EXPECT_EQ(drawCount(), drawn + 3);
    EXPECT_EQ(menuBar().nextRedrawAt(), origin + 210);

    // Whatever draws it meanwhile, 89 s shows one minute, 90 s two, and the timer follows.
    controller().newSession();
    origin = uptime();
    fake.clock.advance(89);
    menuBar().update();
    EXPECT_EQ(shown().title, "1m");
    EXPECT_EQ(menuBar().nextRedrawAt(), origin + 90);
    fake.clock.advance(1);
    menuBar().update();
    EXPECT_EQ(shown().title, "2m");
    EXPECT_EQ(menuBar().nextRedrawAt(), origin + 150);
}

TEST_F(StatusItemScheduleTest, NothingIsArmedWhileTheItemCannotChangeByItself)
{
    runSessionFor(100);
    menuBar().update();
    ASSERT_TRUE(menuBar().nextRedrawAt().has_value());

    // The icon mode shows no figure.
    Defaults::set(kiruvo::Keys::showInMenuBar(), ShowInMenuBar::icon);
    processEvents();
    EXPECT_FALSE(menuBar().nextRedrawAt().has_value());

    // No session: the heart, until an event starts one.
    Defaults::set(kiruvo::Keys::showInMenuBar(), ShowInMenuBar::currentSessionDuration);
    processEvents();
    ASSERT_TRUE(menuBar().nextRedrawAt().has_value());
    controller().setEnabled(false);
    processEvents();
    EXPECT_FALSE(menuBar().nextRedrawAt().has_value());
    controller().setEnabled(true);
    processEvents();
    EXPECT_EQ(menuBar().nextRedrawAt(), uptime() + 30);

    // A reminder's pink heart stays until the reminder's end draws the item again.
    controller().setShowingNotification(true);
    menuBar().update();
    EXPECT_FALSE(menuBar().nextRedrawAt().has_value());
    controller().setShowingNotification(false);
    menuBar().update();
    EXPECT_EQ(menuBar().nextRedrawAt(), uptime() + 30);
}

TEST_F(StatusItemScheduleTest, TodaysTotalChangesAtItsMinutesAndAtMidnight)
{
    // 12:00 in Oslo. Earlier today, 20 min 10 s were stored.
    const platform::Date noon = fake.clock.now();
    menuBar();
    controller().setAllSessions({ session(oslo(2024, 5, 15, 9), oslo(2024, 5, 15, 9, 20, 10)) });
    Defaults::set(kiruvo::Keys::showInMenuBar(), ShowInMenuBar::totalTodayDuration);
    controller().setEnabled(false);
    processEvents();
    origin = uptime();
    EXPECT_EQ(shown().title, "20m");
    // Nothing runs: the total stays until midnight, twelve hours on.
    EXPECT_EQ(menuBar().nextRedrawAt(), origin + 12 * 3600);

    // A session adds to it: 20 min 10 s + 20 s shows 21 minutes.
    controller().setEnabled(true);
    processEvents();
    EXPECT_NEAR(menuBar().nextRedrawAt().value_or(0), origin + 20, 0.011);
    EXPECT_EQ(follow(100), (std::vector<Seen> { { 20, "21m" }, { 80, "22m" } }));

    // Close to midnight, the new day's total comes at midnight, before the old one's next minute.
    controller().setEnabled(false);
    fake.clock.advance(noon.addingTimeInterval(12 * 3600 - 15).timeIntervalSince(fake.clock.now()));
    controller().setEnabled(true);
    processEvents();
    origin = uptime();
    const QString lastOfTheDay = shown().title;
    EXPECT_EQ(lastOfTheDay, "20m");
    EXPECT_EQ(menuBar().nextRedrawAt(), origin + 15);
    EXPECT_EQ(follow(60), (std::vector<Seen> { { 15, "0m" }, { 45, "1m" } }));
}

TEST_F(StatusItemScheduleTest, TodaysTotalFollowsTheWallClockAndTheTimeZone)
{
    // 12:00 in Oslo, 20 minutes stored today, tracking off: the item is armed for midnight.
    menuBar();
    controller().setAllSessions({ session(oslo(2024, 5, 15, 9), oslo(2024, 5, 15, 9, 20)) });
    Defaults::set(kiruvo::Keys::showInMenuBar(), ShowInMenuBar::totalTodayDuration);
    controller().setEnabled(false);
    processEvents();
    EXPECT_EQ(shown().title, "20m");

    // The clock is set 261 s past midnight: the new day's total at once, and its midnight next.
    fake.clock.step(12 * 3600 + 261);
    EXPECT_EQ(shown().title, "0m");
    EXPECT_EQ(menuBar().nextRedrawAt(), uptime() + 24 * 3600 - 261);

    // Set back, and a wake from a suspend that spans the next midnight.
    fake.clock.step(-(12 * 3600 + 261));
    EXPECT_EQ(shown().title, "20m");
    fake.clock.sleep(13 * 3600);
    EXPECT_EQ(shown().title, "0m");

    // A new zone where it is already tomorrow: Kiritimati, 14 hours ahead of UTC.
    fake.clock.sleep(-13 * 3600);
    menuBar().update();
    ASSERT_EQ(shown().title, "20m");
    fake.clock.changeTimeZone(*platform::TimeZone::withIdentifier("Pacific/Kiritimati"));
    EXPECT_EQ(shown().title, "0m");
    EXPECT_EQ(menuBar().nextRedrawAt(), uptime() + 24 * 3600);
}

TEST_F(StatusItemScheduleTest, TodaysTotalFollowsAHistoryChangedElsewhereOnTheNextTurn)
{
    Defaults::set(kiruvo::Keys::showInMenuBar(), ShowInMenuBar::totalTodayDuration);
    runSessionFor(0);
    processEvents();
    EXPECT_EQ(shown().title, "0m");

    // The History window adds a session of today: the total follows without waiting for a minute.
    controller().setAllSessions({ session(oslo(2024, 5, 15, 9), oslo(2024, 5, 15, 10)) });
    processEvents();
    EXPECT_EQ(shown().title, "1h");
    // And its minutes are counted from the new total.
    EXPECT_NEAR(menuBar().nextRedrawAt().value_or(0), uptime() + 30, 0.011);
}

} // namespace
