#include "app/reminders/HeartView.h"

#include "platform/combine/ManualScheduler.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <numeric>

using kiruvo::HeartView;
using Size = HeartView::Size;

namespace {

TEST(HeartViewTest, sizesScaleTheHeart)
{
    EXPECT_DOUBLE_EQ(HeartView::scale(Size::small), 1.1);
    EXPECT_DOUBLE_EQ(HeartView::scale(Size::normal), 1.25);
    EXPECT_DOUBLE_EQ(HeartView::scale(Size::large), 1.35);
}

TEST(HeartViewTest, oneBeatWithTheDefaultTimingsLastsOneAndAHalfSeconds)
{
    const auto steps = HeartView::beatSteps(0.5, 1.0);
    ASSERT_EQ(steps.size(), 5u);
    const std::vector<Size> targets { Size::large, Size::small, Size::normal, Size::large, Size::small };
    const std::vector<double> animations { 0.125, 0.25, 0.125, 0.125, 0.8 };
    const std::vector<double> waits { 0.15, 0.125, 0.125, 0.15, 1.0 };
    for (std::size_t i = 0; i < steps.size(); ++i) {
        EXPECT_EQ(steps[i].target, targets[i]) << i;
        EXPECT_DOUBLE_EQ(steps[i].animationDuration, animations[i]) << i;
        EXPECT_DOUBLE_EQ(steps[i].wait, waits[i]) << i;
        EXPECT_EQ(steps[i].spring, i == 4) << i;
    }
    const double cycle = std::accumulate(steps.begin(), steps.end(), 0.0,
        [](double sum, const HeartView::BeatStep& step) { return sum + step.wait; });
    EXPECT_NEAR(cycle, 1.55, 1e-12);

    // The second step's animation outlasts its wait: the third step starts while it still runs.
    EXPECT_GT(steps[1].animationDuration, steps[1].wait);
    // Other timings scale the steps, and the pause is the delay alone.
    const auto slow = HeartView::beatSteps(1.0, 2.0);
    EXPECT_DOUBLE_EQ(slow[0].animationDuration, 0.25);
    EXPECT_DOUBLE_EQ(slow[0].wait, 0.3);
    EXPECT_DOUBLE_EQ(slow[4].wait, 2.0);
}

TEST(HeartViewTest, aSaturatedSeeThroughHeartKeepsItsHues)
{
    HeartView view;
    const QColor top = view.topColor();
    const QColor bottom = view.bottomColor();
    view.setSaturation(1.5);
    EXPECT_NEAR(view.topColor().hsvSaturationF(), std::min(1.0f, top.hsvSaturationF() * 1.5f), 0.01);
    EXPECT_LE(view.bottomColor().hsvSaturationF(), 1.0f);
    EXPECT_GE(view.bottomColor().hsvSaturationF(), bottom.hsvSaturationF());
    EXPECT_NEAR(view.topColor().hsvHueF(), top.hsvHueF(), 0.01);

    view.setOpacity(0.8);
    EXPECT_DOUBLE_EQ(view.opacity(), 0.8);

    // Nonsense leaves the heart drawn as it is.
    view.setOpacity(std::numeric_limits<double>::quiet_NaN());
    view.setSaturation(-3);
    EXPECT_DOUBLE_EQ(view.opacity(), 1.0);
    EXPECT_DOUBLE_EQ(view.saturation(), 0.0);
}

class HeartViewBeatTest : public ::testing::Test {
protected:
    // The beat starts on the event loop's next turn after the view is shown.
    void showAndStart()
    {
        view.show();
        QCoreApplication::processEvents();
    }

    platform::combine::ManualScheduler scheduler;
    HeartView view { nullptr, scheduler };
};

TEST_F(HeartViewBeatTest, beatsInTheRhythmOfItsSteps)
{
    EXPECT_EQ(view.size(), Size::normal);
    EXPECT_DOUBLE_EQ(view.currentScale(), 1.25);
    EXPECT_DOUBLE_EQ(view.shadowRadius(), 4);
    EXPECT_FALSE(view.isBeating());

    showAndStart();
    ASSERT_TRUE(view.isBeating());
    EXPECT_EQ(view.size(), Size::large);
    EXPECT_DOUBLE_EQ(view.shadowRadius(), 8);
    EXPECT_EQ(view.animation().duration(), 125);
    EXPECT_DOUBLE_EQ(view.animation().endValue().toDouble(), 1.35);

    scheduler.advance(0.149);
    EXPECT_EQ(view.size(), Size::large);
    scheduler.advance(0.002);
    EXPECT_EQ(view.size(), Size::small);
    EXPECT_DOUBLE_EQ(view.shadowRadius(), 4);
    EXPECT_EQ(view.animation().duration(), 250);

    scheduler.advance(0.125);
    EXPECT_EQ(view.size(), Size::normal);
    scheduler.advance(0.125);
    EXPECT_EQ(view.size(), Size::large);
    scheduler.advance(0.15);
    EXPECT_EQ(view.size(), Size::small);
    EXPECT_EQ(view.animation().duration(), 800);
    EXPECT_NE(view.animation().easingCurve().type(), QEasingCurve::Linear);

    // The heart rests small for the whole delay, then beats again.
    scheduler.advance(0.99);
    EXPECT_EQ(view.size(), Size::small);
    scheduler.advance(0.02);
    EXPECT_EQ(view.size(), Size::large);
}

TEST_F(HeartViewBeatTest, readsItsTimingsAfreshAtEveryStep)
{
    showAndStart();
    view.setBeatLength(1.0);
    view.setBeatDelay(3.0);
    scheduler.advance(0.151); // the first wait was set with the old length
    EXPECT_EQ(view.size(), Size::small);
    EXPECT_EQ(view.animation().duration(), 500);
    scheduler.advance(0.251 + 0.251 + 0.301);
    EXPECT_EQ(view.size(), Size::small);
    scheduler.advance(2.9);
    EXPECT_EQ(view.size(), Size::small) << "rests for the new delay";
    scheduler.advance(0.2);
    EXPECT_EQ(view.size(), Size::large);
}

TEST_F(HeartViewBeatTest, hidingStopsTheBeatAtItsNextWait)
{
    showAndStart();
    view.hide();
    EXPECT_FALSE(view.isBeating());
    scheduler.runPending();
    QCoreApplication::processEvents();
    const Size stopped = view.size();
    scheduler.advance(5);
    EXPECT_EQ(view.size(), stopped);

    // Shown again, it beats again from the first step.
    showAndStart();
    EXPECT_TRUE(view.isBeating());
    EXPECT_EQ(view.size(), Size::large);
}

TEST(HeartViewPathTest, theHeartFillsItsBoundsWithItsPointAtTheBottom)
{
    const QRectF bounds(10, 20, 50, 45);
    const auto path = HeartView::heartPath(bounds);
    EXPECT_NEAR(path.boundingRect().left(), bounds.left(), 0.5);
    EXPECT_NEAR(path.boundingRect().right(), bounds.right(), 0.5);
    EXPECT_NEAR(path.boundingRect().bottom(), bounds.bottom(), 0.5);
    EXPECT_TRUE(path.contains(QPointF(35, 40))); // the middle
    EXPECT_TRUE(path.contains(QPointF(22, 30))); // the left lobe
    EXPECT_FALSE(path.contains(QPointF(35, 21))); // the dip between the lobes
    EXPECT_FALSE(path.contains(QPointF(12, 63))); // beside the point
}

} // namespace
