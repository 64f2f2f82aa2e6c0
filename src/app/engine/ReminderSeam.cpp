#include "app/engine/ReminderSeam.h"

#include "platform/Logger.h"

namespace kiruvo {

void ReminderSeam::deliver(zk::Duration duration)
{
    if (m_handler) {
        m_handler(duration);
        return;
    }
    m_recorded.push_back(duration);
    platform::log(platform::LogLevel::Info, platform::lcEngine(),
        "Reminder due after " + duration.description() + "; no reminder delivery is installed");
}

} // namespace kiruvo
