#pragma once

#include <QPoint>
#include <QPointer>
#include <QVariantAnimation>
#include <QWidget>

namespace zk {

// The object name of the animation a shake runs, a child of the shaken widget.
inline constexpr const char* shakeAnimationName = "zk.shake";

// Shakes the widget once along one axis: it jumps to minus `distance`, swings to `distance`, to
// minus half and half the distance and comes back to rest, over `duration` seconds, eased in and
// out. With reduced motion nothing moves. A second shake stops the first and starts from the
// widget's resting place. Returns the running animation, or null when nothing moves.
//
// Main-thread only.
QPointer<QVariantAnimation> shake(QWidget& widget, double duration, double distance, bool vertical);

// The offset from the resting place at `progress` (0 to 1, after easing) of a shake over
// `distance`: the key frames -d, d, -d/2, d/2, 0, evenly spaced, joined by straight lines.
double shakeOffset(double progress, double distance);

} // namespace zk
