#include "kit/interface/Shake.h"

#include "kit/foundation/core/MediaTimingFunction.h"
#include "platform/desktop/ReduceMotion.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace zk {

namespace {

constexpr const char* restingPlaceProperty = "zk.shakeRestingPlace";

} // namespace

double shakeOffset(double progress, double distance)
{
    const std::array<double, 5> frames { -distance, distance, -distance / 2, distance / 2, 0 };
    if (!std::isfinite(progress)) {
        return 0;
    }
    const double position = std::clamp(progress, 0.0, 1.0) * (frames.size() - 1);
    const auto index = std::min(static_cast<std::size_t>(position), frames.size() - 2);
    const double fraction = position - static_cast<double>(index);
    return frames[index] + (frames[index + 1] - frames[index]) * fraction;
}

QPointer<QVariantAnimation> shake(QWidget& widget, double duration, double distance, bool vertical)
{
    if (platform::ReduceMotion::isEnabled()) {
        return nullptr;
    }
    if (!std::isfinite(distance)) {
        distance = 0;
    }
    QPoint restingPlace = widget.pos();
    if (auto* running
        = widget.findChild<QVariantAnimation*>(shakeAnimationName, Qt::FindDirectChildrenOnly)) {
        restingPlace = widget.property(restingPlaceProperty).toPoint();
        running->stop();
        delete running;
        widget.move(restingPlace);
    }
    widget.setProperty(restingPlaceProperty, restingPlace);

    auto* animation = new QVariantAnimation(&widget);
    animation->setObjectName(shakeAnimationName);
    animation->setStartValue(0.0);
    animation->setEndValue(1.0);
    const double milliseconds = std::isfinite(duration) ? std::max(0.0, duration * 1000) : 0;
    animation->setDuration(static_cast<int>(std::min(milliseconds, 3600.0 * 1000)));
    animation->setEasingCurve(MediaTimingFunction::easeInOut());
    QWidget* target = &widget;
    const auto place = [target, restingPlace, distance, vertical](double progress) {
        const int offset = static_cast<int>(std::lround(shakeOffset(progress, distance)));
        target->move(restingPlace + (vertical ? QPoint(0, offset) : QPoint(offset, 0)));
    };
    QObject::connect(animation, &QVariantAnimation::valueChanged, target,
        [place](const QVariant& value) { place(value.toDouble()); });
    QObject::connect(animation, &QVariantAnimation::finished, target, [target, restingPlace, animation] {
        target->move(restingPlace);
        animation->setObjectName(QString());
        animation->deleteLater();
    });
    // The first key frame holds from the start, before the animation's first step.
    place(0);
    animation->start();
    return animation;
}

} // namespace zk
