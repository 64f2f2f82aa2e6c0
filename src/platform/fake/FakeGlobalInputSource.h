#pragma once

#include "platform/desktop/GlobalInputSource.h"

namespace platform {

// A desktop whose input the test makes up: send() announces an event while anyone watches.
class FakeGlobalInputSource : public GlobalInputSource {
    Q_OBJECT
public:
    bool available = true;
    int watchers = 0;

    bool isAvailable() const override { return available; }
    QString unavailableReason() const override
    {
        return available ? QString()
                         : QStringLiteral("Input in other applications cannot be watched on Wayland.");
    }
    void start() override
    {
        if (available) {
            ++watchers;
        }
    }
    void stop() override
    {
        if (watchers > 0) {
            --watchers;
        }
    }

    void send(const GlobalInputEvent& event);
};

} // namespace platform
