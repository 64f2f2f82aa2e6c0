#include "kit/interface/Progress.h"

#include <algorithm>

namespace zk {

void Progress::setFractionCompleted(double fraction)
{
    fraction = std::clamp(fraction, 0.0, 1.0);
    if (fraction == m_fractionCompleted) {
        return;
    }
    m_fractionCompleted = fraction;
    emit fractionCompletedChanged(fraction);
}

void Progress::finish()
{
    if (!m_isFinished) {
        m_isFinished = true;
        emit finishedChanged(true);
    }
}

void Progress::cancel()
{
    if (!m_isCancelled) {
        m_isCancelled = true;
        emit cancelledChanged(true);
    }
}

} // namespace zk
