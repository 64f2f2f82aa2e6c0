#pragma once

#include <QAnimationDriver>
#include <QTimer>

namespace zk {

// What moves every Qt animation of the application (window fades, the fly-away, popovers): a
// frame at the screen's refresh rate or less, never more than `maximumRate` a second, and no timer
// at all while no animation runs. Qt's own driver ticks every 16 ms whatever the animation.
//
// Main-thread only.
class AnimationDriver : public QAnimationDriver {
    Q_OBJECT
public:
    static constexpr double maximumRate = 30;

    explicit AnimationDriver(QObject* parent = nullptr);
    ~AnimationDriver() override;

    // Makes one driver move the application's animations from now on. Call once the
    // QApplication exists.
    static void installForApplication();

    // The time between two frames: the primary screen's refresh interval, at least 1 / maximumRate.
    static int frameIntervalMilliseconds();

    bool isTicking() const { return m_timer.isActive(); }

protected:
    void start() override;
    void stop() override;

private:
    QTimer m_timer;
};

} // namespace zk
