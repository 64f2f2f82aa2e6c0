#pragma once

#include "platform/desktop/IdleTimeSource.h"

namespace platform {

// The answer when no idle service exists: the user always counts as present, so sessions end
// only by sleep, quitting or disabling. Says so once in the log. Safe from any thread.
class UnavailableIdleTimeSource final : public IdleTimeSource {
public:
    // `reason` is logged the first time such a source is created in this process.
    explicit UnavailableIdleTimeSource(const std::string& reason = {});

    double secondsSinceLastEvent(InputEventType) override { return 0; }
    bool distinguishesEventTypes() const override { return false; }
    double secondsSinceLastInput() override { return 0; }
    std::string name() const override { return "none"; }
    // Nothing answers: what the user is told where idle time would matter.
    bool isAvailable() const override { return false; }
};

} // namespace platform
