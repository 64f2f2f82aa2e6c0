#pragma once

#include "platform/desktop/IdleTimeSource.h"

#include <functional>
#include <memory>
#include <mutex>
#include <optional>

namespace platform {

// The X server's idle time from the MIT-SCREEN-SAVER extension, on a display connection of its
// own (Qt's connection stays untouched). The extension knows only "any input", so every event
// type gets the same figure. Safe from any thread.
class X11IdleTimeSource final : public IdleTimeSource {
public:
    // Nothing when the display cannot be opened or lacks the extension. `displayName` nullptr
    // means $DISPLAY.
    static std::unique_ptr<X11IdleTimeSource> open(const char* displayName = nullptr);
    // The server's reply to the idle-time query: milliseconds, or nothing when it did not answer.
    using Query = std::function<std::optional<unsigned long>()>;
    // Over a query of the caller's own instead of a display: a stand-in for the X server's reply.
    static std::unique_ptr<X11IdleTimeSource> withQuery(Query query);
    ~X11IdleTimeSource() override;

    double secondsSinceLastEvent(InputEventType type) override;
    bool distinguishesEventTypes() const override { return false; }
    double secondsSinceLastInput() override;
    std::string name() const override { return "X11 MIT-SCREEN-SAVER"; }

private:
    struct Connection;
    X11IdleTimeSource(std::unique_ptr<Connection> connection, Query query);

    // Xlib's I/O error handler runs inside a query and tells the display's end, whose subscribers
    // may ask again on the same thread (Xlib then answers nothing at once).
    std::recursive_mutex m_mutex;
    std::unique_ptr<Connection> m_connection;
    Query m_query;
    bool m_reportedFailure = false;
};

} // namespace platform
