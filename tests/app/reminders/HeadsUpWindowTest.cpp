#include "app/reminders/HeadsUpWindow.h"

#include "app/reminders/HeartView.h"
#include "kit/foundation/core/Duration.h"
#include "platform/combine/ManualScheduler.h"
#include "platform/desktop/ReduceMotion.h"
#include "platform/time/Locale.h"

#include "kit/interface/StandaloneMenuWindow.h"
#include "kit/interface/VisualEffectView.h"
#include "kit/interface/WindowFade.h"
#include "kit/interface/ZKMenu.h"
#include "support/PrivateXServer.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QImage>
#include <QPalette>
#include <QProcess>
#include <QScreen>
#include <QTest>
#include <QVariantAnimation>
#include <QWidget>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <unistd.h>

using kiruvo::HeadsUpWindow;

namespace {

// Two screens of different sizes side by side, the second lower down, for the whole program: the
// offscreen platform reads them when the application starts, so this runs before main().
const bool hasTwoScreens = [] {
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (platform != nullptr && std::string(platform) != "offscreen" && *platform != '\0') {
        return false;
    }
    static const auto path = std::filesystem::temp_directory_path()
        / ("kiruvo-heads-up-screens-" + std::to_string(::getpid()) + ".json");
    // The platform reads the file once, when the application starts; nothing is left behind.
    std::atexit([] {
        std::error_code ignored;
        std::filesystem::remove(path, ignored);
    });
    std::ofstream(path) << R"({"screens": [
        {"name": "left", "x": 0, "y": 0, "width": 1920, "height": 1080,
         "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1},
        {"name": "right", "x": 1920, "y": 200, "width": 1280, "height": 1024,
         "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})";
    ::setenv("QT_QPA_PLATFORM", ("offscreen:configfile=" + path.string()).c_str(), 1);
    return true;
}();

TEST(HeadsUpWindowGeometryTest, sitsCentredAndRaisedOnOneScreen)
{
    // A 1920 × 1080 screen with a 27 px panel at the top.
    const QRect available(0, 27, 1920, 1053);
    const QRect frame = HeadsUpWindow::frameFor(available);
    EXPECT_EQ(frame.size(), QSize(220, 220));
    EXPECT_EQ(frame.x(), 850);
    // The middle of the area (553.5) minus half the panel, raised by 12 % of 1053 (126.36).
    EXPECT_EQ(frame.y(), 317);
    EXPECT_EQ(frame.center().x(), available.center().x());
    EXPECT_LT(frame.center().y(), available.center().y());
}

TEST(HeadsUpWindowGeometryTest, eachOfTwoScreensGetsItsOwnPlace)
{
    const QRect left(0, 0, 1920, 1040);
    const QRect right(1920, 200, 1280, 1024);
    const QRect leftFrame = HeadsUpWindow::frameFor(left);
    const QRect rightFrame = HeadsUpWindow::frameFor(right);
    EXPECT_EQ(leftFrame, QRect(850, 285, 220, 220)); // 520 − 110 − 124.8
    EXPECT_EQ(rightFrame, QRect(2450, 479, 220, 220)); // 200 + 512 − 110 − 122.88
    EXPECT_TRUE(right.contains(rightFrame));
    EXPECT_FALSE(left.intersects(rightFrame));
}

class HeadsUpWindowTest : public ::testing::Test {
protected:
    void SetUp() override { platform::Locale::setCurrentForTesting(platform::Locale("en_US")); }
    void TearDown() override
    {
        platform::ReduceMotion::setOverrideForTesting(true);
        HeadsUpWindow::closeAll();
        settle();
        // Fades a test left running end now, not in their own time.
        for (int round = 0; round < 3 && !HeadsUpWindow::openWindows().empty(); ++round) {
            for (auto* window : HeadsUpWindow::openWindows()) {
                for (auto* fade : window->findChildren<QVariantAnimation*>(zk::windowFadeAnimationName)) {
                    fade->setCurrentTime(fade->duration());
                }
            }
            scheduler.advance(1);
            settle();
        }
        EXPECT_TRUE(HeadsUpWindow::openWindows().empty()) << "a test left a window open";
        platform::ReduceMotion::setOverrideForTesting(std::nullopt);
        platform::Locale::setCurrentForTesting(std::nullopt);
    }

    // Lets the windows' showing and closing tasks, which start on the event loop's next turns,
    // run their course up to their next wait on `scheduler`.
    void settle()
    {
        for (int turn = 0; turn < 5; ++turn) {
            scheduler.runPending();
            QCoreApplication::processEvents();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
    }

    // What the windows' fades wait on; it outlives every window of a test.
    platform::combine::ManualScheduler scheduler;
};

TEST_F(HeadsUpWindowTest, showsOnEveryScreenAboveEverythingAndLetsClicksThrough)
{
    platform::ReduceMotion::setOverrideForTesting(true);
    HeadsUpWindow::showOnAllScreens(zk::Duration::fromSeconds(3900), scheduler);
    settle();
    // Shown transparent; the kit's fade-in, after its pause, makes it opaque at once.
    scheduler.advance(0.1);
    settle();

    const auto windows = HeadsUpWindow::openWindows();
    const auto screens = QGuiApplication::screens();
    ASSERT_EQ(windows.size(), static_cast<std::size_t>(screens.size()));
    for (std::size_t i = 0; i < windows.size(); ++i) {
        auto* window = windows[i];
        EXPECT_TRUE(window->isVisible());
        EXPECT_EQ(window->geometry(),
            HeadsUpWindow::frameFor(screens[static_cast<qsizetype>(i)]->availableGeometry()));
        const auto flags = window->windowFlags();
        EXPECT_TRUE(flags.testFlag(Qt::WindowTransparentForInput));
        EXPECT_TRUE(flags.testFlag(Qt::WindowStaysOnTopHint));
        EXPECT_TRUE(flags.testFlag(Qt::WindowDoesNotAcceptFocus));
        EXPECT_TRUE(flags.testFlag(Qt::FramelessWindowHint));
        EXPECT_DOUBLE_EQ(window->windowOpacity(), 1.0) << "no fade under Reduce Motion";
        EXPECT_EQ(window->durationText(), QStringLiteral("1 hour, 5 minutes"));
        EXPECT_TRUE(window->heartView()->isVisible());
    }
    EXPECT_DOUBLE_EQ(HeadsUpWindow::duration().seconds, 3900);

    HeadsUpWindow::closeAll();
    settle();
    EXPECT_TRUE(HeadsUpWindow::openWindows().empty()) << "Reduce Motion closes without a fade";
}

TEST_F(HeadsUpWindowTest, twoScreensGetOneWindowEachAtTheirOwnPlaceWithTheSameDuration)
{
    if (!hasTwoScreens) {
        GTEST_SKIP() << "runs only on the offscreen platform";
    }
    const auto screens = QGuiApplication::screens();
    ASSERT_EQ(screens.size(), 2);
    platform::ReduceMotion::setOverrideForTesting(true);
    HeadsUpWindow::showOnAllScreens(zk::Duration::fromSeconds(1802), scheduler);
    settle();

    const auto windows = HeadsUpWindow::openWindows();
    ASSERT_EQ(windows.size(), 2u);
    EXPECT_EQ(windows[0]->screen(), screens[0]);
    EXPECT_EQ(windows[1]->screen(), screens[1]);
    EXPECT_EQ(windows[0]->geometry(), QRect(850, 300, 220, 220)); // 540 − 110 − 129.6
    EXPECT_EQ(windows[1]->geometry(), QRect(2450, 479, 220, 220)); // 200 + 512 − 110 − 122.88
    for (auto* window : windows) {
        EXPECT_EQ(window->durationText(), QStringLiteral("30 minutes"));
        EXPECT_TRUE(window->isVisible());
    }

    // Closing takes every one of them away.
    HeadsUpWindow::closeAll();
    settle();
    EXPECT_TRUE(HeadsUpWindow::openWindows().empty());
}

TEST_F(HeadsUpWindowTest, aRoundedFrostedPanelBehindTheHeartAndText)
{
    platform::ReduceMotion::setOverrideForTesting(true);
    HeadsUpWindow::showOnAllScreens(zk::Duration::fromSeconds(60), scheduler);
    settle();
    const auto windows = HeadsUpWindow::openWindows();
    ASSERT_FALSE(windows.empty());
    auto* window = windows.front();
    EXPECT_TRUE(window->testAttribute(Qt::WA_TranslucentBackground));
    EXPECT_TRUE(window->testAttribute(Qt::WA_ShowWithoutActivating));

    auto* background = window->background();
    ASSERT_NE(background, nullptr);
    EXPECT_EQ(background->geometry(), QRect(0, 0, 220, 220));
    EXPECT_EQ(background->material(), zk::VisualEffectView::Material::fullScreenUI);
    EXPECT_EQ(background->blendingMode(), zk::VisualEffectView::BlendingMode::behindWindow);
    EXPECT_TRUE(background->isActive()) << "the window never becomes active, the panel still looks it";
    EXPECT_TRUE(background->isEmphasized());
    EXPECT_DOUBLE_EQ(background->cornerRadius(), 30);
    EXPECT_DOUBLE_EQ(background->opacity(), 0.9);
    // Drawn first, so everything else lies on top of it.
    EXPECT_EQ(window->children().indexOf(background), 0);

    EXPECT_DOUBLE_EQ(window->heartView()->saturation(), 1.5);
    EXPECT_DOUBLE_EQ(window->heartView()->opacity(), 0.8);
}

TEST_F(HeadsUpWindowTest, fadesInFromTransparentAndANewReminderReplacesTheOpenOnes)
{
    platform::ReduceMotion::setOverrideForTesting(false);
    HeadsUpWindow::showOnAllScreens(zk::Duration::fromSeconds(600), scheduler);
    settle();
    const auto first = HeadsUpWindow::openWindows();
    ASSERT_FALSE(first.empty());
    EXPECT_DOUBLE_EQ(first.front()->windowOpacity(), 0.0);
    EXPECT_EQ(first.front()->durationText(), QStringLiteral("10 minutes"));

    platform::ReduceMotion::setOverrideForTesting(true);
    HeadsUpWindow::showOnAllScreens(zk::Duration::fromSeconds(1200), scheduler);
    settle();
    const auto second = HeadsUpWindow::openWindows();
    ASSERT_EQ(second.size(), first.size());
    for (auto* window : second) {
        EXPECT_EQ(std::count(first.begin(), first.end(), window), 0) << "windows are never reused";
        EXPECT_EQ(window->durationText(), QStringLiteral("20 minutes"));
    }
}

TEST_F(HeadsUpWindowTest, fadesInAndOutWithTheKitsWindowFades)
{
    platform::ReduceMotion::setOverrideForTesting(false);
    HeadsUpWindow::showOnAllScreens(zk::Duration::fromSeconds(60), scheduler);
    settle();
    const auto windows = HeadsUpWindow::openWindows();
    ASSERT_FALSE(windows.empty());
    QPointer<HeadsUpWindow> window = windows.front();
    auto fadeOf = [&]() -> QVariantAnimation* {
        return window ? window->findChild<QVariantAnimation*>(zk::windowFadeAnimationName) : nullptr;
    };
    EXPECT_TRUE(window->isVisible());
    EXPECT_DOUBLE_EQ(window->windowOpacity(), 0.0);
    // After the kit's pause of 0.1 s, the kit's fade brings it in over 0.5 s.
    scheduler.advance(0.099);
    EXPECT_EQ(fadeOf(), nullptr);
    scheduler.advance(0.002);
    ASSERT_NE(fadeOf(), nullptr);
    EXPECT_DOUBLE_EQ(fadeOf()->endValue().toDouble(), 1.0);
    EXPECT_EQ(fadeOf()->duration(), 500);
    fadeOf()->setCurrentTime(fadeOf()->duration());
    EXPECT_DOUBLE_EQ(window->windowOpacity(), 1.0);
    settle();

    HeadsUpWindow::closeAll();
    settle();
    ASSERT_NE(fadeOf(), nullptr);
    EXPECT_DOUBLE_EQ(fadeOf()->endValue().toDouble(), 0.0);
    EXPECT_EQ(fadeOf()->duration(), 500);
    EXPECT_TRUE(window->isVisible()) << "open while it fades out";
    fadeOf()->setCurrentTime(fadeOf()->duration());
    settle();
    EXPECT_TRUE(window.isNull()) << "closed and gone once faded out";
}

TEST_F(HeadsUpWindowTest, aReminderClosedBeforeItsFadeInStartsNeverFadesIn)
{
    platform::ReduceMotion::setOverrideForTesting(false);
    HeadsUpWindow::showOnAllScreens(zk::Duration::fromSeconds(60), scheduler);
    settle();
    QPointer<HeadsUpWindow> window = HeadsUpWindow::openWindows().front();
    scheduler.advance(0.05);
    HeadsUpWindow::closeAll();
    settle();
    auto* fade = window->findChild<QVariantAnimation*>(zk::windowFadeAnimationName);
    ASSERT_NE(fade, nullptr);
    EXPECT_DOUBLE_EQ(fade->endValue().toDouble(), 0.0);
    // The fade-in's time comes and goes: the fading out stays the only fade.
    scheduler.advance(0.2);
    settle();
    const auto fades = window->findChildren<QVariantAnimation*>(zk::windowFadeAnimationName);
    ASSERT_EQ(fades.size(), 1);
    EXPECT_DOUBLE_EQ(fades.front()->endValue().toDouble(), 0.0);
    fades.front()->setCurrentTime(fades.front()->duration());
    settle();
    EXPECT_TRUE(window.isNull());
}

TEST_F(HeadsUpWindowTest, theHeartsShadowSpreadsBeyondItsPlaceInTheLayout)
{
    platform::ReduceMotion::setOverrideForTesting(true);
    HeadsUpWindow::showOnAllScreens(zk::Duration::fromSeconds(60), scheduler);
    settle();
    auto* window = HeadsUpWindow::openWindows().front();
    auto* heart = window->heartView();
    EXPECT_GT(heart->width(), kiruvo::HeartView::layoutSide);
    // Centred where the layout keeps room for it: above the text, in the middle.
    EXPECT_EQ(heart->geometry().center().x(), window->rect().center().x());
    EXPECT_LT(heart->geometry().center().y(), window->rect().center().y());
    EXPECT_GT(heart->geometry().center().y(), 40);
}

TEST_F(HeadsUpWindowTest, aMenuOpenedDuringAReminderStaysOpenWhenTheReminderEnds)
{
    // As on Wayland, where the menu is a window of its own that closes with the window it hangs from.
    zk::ZKMenu menu("Status");
    menu.addAction(QStringLiteral("Item"));
    zk::StandaloneMenuWindow standalone(menu, true);
    platform::ReduceMotion::setOverrideForTesting(true);
    HeadsUpWindow::showOnAllScreens(zk::Duration::fromSeconds(60), scheduler);
    settle();
    scheduler.advance(0.1);
    settle();
    ASSERT_FALSE(HeadsUpWindow::openWindows().empty());
    menu.popup(QPoint(10, 10));
    QCoreApplication::processEvents();
    ASSERT_TRUE(menu.isVisible());

    HeadsUpWindow::closeAll();
    settle();
    ASSERT_TRUE(HeadsUpWindow::openWindows().empty());
    EXPECT_TRUE(menu.isVisible()) << "the menu never hung from the reminder";
    menu.hide();
}

// An X server with no compositing manager (openbox alone, say) shows a window's transparent pixels
// black: there the panel's corners must show the desktop beneath them. With a compositing manager
// the window keeps its square shape, for the compositor to blend. The rest of this program draws
// offscreen, so the test runs again in a program of its own on an X server of its own.
TEST_F(HeadsUpWindowTest, withoutACompositorTheCornersShowTheDesktopBeneath)
{
    if (qEnvironmentVariableIsEmpty("KIRUVO_TEST_HEADS_UP_ON_X")) {
        PrivateXServer server("640x480");
        ASSERT_TRUE(server.isRunning());
        QProcess child;
        auto environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("KIRUVO_TEST_HEADS_UP_ON_X"), QStringLiteral("1"));
        environment.insert(QStringLiteral("DISPLAY"), QString::fromStdString(server.display()));
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
        child.setProcessEnvironment(environment);
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start(QCoreApplication::applicationFilePath(),
            { QStringLiteral(
                "--gtest_filter=HeadsUpWindowTest.withoutACompositorTheCornersShowTheDesktopBeneath") });
        ASSERT_TRUE(child.waitForFinished(120000));
        EXPECT_EQ(child.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(child.exitCode(), 0) << child.readAll().toStdString();
        return;
    }
    ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"));
    QScreen* screen = QGuiApplication::primaryScreen();
    // A white desktop beneath.
    QWidget desktop(nullptr, Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint);
    QPalette white = desktop.palette();
    white.setColor(QPalette::Window, Qt::white);
    desktop.setPalette(white);
    desktop.setAutoFillBackground(true);
    desktop.setGeometry(screen->geometry());
    desktop.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&desktop));

    platform::ReduceMotion::setOverrideForTesting(true);
    HeadsUpWindow* window = HeadsUpWindow::show(screen, scheduler);
    settle();
    scheduler.advance(0.1);
    settle();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    const QRect frame = window->geometry();
    const auto shownAt = [screen](QPoint point) {
        return screen->grabWindow(0, point.x(), point.y(), 1, 1).toImage().pixelColor(0, 0);
    };
    EXPECT_TRUE(QTest::qWaitFor([&] { return shownAt(frame.center()) != QColor(Qt::white); }, 10000))
        << "the panel is drawn";
    for (const QPoint corner :
        { frame.topLeft(), frame.topRight(), frame.bottomLeft(), frame.bottomRight() }) {
        const QPoint inside
            = corner + QPoint(corner.x() == frame.left() ? 2 : -2, corner.y() == frame.top() ? 2 : -2);
        EXPECT_EQ(shownAt(inside), QColor(Qt::white)) << inside.x() << "," << inside.y();
    }
    // Nor is the panel's edge a dark rim: each corner shows the desktop or the panel's own fill.
    const int panel = shownAt(QPoint(frame.center().x(), frame.top() + 12)).lightness();
    for (const QPoint corner :
        { frame.topLeft(), frame.topRight(), frame.bottomLeft(), frame.bottomRight() }) {
        const QPoint origin(corner.x() == frame.left() ? frame.left() : frame.right() - 35,
            corner.y() == frame.top() ? frame.top() : frame.bottom() - 35);
        const QImage shown = screen->grabWindow(0, origin.x(), origin.y(), 36, 36).toImage();
        int darkest = 255;
        for (int y = 0; y < shown.height(); ++y) {
            for (int x = 0; x < shown.width(); ++x) {
                darkest = std::min(darkest, shown.pixelColor(x, y).lightness());
            }
        }
        EXPECT_GE(darkest, panel - 24) << corner.x() << "," << corner.y();
    }

    // A compositing manager takes its selection: the next window is left square for it.
    xcb_connection_t* connection
        = qGuiApp->nativeInterface<QNativeInterface::QX11Application>()->connection();
    const xcb_window_t manager = xcb_generate_id(connection);
    const xcb_screen_t* root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    xcb_create_window(connection, XCB_COPY_FROM_PARENT, manager, root->root, 0, 0, 1, 1, 0,
        XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
    const std::string name = "_NET_WM_CM_S0";
    std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> atom(
        xcb_intern_atom_reply(connection,
            xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(name.size()), name.c_str()), nullptr),
        &std::free);
    ASSERT_TRUE(atom);
    xcb_set_selection_owner(connection, manager, atom->atom, XCB_CURRENT_TIME);
    HeadsUpWindow* composited = HeadsUpWindow::show(screen, scheduler);
    settle();
    EXPECT_TRUE(composited->mask().isEmpty());
    EXPECT_FALSE(window->mask().isEmpty());
    xcb_destroy_window(connection, manager);
    xcb_flush(connection);
}

} // namespace
