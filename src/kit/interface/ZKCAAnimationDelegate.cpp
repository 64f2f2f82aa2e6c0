#include "kit/interface/ZKCAAnimationDelegate.h"

#include <QAbstractAnimation>

namespace zk {

void ZKCAAnimationDelegate::attach(QAbstractAnimation& animation)
{
    setParent(&animation);
    QObject::connect(&animation, &QAbstractAnimation::stateChanged, this,
        [this, &animation](QAbstractAnimation::State state, QAbstractAnimation::State previous) {
            if (previous == QAbstractAnimation::Stopped && state == QAbstractAnimation::Running) {
                animationDidStart();
            } else if (state == QAbstractAnimation::Stopped) {
                const int total = animation.totalDuration();
                const bool atEnd = animation.direction() == QAbstractAnimation::Forward
                    ? total >= 0 && animation.currentTime() >= total
                    : animation.currentTime() <= 0;
                animationDidStop(atEnd);
            }
        });
}

void ZKCAAnimationDelegate::animationDidStart()
{
    if (didStartHandler) {
        didStartHandler();
    }
}

void ZKCAAnimationDelegate::animationDidStop(bool finished)
{
    if (didStopHandler) {
        didStopHandler(finished);
    }
}

} // namespace zk
