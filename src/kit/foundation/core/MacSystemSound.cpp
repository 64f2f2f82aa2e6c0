#include "kit/foundation/core/MacSystemSound.h"

namespace zk {

std::string_view rawValue(MacSystemSound sound)
{
    switch (sound) {
    case MacSystemSound::basso:
        return "Basso";
    case MacSystemSound::blow:
        return "Blow";
    case MacSystemSound::bottle:
        return "Bottle";
    case MacSystemSound::frog:
        return "Frog";
    case MacSystemSound::funk:
        return "Funk";
    case MacSystemSound::glass:
        return "Glass";
    case MacSystemSound::hero:
        return "Hero";
    case MacSystemSound::morse:
        return "Morse";
    case MacSystemSound::ping:
        return "Ping";
    case MacSystemSound::pop:
        return "Pop";
    case MacSystemSound::purr:
        return "Purr";
    case MacSystemSound::sosumi:
        return "Sosumi";
    case MacSystemSound::submarine:
        return "Submarine";
    case MacSystemSound::tink:
        return "Tink";
    }
    return {};
}

std::optional<MacSystemSound> macSystemSoundFromRawValue(std::string_view value)
{
    for (const MacSystemSound sound : allMacSystemSounds) {
        if (rawValue(sound) == value) {
            return sound;
        }
    }
    return std::nullopt;
}

} // namespace zk
