#include "app/reminders/SystemSoundPlayer.h"

#include "platform/desktop/SoundPlayer.h"

#include <string>

namespace kiruvo {

std::string_view soundThemeEventId(zk::MacSystemSound sound)
{
    using zk::MacSystemSound;
    // Every event named here is part of the freedesktop sound theme, so it plays on any desktop
    // that has at least that theme.
    switch (sound) {
    case MacSystemSound::basso: // a low, dull knock
        return "dialog-warning";
    case MacSystemSound::blow: // a breathy whoosh
        return "trash-empty";
    case MacSystemSound::bottle: // a hollow pop
        return "message";
    case MacSystemSound::frog: // a short croak
        return "window-question";
    case MacSystemSound::funk: // a muted thump
        return "device-removed";
    case MacSystemSound::glass: // a clear chime
        return "complete";
    case MacSystemSound::hero: // a rising fanfare
        return "service-login";
    case MacSystemSound::morse: // a quick beep
        return "bell";
    case MacSystemSound::ping: // a bright ping
        return "message-new-instant";
    case MacSystemSound::pop: // a soft pop
        return "device-added";
    case MacSystemSound::purr: // a gentle rumble
        return "power-plug";
    case MacSystemSound::sosumi: // a two-tone alert
        return "dialog-information";
    case MacSystemSound::submarine: // a sonar-like tone
        return "window-attention";
    case MacSystemSound::tink: // a tiny tick
        return "audio-volume-change";
    }
    return "bell";
}

void playSystemSound(zk::MacSystemSound sound)
{
    platform::SoundPlayer::shared().play(
        std::string(soundThemeEventId(sound)), std::string(zk::rawValue(sound)));
}

} // namespace kiruvo
