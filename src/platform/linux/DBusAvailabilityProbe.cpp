#include "platform/linux/DBusAvailabilityProbe.h"

#include "platform/Logger.h"
#include "platform/linux/DBusServiceProbe.h"

#include <algorithm>

namespace platform {

DBusAvailabilityProbe::DBusAvailabilityProbe(std::string description)
    : m_description(std::move(description))
    , m_connection(QString())
{
}

void DBusAvailabilityProbe::ask(
    QDBusConnection connection, const QDBusMessage& question, int timeoutMs, Check check, Decided decided)
{
    m_connection = std::move(connection);
    m_question = question;
    m_check = std::move(check);
    m_decided = std::move(decided);
    m_asking = true;
    send(timeoutMs, false);
}

void DBusAvailabilityProbe::stop()
{
    m_asking = false;
    ++m_generation;
}

void DBusAvailabilityProbe::send(int timeoutMs, bool again)
{
    DBusServiceProbe::send(m_connection, m_question, timeoutMs, &m_calls,
        [this, timeoutMs, again, generation = m_generation](const DBusServiceProbe& probe) {
            if (generation == m_generation) {
                received(probe, timeoutMs, again);
            }
        });
}

void DBusAvailabilityProbe::received(const DBusServiceProbe& probe, int timeoutMs, bool again)
{
    m_asking = false;
    const bool askingAgain = probe.timedOut();
    const std::optional<std::string> unusable
        = probe.answered() ? m_check(probe.reply) : std::optional(probe.error);
    if (unusable && !again) {
        // Missing is what most desktops are, for a service of another desktop.
        log(probe.absent ? LogLevel::Debug : LogLevel::Info, lcIdle(),
            m_description + " does not answer (" + *unusable + ")"
                + (probe.absent ? ": it is used once it comes on the session bus" : "")
                + (askingAgain ? ": it is asked again" : ""));
    } else if (!unusable && again) {
        log(LogLevel::Info, lcIdle(), m_description + " answers now");
    }
    if (askingAgain) {
        send(timeoutMs >= longestTimeoutMs ? timeoutMs : std::min(2 * timeoutMs, longestTimeoutMs), true);
    }
    // A later failure changes nothing: it did not answer already.
    if (!unusable || !again) {
        m_decided(!unusable);
    }
}

} // namespace platform
