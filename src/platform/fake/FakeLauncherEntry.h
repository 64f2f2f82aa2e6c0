#pragma once

#include "platform/desktop/LauncherEntry.h"

#include <vector>

namespace platform {

// Records every state sent to the launcher entry.
class FakeLauncherEntry : public LauncherEntry {
public:
    std::vector<LauncherEntryState> updates;

    void update(const LauncherEntryState& state) override { updates.push_back(state); }
};

} // namespace platform
