#include "platform/desktop/SoundPlayer.h"

#include "platform/linux/CanberraSoundPlayer.h"

namespace platform {

namespace {
SoundPlayer* installedPlayer = nullptr;
} // namespace

SoundPlayer& SoundPlayer::shared()
{
    if (installedPlayer != nullptr) {
        return *installedPlayer;
    }
    static CanberraSoundPlayer standard;
    return standard;
}

void SoundPlayer::setShared(SoundPlayer* player)
{
    installedPlayer = player;
}

} // namespace platform
