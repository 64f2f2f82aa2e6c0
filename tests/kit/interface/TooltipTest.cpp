#include "kit/interface/Tooltip.h"
#include "platform/desktop/StatusItem.h"
#include "platform/fake/FakeStatusItemBackend.h"
#include "platform/store/DefaultsDatabase.h"
#include "platform/store/UserDefaults.h"

#include <QLabel>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

namespace {

class TooltipTest : public ::testing::Test {
protected:
    static std::unique_ptr<zk::Tooltip> make(
        const QString& identifier, bool once, bool closeOnClick = true, std::function<void()> onClick = {})
    {
        return std::make_unique<zk::Tooltip>("Time for a break", closeOnClick, QMargins(15, 15, 15, 15), 1000,
            std::move(onClick), identifier, once);
    }
};

} // namespace

TEST_F(TooltipTest, ShowOnlyOnceShowsTheFirstTimeAndNeverAgain)
{
    auto first = make("intro", true);
    EXPECT_TRUE(first->showRelativeTo(QRect(500, 0, 20, 20)));
    EXPECT_TRUE(first->isVisible());
    EXPECT_EQ(zk::Tooltip::shownCount("intro"), 1);
    first->close();

    auto second = make("intro", true);
    EXPECT_FALSE(second->showRelativeTo(QRect(500, 0, 20, 20)));
    EXPECT_FALSE(second->isVisible());
    EXPECT_EQ(zk::Tooltip::shownCount("intro"), 1);
    // Stored in the settings under the kit's key.
    EXPECT_EQ(platform::UserDefaults::standard()->objectForKey("ZK_Tooltip_intro"),
        platform::PropertyList(std::int64_t(1)));
}

TEST_F(TooltipTest, WithoutShowOnlyOnceEveryShowingIsCounted)
{
    for (int i = 0; i < 3; ++i) {
        auto tip = make("reminder", false);
        EXPECT_TRUE(tip->showRelativeTo(QRect(500, 0, 20, 20)));
    }
    EXPECT_EQ(zk::Tooltip::shownCount("reminder"), 3);
    EXPECT_EQ(zk::Tooltip::shownCount("other"), 0);
}

TEST_F(TooltipTest, HiddenStatusItemShowsNothingUnlessAskedTo)
{
    auto owned = std::make_unique<platform::fake::FakeStatusItemBackend>();
    owned->setGeometry(QRect(300, 0, 24, 24));
    platform::StatusItem item(std::move(owned));
    item.setVisible(false);

    auto tip = make("hidden", false);
    EXPECT_FALSE(tip->showInInvisibleWindow(item));
    EXPECT_EQ(zk::Tooltip::shownCount("hidden"), 0);
    tip->showEvenWhenMenuBarItemIsHidden = true;
    EXPECT_TRUE(tip->showInInvisibleWindow(item));
    EXPECT_EQ(tip->y(), 24 + 5);
    EXPECT_NEAR(tip->x() + tip->width() / 2, 312, 1);
}

TEST_F(TooltipTest, ClickClosesWhenAskedThenRunsTheCallback)
{
    int clicks = 0;
    auto tip = make("click", false, true, [&] { ++clicks; });
    QSignalSpy closed(tip.get(), &zk::Tooltip::closed);
    tip->showRelativeTo(QRect(500, 0, 20, 20));
    QTest::mouseClick(tip.get(), Qt::LeftButton);
    EXPECT_EQ(clicks, 1);
    EXPECT_FALSE(tip->isVisible());
    EXPECT_EQ(closed.count(), 1);

    auto sticky = make("sticky", false, false, [&] { ++clicks; });
    sticky->showRelativeTo(QRect(500, 0, 20, 20));
    QTest::mouseClick(sticky.get(), Qt::LeftButton);
    EXPECT_EQ(clicks, 2);
    EXPECT_TRUE(sticky->isVisible());
}

TEST(TooltipPositionTest, CentredBelowAnAnchorOnTheFreeAreaAndKeptOnIt)
{
    const QRect free(0, 0, 1920, 1080);
    EXPECT_EQ(zk::Tooltip::positionAt(QRect(1000, 0, 20, 24), QSize(200, 50), free), QPoint(910, 29));
    EXPECT_EQ(zk::Tooltip::positionAt(QRect(1910, 0, 10, 24), QSize(200, 50), free), QPoint(1720, 29));
    // An item at the left edge is no hidden item: the tip stays at it.
    EXPECT_EQ(zk::Tooltip::positionAt(QRect(0, 0, 20, 24), QSize(40, 50), free), QPoint(0, 29));
}

TEST(TooltipPositionTest, NeverOverAPanelWhateverPointTheAnchorNames)
{
    const QSize tip(200, 50);
    // A top panel 28 high: a click point in it (as StatusNotifierItem hosts report it) and the
    // whole icon both put the tip 5 below the panel, not 5 below the point.
    const QRect belowTop(0, 28, 1280, 772);
    EXPECT_EQ(zk::Tooltip::positionAt(QRect(1200, 13, 1, 1), tip, belowTop), QPoint(1080, 33));
    EXPECT_EQ(zk::Tooltip::positionAt(QRect(1188, 2, 24, 24), tip, belowTop), QPoint(1080, 33));
    // A bottom panel: above it.
    const QRect aboveBottom(0, 0, 1280, 772);
    EXPECT_EQ(zk::Tooltip::positionAt(QRect(1252, 772, 28, 28), tip, aboveBottom), QPoint(1080, 717));
    EXPECT_EQ(zk::Tooltip::positionAt(QRect(600, 790, 1, 1), tip, aboveBottom), QPoint(500, 717));
    // Side panels 40 wide, the tray at their bottom end: beside the panel, at the bottom.
    const QRect rightOfLeft(40, 0, 1240, 800);
    EXPECT_EQ(zk::Tooltip::positionAt(QRect(0, 760, 40, 40), tip, rightOfLeft), QPoint(45, 750));
    const QRect leftOfRight(0, 0, 1240, 800);
    EXPECT_EQ(zk::Tooltip::positionAt(QRect(1240, 760, 40, 40), tip, leftOfRight), QPoint(1035, 750));
    // A second screen right of the first, its panel at the top.
    const QRect second(1280, 24, 1920, 1056);
    EXPECT_EQ(zk::Tooltip::positionAt(QRect(3176, 0, 24, 24), tip, second), QPoint(3000, 29));
}

TEST(TooltipWrapTest, LongTextWrapsWithinTheMaximumWidth)
{
    zk::Tooltip tip(QString("word ").repeated(200), true, QMargins(15, 15, 15, 15), 300, {}, "wrap", false);
    tip.adjustSize();
    EXPECT_LE(tip.width(), 300);
    EXPECT_GT(tip.label().height(), tip.label().fontMetrics().height() * 3);
}

TEST(TooltipWrapTest, ShortTextStaysOnOneLine)
{
    const QString text = "You have been active for 1 hour, 5 minutes";
    zk::Tooltip tip(text, true, QMargins(15, 15, 15, 15), 1000, {}, "oneLine", false);
    tip.adjustSize();
    EXPECT_EQ(tip.label().height(), tip.label().fontMetrics().height());
    EXPECT_GE(tip.label().width(), tip.label().fontMetrics().horizontalAdvance(text));
}
