#pragma once

#include "kit/foundation/core/Duration.h"

#include <functional>
#include <vector>

namespace kiruvo {

// Where the session engine hands a due reminder. The reminder delivery installs its handler at
// start-up; until one is installed each reminder is logged and kept in `recordedCalls`, so that
// nothing due goes unnoticed. Main-thread only.
class ReminderSeam {
public:
    using Handler = std::function<void(zk::Duration duration)>;

    // An empty handler goes back to recording.
    void install(Handler handler) { m_handler = std::move(handler); }
    bool hasHandler() const { return static_cast<bool>(m_handler); }

    // Delivers one reminder of a session that has run for `duration`.
    void deliver(zk::Duration duration);

    // The reminders delivered while no handler was installed, oldest first.
    const std::vector<zk::Duration>& recordedCalls() const { return m_recorded; }
    void clearRecordedCalls() { m_recorded.clear(); }

private:
    Handler m_handler;
    std::vector<zk::Duration> m_recorded;
};

} // namespace kiruvo
