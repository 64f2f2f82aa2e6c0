#pragma once

#include <QEasingCurve>

namespace zk {

// The shared timing curves of the kit's animations, each made once on first use: the system's
// standard curve (a gentle ease out), ease in, and ease in and out. There is no preset for ease
// out or linear.
class MediaTimingFunction {
public:
    static const QEasingCurve& defaultFunction();
    static const QEasingCurve& easeIn();
    static const QEasingCurve& easeInOut();
};

} // namespace zk
