#pragma once

#include "platform/desktop/SoundPlayer.h"

#include <string>
#include <vector>

namespace platform::fake {

// Records the event identifiers it is asked to play, in order. Main-thread only.
class FakeSoundPlayer final : public SoundPlayer {
public:
    void play(const std::string& eventId, const std::string& description) override;

    const std::vector<std::string>& playedEventIds() const { return m_played; }
    const std::vector<std::string>& playedDescriptions() const { return m_descriptions; }

private:
    std::vector<std::string> m_played;
    std::vector<std::string> m_descriptions;
};

} // namespace platform::fake
