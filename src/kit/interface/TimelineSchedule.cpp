#include "kit/interface/TimelineSchedule.h"

#include "platform/combine/Scheduler.h"

#include <QPointer>

#include <cmath>

namespace zk {

std::vector<platform::Date> EverySecondimelineSchedule::entries(
    platform::Date now, platform::Date startDate, Mode mode, std::size_t count)
{
    std::vector<platform::Date> dates;
    dates.reserve(count);
    const double step = interval(mode);
    // The first date of the schedule at or after the start date, however far ahead that is.
    const double ahead = startDate.timeIntervalSince(now);
    double first = ahead > 0 ? std::ceil(ahead / step) : 0;
    if (now.addingTimeInterval(step * first).timeIntervalSince(startDate) < 0) {
        first += 1;
    }
    for (std::size_t index = 0; index < count; ++index) {
        dates.push_back(now.addingTimeInterval(step * (first + static_cast<double>(index))));
    }
    return dates;
}

TimelineView::TimelineView(EverySecondimelineSchedule::Mode mode, QObject* parent)
    : QObject(parent)
    , m_mode(mode)
    , m_scheduler(&platform::combine::Scheduler::main())
{
}

void TimelineView::setMode(EverySecondimelineSchedule::Mode mode)
{
    m_mode = mode;
    if (m_running) {
        scheduleNext();
    }
}

void TimelineView::start()
{
    m_running = true;
    scheduleNext();
}

void TimelineView::stop()
{
    m_running = false;
    m_next = {};
}

void TimelineView::scheduleNext()
{
    QPointer<TimelineView> self(this);
    m_next = m_scheduler->schedule(EverySecondimelineSchedule::interval(m_mode), [self] {
        if (!self || !self->m_running) {
            return;
        }
        self->scheduleNext();
        emit self->tick();
    });
}

} // namespace zk
