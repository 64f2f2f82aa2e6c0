#pragma once

#include "platform/desktop/SoundPlayer.h"

#include <set>

struct ca_context;

namespace platform {

// Event sounds through libcanberra and the desktop's sound theme (the freedesktop theme when the
// desktop names none). The context is opened on the first sound, so a process that never plays
// one never connects to the sound server.
//
// Main-thread only.
class CanberraSoundPlayer final : public SoundPlayer {
public:
    CanberraSoundPlayer() = default;
    ~CanberraSoundPlayer() override;
    CanberraSoundPlayer(const CanberraSoundPlayer&) = delete;
    CanberraSoundPlayer& operator=(const CanberraSoundPlayer&) = delete;

    void play(const std::string& eventId, const std::string& description) override;

private:
    bool ensureContext();
    // Each kind of failure is logged once: a missing device would otherwise fill the log with
    // one line per reminder.
    void logFailureOnce(int code, const std::string& what);

    ca_context* m_context = nullptr;
    bool m_contextFailed = false;
    std::set<int> m_loggedFailures;
};

} // namespace platform
