#include "app/MenuBarFixture.h"

#include "app/engine/SharedFormatters.h"

#include "app/menubar/MenuBarDurationFormatter.h"
#include "app/menubar/MenuBarIconImage.h"
#include "app/menubar/MenuBarState.h"
#include "kit/foundation/ImageWriting.h"

#include <cmath>
#include <functional>
#include <limits>
#include <thread>

using kiruvo::MenuBarIcon;
using kiruvo::MenuBarState;
using kiruvo::ShowInMenuBar;

namespace {

double shownSeconds(const MenuBarState& state)
{
    const auto* duration = state.durationValue();
    return duration ? duration->seconds : -1;
}

std::optional<MenuBarIcon> shownIcon(const MenuBarState& state)
{
    const auto* icon = state.iconValue();
    return icon ? std::optional(*icon) : std::nullopt;
}

TEST(MenuBarStateValue, EqualityComparesTheShownThingAndEveryFlag)
{
    EXPECT_EQ(MenuBarState::duration(zk::Duration { 60 }), MenuBarState::duration(zk::Duration { 60 }));
    EXPECT_NE(MenuBarState::duration(zk::Duration { 60 }), MenuBarState::duration(zk::Duration { 120 }));
    EXPECT_EQ(MenuBarState::icon(MenuBarIcon::leaf), MenuBarState::icon(MenuBarIcon::leaf));
    EXPECT_NE(MenuBarState::icon(MenuBarIcon::leaf), MenuBarState::icon(MenuBarIcon::heart));
    EXPECT_NE(MenuBarState::duration(zk::Duration { 0 }), MenuBarState::icon(MenuBarIcon::heart));
    EXPECT_NE(MenuBarState::icon(MenuBarIcon::heart), MenuBarState::duration(zk::Duration { 0 }));

    const auto nan = MenuBarState::duration(zk::Duration { std::numeric_limits<double>::quiet_NaN() });
    EXPECT_NE(nan, nan);

    auto flagged = MenuBarState::icon(MenuBarIcon::heart);
    flagged.isShowingNotification = true;
    EXPECT_NE(flagged, MenuBarState::icon(MenuBarIcon::heart));
    flagged = MenuBarState::icon(MenuBarIcon::heart);
    flagged.isEnabled = false;
    EXPECT_NE(flagged, MenuBarState::icon(MenuBarIcon::heart));
    flagged = MenuBarState::icon(MenuBarIcon::heart);
    flagged.isDimmedWhileDisabled = false;
    EXPECT_NE(flagged, MenuBarState::icon(MenuBarIcon::heart));
}

TEST(MenuBarStateValue, MinutesRoundHalvesAwayFromZero)
{
    EXPECT_EQ(kiruvo::roundedToWholeMinutes(0), 0);
    EXPECT_EQ(kiruvo::roundedToWholeMinutes(29), 0);
    EXPECT_EQ(kiruvo::roundedToWholeMinutes(30), 60);
    EXPECT_EQ(kiruvo::roundedToWholeMinutes(89), 60);
    EXPECT_EQ(kiruvo::roundedToWholeMinutes(90), 120);
    EXPECT_EQ(kiruvo::roundedToWholeMinutes(-30), -60);
}

TEST(MenuBarDurationFormatterTest, AtMostTwoUnitsFromTheLargestThatIsNotZero)
{
    const auto made = kiruvo::makeMenuBarDurationFormatter(platform::Locale("en_US"));
    const auto& formatter = *made;
    EXPECT_EQ(formatter.string(0), "0m");
    EXPECT_EQ(formatter.string(59), "0m");
    EXPECT_EQ(formatter.string(3900), "1h 5m");
    // Narrow units: no commas, nothing but digits and a letter each.
    EXPECT_EQ(formatter.string(25 * 3600), "1d 1h");
    EXPECT_EQ(formatter.string(25 * 60), "25m");
    EXPECT_EQ(formatter.string(3 * 3600), "3h");
    EXPECT_EQ(formatter.string(3 * 3600 + 5 * 60), "3h 5m");
    // A day and more: days and hours, never minutes as a third unit.
    EXPECT_EQ(formatter.string(26 * 3600 + 59 * 60), "1d 2h");
    EXPECT_EQ(formatter.string(24 * 3600 + 5 * 60), "1d");
    EXPECT_EQ(formatter.string(3 * 86400 + 3600), "3d 1h");
    EXPECT_EQ(formatter.string(-90 * 60), "-1h 30m");
    EXPECT_EQ(formatter.string(std::numeric_limits<double>::quiet_NaN()), std::nullopt);
    EXPECT_EQ(formatter.string(std::numeric_limits<double>::infinity()), std::nullopt);
    EXPECT_EQ(formatter.string(1e300), std::nullopt);
}

TEST_F(MenuBarTest, ARunningSessionShowsWholeMinutesRoundedHalfUp)
{
    runSessionFor(29);
    EXPECT_EQ(shownSeconds(menuBar().currentState()), 0);
    fake.clock.advance(60); // 89 s
    EXPECT_EQ(shownSeconds(menuBar().currentState()), 60);
    fake.clock.advance(1); // 90 s
    EXPECT_EQ(shownSeconds(menuBar().currentState()), 120);
    fake.clock.advance(26 * 3600.0);
    menuBar().update();
    EXPECT_EQ(shown().title, "1d 2h");
    EXPECT_TRUE(shown().image.isNull());
}

TEST_F(MenuBarTest, EachDisplayModeShowsWhatItsRowSays)
{
    Defaults::set(kiruvo::Keys::menuBarIcon(), MenuBarIcon::leaf);
    controller().setAllSessions({ session(oslo(2024, 5, 15, 8), oslo(2024, 5, 15, 9)) });

    // No running session.
    menuBar();
    controller().setEnabled(false);
    Defaults::set(kiruvo::Keys::showInMenuBar(), ShowInMenuBar::icon);
    EXPECT_EQ(shownIcon(menuBar().currentState()), MenuBarIcon::leaf);
    Defaults::set(kiruvo::Keys::showInMenuBar(), ShowInMenuBar::currentSessionDuration);
    EXPECT_EQ(shownIcon(menuBar().currentState()), MenuBarIcon::heart);
    Defaults::set(kiruvo::Keys::showInMenuBar(), ShowInMenuBar::totalTodayDuration);
    EXPECT_EQ(shownSeconds(menuBar().currentState()), 3600);

    // A running session of 10 min.
    controller().setEnabled(true);
    fake.clock.advance(600);
    Defaults::set(kiruvo::Keys::showInMenuBar(), ShowInMenuBar::icon);
    EXPECT_EQ(shownIcon(menuBar().currentState()), MenuBarIcon::leaf);
    Defaults::set(kiruvo::Keys::showInMenuBar(), ShowInMenuBar::currentSessionDuration);
    EXPECT_EQ(shownSeconds(menuBar().currentState()), 600);
    Defaults::set(kiruvo::Keys::showInMenuBar(), ShowInMenuBar::totalTodayDuration);
    EXPECT_EQ(shownSeconds(menuBar().currentState()), 4200);

    // A reminder: the icon, pink, in every mode.
    controller().setShowingNotification(true);
    for (const auto mode :
        { ShowInMenuBar::icon, ShowInMenuBar::currentSessionDuration, ShowInMenuBar::totalTodayDuration }) {
        Defaults::set(kiruvo::Keys::showInMenuBar(), mode);
        const MenuBarState state = menuBar().currentState();
        EXPECT_EQ(shownIcon(state), mode == ShowInMenuBar::icon ? MenuBarIcon::leaf : MenuBarIcon::heart);
        EXPECT_TRUE(state.isShowingNotification);
        EXPECT_EQ(shown().tint, platform::systemPinkColor());
        EXPECT_FALSE(shown().image.isNull());
        // The kit's tinted copy, drawn as it is.
        EXPECT_FALSE(shown().isTemplate);
        EXPECT_EQ(
            shown().image, zk::tinted(kiruvo::image(shownIcon(state).value()), platform::systemPinkColor()));
        EXPECT_EQ(shown().title, "");
    }

    // Afterwards the duration comes back at the next update.
    controller().setShowingNotification(false);
    menuBar().update();
    EXPECT_EQ(shown().title, "1h 10m");
    EXPECT_EQ(shown().tint, std::nullopt);
    Defaults::set(kiruvo::Keys::showInMenuBar(), ShowInMenuBar::icon);
    menuBar().update();
    EXPECT_TRUE(shown().isTemplate);
    EXPECT_EQ(shown().image, kiruvo::image(MenuBarIcon::leaf));
}

TEST_F(MenuBarTest, TotalTodayWithNothingTrackedShowsZeroMinutesNotAnIcon)
{
    Defaults::set(kiruvo::Keys::showInMenuBar(), ShowInMenuBar::totalTodayDuration);
    Defaults::set(kiruvo::Keys::enableAtLaunch(), false);
    menuBar();
    ASSERT_FALSE(controller().currentSession().has_value());
    EXPECT_EQ(shownSeconds(menuBar().currentState()), 0);
    EXPECT_EQ(shown().title, "0m");
    EXPECT_TRUE(shown().image.isNull());
}

TEST_F(MenuBarTest, TheTooltipSaysWhatTheFigureIsInTheMenusWords)
{
    runSessionFor(25 * 60);
    menuBar().update();
    EXPECT_EQ(shown().title, "25m");
    EXPECT_EQ(shown().toolTip, "Current session: 25 minutes");

    fake.clock.advance(40 * 60);
    Defaults::set(kiruvo::Keys::showInMenuBar(), ShowInMenuBar::totalTodayDuration);
    menuBar().update();
    EXPECT_EQ(shown().title, "1h 5m");
    EXPECT_EQ(shown().toolTip, "Today: 1 hour, 5 minutes");

    // A reminder shows the heart alone: no figure to explain.
    controller().setShowingNotification(true);
    menuBar().update();
    EXPECT_EQ(shown().toolTip, "");
    controller().setShowingNotification(false);

    controller().setEnabled(false);
    menuBar().update();
    EXPECT_EQ(shown().toolTip, "Kiruvo is disabled");
}

TEST_F(MenuBarTest, DimmedExactlyWhileDisabledWithTheSettingOn)
{
    menuBar();
    EXPECT_TRUE(controller().isEnabled());
    EXPECT_FALSE(shown().dimmed);
    controller().setEnabled(false);
    menuBar().update();
    EXPECT_TRUE(shown().dimmed);

    Defaults::set(kiruvo::Keys::dimMenuBarItemWhileDisabled(), false);
    EXPECT_FALSE(shown().dimmed);
    controller().setEnabled(true);
    menuBar().update();
    EXPECT_FALSE(shown().dimmed);
    Defaults::set(kiruvo::Keys::dimMenuBarItemWhileDisabled(), true);
    EXPECT_FALSE(shown().dimmed);
}

TEST_F(MenuBarTest, DrawsOnlyWhenWhatItShowsChanged)
{
    runSessionFor(90);
    menuBar().update();
    const auto drawn = drawCount();
    for (int second = 0; second < 59; ++second) {
        fake.clock.advance(1);
        menuBar().update();
    }
    EXPECT_EQ(drawCount(), drawn) << "1:30 to 2:29 rounds to 2 min throughout";
    fake.clock.advance(1); // 2:30 rounds up
    menuBar().update();
    EXPECT_EQ(drawCount(), drawn + 1);
    EXPECT_EQ(shown().title, "3m");

    // A setting that changes what is shown redraws at once.
    Defaults::set(kiruvo::Keys::showInMenuBar(), ShowInMenuBar::icon);
    EXPECT_EQ(drawCount(), drawn + 2);
    EXPECT_TRUE(shown().title.isEmpty());
    Defaults::set(kiruvo::Keys::menuBarIcon(), MenuBarIcon::star);
    EXPECT_EQ(drawCount(), drawn + 3);
    menuBar().update();
    EXPECT_EQ(drawCount(), drawn + 3);
}

TEST_F(MenuBarTest, ANewTitleOffsetRedrawsAlthoughNothingElseChanged)
{
    runSessionFor(300);
    menuBar().update();
    EXPECT_EQ(shown().titleBaselineOffset, std::nullopt);
    const auto drawn = drawCount();

    Defaults::set(kiruvo::Keys::menuBarTextVerticalAlignmentOffset(), std::optional<double>(1.5));
    EXPECT_EQ(drawCount(), drawn + 1);
    EXPECT_EQ(shown().title, "5m");
    EXPECT_EQ(shown().titleBaselineOffset, std::optional<double>(1.5));

    Defaults::set(kiruvo::Keys::menuBarTextVerticalAlignmentOffset(), std::optional<double>(-2));
    EXPECT_EQ(shown().titleBaselineOffset, std::optional<double>(-2));
    Defaults::set(kiruvo::Keys::menuBarTextVerticalAlignmentOffset(), std::optional<double>());
    EXPECT_EQ(shown().titleBaselineOffset, std::nullopt);
}

TEST_F(MenuBarTest, AWakeRedraws)
{
    runSessionFor(120);
    menuBar().update();
    fake.clock.advance(120);
    const auto drawn = drawCount();
    events.wake();
    processEvents();
    EXPECT_GT(drawCount(), drawn);
    EXPECT_EQ(shown().title, "4m");
}

TEST_F(MenuBarTest, TheChosenIconIsDrawnInTheIconMode)
{
    Defaults::set(kiruvo::Keys::showInMenuBar(), ShowInMenuBar::icon);
    Defaults::set(kiruvo::Keys::menuBarIcon(), MenuBarIcon::kitten2);
    menuBar();
    EXPECT_EQ(shown().image, kiruvo::image(MenuBarIcon::kitten2));
    EXPECT_NE(shown().image, kiruvo::image(MenuBarIcon::heart));
    EXPECT_EQ(shown().tint, std::nullopt);
}

TEST_F(MenuBarTest, ADurationWithoutTextShowsTheMarkerInsteadOfStopping)
{
    menuBar().render(MenuBarState::duration(zk::Duration { std::numeric_limits<double>::quiet_NaN() }));
    EXPECT_EQ(shown().title, "!!!");
    EXPECT_TRUE(shown().image.isNull());
}

// At start-up the history is decoded on another thread: today's total is drawn once it is in place,
// never a total without the stored sessions; the other modes do not wait for it.
TEST_F(MenuBarTest, TodaysTotalIsDrawnOnceTheHistoryDecodedAtStartIsInPlace)
{
    Defaults::set(kiruvo::Keys::enableAtLaunch(), false);
    storeRaw({ platform::PropertyList(session(oslo(2024, 5, 15, 8), oslo(2024, 5, 15, 9, 10)).jsonText()) });
    std::vector<std::function<void()>> held;
    const auto holdWork = [&held](std::function<void()> work) { held.push_back(std::move(work)); };

    for (const auto mode : { ShowInMenuBar::currentSessionDuration, ShowInMenuBar::icon }) {
        Defaults::set(kiruvo::Keys::showInMenuBar(), mode);
        m_menuBar.reset();
        m_controller.reset();
        controller().history().decodeInBackground(holdWork);
        menuBar();
        EXPECT_TRUE(controller().isDecodingHistory());
        EXPECT_TRUE(menuBar().previousState().has_value()) << "mode " << static_cast<int>(mode);
        held.clear();
    }

    Defaults::set(kiruvo::Keys::showInMenuBar(), ShowInMenuBar::totalTodayDuration);
    m_menuBar.reset();
    m_controller.reset();
    controller().history().decodeInBackground(holdWork);
    menuBar();
    // The item as it is created, blank, and nothing since: not a total without the stored sessions.
    const auto blank = drawCount();
    menuBar().update();
    EXPECT_EQ(drawCount(), blank);
    EXPECT_EQ(shown().title, "");
    ASSERT_EQ(held.size(), 1u);
    std::thread(std::move(held.front())).join();
    EXPECT_EQ(drawCount(), blank);
    processEvents();
    ASSERT_EQ(drawCount(), blank + 1);
    EXPECT_EQ(shown().title, "1h 10m");
}

} // namespace
