#pragma once

#include "platform/desktop/IdleTimeSource.h"

#include <memory>
#include <mutex>

namespace platform {

// The X server's idle time from the MIT-SCREEN-SAVER extension, on a display connection of its
// own (Qt's connection stays untouched). The extension knows only "any input", so every event
// type gets the same figure. Safe from any thread.
class X11IdleTimeSource final : public IdleTimeSource {
public:
    // Nothing when the display cannot be opened or lacks the extension. `displayName` nullptr
    // means $DISPLAY.
    static std::unique_ptr<X11IdleTimeSource> open(const char* displayName = nullptr);
    ~X11IdleTimeSource() override;

    double secondsSinceLastEvent(InputEventType type) override;
    bool distinguishesEventTypes() const override { return false; }
    double secondsSinceLastInput() override;
    std::string name() const override { return "X11 MIT-SCREEN-SAVER"; }

private:
    struct Connection;
    explicit X11IdleTimeSource(std::unique_ptr<Connection> connection);

    std::mutex m_mutex;
    std::unique_ptr<Connection> m_connection;
    bool m_reportedFailure = false;
};

} // namespace platform
