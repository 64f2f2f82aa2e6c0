#pragma once

#include "platform/combine/Scheduler.h"

#include <QCoro/QCoroTask>
#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QWidget>

#include <functional>
#include <optional>

namespace zk {

// The object name of the flying animation, a child of the window.
inline constexpr const char* flyAwayAnimationName = "zk.flyAway";

// Where a window flying into `target` (the status item's rectangle, global coordinates) ends: 7
// right of and 5 below the target's corner; with no target, or one at x 0 or less (a hidden
// item), 60 left of the right edge of the window's screen.
QPoint flyAwayDestination(const std::optional<QRect>& target, const QRect& screenGeometry);

// Closes `window` by flying it along a curve into `target`, shrinking and fading it, then calls
// `completion`. The window floats above others meanwhile and shows a still picture of itself, so
// its content does not lay itself out while it shrinks. With reduced motion, or without a target,
// nothing moves: the window closes after 0.4 s. The completion runs once, whether the window is
// still there or not.
//
// Main-thread only.
void animateInto(QPointer<QWidget> window, std::optional<QRect> target, std::function<void()> completion,
    platform::combine::Scheduler& scheduler = platform::combine::Scheduler::main());

// The same, returning when the completion would run.
QCoro::Task<void> animateInto(QPointer<QWidget> window, std::optional<QRect> target,
    platform::combine::Scheduler& scheduler = platform::combine::Scheduler::main());

} // namespace zk
