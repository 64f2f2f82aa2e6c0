#pragma once

#include "kit/foundation/core/MacSystemSound.h"

#include <string_view>

namespace kiruvo {

// The sound-theme event that stands in for each stored sound name. Desktops ship the freedesktop
// sound theme, not the named alert sounds the settings store; each name maps to the theme event
// closest in character, so that a stored choice keeps sounding alike.
std::string_view soundThemeEventId(zk::MacSystemSound sound);

// Plays the sound through the shared sound player. A sound the theme lacks, or no audio device,
// is silence (and at most a log line), never an error. Main-thread only.
void playSystemSound(zk::MacSystemSound sound);

} // namespace kiruvo
