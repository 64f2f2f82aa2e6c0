#include "kit/diagnostics/DebugAddHighlightDrawnRectanglesSetting.h"
#include "kit/diagnostics/DebugLogScreen.h"
#include "kit/diagnostics/DebugScreen.h"
#include "kit/diagnostics/DebugSwitches.h"
#include "kit/diagnostics/DebugUserDefaultsScreen.h"
#include "kit/diagnostics/DebugWindowController.h"
#include "kit/diagnostics/Diagnostics.h"
#include "kit/diagnostics/UserDebugView.h"
#include "kit/diagnostics/UserDebugWindowController.h"
#include "kit/foundation/DiagnosticsSeam.h"
#include "kit/foundation/ZKApp.h"
#include "kit/interface/QuitButton.h"
#include "libraries/defaults/Defaults.h"

#include "DiagnosticsFixture.h"
#include "support/OpenboxSession.h"
#include "support/ScreenReaderSession.h"
#include "support/WindowUnderOpenbox.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QTreeWidget>
#include <QUrlQuery>
#include <filesystem>

#include <X11/keysym.h>

using namespace zk;
using platform::PropertyList;

class DebugWindowsTest : public DiagnosticsFixture {
protected:
    void SetUp() override
    {
        DiagnosticsFixture::SetUp();
        Diagnostics::install();
    }
    void TearDown() override
    {
        for (QWidget* window : QApplication::topLevelWidgets()) {
            window->close();
        }
        settle([] { return SingletonWindowController::liveCount() == 0; });
        DiagnosticsSeam::install({});
        DiagnosticsFixture::TearDown();
    }

    static UserDebugWindowController* userWindow()
    {
        return SingletonWindowController::exists<UserDebugWindowController>()
            ? &SingletonWindowController::shared<UserDebugWindowController>()
            : nullptr;
    }
    static DebugWindowController* developerWindow()
    {
        return SingletonWindowController::exists<DebugWindowController>()
            ? &SingletonWindowController::shared<DebugWindowController>()
            : nullptr;
    }
};

TEST_F(DebugWindowsTest, TheLaunchGestureOpensOneFloatingUserDebugWindow)
{
    showUserDebugWindow();
    showUserDebugWindow();
    ASSERT_TRUE(settle([] { return userWindow() && userWindow()->window()->isVisible(); }));
    EXPECT_EQ(SingletonWindowController::liveCount(), 1u);
    QWidget* window = userWindow()->window();
    EXPECT_TRUE(window->windowTitle().startsWith(QStringLiteral("Kiruvo ")));
    EXPECT_TRUE(window->windowTitle().endsWith(QString::fromUtf8(" — Debug")));
    EXPECT_TRUE(window->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_FALSE(window->windowFlags() & Qt::WindowCloseButtonHint);
    for (const char* title : { "Delete Data & Settings", "Copy Debug Info", "Email Debug Info",
             "Send Crash Log", "Feedback & Support", "Quit Kiruvo" }) {
        EXPECT_NE(userWindow()->view().button(QString::fromUtf8(title)), nullptr) << title;
    }
    // The kit's Quit button, with its Ctrl+Q.
    EXPECT_NE(qobject_cast<zk::Buttons::Quit*>(userWindow()->view().button(QStringLiteral("Quit Kiruvo"))),
        nullptr);
    // An ampersand is shown as written, not taken for a mnemonic.
    EXPECT_EQ(userWindow()->view().button(QStringLiteral("Feedback & Support"))->text(),
        QStringLiteral("Feedback && Support"));
}

TEST_F(DebugWindowsTest, TheSupportPanelShowsItsWholeTitleItself)
{
    UserDebugWindowController::show();
    ASSERT_TRUE(settle([] { return userWindow() && userWindow()->window()->isVisible(); }));
    QWidget* window = userWindow()->window();
    const QString title = window->windowTitle();
    EXPECT_EQ(title, QString::fromStdString(zk::ZKApp::name() + " " + zk::ZKApp::version() + " — Debug"));
    // No frame from the desktop, whose title bar would carry its buttons: the window shows the
    // title, whole.
    EXPECT_TRUE(window->windowFlags().testFlag(Qt::FramelessWindowHint));
    const QLabel& label = userWindow()->titleLabel();
    EXPECT_TRUE(label.isVisible());
    EXPECT_EQ(label.text(), title);
    EXPECT_GE(label.contentsRect().width(), label.fontMetrics().horizontalAdvance(title));
}

TEST_F(DebugWindowsTest, DeleteAsksFirstAndCancelKeepsEverything)
{
    suite->setObject(PropertyList(4), "ZK_launchCount");
    UserDebugWindowController::show();
    ASSERT_TRUE(settle([] { return userWindow() != nullptr; }));
    answers = { 1 };
    userWindow()->view().button(QStringLiteral("Delete Data & Settings"))->click();
    ASSERT_TRUE(
        settle([&] { return !alerts.empty() && !userWindow()->view().isConfirmationDialogPresented(); }));
    EXPECT_EQ(alerts[0], "Delete all data and settings for Kiruvo?");
    EXPECT_EQ(suite->objectForKey("ZK_launchCount"), PropertyList(4));
    EXPECT_EQ(relaunches, 0);
}

TEST_F(DebugWindowsTest, DeleteConfirmedResetsAndRelaunchesNormally)
{
    suite->setObject(PropertyList(4), "ZK_launchCount");
    UserDebugWindowController::show();
    ASSERT_TRUE(settle([] { return userWindow() != nullptr; }));
    answers = { 0 };
    userWindow()->view().button(QStringLiteral("Delete Data & Settings"))->click();
    ASSERT_TRUE(settle([&] { return relaunches > 0 && terminations > 0; }));
    EXPECT_EQ(stored("ZK_launchCount"), std::nullopt);
    EXPECT_EQ(exits, 0);
    EXPECT_EQ(stored("ZK_isShowingSettingsAfterRelaunch"), std::nullopt);
}

TEST_F(DebugWindowsTest, FeedbackThatNothingCanOpenLeavesKiruvoRunning)
{
    actionsOpen = false;
    UserDebugWindowController::show();
    ASSERT_TRUE(settle([] { return userWindow() != nullptr; }));
    userWindow()->view().button(QStringLiteral("Feedback & Support"))->click();
    // Told once the desktop has said so, not when xdg-open merely started.
    ASSERT_TRUE(settle([&] { return !alerts.empty(); }));
    EXPECT_EQ(alerts, std::vector<std::string> { "Could not open the feedback page" });
    EXPECT_EQ(openedUrls.size(), 1u);
    EXPECT_EQ(quits, 0);
}

TEST_F(DebugWindowsTest, FeedbackOpensTheFormWithTheDebugFieldsThenQuits)
{
    UserDebugWindowController::show();
    ASSERT_TRUE(settle([] { return userWindow() != nullptr; }));
    userWindow()->view().button(QStringLiteral("Feedback & Support"))->click();
    ASSERT_TRUE(settle([&] { return quits == 1; }));
    ASSERT_EQ(openedUrls.size(), 1u);
    const QUrlQuery query(openedUrls[0]);
    EXPECT_EQ(query.queryItemValue(QStringLiteral("product")), QStringLiteral("Kiruvo"));
    const QString metadata = query.queryItemValue(QStringLiteral("metadata"), QUrl::FullyDecoded);
    EXPECT_TRUE(metadata.startsWith(QStringLiteral("App: Kiruvo "))) << metadata.toStdString();
    EXPECT_TRUE(metadata.contains(QStringLiteral("\nApp Memory Usage: ")));
    // The status menu's "Send Feedback…" sends the same fields.
    EXPECT_EQ(feedbackMetadata().substr(0, 12), "App: Kiruvo ");
}

TEST_F(DebugWindowsTest, CrashLogInstructionsOnlyShowAndRevealOurReportsFolder)
{
    UserDebugWindowController::show();
    ASSERT_TRUE(settle([] { return userWindow() != nullptr; }));
    answers = { -1, 0 };
    userWindow()->view().button(QStringLiteral("Send Crash Log"))->click();
    ASSERT_TRUE(settle(
        [&] { return alerts.size() == 1 && !userWindow()->view().isCrashLogInstructionsPresented(); }));
    EXPECT_EQ(alerts[0], "How to send crash log");
    EXPECT_NE(alertMessages[0].find(reporter->directory().string()), std::string::npos);
    EXPECT_NE(alertMessages[0].find(supportEmailAddress().rawValue()), std::string::npos);
    EXPECT_TRUE(openedUrls.empty());
    EXPECT_TRUE(started.empty());

    userWindow()->view().button(QStringLiteral("Send Crash Log"))->click();
    ASSERT_TRUE(settle([&] { return openedUrls.size() == 1; }));
    EXPECT_EQ(openedUrls[0], QUrl::fromLocalFile(QString::fromStdString(reporter->directory().string())));
    // There to be shown even before anything was reported.
    EXPECT_TRUE(std::filesystem::is_directory(reporter->directory()));

    // No file manager: the user is told, with the folder's place to copy.
    actionsOpen = false;
    answers = { 0, 1 };
    userWindow()->view().button(QStringLiteral("Send Crash Log"))->click();
    ASSERT_TRUE(settle([&] { return alerts.size() == 4; }));
    EXPECT_EQ(alerts[3], "Could not open the reports folder");
    EXPECT_TRUE(alertMessages[3].starts_with("No file manager")) << alertMessages[3];
}

TEST_F(DebugWindowsTest, ClosingAndShowingAgainBuildsAFreshWindow)
{
    UserDebugWindowController::show();
    ASSERT_TRUE(settle([] { return userWindow() != nullptr; }));
    const QWidget* first = userWindow()->window();
    userWindow()->window()->close();
    ASSERT_TRUE(settle([] { return userWindow() == nullptr; }));
    UserDebugWindowController::show();
    ASSERT_TRUE(settle([] { return userWindow() != nullptr; }));
    EXPECT_NE(userWindow()->window(), first);
    EXPECT_FALSE(userWindow()->view().isConfirmationDialogPresented());
    EXPECT_FALSE(userWindow()->view().isCrashLogInstructionsPresented());
}

TEST_F(DebugWindowsTest, TheStatusMenusDebugItemOpensTheDeveloperWindowOnTheDashboard)
{
    showDebugWindow();
    showDebugWindow();
    ASSERT_TRUE(settle([] { return developerWindow() && developerWindow()->window()->isVisible(); }));
    EXPECT_EQ(SingletonWindowController::liveCount(), 1u);
    QWidget* window = developerWindow()->window();
    EXPECT_GE(window->minimumSizeHint().width(), 800);
    EXPECT_GE(window->minimumSizeHint().height(), 400);
    DebugScreen& screen = developerWindow()->screen();
    EXPECT_EQ(screen.currentPage(), DebugScreen::Page::dashboard);
    EXPECT_EQ(screen.sidebar().count(), 4);
    EXPECT_EQ(screen.sidebar().item(1)->text(), QStringLiteral("User Defaults"));

    screen.sidebar().setCurrentRow(2);
    EXPECT_NE(qobject_cast<DebugLogScreen*>(screen.currentPageWidget()), nullptr);
    screen.sidebar().setCurrentRow(1);
    EXPECT_NE(qobject_cast<DebugUserDefaultsScreen*>(screen.currentPageWidget()), nullptr);

    window->close();
    ASSERT_TRUE(settle([] { return developerWindow() == nullptr; }));
    showDebugWindow();
    ASSERT_TRUE(settle([] { return developerWindow() != nullptr; }));
    EXPECT_EQ(developerWindow()->screen().currentPage(), DebugScreen::Page::dashboard);
}

// The developer window's lists are Qt's own tables, which give no cell for a row a reader asks
// for and does not find: asked over the accessibility bus as a reader asks, each answers nothing.
TEST_F(DebugWindowsTest, AScreenReaderAskingItsListsForCellsThatAreNotThereIsAnsweredNothing)
{
    if (!ScreenReaderSession::isChild()) {
        ScreenReaderSession::runCurrentTest();
        return;
    }
    showDebugWindow();
    ASSERT_TRUE(settle([] { return developerWindow() && developerWindow()->window()->isVisible(); }));
    DebugScreen& screen = developerWindow()->screen();
    screen.sidebar().setCurrentRow(1);
    auto* defaults = qobject_cast<DebugUserDefaultsScreen*>(screen.currentPageWidget());
    ASSERT_NE(defaults, nullptr);
    ScreenReaderSession reader;
    ASSERT_TRUE(reader.isConnected());
    const QString table = QStringLiteral("org.a11y.atspi.Table");
    for (QWidget* list :
        { static_cast<QWidget*>(&screen.sidebar()), static_cast<QWidget*>(&defaults->tree()) }) {
        QAccessibleInterface* object = QAccessible::queryAccessibleInterface(list);
        ASSERT_NE(object->tableInterface(), nullptr);
        const int rows = object->tableInterface()->rowCount();
        const auto ask = [&](const QString& method, const QVariantList& arguments) {
            return reader.call(object, table, method, arguments).arguments();
        };
        EXPECT_EQ(ask(QStringLiteral("GetRowColumnExtentsAtIndex"), { -1 }).value(0), false);
        EXPECT_EQ(ask(QStringLiteral("GetRowColumnExtentsAtIndex"), { 1000 }).value(0), false);
        EXPECT_EQ(ask(QStringLiteral("GetRowExtentAt"), { rows, 0 }).value(0), 0);
        EXPECT_EQ(ask(QStringLiteral("GetColumnExtentAt"), { -1, -1 }).value(0), 0);
        EXPECT_EQ(ask(QStringLiteral("IsSelected"), { rows, 0 }).value(0), false);
        EXPECT_EQ(ask(QStringLiteral("GetRowExtentAt"), { 0, 0 }).value(0), 1)
            << "a cell there is asked of the table";
    }
}

TEST_F(DebugWindowsTest, TheDashboardDeletesWithoutAskingAndCopies)
{
    suite->setObject(PropertyList(4), "ZK_launchCount");
    showDebugWindow();
    ASSERT_TRUE(settle([] { return developerWindow() != nullptr; }));
    QWidget* page = developerWindow()->screen().currentPageWidget();
    page->findChild<QPushButton*>(QStringLiteral("Copy Debug Info"))->click();
    EXPECT_TRUE(QGuiApplication::clipboard()->text().startsWith(QStringLiteral("# Kiruvo ")));
    EXPECT_EQ(QGuiApplication::clipboard()->mimeData()->data(QStringLiteral("org.nspasteboard.source")),
        QByteArray("com.zelvantorium.Kiruvo"));
    page->findChild<QPushButton*>(QStringLiteral("Delete App Data"))->click();
    ASSERT_TRUE(settle([&] { return relaunches > 0; }));
    EXPECT_TRUE(alerts.empty());
    EXPECT_EQ(stored("ZK_launchCount"), std::nullopt);
}

TEST_F(DebugWindowsTest, TheDeveloperWindowSitsAboveTheMiddleOfItsScreen)
{
    EXPECT_EQ(DebugWindowController::position(QRect(0, 0, 1000, 800), QSize(800, 400)), QPoint(100, 104));
    EXPECT_EQ(
        DebugWindowController::position(QRect(1920, 30, 1000, 800), QSize(800, 400)), QPoint(2020, 134));
    // Never above the top of the area.
    EXPECT_EQ(DebugWindowController::position(QRect(0, 0, 900, 500), QSize(800, 480)), QPoint(50, 0));
}

TEST_F(DebugWindowsTest, TheSettingsPageStoresTheSwitches)
{
    showDebugWindow();
    ASSERT_TRUE(settle([] { return developerWindow() != nullptr; }));
    DebugScreen& screen = developerWindow()->screen();
    screen.sidebar().setCurrentRow(3);
    auto* outlines = screen.currentPageWidget()->findChild<QCheckBox*>(QStringLiteral("NSShowAllViews"));
    ASSERT_NE(outlines, nullptr);
    EXPECT_EQ(outlines->text(), QStringLiteral("Draw Outlines Around Views"));
    outlines->click();
    EXPECT_EQ(suite->objectForKey("NSShowAllViews"), PropertyList(true));
    EXPECT_FALSE(DebugSwitches::styleSheetForLaunch(*suite).isEmpty());
    EXPECT_EQ(relaunches, 0);

    suite->setObject(PropertyList(true), "NSTraceEvents");
    const auto variables = DebugSwitches::environmentForLaunch(*suite);
    ASSERT_EQ(variables.size(), 1u);
    EXPECT_EQ(variables[0].first, QStringLiteral("QT_LOGGING_RULES"));

    // Every switch shown does something here, and none names the other platform's toolkit.
    for (const auto& row : DebugSwitches::rows()) {
        platform::UserDefaults alone(
            platform::DefaultsDatabase::open(":memory:"), platform::UserDefaults::standardSuiteName);
        alone.setObject(PropertyList(true), row.key);
        EXPECT_TRUE(!DebugSwitches::environmentForLaunch(alone).empty()
            || !DebugSwitches::styleSheetForLaunch(alone).isEmpty())
            << row.title;
        EXPECT_EQ(row.title.find("AppKit"), std::string::npos) << row.title;
    }
}

TEST_F(DebugWindowsTest, HighlightingStoresItsStringsAndRelaunches)
{
    suite->setObject(PropertyList("yes"), "NSShowAllDrawing");
    DebugAddHighlightDrawnRectanglesSetting toggle;
    EXPECT_FALSE(toggle.isChecked());
    toggle.click();
    EXPECT_EQ(suite->objectForKey("NSShowAllDrawing"), PropertyList("200"));
    EXPECT_EQ(suite->objectForKey("NSShowAllDrawingColor"), PropertyList("cycle"));
    EXPECT_TRUE(toggle.isChecked());
    ASSERT_TRUE(settle([&] { return relaunches == 1; }));
    EXPECT_EQ(DebugSwitches::environmentForLaunch(*suite).at(0).first, QStringLiteral("QT_FLUSH_UPDATE"));

    toggle.click();
    EXPECT_EQ(suite->objectForKey("NSShowAllDrawing"), PropertyList("no"));
    EXPECT_EQ(suite->objectForKey("NSShowAllDrawingColor"), PropertyList("cycle"));
    EXPECT_FALSE(toggle.isChecked());
    ASSERT_TRUE(settle([&] { return relaunches == 2; }));
    EXPECT_EQ(exits, 0);
}

// Under a window manager that puts its buttons on every title bar it draws (openbox), with real
// input: the support panel has no frame (so none of those buttons), moves by its background, and
// Ctrl+W and Ctrl+M leave it, as it has no close or minimise button.
TEST(UserDebugWindowUnderOpenboxTest, NoButtonsFromTheDesktopAndItMovesByItsBackground)
{
    if (!OpenboxSession::isChild()) {
        if (!OpenboxSession::isAvailable()) {
            GTEST_SKIP() << "openbox is not installed";
        }
        OpenboxSession::expectCurrentTestReports({ "managed", "no frame", "click: window stays, pointer free",
            "drag: window moved with the pointer, pointer free", "Ctrl+W Ctrl+M: shown" });
        return;
    }
    UserDebugWindowController::show();
    auto& controller = SingletonWindowController::shared<UserDebugWindowController>();
    QWidget* window = controller.window();
    WindowUnderOpenbox desktop(*window);
    OpenboxSession::report(desktop.waitUntilManagedAndActive() ? "managed" : "not managed");
    OpenboxSession::report(desktop.frame());
    // Beside the title: background only.
    const QPoint background(4, controller.titleLabel().geometry().center().y());
    OpenboxSession::report(desktop.clickOnBackground(background));
    OpenboxSession::report(desktop.dragOnBackground(background, QPoint(60, 40)));
    desktop.tap(XK_w, { XK_Control_L });
    desktop.tap(XK_m, { XK_Control_L });
    const bool shown = SingletonWindowController::exists<UserDebugWindowController>() && window->isVisible()
        && !window->isMinimized();
    OpenboxSession::report(shown ? "Ctrl+W Ctrl+M: shown" : "Ctrl+W Ctrl+M: gone");
    if (shown) {
        window->close();
    }
}
