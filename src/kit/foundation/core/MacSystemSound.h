#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace zk {

// The alert sounds a reminder can play. The raw value is the name stored in the settings for the
// chosen sound; names match exactly, letter case included.
enum class MacSystemSound {
    basso,
    blow,
    bottle,
    frog,
    funk,
    glass,
    hero,
    morse,
    ping,
    pop,
    purr,
    sosumi,
    submarine,
    tink
};

inline constexpr std::array<MacSystemSound, 14> allMacSystemSounds { MacSystemSound::basso,
    MacSystemSound::blow, MacSystemSound::bottle, MacSystemSound::frog, MacSystemSound::funk,
    MacSystemSound::glass, MacSystemSound::hero, MacSystemSound::morse, MacSystemSound::ping,
    MacSystemSound::pop, MacSystemSound::purr, MacSystemSound::sosumi, MacSystemSound::submarine,
    MacSystemSound::tink };

std::string_view rawValue(MacSystemSound sound);

// The sound with exactly this name, or nothing.
std::optional<MacSystemSound> macSystemSoundFromRawValue(std::string_view rawValue);

} // namespace zk
