#include "kit/foundation/ViewTimer.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace zk {

ViewTimer::ViewTimer(double intervalSeconds, std::optional<double> toleranceSeconds, QObject* parent)
    : QObject(parent)
{
    // A beat that is not a positive finite number would spin or never come; hold it to the
    // range a timer can keep.
    double milliseconds = std::isfinite(intervalSeconds) ? intervalSeconds * 1000.0 : 0.0;
    milliseconds = std::clamp(milliseconds, 1.0, static_cast<double>(std::numeric_limits<int>::max()));
    m_timer.setInterval(static_cast<int>(milliseconds));
    m_timer.setTimerType(toleranceSeconds && *toleranceSeconds > 0 ? Qt::CoarseTimer : Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        m_value = !m_value;
        Q_EMIT changed();
    });
    m_timer.start();
}

} // namespace zk
