#include "platform/fake/FakeSoundPlayer.h"

namespace platform::fake {

void FakeSoundPlayer::play(const std::string& eventId, const std::string& description)
{
    m_played.push_back(eventId);
    m_descriptions.push_back(description);
}

} // namespace platform::fake
