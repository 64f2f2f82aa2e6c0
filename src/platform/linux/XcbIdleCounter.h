#pragma once

#include "platform/linux/X11IdleCounter.h"

#include <QObject>
#include <QSocketNotifier>

#include <chrono>
#include <memory>
#include <optional>
#include <string>

struct xcb_connection_t;

namespace platform {

// The IDLETIME counter and raw input on a display connection of its own, read through a socket
// notifier as the alarm and the input arrive. Its own connection rather than Qt's: it serves
// whatever Qt's platform is (xcb, or Wayland with Xwayland beside it), a test can aim it at an X
// server of its own, and the events never pass through Qt's event reader and every native event
// filter.
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
    void setAlarm(std::int64_t milliseconds) override;
    void removeAlarm() override;
    void watchInput(bool watching) override;

private:
    bool findCounters();
    void disconnect();
    void readEvents();
    // One event off the connection (an xcb_generic_event_t).
    void handle(const void* event);
    // How long before now the server's time was `timestamp`, by its time when last asked.
    std::int64_t millisecondsSince(std::uint32_t timestamp) const;

    const std::optional<std::string> m_displayName;
    xcb_connection_t* m_connection = nullptr;
    std::uint8_t m_firstSyncEvent = 0;
    std::uint8_t m_inputExtension = 0;
    bool m_touch = false;
    std::uint32_t m_idleCounter = 0;
    std::uint32_t m_serverTimeCounter = 0;
    // The server's time (SERVERTIME, milliseconds) when last asked, and when that was here.
    std::uint32_t m_serverTime = 0;
    std::chrono::steady_clock::time_point m_askedAt;
    // The alarm's id, 0 for none.
    std::uint32_t m_alarm = 0;
    bool m_watching = false;
    std::unique_ptr<QSocketNotifier> m_readable;
    bool m_reportedError = false;
};

} // namespace platform
