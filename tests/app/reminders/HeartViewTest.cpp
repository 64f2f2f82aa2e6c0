#include "app/reminders/HeartView.h"

#include "platform/combine/ManualScheduler.h"
#include "platform/desktop/ReduceMotion.h"
#include "support/OpenboxSession.h"
#include "support/WindowUnderOpenbox.h"

#include <QCoreApplication>
#include <QGraphicsDropShadowEffect>
#include <QLinearGradient>
#include <QPainter>
#include <QTest>
#include <QWindow>
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
    void SetUp() override { platform::ReduceMotion::setOverrideForTesting(false); }
    void TearDown() override { platform::ReduceMotion::setOverrideForTesting(std::nullopt); }

    // The beat starts on the event loop's next turn after the view is shown.
    void showAndStart()
    {
        view.show();
        QCoreApplication::processEvents();
    }

    platform::combine::ManualScheduler scheduler;
    zk::TimerSource source { &scheduler, [this] { return scheduler.now(); } };
    HeartView view { nullptr, source };
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
    EXPECT_DOUBLE_EQ(view.motion().duration, 0.125);
    EXPECT_DOUBLE_EQ(view.motion().to, 1.35);
    EXPECT_EQ(view.motion().curve, kiruvo::HeartMotion::Curve::linear);

    scheduler.advance(0.125);
    EXPECT_DOUBLE_EQ(view.currentScale(), 1.35) << "grown within 0.125 s";
    scheduler.advance(0.024);
    EXPECT_EQ(view.size(), Size::large);
    scheduler.advance(0.002);
    EXPECT_EQ(view.size(), Size::small);
    EXPECT_DOUBLE_EQ(view.shadowRadius(), 4);
    EXPECT_DOUBLE_EQ(view.motion().duration, 0.25);

    scheduler.advance(0.125);
    EXPECT_EQ(view.size(), Size::normal);
    // Cut short, the shrinking hands its place on: no jump.
    EXPECT_NEAR(view.motion().from, 1.35 - 0.25 * 0.5, 0.01);
    scheduler.advance(0.125);
    EXPECT_EQ(view.size(), Size::large);
    scheduler.advance(0.15);
    EXPECT_EQ(view.size(), Size::small);
    EXPECT_EQ(view.motion().curve, kiruvo::HeartMotion::Curve::spring);

    // The heart rests small for the whole delay, then beats again.
    scheduler.advance(0.99);
    EXPECT_EQ(view.size(), Size::small);
    EXPECT_DOUBLE_EQ(view.currentScale(), 1.1);
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
    EXPECT_DOUBLE_EQ(view.motion().duration, 0.5);
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
    EXPECT_FALSE(view.isMoving());
    scheduler.runPending();
    QCoreApplication::processEvents();
    const Size stopped = view.size();
    scheduler.advance(5);
    EXPECT_EQ(view.size(), stopped);
    EXPECT_EQ(scheduler.pendingCount(), 0u) << "nothing left waiting";

    // Shown again, it beats again from the first step.
    showAndStart();
    EXPECT_TRUE(view.isBeating());
    EXPECT_EQ(view.size(), Size::large);
}

// A window manager takes a window on another workspace off the screen without Qt hiding it; a
// Welcome window left open there all day must not wake the application for its heart.
TEST(HeartViewUnderOpenboxTest, restsWhileItsWindowIsOnAnotherWorkspaceAndBeatsAgainBack)
{
    if (!OpenboxSession::isChild()) {
        if (!OpenboxSession::isAvailable()) {
            GTEST_SKIP() << "openbox is not installed";
        }
        OpenboxSession::expectCurrentTestReports(
            { "managed", "shown: beating", "another workspace: resting, nothing waiting", "back: beating" });
        return;
    }
    platform::ReduceMotion::setOverrideForTesting(false);
    platform::combine::ManualScheduler scheduler;
    const zk::TimerSource source { &scheduler, [&scheduler] { return scheduler.now(); } };
    HeartView view { nullptr, source };
    view.show();
    WindowUnderOpenbox desktop(view);
    OpenboxSession::report(desktop.waitUntilManagedAndActive() ? "managed" : "not managed");
    QWindow* window = view.windowHandle();
    const auto beating = [&] { return std::string(view.isBeating() ? "beating" : "resting"); };
    (void)QTest::qWaitFor([&] { return window->isExposed(); }, 5000);
    OpenboxSession::report("shown: " + beating());

    if (!desktop.user().switchToDesktop(1, 5000)) {
        OpenboxSession::report("no other workspace");
    }
    (void)QTest::qWaitFor([&] { return !window->isExposed() && !view.isBeating(); }, 5000);
    scheduler.runPending();
    QCoreApplication::processEvents();
    OpenboxSession::report("another workspace: " + beating()
        + (scheduler.pendingCount() == 0 ? ", nothing waiting" : ", something waiting"));

    desktop.user().switchToDesktop(0, 5000);
    (void)QTest::qWaitFor([&] { return window->isExposed() && view.isBeating(); }, 5000);
    OpenboxSession::report("back: " + beating());
    platform::ReduceMotion::setOverrideForTesting(std::nullopt);
}

TEST_F(HeartViewBeatTest, framesComeOnlyWhileTheHeartMovesAndAtMostThirtyASecond)
{
    showAndStart();
    // Moments of every frame over three beats.
    std::vector<double> frames;
    int drawn = view.framesDrawn();
    const double cycle = 1.55;
    for (double t = 0; t < 3 * cycle; t += 0.001) {
        scheduler.advance(0.001);
        if (view.framesDrawn() != drawn) {
            drawn = view.framesDrawn();
            frames.push_back(scheduler.now());
        }
        const double inCycle = std::fmod(scheduler.now() + 1e-9, cycle);
        if (inCycle > 1.35 && inCycle < 1.54) {
            // Long before the next beat the spring is still and only the wait is left.
            EXPECT_FALSE(view.isMoving()) << scheduler.now();
            EXPECT_EQ(scheduler.pendingCount(), 1u) << scheduler.now();
        }
    }
    ASSERT_FALSE(frames.empty());
    for (std::size_t i = 1; i < frames.size(); ++i) {
        EXPECT_GE(frames[i] - frames[i - 1], 1.0 / 30 - 0.0011) << "frame " << i;
    }
    // A beat moves the heart's edges by some forty pixels in all: about as many frames.
    const double perBeat = static_cast<double>(frames.size()) / 3;
    EXPECT_LE(perBeat, 45);
    EXPECT_GE(perBeat, 10);
    std::cout << "frames a beat: " << perBeat << "\n";
}

TEST_F(HeartViewBeatTest, theSpringComesToRestBeforeItsFullTime)
{
    showAndStart();
    scheduler.advance(0.55); // the spring starts
    ASSERT_EQ(view.motion().curve, kiruvo::HeartMotion::Curve::spring);
    // It swings past its target before it settles.
    double smallest = view.currentScale();
    for (int i = 0; i < 400 && view.isMoving(); ++i) {
        scheduler.advance(0.002);
        smallest = std::min(smallest, view.currentScale());
    }
    EXPECT_LT(smallest, 1.1 - 0.005);
    EXPECT_FALSE(view.isMoving());
    EXPECT_LT(scheduler.now() - 0.55, HeartView::springDuration);
    EXPECT_DOUBLE_EQ(view.currentScale(), 1.1) << "at rest exactly at its size";
}

TEST_F(HeartViewBeatTest, reducedMotionKeepsTheHeartStill)
{
    platform::ReduceMotion::setOverrideForTesting(true);
    showAndStart();
    EXPECT_FALSE(view.isBeating());
    EXPECT_FALSE(view.isMoving());
    EXPECT_EQ(view.size(), Size::normal);
    EXPECT_EQ(scheduler.pendingCount(), 0u);
    view.hide();

    // Turned on while it beats, the heart stops at the next step and rests at its normal size.
    platform::ReduceMotion::setOverrideForTesting(false);
    showAndStart();
    ASSERT_TRUE(view.isBeating());
    platform::ReduceMotion::setOverrideForTesting(true);
    scheduler.advance(0.2);
    EXPECT_FALSE(view.isBeating());
    EXPECT_EQ(view.size(), Size::normal);
    EXPECT_DOUBLE_EQ(view.currentScale(), 1.25);
    scheduler.advance(3);
    EXPECT_EQ(scheduler.pendingCount(), 0u);
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

// --- The picture against the heart as it was drawn before: vector shape and Qt's drop shadow
// redrawn for every frame, at the scale of the frame.

constexpr int canvasSide = 140;

// The earlier drawing: the path filled at the frame's scale in a widget carrying Qt's drop-shadow
// effect, whose shadow spreads over what lies around it.
class EarlierHeart : public QWidget {
public:
    EarlierHeart(double scale, double shadowRadius, const HeartView& colours)
        : m_scale(scale)
        , m_top(colours.topColor())
        , m_bottom(colours.bottomColor())
        , m_opacity(colours.opacity())
    {
        setAttribute(Qt::WA_TranslucentBackground);
        setFixedSize(canvasSide, canvasSide);
        auto* shadow = new QGraphicsDropShadowEffect(this);
        shadow->setColor(QColor(0, 0, 0, 84));
        shadow->setOffset(0, 0);
        shadow->setBlurRadius(shadowRadius * 2);
        setGraphicsEffect(shadow);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const double width = HeartView::heartWidth * m_scale;
        const double height = width * 0.9;
        const QRectF bounds((this->width() - width) / 2.0, (this->height() - height) / 2.0, width, height);
        painter.setOpacity(m_opacity);
        QLinearGradient fill(bounds.topLeft(), bounds.bottomLeft());
        fill.setColorAt(0, m_top);
        fill.setColorAt(1, m_bottom);
        painter.fillPath(HeartView::heartPath(bounds), fill);
    }

private:
    double m_scale;
    QColor m_top;
    QColor m_bottom;
    double m_opacity;
};

QImage transparentCanvas()
{
    QImage image(canvasSide, canvasSide, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

QImage earlierFrame(double scale, double shadowRadius, const HeartView& colours)
{
    // Drawn as part of a window, as it was on screen.
    QWidget window;
    window.setAttribute(Qt::WA_TranslucentBackground);
    window.setFixedSize(canvasSide, canvasSide);
    auto* earlier = new EarlierHeart(scale, shadowRadius, colours);
    earlier->setParent(&window);
    QImage image = transparentCanvas();
    window.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

QImage frameOf(HeartView& view)
{
    QImage image = transparentCanvas();
    view.resize(view.sizeHint());
    const QPoint offset((canvasSide - view.width()) / 2, (canvasSide - view.height()) / 2);
    view.render(&image, offset, QRegion(), QWidget::DrawChildren);
    return image;
}

// The smallest rectangle holding every pixel at least this opaque.
QRect opaqueBounds(const QImage& image, int alpha)
{
    QRect bounds;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(image.pixel(x, y)) >= alpha) {
                bounds |= QRect(x, y, 1, 1);
            }
        }
    }
    return bounds;
}

// At rest a frame is the earlier one exactly; between sizes a scaled picture may differ a little
// at the edges.
enum class Match { exact, close };

void expectSameLook(const QImage& now, const QImage& before, const char* what, Match match = Match::exact)
{
    const int pixels = match == Match::exact ? 0 : 2;
    const double meanDifference = match == Match::exact ? 0.1 : 2.0;
    const int visiblyDiffering = match == Match::exact ? 1 : 150;
    // The heart itself, its shadow's core, and as far as its faint edge reaches.
    for (const int alpha : { 200, 40, 4 }) {
        const QRect a = opaqueBounds(now, alpha);
        const QRect b = opaqueBounds(before, alpha);
        ASSERT_FALSE(b.isEmpty()) << what;
        EXPECT_LE(std::abs(a.left() - b.left()), pixels) << what << " alpha " << alpha;
        EXPECT_LE(std::abs(a.right() - b.right()), pixels) << what << " alpha " << alpha;
        EXPECT_LE(std::abs(a.top() - b.top()), pixels) << what << " alpha " << alpha;
        EXPECT_LE(std::abs(a.bottom() - b.bottom()), pixels) << what << " alpha " << alpha;
    }
    // Pixel by pixel the two differ only a little, at the edges.
    double difference = 0;
    int differing = 0;
    for (int y = 0; y < now.height(); ++y) {
        for (int x = 0; x < now.width(); ++x) {
            const QRgb p = now.pixel(x, y);
            const QRgb q = before.pixel(x, y);
            const int most = std::max({ std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                std::abs(qBlue(p) - qBlue(q)), std::abs(qAlpha(p) - qAlpha(q)) });
            difference += most;
            differing += most > 24 ? 1 : 0;
        }
    }
    EXPECT_LT(difference / (now.width() * now.height()), meanDifference) << what;
    EXPECT_LT(differing, visiblyDiffering) << what << ": pixels that differ visibly";
}

class HeartViewLookTest : public HeartViewBeatTest { };

TEST_F(HeartViewLookTest, theBeatsLargestAndSmallestFramesLookAsTheyDidBefore)
{
    for (const auto& [saturation, opacity] : { std::pair { 1.0, 1.0 }, std::pair { 1.5, 0.8 } }) {
        view.setSaturation(saturation);
        view.setOpacity(opacity);
        showAndStart();
        scheduler.advance(0.14); // grown to its largest
        ASSERT_EQ(view.size(), Size::large);
        ASSERT_DOUBLE_EQ(view.currentScale(), 1.35);
        expectSameLook(frameOf(view), earlierFrame(1.35, 8, view), "largest");

        scheduler.advance(1.55 - 0.14 - 0.05); // at rest after the spring
        ASSERT_EQ(view.size(), Size::small);
        ASSERT_DOUBLE_EQ(view.currentScale(), 1.1);
        expectSameLook(frameOf(view), earlierFrame(1.1, 4, view), "smallest");
        view.hide();
    }
}

TEST_F(HeartViewLookTest, aFrameBetweenSizesScalesThePictureOfItsSize)
{
    showAndStart();
    scheduler.advance(0.15 + 0.05); // shrinking from the largest
    ASSERT_EQ(view.size(), Size::small);
    const double scale = view.currentScale();
    ASSERT_GT(scale, 1.1);
    ASSERT_LT(scale, 1.35);
    expectSameLook(frameOf(view), earlierFrame(scale, 4, view), "between", Match::close);
}

} // namespace
