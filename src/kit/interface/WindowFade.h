#pragma once

#include "kit/foundation/core/MediaTimingFunction.h"
#include "platform/combine/Scheduler.h"

#include <QCoro/QCoroTask>
#include <QEasingCurve>
#include <QPointer>
#include <QWidget>

#include <stop_token>

namespace zk {

// The object name of the animation a fade runs, a child of the faded window.
inline constexpr const char* windowFadeAnimationName = "zk.windowFade";

// Fades a window's opacity to `target` without blocking: waits `delay` seconds (on `scheduler`),
// then, unless `token` was cancelled meanwhile, sets the opacity at once when the desktop asks for
// reduced motion, else animates it over `duration` seconds along `timingFunction` and returns once
// the animation has stopped. The starting opacity is left as it is. A newer fade of the same
// window stops an older one; a window destroyed during the fade ends it.
//
// Main-thread only.
// Sets the window's opacity where the display shows it (platform::WindowTranslucency); elsewhere
// the window stays opaque, and a fade only takes its time.
void setWindowOpacity(QWidget& window, double opacity);

QCoro::Task<void> animateAlpha(QPointer<QWidget> window, double target, double duration, double delay,
    QEasingCurve timingFunction, std::stop_token token = {},
    platform::combine::Scheduler& scheduler = platform::combine::Scheduler::main());

QCoro::Task<void> fadeIn(QPointer<QWidget> window, double duration = 0.5, double delay = 0,
    QEasingCurve timingFunction = MediaTimingFunction::defaultFunction(), std::stop_token token = {},
    platform::combine::Scheduler& scheduler = platform::combine::Scheduler::main());

// Fades to transparent; the window stays open.
QCoro::Task<void> fadeOut(QPointer<QWidget> window, double duration = 0.5, double delay = 0,
    QEasingCurve timingFunction = MediaTimingFunction::defaultFunction(), std::stop_token token = {},
    platform::combine::Scheduler& scheduler = platform::combine::Scheduler::main());

// Shows the window (raised, and active when `makeKey`); with `fadeIn` it first turns transparent,
// waits 0.1 s and then fades in. A cancelled task leaves the window shown but transparent.
QCoro::Task<void> showWithFadeIn(QPointer<QWidget> window, bool fadeIn, bool makeKey,
    QEasingCurve timingFunction = MediaTimingFunction::defaultFunction(), double duration = 0.5,
    double delay = 0, std::stop_token token = {},
    platform::combine::Scheduler& scheduler = platform::combine::Scheduler::main());

} // namespace zk
