#include "kit/interface/WindowFlyAway.h"

#include "kit/foundation/core/MediaTimingFunction.h"
#include "kit/interface/WindowFade.h"
#include "kit/interface/WindowUtilities.h"
#include "kit/interface/ZKCAAnimationDelegate.h"
#include "platform/desktop/ReduceMotion.h"

#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QVariantAnimation>

#include <memory>

namespace zk {

namespace {

constexpr double flightSeconds = 0.4;
constexpr int flightMilliseconds = 400;
// The fade takes the last 0.2 s of the flight.
constexpr double fadeStart = 0.3 / 0.4;

QPointF cubic(QPointF p0, QPointF c1, QPointF c2, QPointF p1, double t)
{
    const double u = 1 - t;
    return u * u * u * p0 + 3 * u * u * t * c1 + 3 * u * t * t * c2 + t * t * t * p1;
}

QRect screenGeometryOf(const QWidget& window)
{
    if (const QScreen* screen = window.screen()) {
        return screen->geometry();
    }
    if (const QScreen* primary = QGuiApplication::primaryScreen()) {
        return primary->geometry();
    }
    return {};
}

} // namespace

QPoint flyAwayDestination(const std::optional<QRect>& target, const QRect& screenGeometry)
{
    if (target && target->x() > 0) {
        return { target->x() + 7, target->y() + 5 };
    }
    const int y = target ? target->y() + 5 : screenGeometry.top() + 5;
    return { screenGeometry.x() + screenGeometry.width() - 60, y };
}

void animateInto(QPointer<QWidget> window, std::optional<QRect> target, std::function<void()> completion,
    platform::combine::Scheduler& scheduler)
{
    auto finish = std::make_shared<std::function<void()>>(std::move(completion));
    auto runOnce = [finish] {
        if (*finish) {
            auto run = std::move(*finish);
            *finish = nullptr;
            run();
        }
    };
    if (!window || !target || platform::ReduceMotion::isEnabled()) {
        // The cancellable is kept alive by the work it schedules, so the close always happens.
        auto keep = std::make_shared<platform::combine::AnyCancellable>();
        *keep = scheduler.schedule(flightSeconds, [window, runOnce, keep] {
            if (window) {
                window->close();
            }
            runOnce();
        });
        return;
    }

    const QRect start(window->frameGeometry().topLeft(), window->size());
    const QPoint destination = flyAwayDestination(target, screenGeometryOf(*window));
    const QSize endSize(std::max(1, start.width() / 2), std::max(1, start.height() / 2));

    // A still picture in front of the content, scaled with the window.
    auto* picture = new QLabel(window);
    picture->setPixmap(QPixmap::fromImage(snapshotImage(*window)));
    picture->setScaledContents(true);
    picture->setGeometry(window->rect());
    picture->show();
    picture->raise();
    setWindowLevel(*window, WindowLevel::floating);

    const QPointF p0 = start.topLeft();
    const QPointF c1(start.x() + 500, start.y());
    const QPointF c2(destination.x(), destination.y() + 300);
    const QPointF p1 = destination;

    auto* animation = new QVariantAnimation(window);
    animation->setObjectName(flyAwayAnimationName);
    animation->setStartValue(0.0);
    animation->setEndValue(1.0);
    animation->setDuration(flightMilliseconds);
    animation->setEasingCurve(MediaTimingFunction::easeIn());
    QObject::connect(animation, &QVariantAnimation::valueChanged, window,
        [window, picture, p0, c1, c2, p1, start, endSize, animation](const QVariant& value) {
            const double progress = value.toDouble();
            const double linear = double(animation->currentTime()) / flightMilliseconds;
            const QPointF origin = cubic(p0, c1, c2, p1, progress);
            const QSize size(int(start.width() + (endSize.width() - start.width()) * progress),
                int(start.height() + (endSize.height() - start.height()) * progress));
            window->move(origin.toPoint());
            window->resize(size);
            picture->setGeometry(window->rect());
            setWindowOpacity(*window,
                linear <= fadeStart ? 1.0 : std::max(0.0, 1 - (linear - fadeStart) / (1 - fadeStart)));
        });
    // Finished or stopped early, the flight ends the same way.
    auto* delegate = new ZKCAAnimationDelegate;
    delegate->didStopHandler = [window, runOnce](bool /*finished*/) {
        if (window) {
            window->close();
        }
        runOnce();
    };
    delegate->attach(*animation);
    // A window destroyed mid-flight takes the animation with it; the caller still hears of it.
    QObject::connect(animation, &QObject::destroyed, [runOnce] { runOnce(); });
    animation->start(QAbstractAnimation::DeleteWhenStopped);
}

namespace {

struct FlightDone {
    bool finished = false;
    std::coroutine_handle<> waiting;
};

// Takes the state by plain pointer: g++ 12 destroys some by-value coroutine parameters of class
// type twice.
QCoro::Task<void> awaitFlight(std::shared_ptr<FlightDone>* state)
{
    const std::unique_ptr<std::shared_ptr<FlightDone>> owned(state);
    std::shared_ptr<FlightDone> done = *owned;
    struct Awaiter {
        FlightDone* done;
        bool await_ready() const { return done->finished; }
        void await_suspend(std::coroutine_handle<> handle) { done->waiting = handle; }
        void await_resume() const { }
    };
    co_await Awaiter { done.get() };
}

} // namespace

QCoro::Task<void> animateInto(
    QPointer<QWidget> window, std::optional<QRect> target, platform::combine::Scheduler& scheduler)
{
    using Done = FlightDone;
    auto done = std::make_shared<Done>();
    animateInto(
        window, target,
        [done] {
            done->finished = true;
            if (done->waiting) {
                done->waiting.resume();
            }
        },
        scheduler);
    return awaitFlight(new std::shared_ptr<FlightDone>(done));
}

} // namespace zk
