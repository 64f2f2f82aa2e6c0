#include "kit/interface/WindowFade.h"

#include "kit/interface/WindowUtilities.h"
#include "platform/async/Sleep.h"
#include "platform/desktop/ReduceMotion.h"
#include "platform/desktop/WindowTranslucency.h"

#include <QVariantAnimation>

#include <cmath>
#include <coroutine>
#include <memory>

namespace zk {

namespace {

// Resumes the awaiting coroutine once the animation has stopped or been destroyed, whichever
// comes first, exactly once. It holds a plain pointer: g++ 12 destroys the operand of co_await
// twice, which a QPointer does not survive.
struct AnimationStopped {
    QAbstractAnimation* animation;

    bool await_ready() const { return animation->state() == QAbstractAnimation::Stopped; }

    void await_suspend(std::coroutine_handle<> handle)
    {
        struct Waiter {
            std::coroutine_handle<> handle;
            QMetaObject::Connection stopped;
            QMetaObject::Connection destroyed;
            bool resumed = false;
            void resume()
            {
                if (resumed) {
                    return;
                }
                resumed = true;
                QObject::disconnect(stopped);
                QObject::disconnect(destroyed);
                handle.resume();
            }
        };
        auto waiter = std::make_shared<Waiter>();
        waiter->handle = handle;
        waiter->stopped = QObject::connect(animation, &QAbstractAnimation::stateChanged, animation,
            [waiter](QAbstractAnimation::State state) {
                if (state == QAbstractAnimation::Stopped) {
                    waiter->resume();
                }
            });
        waiter->destroyed = QObject::connect(animation, &QObject::destroyed, [waiter] { waiter->resume(); });
    }

    void await_resume() const { }
};

// What a fade needs, handed to its coroutine by plain pointer: g++ 12 destroys some by-value
// coroutine parameters of class type twice.
struct FadeRequest {
    QPointer<QWidget> window;
    double target = 1;
    double duration = 0;
    double delay = 0;
    QEasingCurve timingFunction;
    std::stop_token token;
    platform::combine::Scheduler* scheduler = nullptr;
};

QCoro::Task<void> runFade(FadeRequest* request)
{
    const std::unique_ptr<FadeRequest> owned(request);
    QPointer<QWidget>& window = owned->window;
    co_await platform::async::sleepFor(owned->delay, owned->token, *owned->scheduler);
    if (owned->token.stop_requested() || !window) {
        co_return;
    }
    for (auto* earlier :
        window->findChildren<QVariantAnimation*>(windowFadeAnimationName, Qt::FindDirectChildrenOnly)) {
        earlier->setObjectName(QString());
        earlier->stop();
        earlier->deleteLater();
    }
    const double duration = owned->duration;
    const int milliseconds = std::isfinite(duration) && duration > 0 ? int(std::lround(duration * 1000)) : 0;
    if (platform::ReduceMotion::isEnabled() || milliseconds == 0) {
        setWindowOpacity(*window, owned->target);
        co_return;
    }
    auto* animation = new QVariantAnimation(window);
    animation->setObjectName(windowFadeAnimationName);
    animation->setStartValue(window->windowOpacity());
    animation->setEndValue(owned->target);
    animation->setDuration(milliseconds);
    animation->setEasingCurve(owned->timingFunction);
    QObject::connect(animation, &QVariantAnimation::valueChanged, window,
        [target = window](const QVariant& value) { setWindowOpacity(*target, value.toDouble()); });
    QPointer<QAbstractAnimation> guard(animation);
    animation->start();
    co_await AnimationStopped { animation };
    if (guard) {
        guard->deleteLater();
    }
}

struct ShowRequest {
    QPointer<QWidget> window;
    bool fadeIn = false;
    bool makeKey = true;
    QEasingCurve timingFunction;
    double duration = 0;
    double delay = 0;
    std::stop_token token;
    platform::combine::Scheduler* scheduler = nullptr;
};

QCoro::Task<void> runShow(ShowRequest* request)
{
    const std::unique_ptr<ShowRequest> owned(request);
    QPointer<QWidget>& window = owned->window;
    if (!window) {
        co_return;
    }
    if (owned->fadeIn) {
        setWindowOpacity(*window, 0);
    }
    window->show();
    if (owned->makeKey) {
        activate(*window);
    } else {
        window->raise();
    }
    if (!owned->fadeIn) {
        co_return;
    }
    co_await platform::async::sleepFor(0.1, owned->token, *owned->scheduler);
    if (owned->token.stop_requested()) {
        co_return;
    }
    // Built in a statement of its own: g++ 12 destroys the temporaries of a co_await's operand
    // twice, and the copied timing function is one of them.
    auto* fade = new FadeRequest { window, 1.0, owned->duration, owned->delay, owned->timingFunction,
        owned->token, owned->scheduler };
    co_await runFade(fade);
}

} // namespace

void setWindowOpacity(QWidget& window, double opacity)
{
    if (platform::WindowTranslucency::showsWindowOpacity()) {
        window.setWindowOpacity(opacity);
    }
}

QCoro::Task<void> animateAlpha(QPointer<QWidget> window, double target, double duration, double delay,
    QEasingCurve timingFunction, std::stop_token token, platform::combine::Scheduler& scheduler)
{
    return runFade(new FadeRequest { std::move(window), target, duration, delay, std::move(timingFunction),
        std::move(token), &scheduler });
}

QCoro::Task<void> fadeIn(QPointer<QWidget> window, double duration, double delay, QEasingCurve timingFunction,
    std::stop_token token, platform::combine::Scheduler& scheduler)
{
    return animateAlpha(
        std::move(window), 1.0, duration, delay, std::move(timingFunction), std::move(token), scheduler);
}

QCoro::Task<void> fadeOut(QPointer<QWidget> window, double duration, double delay,
    QEasingCurve timingFunction, std::stop_token token, platform::combine::Scheduler& scheduler)
{
    return animateAlpha(
        std::move(window), 0.0, duration, delay, std::move(timingFunction), std::move(token), scheduler);
}

QCoro::Task<void> showWithFadeIn(QPointer<QWidget> window, bool fadeIn, bool makeKey,
    QEasingCurve timingFunction, double duration, double delay, std::stop_token token,
    platform::combine::Scheduler& scheduler)
{
    return runShow(new ShowRequest { std::move(window), fadeIn, makeKey, std::move(timingFunction), duration,
        delay, std::move(token), &scheduler });
}

} // namespace zk
