#pragma once

#include "app/reminders/HeartMotion.h"
#include "kit/foundation/Timer.h"
#include "platform/async/TaskHandle.h"
#include "platform/combine/AnyCancellable.h"

#include <QPainterPath>
#include <QPixmap>
#include <QPointer>
#include <QWidget>

#include <stop_token>
#include <vector>

namespace kiruvo {

// A heart that beats while it is on screen: it swells, shrinks, swells again and rests, in a
// rhythm set by the beat length (0.5 s) and the pause after each beat (1.0 s). The beat starts when
// the view is shown and stops, silently, when it is hidden, and also while its window is shown but
// off the screen (minimised, or on another workspace, where the window manager unmaps it without
// Qt hiding the widget), so that a window left open all day costs nothing while nobody can see
// it; when the desktop asks for reduced motion the heart stays still.
//
// The heart and its soft shadow are drawn once per size and screen scale into pictures; a beat
// only scales the picture. Frames are drawn only while the heart moves, no more often than the
// screen refreshes (and at most 30 a second) and only as often as its edges move by a pixel;
// between beats nothing runs but the wait for the next one.
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
    // The side of the square a layout gives the heart: room for the largest beat. The shadow
    // spreads beyond it, over what lies around (sizeHint() covers the shadow too).
    static constexpr int layoutSide = 84;
    // How long the spring of the last step is given (it comes to rest sooner).
    static constexpr double springDuration = HeartMotion::springResponse;
    // A frame comes when the heart's edges have moved by about this many device pixels (but
    // never sooner than the screen refreshes, nor more than 30 times a second)...
    static constexpr double pixelsPerFrame = 1;
    // ...and at least this often while it moves (seconds).
    static constexpr double longestFrameGap = 0.25;

    // Waits and frames run on `source`'s scheduler and read its clock (the main thread's timers
    // and the monotonic clock by default).
    explicit HeartView(QWidget* parent = nullptr, const zk::TimerSource& source = zk::TimerSource::main());
    ~HeartView() override;

    Size size() const { return m_size; }
    // The scale drawn at this moment (it follows the size through the animation).
    double currentScale() const { return m_currentScale; }
    // 8 while large, else 4.
    double shadowRadius() const { return m_size == Size::large ? 8 : 4; }
    bool isBeating() const { return m_task && !m_task.isFinished(); }
    // Whether a frame is due: the heart is moving.
    bool isMoving() const { return m_moving; }
    // The movement towards the current size.
    const HeartMotion& motion() const { return m_motion; }
    // How many frames have been drawn, for measuring.
    int framesDrawn() const { return m_framesDrawn; }

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

    // A heart filling `bounds`: two lobes at the top meeting in a point at the bottom.
    static QPainterPath heartPath(const QRectF& bounds);

    // The heart at `size` with its shadow, at `devicePixelRatio`: the picture a frame scales, cut
    // to what is not transparent, and where that lies in a sizeHint() square with the heart in
    // its middle. Made once per size and scale and kept.
    struct Picture {
        QPixmap pixmap;
        QRectF area;
    };
    const Picture& picture(Size size, double devicePixelRatio) const;
    // Where the heart and its shadow are drawn in the view at `scale`, with the picture of `size`.
    QRectF drawnArea(Size size, double scale) const;

    QSize sizeHint() const override;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void startBeating();
    void watchExposure();
    QCoro::Task<void> beat(std::stop_token token);
    void animateTo(Size target, double duration, bool spring);
    void stopBeating();
    void rest(Size size);
    void drawFrame();
    void redraw(Size size, double scale);
    void scheduleFrame(double delay);
    double nextFrameDelay(double now) const;
    double frameInterval() const;
    double devicePixelsPerScale() const;
    static std::size_t pictureFor(Size size, double shownScale);
    const Picture& picture(std::size_t index, double devicePixelRatio) const;

    zk::TimerSource m_source;
    // The window whose exposure starts and stops the beat while the view is shown.
    QPointer<QWindow> m_exposure;
    platform::async::TaskHandle m_task;
    platform::combine::AnyCancellable m_frame;
    HeartMotion m_motion;
    Size m_size = Size::normal;
    double m_currentScale = 1.25;
    double m_beatLength = 0.5;
    double m_beatDelay = 1.0;
    double m_saturation = 1.0;
    double m_opacity = 1.0;
    int m_framesDrawn = 0;
    bool m_moving = false;
    bool m_exposureCheckPending = false;
    unsigned m_showings = 0;
};

} // namespace kiruvo
