#include "kit/foundation/ViewTimer.h"

#include <QMetaMethod>

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
}

// Qt calls these with its connection lock held, so they may not ask the object about its
// connections: the listeners are counted here instead.
void ViewTimer::connectNotify(const QMetaMethod& signal)
{
    if (signal == QMetaMethod::fromSignal(&ViewTimer::changed) && m_listeners++ == 0) {
        m_timer.start();
    }
}

void ViewTimer::disconnectNotify(const QMetaMethod& signal)
{
    // An invalid method is a disconnection of everything.
    if (!signal.isValid()) {
        m_listeners = 0;
    } else if (signal == QMetaMethod::fromSignal(&ViewTimer::changed) && m_listeners > 0) {
        --m_listeners;
    }
    if (m_listeners == 0) {
        m_timer.stop();
    }
}

} // namespace zk
