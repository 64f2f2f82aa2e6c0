#pragma once

#include "platform/async/TaskHandle.h"
#include "platform/combine/Scheduler.h"

#include <QPainterPath>
#include <QVariantAnimation>
#include <QWidget>

#include <stop_token>
#include <vector>

class QGraphicsDropShadowEffect;

namespace kiruvo {

// A heart that beats while it is on screen: it swells, shrinks, swells again and rests, in a
// rhythm set by the beat length (0.5 s) and the pause after each beat (1.0 s). The beat starts when
// the view is shown and stops, silently, when it is hidden.
//
// Main-thread only.
class HeartView : public QWidget {
    Q_OBJECT
public:
    // The phase of the beat; scale() gives the size factor of each.
    enum class Size { small, normal, large };
    static double scale(Size size);

    // One step of the beat: animate to `target` over `animationDuration` seconds (with a spring
    // when `spring`, else linearly), then wait `wait` seconds before the next step.
    struct BeatStep {
        Size target;
        double animationDuration;
        bool spring;
        double wait;
    };
    // The five steps of one beat for these timings.
    static std::vector<BeatStep> beatSteps(double beatLength, double beatDelay);

    // The heart's width before scaling, in pixels.
    static constexpr double heartWidth = 50;
    // How long the spring of the last step takes to settle.
    static constexpr double springDuration = 0.8;

    // Waits run on `scheduler` (the main thread's timers by default).
    explicit HeartView(QWidget* parent = nullptr,
        platform::combine::Scheduler& scheduler = platform::combine::Scheduler::main());
    ~HeartView() override;

    Size size() const { return m_size; }
    // The scale drawn at this moment (it follows the size through the animation).
    double currentScale() const { return m_currentScale; }
    // 8 while large, else 4.
    double shadowRadius() const { return m_size == Size::large ? 8 : 4; }
    bool isBeating() const { return m_task && !m_task.isFinished(); }

    double beatLength() const { return m_beatLength; }
    void setBeatLength(double seconds) { m_beatLength = seconds; }
    double beatDelay() const { return m_beatDelay; }
    void setBeatDelay(double seconds) { m_beatDelay = seconds; }

    // A factor on the heart's colour saturation (1 draws its own colours), and the opacity it is
    // drawn at; for a heart over a tinted background.
    double saturation() const { return m_saturation; }
    void setSaturation(double factor);
    double opacity() const { return m_opacity; }
    void setOpacity(double opacity);
    // The top and bottom colours of the heart's fill as drawn now.
    QColor topColor() const;
    QColor bottomColor() const;

    // The running animation towards the current size.
    const QVariantAnimation& animation() const { return m_animation; }

    // A heart filling `bounds`: two lobes at the top meeting in a point at the bottom.
    static QPainterPath heartPath(const QRectF& bounds);

    QSize sizeHint() const override;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QCoro::Task<void> beat(std::stop_token token);
    void animateTo(Size target, double duration, bool spring);
    void stopBeating();

    platform::combine::Scheduler* m_scheduler;
    platform::async::TaskHandle m_task;
    QVariantAnimation m_animation;
    QGraphicsDropShadowEffect* m_shadow;
    Size m_size = Size::normal;
    double m_currentScale = 1.25;
    double m_beatLength = 0.5;
    double m_beatDelay = 1.0;
    double m_saturation = 1.0;
    double m_opacity = 1.0;
};

} // namespace kiruvo
