#pragma once

#include "platform/combine/AnyCancellable.h"
#include "platform/time/Date.h"

#include <QObject>

#include <cstddef>
#include <vector>

namespace platform::combine {
class Scheduler;
}

namespace zk {

// A schedule that ticks once a second (every 30 s in low-frequency mode, when a view need not be
// exact), counted from the moment it is asked, not from the start date it is given.
class EverySecondimelineSchedule {
public:
    enum class Mode { normal, lowFrequency };

    static double interval(Mode mode) { return mode == Mode::lowFrequency ? 30.0 : 1.0; }

    // The first `count` dates of the schedule asked at `now` from `startDate`: `now` and every
    // interval after it (dates before `startDate` left out).
    static std::vector<platform::Date> entries(
        platform::Date now, platform::Date startDate, Mode mode, std::size_t count);
};

// Redraws a view on a schedule: `tick` fires every interval from the moment start() is called,
// until stop() or the object's end. Main-thread only.
class TimelineView : public QObject {
    Q_OBJECT
public:
    explicit TimelineView(EverySecondimelineSchedule::Mode mode = EverySecondimelineSchedule::Mode::normal,
        QObject* parent = nullptr);

    // Where the intervals are counted; the main thread's timers by default.
    void setScheduler(platform::combine::Scheduler& scheduler) { m_scheduler = &scheduler; }
    void setMode(EverySecondimelineSchedule::Mode mode);

    void start();
    void stop();
    bool isRunning() const { return m_running; }

signals:
    void tick();

private:
    void scheduleNext();

    EverySecondimelineSchedule::Mode m_mode;
    platform::combine::Scheduler* m_scheduler;
    platform::combine::AnyCancellable m_next;
    bool m_running = false;
};

} // namespace zk
