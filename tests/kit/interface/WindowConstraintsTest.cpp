#include "kit/interface/WindowConstraints.h"
#include "kit/interface/HostingWindowKey.h"
#include "kit/interface/SwiftUIPanelForMenuBarApp.h"
#include "kit/interface/SwiftUIWindow.h"
#include "kit/interface/SwiftUIWindowForMenuBarApp.h"

#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QTest>
#include <gtest/gtest.h>

TEST(WindowConstraintsTest, ClampsOnAScreenAtTheOrigin)
{
    const QRect screen(0, 0, 1000, 800);
    // Wider and higher than the screen: the screen's size at its origin.
    EXPECT_EQ(zk::clampFrameToScreen({ 300, 200, 1200, 900 }, screen), QRect(0, 0, 1000, 800));
    // Off the right and bottom edges: moved back.
    EXPECT_EQ(zk::clampFrameToScreen({ 900, 700, 200, 300 }, screen), QRect(800, 500, 200, 300));
    // Before the left and top edges: moved forward.
    EXPECT_EQ(zk::clampFrameToScreen({ -50, -20, 200, 300 }, screen), QRect(0, 0, 200, 300));
    // Inside: untouched.
    EXPECT_EQ(zk::clampFrameToScreen({ 10, 20, 200, 300 }, screen), QRect(10, 20, 200, 300));
}

TEST(WindowConstraintsTest, ClampsOnSecondScreensWithTheirOwnOrigins)
{
    // Right of the first screen, its available area starting below a 30 px panel.
    const QRect right(1920, 30, 1280, 994);
    EXPECT_EQ(zk::clampFrameToScreen({ 3000, 900, 400, 300 }, right), QRect(2800, 724, 400, 300));
    EXPECT_EQ(zk::clampFrameToScreen({ 100, 0, 400, 300 }, right), QRect(1920, 30, 400, 300));
    EXPECT_EQ(zk::clampFrameToScreen({ 2000, 100, 2000, 300 }, right), QRect(1920, 100, 1280, 300));
    // Left of and above the primary screen: negative origins.
    const QRect left(-1280, -200, 1280, 1024);
    EXPECT_EQ(zk::clampFrameToScreen({ -100, 700, 400, 300 }, left), QRect(-400, 524, 400, 300));
    EXPECT_EQ(zk::clampFrameToScreen({ -2000, -500, 400, 2000 }, left), QRect(-1280, -200, 400, 1024));
}

TEST(WindowConstraintsTest, FrameBelowPanelsMovesOnlyATopEdgeAboveThem)
{
    const QRect available(0, 32, 1280, 768);
    EXPECT_EQ(zk::constrainFrameBelowPanels({ 10, 0, 100, 100 }, available), QRect(10, 32, 100, 100));
    EXPECT_EQ(zk::constrainFrameBelowPanels({ 2000, 500, 100, 100 }, available), QRect(2000, 500, 100, 100));
    EXPECT_EQ(zk::constrainFrameBelowPanels({ 10, 0, 100, 100 }, QRect()), QRect(10, 0, 100, 100));
}

TEST(WindowConstraintsTest, MenuBarWindowsKeepAFrameOverThePanelsOnlyWhenAllowed)
{
    const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
    const QRect above(available.x() + 10, available.y() - 20, 100, 100);
    zk::SwiftUIWindowForMenuBarApp window;
    zk::SwiftUIPanelForMenuBarApp panel;
    EXPECT_EQ(window.constrainFrameRect(above).top(), available.top());
    EXPECT_EQ(panel.constrainFrameRect(above).top(), available.top());
    window.allowedAboveMenuBar = true;
    panel.allowedAboveMenuBar = true;
    EXPECT_EQ(window.constrainFrameRect(above), above);
    EXPECT_EQ(panel.constrainFrameRect(above), above);
}

TEST(SwiftUIWindowTest, AShownWindowWiderThanItsScreenIsClamped)
{
    const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
    zk::SwiftUIWindow window(new QLabel("content"));
    window.constrainWindowToScreen = true;
    window.setGeometry(available.x() + 40, available.y() + 10, available.width() + 300, 100);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    EXPECT_EQ(window.geometry().x(), available.x());
    EXPECT_EQ(window.geometry().width(), available.width());
    // Moving it off the screen brings it back.
    window.move(available.right() - 10, available.y() + 10);
    EXPECT_LE(window.geometry().right(), available.right());
}

TEST(SwiftUIWindowTest, EscapeClosesOnlyWhenAskedAndClosingReleasesTheContent)
{
    zk::SwiftUIWindow window(new QLabel("content"));
    QPointer<QWidget> content = window.content();
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QTest::keyClick(&window, Qt::Key_Escape);
    EXPECT_TRUE(window.isVisible());
    EXPECT_FALSE(content.isNull());

    window.closeOnEsc = true;
    QTest::keyClick(&window, Qt::Key_Escape);
    EXPECT_FALSE(window.isVisible());
    EXPECT_TRUE(content.isNull());
}

TEST(SwiftUIWindowTest, AWindowThatCannotBecomeKeyRefusesFocus)
{
    zk::SwiftUIWindow window;
    EXPECT_TRUE(window.canBecomeKey());
    window.setCanBecomeKey(false);
    EXPECT_FALSE(window.canBecomeKey());
    EXPECT_TRUE(window.windowFlags().testFlag(Qt::WindowDoesNotAcceptFocus));
}

TEST(HostingWindowKeyTest, TheClosureFollowsTheWindowWithoutKeepingIt)
{
    EXPECT_EQ(zk::HostingWindowKey::defaultValue()(), nullptr);
    auto* window = new QWidget;
    const zk::HostingWindow hosting = zk::hostingWindow(window);
    EXPECT_EQ(hosting(), window);
    delete window;
    EXPECT_EQ(hosting(), nullptr);
}

TEST(WindowConstraintsTest, ASizeFittingTheScreenKeepsTheMinimumAndLeavesRoomForTheFrame)
{
    const QRect available(0, 27, 910, 485);
    const QMargins frame(2, 32, 2, 2);
    EXPECT_EQ(zk::sizeFittingScreen({ 360, 584 }, { 360, 240 }, available, frame), QSize(360, 451));
    EXPECT_EQ(zk::sizeFittingScreen({ 360, 300 }, { 360, 240 }, available, frame), QSize(360, 300));
    EXPECT_EQ(zk::sizeFittingScreen({ 360, 100 }, { 360, 240 }, available, frame), QSize(360, 240));
    EXPECT_EQ(zk::sizeFittingScreen({ 2000, 584 }, { 360, 240 }, available, frame), QSize(906, 451));
    // No screen: the preferred size.
    EXPECT_EQ(zk::sizeFittingScreen({ 360, 584 }, { 360, 240 }, QRect(), frame), QSize(360, 584));
}
