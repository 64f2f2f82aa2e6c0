#include "app/reminders/HeartView.h"
#include "app/windows/WelcomeScreen.h"
#include "app/windows/WelcomeWindowController.h"
#include "kit/interface/Tooltip.h"
#include "kit/interface/WelcomePopover.h"
#include "kit/interface/WindowUtilities.h"
#include "libraries/launch-at-login/Toggle.h"
#include "platform/combine/ManualScheduler.h"
#include "platform/desktop/ReduceMotion.h"
#include "platform/desktop/StatusItem.h"
#include "platform/fake/FakeLoginItemService.h"
#include "platform/fake/FakeStatusItemBackend.h"
#include "support/OpenboxSession.h"
#include "support/WindowUnderOpenbox.h"

#include <QApplication>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QStyleOption>
#include <QTest>
#include <gtest/gtest.h>

#include <X11/keysym.h>

using kiruvo::WelcomeScreen;
using kiruvo::WelcomeWindowController;
using platform::LoginItemService;
using Status = LoginItemService::Status;
using zk::SingletonWindowController;

namespace {

class WelcomeWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Without motion the flight is one wait on the test's clock.
        platform::ReduceMotion::setOverrideForTesting(true);
        LoginItemService::setMainAppService(&loginItems);
        auto owned = std::make_unique<platform::fake::FakeStatusItemBackend>();
        backend = owned.get();
        backend->setGeometry(QRect(600, 0, 24, 24));
        item = new platform::StatusItem(std::move(owned));
        WelcomeScreen::Environment environment;
        environment.statusBarButton = [this]() -> platform::StatusItem* { return item.data(); };
        environment.timerSource = source;
        WelcomeWindowController::setEnvironment(std::move(environment));
    }

    void TearDown() override
    {
        if (SingletonWindowController::exists<WelcomeWindowController>()) {
            SingletonWindowController::shared<WelcomeWindowController>().window()->close();
        }
        delete item.data();
        scheduler.advance(60);
        flush();
        WelcomeWindowController::setEnvironment({});
        LoginItemService::setMainAppService(nullptr);
        platform::ReduceMotion::setOverrideForTesting(std::nullopt);
    }

    static void flush()
    {
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
    }

    // Shows the window as start-up does and hands out its screen.
    WelcomeScreen& show()
    {
        SingletonWindowController::show<WelcomeWindowController>(false);
        flush();
        return SingletonWindowController::shared<WelcomeWindowController>().screen();
    }

    static QWidget* welcomeWindow()
    {
        return SingletonWindowController::exists<WelcomeWindowController>()
            ? SingletonWindowController::shared<WelcomeWindowController>().window()
            : nullptr;
    }

    static zk::Tooltip* shownWelcomeTip()
    {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* tip = qobject_cast<zk::Tooltip*>(widget);
            if (tip && tip->identifier == zk::welcomePopoverIdentifier && tip->isVisible()) {
                return tip;
            }
        }
        return nullptr;
    }

    // Top-level windows on screen other than the popover's.
    static int visibleWindowsTitled(const QString& title)
    {
        int count = 0;
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (widget->isVisible() && widget->windowTitle() == title) {
                ++count;
            }
        }
        return count;
    }

    platform::fake::FakeLoginItemService loginItems;
    platform::combine::ManualScheduler scheduler;
    zk::TimerSource source { &scheduler, [this] { return scheduler.now(); } };
    platform::fake::FakeStatusItemBackend* backend = nullptr;
    QPointer<platform::StatusItem> item;
};

TEST_F(WelcomeWindowTest, AFloatingTitledWindowWithoutCloseButtonsCentredOnTheScreen)
{
    show();
    QWidget* window = welcomeWindow();
    ASSERT_NE(window, nullptr);

    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Kiruvo"));
    EXPECT_EQ(window->size(), QSize(420, 460));
    EXPECT_EQ(zk::windowLevel(*window), zk::WindowLevel::floating);
    const Qt::WindowFlags flags = window->windowFlags();
    EXPECT_FALSE(flags.testFlag(Qt::WindowCloseButtonHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
    // Window managers that draw a title bar put their own buttons on it whatever the window asks
    // (openbox does): the desktop draws no frame at all.
    EXPECT_TRUE(flags.testFlag(Qt::FramelessWindowHint));
    // A normal window: nothing else is blocked while it is up.
    EXPECT_EQ(window->windowModality(), Qt::NonModal);
    const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
    // Centred as placed, before the desktop adds its frame.
    const QPoint centre = window->pos() + QPoint(window->width() / 2, window->height() / 2);
    EXPECT_LE((centre - available.center()).manhattanLength(), 2);
}

TEST_F(WelcomeWindowTest, BothPagesFitTheFreeAreaOfASmallScreenAtALargeScale)
{
    WelcomeScreen& screen = show();
    QWidget* window = welcomeWindow();
    ASSERT_NE(window, nullptr);
    // 1366 × 768 at a scale of 2, less a 28-pixel panel: 683 × 370 free.
    const QSize free(683, 370);
    window->setFixedSize(screen.fitInto(free));
    flush();
    EXPECT_LE(window->height(), free.height());
    EXPECT_EQ(window->width(), WelcomeScreen::width);
    EXPECT_LT(screen.currentIconSide(), WelcomeScreen::iconSide);
    const auto expectInside = [&](QWidget* widget, const char* what) -> QRect {
        EXPECT_TRUE(widget->isVisible()) << what;
        const QRect area(widget->mapTo(window, QPoint(0, 0)), widget->size());
        EXPECT_TRUE(window->rect().contains(area)) << what << " at " << area.y() << "+" << area.height();
        if (auto* label = qobject_cast<QLabel*>(widget)) {
            // Every line of it, none cut off.
            EXPECT_GE(label->height(), label->heightForWidth(label->width())) << what;
        }
        return area;
    };
    const QRect description = expectInside(screen.descriptionLabel(), "description");
    expectInside(screen.titleLabel(), "title");
    const QRect toggle = expectInside(screen.launchAtLoginToggle(), "switch");
    expectInside(screen.continueButton(), "Continue");
    EXPECT_LE(description.bottom(), toggle.top());
    screen.showLastPage();
    flush();
    expectInside(screen.feedbackLabel(), "feedback");
    expectInside(screen.getStartedButton(), "Get Started");

    // Where there is room, the designed size.
    EXPECT_EQ(screen.fitInto(QSize(1280, 760)), QSize(WelcomeScreen::width, WelcomeScreen::height));
    EXPECT_EQ(screen.currentIconSide(), WelcomeScreen::iconSide);
}

TEST_F(WelcomeWindowTest, TheFirstPageGreetsAndContinueShowsTheLastPage)
{
    WelcomeScreen& screen = show();
    EXPECT_EQ(screen.buttonWidth, 100);
    EXPECT_EQ(screen.hostingWindow(), welcomeWindow());
    EXPECT_FALSE(screen.isLastPage());
    EXPECT_EQ(screen.titleLabel()->text(), QStringLiteral("Welcome to Kiruvo"));
    EXPECT_TRUE(screen.descriptionLabel()->text().startsWith(QStringLiteral("Kiruvo makes you aware")));
    EXPECT_TRUE(screen.titleLabel()->isVisible());
    EXPECT_TRUE(screen.heartView()->isVisible());
    // Motion is reduced here: the heart stays still.
    EXPECT_FALSE(screen.heartView()->isBeating());
    EXPECT_TRUE(screen.launchAtLoginToggle()->isVisible());
    EXPECT_EQ(screen.launchAtLoginToggle()->text(), QStringLiteral("Launch at login"));
    EXPECT_TRUE(screen.continueButton()->isVisible());
    EXPECT_GE(screen.continueButton()->width(), 100);
    EXPECT_FALSE(screen.getStartedButton()->isVisible());

    // Nothing is bound to Return on the first page, not even on the focused "Continue".
    QTest::keyClick(screen.launchAtLoginToggle(), Qt::Key_Return);
    QTest::keyClick(screen.continueButton(), Qt::Key_Return);
    EXPECT_FALSE(screen.isLastPage());

    QTest::mouseClick(screen.continueButton(), Qt::LeftButton);

    EXPECT_TRUE(screen.isLastPage());
    EXPECT_FALSE(screen.titleLabel()->isVisible());
    EXPECT_FALSE(screen.descriptionLabel()->isVisible());
    EXPECT_TRUE(screen.heartView()->isVisible());
    EXPECT_FALSE(screen.continueButton()->isVisible());
    EXPECT_FALSE(screen.launchAtLoginToggle()->isVisible());
    EXPECT_TRUE(screen.getStartedButton()->isVisible());
    EXPECT_TRUE(screen.feedbackLabel()->isVisible());
    EXPECT_TRUE(screen.feedbackLabel()->text().startsWith(QStringLiteral("If you have any feedback")));
}

TEST_F(WelcomeWindowTest, TheCheckboxShowsAndChangesTheRealLaunchAtLoginState)
{
    loginItems.currentStatus = Status::enabled;
    WelcomeScreen& screen = show();
    EXPECT_TRUE(screen.launchAtLoginToggle()->isChecked());

    QTest::mouseClick(screen.launchAtLoginToggle(), Qt::LeftButton);
    flush();
    EXPECT_EQ(loginItems.currentStatus, Status::notRegistered);
    EXPECT_FALSE(screen.launchAtLoginToggle()->isChecked());

    // A refusal shows the state the desktop kept.
    loginItems.failure = "read-only";
    QTest::mouseClick(screen.launchAtLoginToggle(), Qt::LeftButton);
    flush();
    EXPECT_FALSE(screen.launchAtLoginToggle()->isChecked());
    EXPECT_EQ(loginItems.calls().size(), 2u);
}

TEST_F(WelcomeWindowTest, GetStartedFliesIntoTheStatusItemLeavesNoWindowAndGreetsFromTheItem)
{
    WelcomeScreen& screen = show();
    QTest::mouseClick(screen.continueButton(), Qt::LeftButton);
    const QPointer<QWidget> window = welcomeWindow();

    // Return triggers "Get Started" on the last page.
    QTest::keyClick(&screen, Qt::Key_Return);
    flush();
    EXPECT_EQ(shownWelcomeTip(), nullptr);

    scheduler.advance(0.4);
    flush();
    // Closed and freed with its controller once the flight has ended.
    EXPECT_TRUE(window.isNull());
    EXPECT_FALSE(SingletonWindowController::exists<WelcomeWindowController>());
    EXPECT_EQ(visibleWindowsTitled(QStringLiteral("Kiruvo")), 0);

    scheduler.advance(0.1);
    flush();
    zk::Tooltip* tip = shownWelcomeTip();
    ASSERT_NE(tip, nullptr);
    EXPECT_EQ(tip->label().text(), QStringLiteral("Hello, I'm Kiruvo"));

    // The popover goes by itself.
    scheduler.advance(5);
    flush();
    EXPECT_EQ(shownWelcomeTip(), nullptr);
}

TEST_F(WelcomeWindowTest, GetStartedCountsOnce)
{
    WelcomeScreen& screen = show();
    screen.showLastPage();
    QTest::mouseClick(screen.getStartedButton(), Qt::LeftButton);
    QTest::mouseClick(screen.getStartedButton(), Qt::LeftButton);
    QTest::keyClick(&screen, Qt::Key_Return);
    flush();

    scheduler.advance(0.5);
    flush();
    int tips = 0;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* tip = qobject_cast<zk::Tooltip*>(widget);
        tips += tip && tip->isVisible() ? 1 : 0;
    }
    EXPECT_EQ(tips, 1);
    EXPECT_EQ(zk::Tooltip::shownCount(zk::welcomePopoverIdentifier), 1);
}

TEST_F(WelcomeWindowTest, WithoutAStatusItemTheWindowStillClosesAndNoPopoverOpens)
{
    delete item.data();
    WelcomeScreen& screen = show();
    screen.showLastPage();
    screen.getStarted();
    flush();

    scheduler.advance(1);
    flush();

    EXPECT_FALSE(SingletonWindowController::exists<WelcomeWindowController>());
    EXPECT_EQ(shownWelcomeTip(), nullptr);
}

TEST_F(WelcomeWindowTest, ShowingTwiceKeepsOneWindow)
{
    WelcomeScreen& first = show();
    WelcomeScreen& second = show();
    EXPECT_EQ(&first, &second);
    EXPECT_EQ(visibleWindowsTitled(QStringLiteral("Kiruvo")), 1);
}

} // namespace

TEST_F(WelcomeWindowTest, TheFocusedSwitchShowsTheFocusMarkFromTheStart)
{
    WelcomeScreen& screen = show();
    QWidget* window = welcomeWindow();
    ASSERT_NE(window, nullptr);
    QApplication::setActiveWindow(window);
    screen.launchAtLoginToggle()->setFocus(Qt::ActiveWindowFocusReason);
    flush();
    ASSERT_TRUE(screen.launchAtLoginToggle()->hasFocus());
    // What the style reads to draw the focus mark.
    QStyleOption option;
    option.initFrom(screen.launchAtLoginToggle());
    EXPECT_TRUE(option.state.testFlag(QStyle::State_HasFocus));
    EXPECT_TRUE(option.state.testFlag(QStyle::State_KeyboardFocusChange));
}

// Under a window manager that draws title bars with buttons (openbox), with real input: the
// frameless window moves by a drag on its background and is not picked up by a click, and its
// keys do what its page and its missing buttons say.
TEST(WelcomeWindowUnderOpenboxTest, AClickLeavesItADragMovesItAndItsKeysKeepIt)
{
    if (!OpenboxSession::isChild()) {
        if (!OpenboxSession::isAvailable()) {
            GTEST_SKIP() << "openbox is not installed";
        }
        OpenboxSession::expectCurrentTestReports({ "managed", "no frame", "click: window stays, pointer free",
            "drag: window moved with the pointer, pointer free", "Ctrl+W: shown", "Ctrl+M: shown",
            "Return: first page", "Tab, Space: last page", "Return: started" });
        return;
    }
    platform::ReduceMotion::setOverrideForTesting(true);
    platform::fake::FakeLoginItemService loginItems;
    LoginItemService::setMainAppService(&loginItems);
    SingletonWindowController::show<WelcomeWindowController>(false);
    auto& controller = SingletonWindowController::shared<WelcomeWindowController>();
    QWidget* window = controller.window();
    WindowUnderOpenbox desktop(*window);
    OpenboxSession::report(desktop.waitUntilManagedAndActive() ? "managed" : "not managed");
    OpenboxSession::report(desktop.frame());
    // Left of the page, inside the window's margin: background only.
    const QPoint background(10, window->height() / 2);
    OpenboxSession::report(desktop.clickOnBackground(background));
    OpenboxSession::report(desktop.dragOnBackground(background, QPoint(60, 40)));

    const auto shown = [&] {
        return SingletonWindowController::exists<WelcomeWindowController>() && window->isVisible()
                && !window->isMinimized()
            ? "shown"
            : "gone";
    };
    desktop.tap(XK_w, { XK_Control_L });
    OpenboxSession::report(std::string("Ctrl+W: ") + shown());
    if (!SingletonWindowController::exists<WelcomeWindowController>()) {
        return;
    }
    desktop.tap(XK_m, { XK_Control_L });
    OpenboxSession::report(std::string("Ctrl+M: ") + shown());
    window->showNormal();
    (void)desktop.waitUntilManagedAndActive();
    const QPointer<WelcomeScreen> screen = &controller.screen();
    const auto page
        = [&] { return screen->isLastPage() ? std::string("last page") : std::string("first page"); };
    desktop.tap(XK_Return);
    OpenboxSession::report("Return: " + page());
    desktop.tap(XK_Tab);
    desktop.tap(XK_space);
    OpenboxSession::report("Tab, Space: " + page());
    desktop.tap(XK_Return);
    OpenboxSession::report(screen && screen->hasStarted() ? "Return: started" : "Return: not started");
    if (SingletonWindowController::exists<WelcomeWindowController>()) {
        window->close();
    }
    LoginItemService::setMainAppService(nullptr);
    platform::ReduceMotion::setOverrideForTesting(std::nullopt);
}
