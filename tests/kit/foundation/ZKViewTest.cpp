#include "kit/foundation/ZKView.h"
#include "kit/foundation/DimensionsDescription.h"

#include <QWidget>
#include <gtest/gtest.h>

#include <limits>

namespace {

struct Counts {
    int superview = 0;
    int appeared = 0;
};

} // namespace

TEST(ZKViewTest, EachPublisherEmitsOnlyForTheFirstMove)
{
    QWidget firstWindow;
    QWidget secondWindow;
    auto* view = new zk::ZKView;
    Counts counts;
    auto superview = view->didMoveToSuperviewPublisher().sink([&](auto) { ++counts.superview; });
    auto appeared = view->didAppearPublisher().sink([&](auto) { ++counts.appeared; });

    view->setParent(&firstWindow);
    EXPECT_EQ(counts.superview, 1);
    // In a window that is not shown yet: no appearance.
    EXPECT_EQ(counts.appeared, 0);
    firstWindow.show();
    view->show();
    EXPECT_EQ(counts.appeared, 1);

    view->setParent(nullptr);
    view->setParent(&secondWindow);
    secondWindow.show();
    view->show();
    firstWindow.hide();
    firstWindow.show();
    EXPECT_EQ(counts.superview, 1);
    EXPECT_EQ(counts.appeared, 1);
}

TEST(ZKViewTest, ALaterSubscriberHearsNothingOfEarlierMoves)
{
    QWidget window;
    auto* view = new zk::ZKView;
    view->setParent(&window);
    int heard = 0;
    auto superview = view->didMoveToSuperviewPublisher().sink([&](auto) { ++heard; });
    view->setParent(nullptr);
    view->setParent(&window);
    EXPECT_EQ(heard, 0);
}

TEST(DimensionsDescriptionTest, WholeNumbersHaveNoDecimalsAndTheSignHasNoBlanks)
{
    EXPECT_EQ(zk::dimensionsDescription(100, 50), "100\u00D750");
    EXPECT_EQ(zk::dimensionsDescription(QSizeF(10.5, 3)), "10.5\u00D73");
    EXPECT_EQ(zk::dimensionsDescription(0.1, 1e21), "0.1\u00D71000000000000000000000");
    EXPECT_EQ(zk::dimensionsDescription(-2, 0), "-2\u00D70");
}

TEST(DimensionsDescriptionTest, NotANumberAndInfinitiesAreWrittenAsText)
{
    constexpr double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(zk::dimensionsDescription(2, inf), "2\u00D7inf");
    EXPECT_EQ(zk::dimensionsDescription(std::numeric_limits<double>::quiet_NaN(), -inf), "nan\u00D7-inf");
}
