#pragma once

#include "platform/linux/X11IdleCounter.h"

#include <QObject>
#include <QSocketNotifier>

#include <array>
#include <memory>
#include <optional>
#include <string>

struct xcb_connection_t;

namespace platform {

// The IDLETIME counter on a display connection of its own, read through a socket notifier as its
// alarms arrive. Its own connection rather than Qt's: it serves whatever Qt's platform is (xcb, or
// Wayland with Xwayland beside it), a test can aim it at an X server of its own, and the alarms'
// events never pass through Qt's event reader and every native event filter.
//
// Main-thread only.
class XcbIdleCounter final : public QObject, public X11IdleCounter {
    Q_OBJECT
public:
    // `displayName` nothing means $DISPLAY.
    explicit XcbIdleCounter(std::optional<std::string> displayName);
    ~XcbIdleCounter() override;

    bool connect(std::string* error) override;
    std::optional<std::int64_t> value() override;
    void setAlarm(Alarm alarm, std::int64_t milliseconds) override;
    void removeAlarm(Alarm alarm) override;

private:
    bool findCounter();
    void disconnect();
    void readEvents();
    // One event off the connection (an xcb_generic_event_t).
    void handle(const void* event);

    const std::optional<std::string> m_displayName;
    xcb_connection_t* m_connection = nullptr;
    std::uint8_t m_firstEvent = 0;
    std::uint32_t m_counter = 0;
    // The alarms' ids, 0 for none, by Alarm.
    std::array<std::uint32_t, 2> m_alarms {};
    std::unique_ptr<QSocketNotifier> m_readable;
    bool m_reportedError = false;
};

} // namespace platform
