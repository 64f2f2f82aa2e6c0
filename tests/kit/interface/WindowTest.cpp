#include "kit/interface/AnimationDriver.h"
#include "kit/interface/SingletonWindowController.h"
#include "kit/interface/SwiftUIPanelForMenuBarApp.h"
#include "kit/interface/SwiftUIWindowForMenuBarApp.h"
#include "kit/interface/WindowFade.h"
#include "kit/interface/WindowFlyAway.h"
#include "kit/interface/WindowUtilities.h"
#include "kit/interface/ZKCAAnimationDelegate.h"
#include "platform/async/TaskHandle.h"
#include "platform/combine/ManualScheduler.h"
#include "platform/desktop/ReduceMotion.h"
#include "support/OpenboxSession.h"
#include "support/TryWithTimeout.h"
#include "support/WindowUnderOpenbox.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QTest>
#include <QVariantAnimation>
#include <gtest/gtest.h>

#include <X11/keysym.h>

using platform::async::TaskHandle;

namespace {

class ReduceMotionScope {
public:
    explicit ReduceMotionScope(bool on) { platform::ReduceMotion::setOverrideForTesting(on); }
    ~ReduceMotionScope() { platform::ReduceMotion::setOverrideForTesting(std::nullopt); }
};

// Lets a started task reach its first wait, and queued work run.
void settle()
{
    for (int i = 0; i < 5; ++i) {
        QCoreApplication::processEvents();
    }
}

class HistoryController : public zk::SingletonWindowController {
public:
    HistoryController()
        : SingletonWindowController(new zk::SwiftUIWindowForMenuBarApp)
    {
        ++built;
    }
    static inline int built = 0;
};

class RefusingWindow : public QWidget {
public:
    bool refuse = true;

protected:
    void closeEvent(QCloseEvent* event) override { refuse ? event->ignore() : event->accept(); }
};

class StubbornController : public zk::SingletonWindowController {
public:
    StubbornController()
        : SingletonWindowController(new RefusingWindow)
    {
    }
};

} // namespace

TEST(SingletonWindowControllerTest, OneLiveInstancePerClassUntilItsWindowCloses)
{
    HistoryController::built = 0;
    auto& first = zk::SingletonWindowController::shared<HistoryController>();
    auto& again = zk::SingletonWindowController::shared<HistoryController>();
    EXPECT_EQ(&first, &again);
    EXPECT_EQ(HistoryController::built, 1);

    zk::SingletonWindowController::show<HistoryController>(false);
    settle();
    QPointer<QWidget> window = first.window();
    ASSERT_TRUE(window);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->windowOpacity(), 1.0);

    window->close();
    EXPECT_FALSE(zk::SingletonWindowController::exists<HistoryController>());
    settle();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(window.isNull());

    auto& next = zk::SingletonWindowController::shared<HistoryController>();
    EXPECT_EQ(HistoryController::built, 2);
    EXPECT_NE(next.window(), nullptr);
    next.window()->close(); // never shown: closing it still ends it
    EXPECT_FALSE(zk::SingletonWindowController::exists<HistoryController>());
}

TEST(SingletonWindowControllerTest, RefusedCloseOrMinimisingKeepsTheInstance)
{
    auto& controller = zk::SingletonWindowController::shared<StubbornController>();
    auto* window = static_cast<RefusingWindow*>(controller.window());
    window->show();
    window->close();
    EXPECT_TRUE(zk::SingletonWindowController::exists<StubbornController>());
    window->showMinimized();
    EXPECT_TRUE(zk::SingletonWindowController::exists<StubbornController>());
    window->refuse = false;
    window->close();
    EXPECT_FALSE(zk::SingletonWindowController::exists<StubbornController>());
    settle();
}

TEST(MenuBarWindowTest, CtrlWClosesCtrlMMinimisesEscapeOnlyWhenAsked)
{
    zk::SwiftUIWindowForMenuBarApp window;
    EXPECT_EQ(window.size(), QSize(100, 100));
    window.show();
    QTest::keyClick(&window, Qt::Key_Escape);
    EXPECT_TRUE(window.isVisible());
    window.shouldCloseOnEscapePress = true;
    QTest::keyClick(&window, Qt::Key_Escape);
    EXPECT_FALSE(window.isVisible());

    window.show();
    QTest::keyClick(&window, Qt::Key_W, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_TRUE(window.isVisible());
    QTest::keyClick(&window, Qt::Key_W, Qt::ControlModifier | Qt::KeypadModifier);
    EXPECT_FALSE(window.isVisible());

    window.show();
    QTest::keyClick(&window, Qt::Key_M, Qt::ControlModifier | Qt::AltModifier);
    EXPECT_FALSE(window.isMinimized());
    QTest::keyClick(&window, Qt::Key_M, Qt::ControlModifier);
    EXPECT_TRUE(window.isMinimized());

    zk::SwiftUIPanelForMenuBarApp panel;
    EXPECT_TRUE(panel.windowFlags().testFlag(Qt::Tool));
    panel.show();
    QTest::keyClick(&panel, Qt::Key_Escape);
    EXPECT_TRUE(panel.isVisible());
    QTest::keyClick(&panel, Qt::Key_W, Qt::ControlModifier);
    EXPECT_FALSE(panel.isVisible());

    // Without the button, the key does nothing: a title bar without a close button, and a window
    // without the desktop's frame at all.
    for (const Qt::WindowFlags flags : { Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint,
             Qt::Window | Qt::FramelessWindowHint | Qt::WindowCloseButtonHint
                 | Qt::WindowMinimizeButtonHint }) {
        zk::SwiftUIWindowForMenuBarApp bare;
        bare.setWindowFlags(flags);
        bare.show();
        QTest::keyClick(&bare, Qt::Key_W, Qt::ControlModifier);
        EXPECT_TRUE(bare.isVisible());
        QTest::keyClick(&bare, Qt::Key_M, Qt::ControlModifier);
        EXPECT_FALSE(bare.isMinimized());
    }
}

// Under a window manager (openbox), with real keys: Ctrl+M has the window manager minimise the
// panel, a tool window, which Qt offers no minimise button, and showing it again brings it back.
TEST(MenuBarPanelUnderOpenboxTest, CtrlMMinimisesItThroughTheWindowManager)
{
    if (!OpenboxSession::isChild()) {
        if (!OpenboxSession::isAvailable()) {
            GTEST_SKIP() << "openbox is not installed";
        }
        OpenboxSession::expectCurrentTestReports({ "managed", "Ctrl+M: iconic", "shown again: normal" });
        return;
    }
    zk::SwiftUIPanelForMenuBarApp panel;
    panel.resize(300, 200);
    panel.show();
    panel.activateWindow();
    WindowUnderOpenbox desktop(panel);
    OpenboxSession::report(desktop.waitUntilManagedAndActive() ? "managed" : "not managed");
    const auto window = static_cast<xcb_window_t>(panel.winId());
    desktop.tap(XK_m, { XK_Control_L });
    (void)QTest::qWaitFor([&] { return desktop.user().wmState(window) == "iconic"; }, 10000);
    OpenboxSession::report("Ctrl+M: " + desktop.user().wmState(window));
    panel.showNormal();
    (void)QTest::qWaitFor([&] { return desktop.user().wmState(window) == "normal"; }, 10000);
    OpenboxSession::report("shown again: " + desktop.user().wmState(window));
}

TEST(WindowFadeTest, ReducedMotionSetsTheOpacityAtOnceAfterTheDelay)
{
    ReduceMotionScope reduce(true);
    platform::combine::ManualScheduler scheduler;
    QWidget window;
    window.setWindowOpacity(0);
    auto task = TaskHandle::start([&](std::stop_token token) -> QCoro::Task<void> {
        co_await zk::fadeIn(&window, 0.5, 2.0, zk::MediaTimingFunction::defaultFunction(), token, scheduler);
    });
    settle();
    EXPECT_EQ(window.windowOpacity(), 0.0);
    scheduler.advance(2.0);
    settle();
    EXPECT_TRUE(task.isFinished());
    EXPECT_EQ(window.windowOpacity(), 1.0);
    EXPECT_EQ(window.findChild<QVariantAnimation*>(zk::windowFadeAnimationName), nullptr);
}

TEST(WindowFadeTest, AnimationReachesTheTargetWhenItRunsToItsEnd)
{
    ReduceMotionScope reduce(false);
    platform::combine::ManualScheduler scheduler;
    QWidget window;
    window.setWindowOpacity(1.0);
    auto task = TaskHandle::start([&](std::stop_token token) -> QCoro::Task<void> {
        co_await zk::fadeOut(&window, 0.5, 0, zk::MediaTimingFunction::easeIn(), token, scheduler);
    });
    settle();
    scheduler.runPending();
    settle();
    auto* animation = window.findChild<QVariantAnimation*>(zk::windowFadeAnimationName);
    ASSERT_NE(animation, nullptr);
    EXPECT_EQ(animation->duration(), 500);
    EXPECT_FALSE(task.isFinished());
    animation->setCurrentTime(250);
    EXPECT_GT(window.windowOpacity(), 0.0);
    EXPECT_LT(window.windowOpacity(), 1.0);
    animation->setCurrentTime(500);
    settle();
    EXPECT_EQ(window.windowOpacity(), 0.0);
    EXPECT_TRUE(task.isFinished());
}

TEST(WindowFadeTest, CancelledDuringTheDelayLeavesTheOpacityAlone)
{
    ReduceMotionScope reduce(true);
    platform::combine::ManualScheduler scheduler;
    QWidget window;
    window.setWindowOpacity(0.3);
    auto task = TaskHandle::start([&](std::stop_token token) -> QCoro::Task<void> {
        co_await zk::fadeIn(&window, 0.5, 1.0, zk::MediaTimingFunction::defaultFunction(), token, scheduler);
    });
    settle();
    task.cancel();
    settle();
    scheduler.advance(1.0);
    settle();
    EXPECT_TRUE(task.isFinished());
    EXPECT_NEAR(window.windowOpacity(), 0.3, 0.01); // kept in 8 bits
}

TEST(WindowFadeTest, WindowDestroyedDuringTheFadeEndsIt)
{
    ReduceMotionScope reduce(false);
    platform::combine::ManualScheduler scheduler;
    auto* window = new QWidget;
    auto task = TaskHandle::start([&](std::stop_token token) -> QCoro::Task<void> {
        co_await zk::fadeOut(window, 0.5, 0, zk::MediaTimingFunction::easeIn(), token, scheduler);
    });
    settle();
    scheduler.runPending();
    settle();
    ASSERT_NE(window->findChild<QVariantAnimation*>(zk::windowFadeAnimationName), nullptr);
    delete window;
    settle();
    EXPECT_TRUE(task.isFinished());
}

namespace {

// Shows the window with a fade-in of 0.5 s timed by the scheduler.
TaskHandle startShowWithFadeIn(QWidget& window, platform::combine::ManualScheduler& scheduler)
{
    return TaskHandle::start([&window, &scheduler](std::stop_token token) -> QCoro::Task<void> {
        co_await zk::showWithFadeIn(
            &window, true, true, zk::MediaTimingFunction::defaultFunction(), 0.5, 0, token, scheduler);
    });
}

} // namespace

TEST(WindowFadeTest, ShowWithFadeInStartsTransparentEndsOpaqueAndCancellationKeepsItTransparent)
{
    ReduceMotionScope reduce(true);
    platform::combine::ManualScheduler scheduler;
    // The whole road, as the Welcome window takes it: nothing of the request may be released twice
    // on the way.
    QWidget shown;
    auto done = startShowWithFadeIn(shown, scheduler);
    QWidget cancelled;
    auto task = startShowWithFadeIn(cancelled, scheduler);
    settle();
    for (QWidget* window : { &shown, &cancelled }) {
        EXPECT_TRUE(window->isVisible());
        EXPECT_EQ(window->windowOpacity(), 0.0);
    }
    task.cancel();
    settle();
    scheduler.advance(1);
    settle();
    EXPECT_TRUE(done.isFinished());
    EXPECT_EQ(shown.windowOpacity(), 1.0);
    EXPECT_TRUE(task.isFinished());
    EXPECT_EQ(cancelled.windowOpacity(), 0.0);
}

TEST(WindowUtilitiesTest, LevelsAndToggle)
{
    QWidget window;
    EXPECT_EQ(zk::windowLevel(window), zk::WindowLevel::normal);
    window.show();
    zk::setWindowLevel(window, zk::WindowLevel::floating);
    EXPECT_EQ(zk::windowLevel(window), zk::WindowLevel::floating);
    EXPECT_TRUE(window.isVisible());

    QWidget other;
    zk::toggle(other);
    EXPECT_TRUE(other.isVisible());
    EXPECT_FALSE(zk::snapshotImage(other).isNull());
}

TEST(WindowFlyAwayTest, DestinationFollowsTheTargetOrFallsBackNearTheRightEdge)
{
    const QRect screen(0, 0, 1920, 1080);
    EXPECT_EQ(zk::flyAwayDestination(QRect(1500, 0, 24, 24), screen), QPoint(1507, 5));
    EXPECT_EQ(zk::flyAwayDestination(QRect(0, 10, 24, 24), screen), QPoint(1860, 15));
    EXPECT_EQ(zk::flyAwayDestination(std::nullopt, screen), QPoint(1860, 5));
}

TEST(WindowFlyAwayTest, ReducedMotionClosesAfterTheDelayWithoutMoving)
{
    ReduceMotionScope reduce(true);
    platform::combine::ManualScheduler scheduler;
    QWidget window;
    window.setGeometry(100, 100, 300, 200);
    window.show();
    const QRect before = window.geometry();
    int completions = 0;
    zk::animateInto(
        &window, QRect(1500, 0, 24, 24), [&] { ++completions; }, scheduler);
    scheduler.advance(0.39);
    EXPECT_TRUE(window.isVisible());
    scheduler.advance(0.01);
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(completions, 1);
    EXPECT_EQ(window.geometry(), before);
}

TEST(WindowFlyAwayTest, FlightEndsSmallTransparentAtTheDestinationAndClosed)
{
    ReduceMotionScope reduce(false);
    QWidget window;
    window.setGeometry(100, 100, 300, 200);
    window.show();
    int completions = 0;
    zk::animateInto(&window, QRect(1500, 0, 24, 24), [&] { ++completions; });
    auto* animation = window.findChild<QVariantAnimation*>(zk::flyAwayAnimationName);
    ASSERT_NE(animation, nullptr);
    // The kit's animation delegate hears the flight end.
    EXPECT_NE(animation->findChild<zk::ZKCAAnimationDelegate*>(), nullptr);
    EXPECT_EQ(zk::windowLevel(window), zk::WindowLevel::floating);
    animation->setCurrentTime(200);
    EXPECT_EQ(window.windowOpacity(), 1.0); // the fade starts after 0.3 s
    animation->setCurrentTime(400);
    EXPECT_EQ(completions, 1);
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(window.windowOpacity(), 0.0);
    EXPECT_EQ(window.size(), QSize(150, 100));
    settle();
    EXPECT_EQ(completions, 1);
}

TEST(WindowFlyAwayTest, AFlightStoppedEarlyStillClosesTheWindowAndCompletesOnce)
{
    ReduceMotionScope reduce(false);
    QWidget window;
    window.setGeometry(100, 100, 300, 200);
    window.show();
    int completions = 0;
    zk::animateInto(&window, QRect(1500, 0, 24, 24), [&] { ++completions; });
    auto* animation = window.findChild<QVariantAnimation*>(zk::flyAwayAnimationName);
    ASSERT_NE(animation, nullptr);
    auto* delegate = animation->findChild<zk::ZKCAAnimationDelegate*>();
    ASSERT_NE(delegate, nullptr);
    bool heardFinished = true;
    const auto close = delegate->didStopHandler;
    delegate->didStopHandler = [&](bool finished) {
        heardFinished = finished;
        close(finished);
    };
    animation->setCurrentTime(100);
    animation->stop();
    EXPECT_FALSE(heardFinished);
    EXPECT_EQ(completions, 1);
    EXPECT_FALSE(window.isVisible());
    settle();
    EXPECT_EQ(completions, 1);
}

TEST(AnimationDriverTest, AnimationsMoveAtMostThirtyTimesASecondAndOnlyWhileOneRuns)
{
    zk::AnimationDriver driver;
    driver.install();
    EXPECT_GE(zk::AnimationDriver::frameIntervalMilliseconds(), 33);
    EXPECT_FALSE(driver.isTicking());

    QVariantAnimation animation;
    animation.setStartValue(0.0);
    animation.setEndValue(1.0);
    animation.setDuration(200);
    int frames = 0;
    QObject::connect(&animation, &QVariantAnimation::valueChanged, [&] { ++frames; });
    bool ticked = false;
    QObject::connect(
        &animation, &QVariantAnimation::valueChanged, [&] { ticked = ticked || driver.isTicking(); });
    animation.start();
    KIRUVO_TRY_COMPARE_WITH_TIMEOUT(animation.state(), QAbstractAnimation::Stopped, 5000);
    EXPECT_DOUBLE_EQ(animation.currentValue().toDouble(), 1.0);
    EXPECT_TRUE(ticked) << "moved by this driver";
    // About six frames in 200 ms (Qt's own driver takes twelve), and the start.
    EXPECT_LE(frames, 9);
    EXPECT_GE(frames, 2);
    KIRUVO_TRY_VERIFY_WITH_TIMEOUT(!driver.isTicking(), 5000);
    driver.uninstall();
}
