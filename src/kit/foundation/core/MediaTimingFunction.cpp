#include "kit/foundation/core/MediaTimingFunction.h"

#include <QPointF>

namespace zk {

namespace {

// A cubic Bézier from (0, 0) to (1, 1) through the two control points.
QEasingCurve bezier(QPointF first, QPointF second)
{
    QEasingCurve curve(QEasingCurve::BezierSpline);
    curve.addCubicBezierSegment(first, second, QPointF(1, 1));
    return curve;
}

} // namespace

const QEasingCurve& MediaTimingFunction::defaultFunction()
{
    static const QEasingCurve curve = bezier({ 0.25, 0.1 }, { 0.25, 1.0 });
    return curve;
}

const QEasingCurve& MediaTimingFunction::easeIn()
{
    static const QEasingCurve curve = bezier({ 0.42, 0.0 }, { 1.0, 1.0 });
    return curve;
}

const QEasingCurve& MediaTimingFunction::easeInOut()
{
    static const QEasingCurve curve = bezier({ 0.42, 0.0 }, { 0.58, 1.0 });
    return curve;
}

} // namespace zk
