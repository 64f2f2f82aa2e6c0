#include "app/MenuBarFixture.h"

#include "kit/foundation/RunOnce.h"
#include "libraries/keyboard-shortcuts/ShortcutConflicts.h"
#include "platform/Logger.h"
#include "platform/linux/FreedesktopNotificationCenter.h"
#include "support/DesktopWithoutIdleTime.h"
#include "support/StandInNotificationService.h"

#include <QKeyEvent>

#include <QCoro/QCoroTask>

#include <gmock/gmock.h>

using kiruvo::ShowInMenuBar;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

namespace {

// Each item as one line: its title, "[off]" when disabled, its key equivalent in <>, its tooltip in
// {}, and ">" for a submenu; "---" for a separator.
std::vector<std::string> describe(const QMenu& menu)
{
    std::vector<std::string> lines;
    for (const QAction* action : menu.actions()) {
        if (action->isSeparator()) {
            lines.push_back("---");
            continue;
        }
        std::string line = action->text().toStdString();
        if (!action->isEnabled()) {
            line += " [off]";
        }
        if (!action->shortcut().isEmpty()) {
            line += " <" + action->shortcut().toString().toStdString() + ">";
        }
        if (action->toolTip() != action->text()) {
            line += " {" + action->toolTip().toStdString() + "}";
        }
        if (action->menu()) {
            line += " >";
        }
        lines.push_back(line);
    }
    return lines;
}

QAction* findItem(const QMenu& menu, const QString& title)
{
    for (QAction* action : menu.actions()) {
        if (action->text() == title) {
            return action;
        }
    }
    return nullptr;
}

bool contains(const std::vector<std::string>& lines, const std::string& line)
{
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

const std::string disableLine = "Disable <D> {Saves the current session, if any, and disables Kiruvo.}";
const std::string newSessionLine = "New Session <N> {Saves the existing session and starts a new one.}";
const std::string continueLine = "Continue {Continue the previous session as if it never ended.}";

class StatusMenuTest : public MenuBarTest {
protected:
    std::vector<std::string> build()
    {
        menuBar().updateMenu();
        return describe(menuBar().menu());
    }
};

TEST_F(StatusMenuTest, ARunningSessionWithoutHistoryKeepsEverySeparator)
{
    runSessionFor(30 * 60);
    EXPECT_THAT(build(),
        ElementsAre("---", "Current Session [off]", "Started at 12:00\u202fPM [off]", "---", "---", "---",
            "Total Today [off]", "30 minutes [off]", "---", disableLine, "---", newSessionLine, "---",
            "History… <H>", "---", "Settings… <Ctrl+,>", "More >", "---", "---", "Quit Kiruvo <Ctrl+Q>"));

    const QAction* more = findItem(menuBar().menu(), "More");
    ASSERT_NE(more, nullptr);
    EXPECT_THAT(describe(*more->menu()),
        ElementsAre("About", "---", "Send Feedback…", "---", "Website", "FAQ", "---", "More Apps by Me"));
    // Built in the small font, as the headers are.
    EXPECT_LT(
        findItem(menuBar().menu(), "Total Today")->font().pointSizeF(), menuBar().menu().font().pointSizeF());
}

TEST_F(StatusMenuTest, TheDurationLineOfTheCurrentSessionOnlyWhereTheItemDoesNotShowIt)
{
    runSessionFor(65 * 60);
    const std::vector<std::string> section = { "---", "Current Session [off]", "1 hour, 5 minutes [off]",
        "Started at 12:00\u202fPM [off]", "---" };
    for (const auto mode : { ShowInMenuBar::icon, ShowInMenuBar::totalTodayDuration }) {
        Defaults::set(kiruvo::Keys::showInMenuBar(), mode);
        const auto lines = build();
        EXPECT_THAT(std::vector(lines.begin(), lines.begin() + 5), ElementsAreArray(section));
    }
    Defaults::set(kiruvo::Keys::showInMenuBar(), ShowInMenuBar::currentSessionDuration);
    const auto lines = build();
    EXPECT_THAT(std::vector(lines.begin(), lines.begin() + 4),
        ElementsAre("---", "Current Session [off]", "Started at 12:00\u202fPM [off]", "---"));
}

TEST_F(StatusMenuTest, ContinueIsOfferedUpToTenMinutesAfterThePreviousSessionWhileEnabled)
{
    menuBar();
    // Ended exactly 600 s ago.
    controller().setAllSessions({ session(oslo(2024, 5, 15, 11, 5), oslo(2024, 5, 15, 11, 50)) });
    auto lines = build();
    EXPECT_THAT(std::vector(lines.begin(), lines.begin() + 10),
        ElementsAre("---", "Current Session [off]", "Started at 12:00\u202fPM [off]", "---", "---",
            "Previous Session [off]", "45 minutes [off]", "11:05\u2009–\u200911:50\u202fAM [off]",
            continueLine, "---"));
    EXPECT_LT(
        findItem(menuBar().menu(), "Continue")->font().pointSizeF(), menuBar().menu().font().pointSizeF());

    fake.clock.advance(1);
    lines = build();
    EXPECT_FALSE(contains(lines, continueLine));
    EXPECT_TRUE(contains(lines, "Previous Session [off]"));

    // Disabled: never, and the commands change with it.
    fake.clock.advance(-1);
    controller().setEnabled(false);
    lines = build();
    EXPECT_FALSE(contains(lines, continueLine));
    EXPECT_TRUE(contains(lines, "Enable <D>"));
    EXPECT_FALSE(contains(lines, disableLine));
    EXPECT_TRUE(contains(lines, "New Session [off] <N> {Saves the existing session and starts a new one.}"));
    EXPECT_EQ(lines.front(), "---");
    EXPECT_EQ(lines[1], "---") << "no current-session section while disabled";
}

TEST_F(StatusMenuTest, ChoosingContinueResumesTheSessionTheMenuShows)
{
    menuBar();
    controller().setEnabled(false);
    controller().setEnabled(true);
    const auto previous = session(oslo(2024, 5, 15, 11, 52), oslo(2024, 5, 15, 11, 56));
    const auto before = session(oslo(2024, 5, 15, 11, 5), oslo(2024, 5, 15, 11, 51));
    controller().setAllSessions({ previous, before });
    build();
    QAction* item = findItem(menuBar().menu(), "Continue");
    ASSERT_NE(item, nullptr);
    item->trigger();
    EXPECT_EQ(controller().allSessions(), std::vector { before });
    ASSERT_TRUE(controller().currentSession().has_value());
    EXPECT_NEAR(controller().currentSession()->duration().seconds, 8 * 60, 1);

    // Continued once, the menu shows the session before it, and Continue resumes that one.
    auto lines = build();
    EXPECT_TRUE(contains(lines, "11:05 – 11:51 AM [off]"));
    item = findItem(menuBar().menu(), "Continue");
    ASSERT_NE(item, nullptr);
    item->trigger();
    ASSERT_TRUE(controller().currentSession().has_value());
    EXPECT_EQ(controller().currentSession()->dateRange().lowerBound, oslo(2024, 5, 15, 11, 5));
    lines = build();
    EXPECT_FALSE(contains(lines, "Previous Session [off]"));
    EXPECT_FALSE(contains(lines, continueLine));
}

TEST_F(StatusMenuTest, WithToggleOnLeftClickThereIsNoDisableOrEnableButItsSeparatorsStay)
{
    Defaults::set(kiruvo::Keys::toggleEnabledWithLeftClick(), true);
    runSessionFor(60);
    const auto lines = build();
    EXPECT_FALSE(contains(lines, disableLine));
    EXPECT_THAT(std::vector(lines.begin() + 7, lines.begin() + 11),
        ElementsAre("1 minute [off]", "---", "---", newSessionLine));
}

TEST_F(StatusMenuTest, TotalTodayWithNothingTrackedReadsZeroAndTheMenuBeginsWithSeparators)
{
    Defaults::set(kiruvo::Keys::enableAtLaunch(), false);
    const auto lines = build();
    EXPECT_THAT(std::vector(lines.begin(), lines.begin() + 6),
        ElementsAre("---", "---", "---", "Total Today [off]", "0 minutes [off]", "---"));
    EXPECT_FALSE(contains(lines, "Debug"));
}

TEST_F(StatusMenuTest, EverySeparatorIsDrawnAlsoWhereSeveralFollowOneAnother)
{
    Defaults::set(kiruvo::Keys::enableAtLaunch(), false);
    menuBar().showMenu();
    ASSERT_TRUE(menuBar().menu().isVisible());
    const QList<QAction*> actions = menuBar().menu().actions();
    ASSERT_GE(actions.size(), 3);
    // The menu opens with three separators in a row when nothing runs and there is no history.
    int separators = 0;
    for (const QAction* action : actions) {
        if (action->isSeparator()) {
            ++separators;
            EXPECT_GT(menuBar().menu().actionGeometry(const_cast<QAction*>(action)).height(), 0)
                << "separator " << separators << " is hidden";
        }
    }
    EXPECT_TRUE(actions[0]->isSeparator() && actions[1]->isSeparator() && actions[2]->isSeparator());
}

TEST_F(StatusMenuTest, DisableAndEnableExplainThemselvesOnceThenToggle)
{
    menuBar();
    build();
    findItem(menuBar().menu(), "Disable")->trigger();
    processEvents();
    EXPECT_THAT(alertTitles,
        ElementsAre(
            "Manually disabling Kiruvo is generally not needed as it automatically tracks when you're "
            "using your computer."));
    EXPECT_TRUE(zk::hasRunOnce("disableButtonInfoMessage"));
    EXPECT_FALSE(controller().isEnabled());

    // The same flag serves "Enable".
    build();
    findItem(menuBar().menu(), "Enable")->trigger();
    processEvents();
    EXPECT_EQ(alertTitles.size(), 1u);
    EXPECT_TRUE(controller().isEnabled());
}

TEST_F(StatusMenuTest, NewSessionExplainsItselfOnceThenStoresAndStartsOver)
{
    runSessionFor(300);
    build();
    findItem(menuBar().menu(), "New Session")->trigger();
    processEvents();
    ASSERT_EQ(alertTitles.size(), 1u);
    EXPECT_THAT(alertTitles.front(), ::testing::StartsWith("Manually creating a new session"));
    EXPECT_EQ(controller().allSessions().size(), 1u);
    EXPECT_NEAR(controller().currentSession()->duration().seconds, 0, 0.5);

    fake.clock.advance(200);
    build();
    findItem(menuBar().menu(), "New Session")->trigger();
    processEvents();
    EXPECT_EQ(alertTitles.size(), 1u);
    EXPECT_EQ(controller().allSessions().size(), 2u);
}

TEST_F(StatusMenuTest, TheMenuIsBuiltAgainAtEveryOpeningAndBareLettersChooseCommands)
{
    int historyShown = 0;
    QObject::connect(&menuBar(), &kiruvo::MenuBarController::historyWindowRequested, [&] { ++historyShown; });
    runSessionFor(60);
    Defaults::set(kiruvo::Keys::showInMenuBar(), ShowInMenuBar::icon);

    menuBar().showMenu();
    ASSERT_TRUE(menuBar().menu().isVisible());
    EXPECT_TRUE(contains(describe(menuBar().menu()), "1 minute [off]"));
    QPointer<QMenu> firstMore = findItem(menuBar().menu(), "More")->menu();
    menuBar().menu().hide();

    fake.clock.advance(120);
    menuBar().showMenu();
    EXPECT_TRUE(contains(describe(menuBar().menu()), "3 minutes [off]"));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(firstMore.isNull()) << "each build makes its own submenu";

    QKeyEvent key(QEvent::KeyPress, Qt::Key_H, Qt::NoModifier, QStringLiteral("h"));
    QCoreApplication::sendEvent(&menuBar().menu(), &key);
    EXPECT_EQ(historyShown, 1);
    EXPECT_FALSE(menuBar().menu().isVisible());
}

} // namespace

TEST_F(MenuBarTest, TheMenusKeysAreTakenBeforeTheMenuFirstOpens)
{
    // A recorder checks the menu for conflicts: Ctrl+, and Ctrl+Q are the menu's from the start.
    using KeyboardShortcuts::Key;
    using KeyboardShortcuts::Shortcut;
    const QMenu& menu = menuBar().menu();
    ASSERT_FALSE(menu.isVisible());
    const QAction* settings
        = KeyboardShortcuts::menuItemUsingShortcut(menu, Shortcut(Key::comma, Qt::ControlModifier));
    ASSERT_NE(settings, nullptr);
    EXPECT_EQ(settings->text(), "Settings…");
    const QAction* quit
        = KeyboardShortcuts::menuItemUsingShortcut(menu, Shortcut(Key::q, Qt::ControlModifier));
    ASSERT_NE(quit, nullptr);
    EXPECT_TRUE(quit->text().startsWith("Quit "));
    EXPECT_EQ(KeyboardShortcuts::menuItemUsingShortcut(menu, Shortcut(Key::comma, Qt::AltModifier)), nullptr);
}

// --- A desktop that does not report idle time

namespace {

class NoIdleSourceTest : public StatusMenuTest {
protected:
    static constexpr const char* notificationsName = "com.zelvantorium.Kiruvo.TestNotifications";

    void SetUp() override
    {
        StatusMenuTest::SetUp();
        if (!desktop.isRunning()) {
            GTEST_SKIP() << "no private session bus";
        }
        // The desktop's notification service, reached through the application's own client.
        m_notificationService = desktop.bus().connect(QStringLiteral("idle-notification-service"));
        m_notificationService.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &notifications,
            QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals);
        m_center = std::make_unique<platform::dbus::FreedesktopNotificationCenter>(
            desktop.bus().connect(QStringLiteral("idle-notification-client")), notificationsName);
        platform::NotificationCenter::setShared(m_center.get());
        m_previousDesktop = qgetenv("XDG_CURRENT_DESKTOP");
        qputenv("XDG_CURRENT_DESKTOP", "Plain");
        noIdleSourceGracePeriod = 0;
    }

    void TearDown() override
    {
        StatusMenuTest::TearDown();
        // The engine listens to the desktop's sources: it goes before they do.
        m_controller.reset();
        platform::NotificationCenter::setShared(nullptr);
        m_center.reset();
        qputenv("XDG_CURRENT_DESKTOP", m_previousDesktop);
    }

    void notificationServiceRuns(bool runs)
    {
        if (runs) {
            m_notificationService.registerService(notificationsName);
        } else {
            m_notificationService.unregisterService(notificationsName);
        }
    }

    // The application quits and starts again, on the same store and desktop.
    void restart()
    {
        m_menuBar.reset();
        m_controller.reset();
        menuBar();
        processEvents();
    }

    // Returns once the notification service has heard every call made so far: one connection's
    // messages arrive in order, so a question answered after them comes after all of them.
    void serveUntilTheServiceHeardAll()
    {
        processEvents();
        QCoro::waitFor(m_center->requestAuthorization());
    }

    int idleNotices() const
    {
        return static_cast<int>(
            std::count_if(notifications.posted.begin(), notifications.posted.end(), [](const auto& posted) {
                return posted.summary == QLatin1String(kiruvo::MenuBarController::idleUnavailableSummary);
            }));
    }

    DesktopWithoutIdleTime desktop;
    NotificationServiceStandIn notifications;
    QDBusConnection m_notificationService { QStringLiteral("unset") };
    std::unique_ptr<platform::dbus::FreedesktopNotificationCenter> m_center;
    QByteArray m_previousDesktop;
};

const std::string idleLine = std::string(kiruvo::MenuBarController::idleUnavailableLine) + " [off]";

} // namespace

TEST_F(NoIdleSourceTest, TheMenuAndTooltipSaySessionsDoNotEndUntilAnIdleSourceComes)
{
    runSessionFor(30 * 60);
    menuBar().update();
    EXPECT_EQ(shown().toolTip.toStdString(),
        std::string("Current session: 30 minutes\n") + kiruvo::MenuBarController::idleUnavailableLine);
    EXPECT_THAT(build(),
        ElementsAre("---", "Current Session [off]", "Started at 12:00\u202fPM [off]", idleLine, "---", "---",
            "---", "Total Today [off]", "30 minutes [off]", "---", disableLine, "---", newSessionLine, "---",
            "History… <H>", "---", "Settings… <Ctrl+,>", "More >", "---", "---", "Quit Kiruvo <Ctrl+Q>"));

    ASSERT_TRUE(desktop.serviceComes());
    processEvents();
    EXPECT_EQ(shown().toolTip.toStdString(), "Current session: 30 minutes");
    EXPECT_FALSE(contains(build(), idleLine));
    EXPECT_TRUE(controller().currentSession()) << "the service says the user is present";

    ASSERT_TRUE(desktop.serviceGoes());
    processEvents();
    EXPECT_NE(shown().toolTip.indexOf(kiruvo::MenuBarController::idleUnavailableLine), -1);
    EXPECT_TRUE(contains(build(), idleLine));

    controller().setEnabled(false);
    menuBar().update();
    EXPECT_EQ(shown().toolTip.toStdString(), "Kiruvo is disabled") << "nothing runs that could end";
}

TEST_F(NoIdleSourceTest, TheNoticeIsGivenOncePerDesktopAndTheLogSaysItAtEveryStart)
{
    notificationServiceRuns(true);
    platform::LogCapture log;
    menuBar();
    ASSERT_TRUE(PrivateSessionBus::serveUntil([this] { return idleNotices() == 1; }));
    EXPECT_EQ(
        notifications.posted.back().body.toStdString(), kiruvo::MenuBarController::idleUnavailableMessage);
    EXPECT_TRUE(PrivateSessionBus::serveUntil(
        [] { return zk::hasRunOnce(kiruvo::MenuBarController::idleUnavailableNoticeIdentifier()); }));
    EXPECT_EQ(log.countContaining("No idle source answers: This desktop does not report idle time"), 1);

    restart();
    serveUntilTheServiceHeardAll();
    EXPECT_EQ(idleNotices(), 1) << "told before on this desktop";
    EXPECT_EQ(log.countContaining("No idle source answers: This desktop does not report idle time"), 2);

    qputenv("XDG_CURRENT_DESKTOP", "Other");
    restart();
    EXPECT_TRUE(PrivateSessionBus::serveUntil([this] { return idleNotices() == 2; }))
        << "another desktop without idle time is told too";
}

TEST_F(NoIdleSourceTest, ANoticeThatCouldNotBeShownIsGivenAtTheNextStart)
{
    // No notification service yet: the log alone says it.
    platform::LogCapture log;
    menuBar();
    ASSERT_TRUE(PrivateSessionBus::serveUntil([&] {
        return log.countContaining("No idle source answers, and the notification saying so failed") == 1;
    }));
    EXPECT_FALSE(zk::hasRunOnce(kiruvo::MenuBarController::idleUnavailableNoticeIdentifier()));

    notificationServiceRuns(true);
    restart();
    EXPECT_TRUE(PrivateSessionBus::serveUntil([this] { return idleNotices() == 1; }));
    EXPECT_TRUE(PrivateSessionBus::serveUntil(
        [] { return zk::hasRunOnce(kiruvo::MenuBarController::idleUnavailableNoticeIdentifier()); }));
}

TEST_F(NoIdleSourceTest, LosingEveryIdleSourceLaterIsToldToo)
{
    notificationServiceRuns(true);
    ASSERT_TRUE(desktop.serviceComes());
    runSessionFor(5 * 60);
    menuBar().update();
    serveUntilTheServiceHeardAll();
    EXPECT_EQ(idleNotices(), 0);
    EXPECT_EQ(shown().toolTip.toStdString(), "Current session: 5 minutes");

    ASSERT_TRUE(desktop.serviceGoes());
    EXPECT_TRUE(PrivateSessionBus::serveUntil([this] { return idleNotices() == 1; }));
    ASSERT_TRUE(desktop.serviceComes());
    ASSERT_TRUE(desktop.serviceGoes());
    serveUntilTheServiceHeardAll();
    EXPECT_EQ(idleNotices(), 1) << "once per desktop";
}

TEST_F(NoIdleSourceTest, WhileTheIdleServiceIsStillAskedNothingSaysItIsMissing)
{
    notificationServiceRuns(true);
    for (const bool answers : { true, false }) {
        SCOPED_TRACE(answers ? "it answers" : "its call times out");
        // A desktop whose screen saver is busy at login; the engine is made after its sources.
        DesktopWithoutIdleTime slow(DesktopWithoutIdleTime::Start::serviceSlowToAnswer);
        ASSERT_TRUE(slow.isRunning());
        m_controller.reset();
        platform::LogCapture log;
        runSessionFor(30 * 60);
        menuBar().update();
        ASSERT_TRUE(slow.questionArrives());
        serveUntilTheServiceHeardAll();
        EXPECT_TRUE(controller().isIdleDetectionAvailable());
        EXPECT_EQ(shown().toolTip.toStdString(), "Current session: 30 minutes");
        EXPECT_FALSE(contains(build(), idleLine));
        EXPECT_EQ(idleNotices(), 0);
        EXPECT_EQ(log.countContaining("No idle source answers"), 0);

        if (answers) {
            ASSERT_TRUE(slow.slowServiceAnswers());
            processEvents();
            EXPECT_TRUE(controller().currentSession()) << "the service says the user is present";
            EXPECT_EQ(shown().toolTip.toStdString(), "Current session: 30 minutes");
            serveUntilTheServiceHeardAll();
            EXPECT_EQ(idleNotices(), 0);
        } else {
            ASSERT_TRUE(slow.slowServiceFails());
            processEvents();
            EXPECT_NE(shown().toolTip.indexOf(kiruvo::MenuBarController::idleUnavailableLine), -1);
            EXPECT_TRUE(contains(build(), idleLine));
            EXPECT_TRUE(PrivateSessionBus::serveUntil([this] { return idleNotices() == 1; }));
            EXPECT_EQ(
                log.countContaining("No idle source answers: This desktop does not report idle time"), 1);
        }
        // Both go before the desktop they listen to.
        m_menuBar.reset();
        m_controller.reset();
    }
}
