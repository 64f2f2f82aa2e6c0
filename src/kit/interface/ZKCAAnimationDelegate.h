#pragma once

#include <QObject>
#include <QPointer>

#include <functional>

class QAbstractAnimation;

namespace zk {

// Forwards an animation's start and stop to closures: `didStopHandler` learns whether the
// animation ran to its end (true) or was stopped before (false). One delegate follows one
// animation at a time; it is a child of the animation it follows.
//
// Main-thread only.
class ZKCAAnimationDelegate : public QObject {
    Q_OBJECT
public:
    ZKCAAnimationDelegate() = default;

    std::function<void()> didStartHandler;
    std::function<void(bool finished)> didStopHandler;

    // Follows `animation` (the delegate becomes its child, so it lives as long as the animation).
    void attach(QAbstractAnimation& animation);

    void animationDidStart();
    void animationDidStop(bool finished);
};

} // namespace zk
