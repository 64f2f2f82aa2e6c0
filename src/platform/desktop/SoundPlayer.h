#pragma once

#include <string>

namespace platform {

// Plays the desktop's event sounds by their sound-theme event identifier ("complete",
// "message-new-instant"). Playing never fails towards the caller: a sound the theme lacks, or no
// audio device, is silence and at most a log line.
//
// Main-thread only.
class SoundPlayer {
public:
    virtual ~SoundPlayer() = default;

    // Starts the sound and returns at once. `description` is a human-readable name for the
    // sound server's lists.
    virtual void play(const std::string& eventId, const std::string& description) = 0;

    // The player the application uses. Tests install a fake; when nothing has been installed,
    // the libcanberra player is created on first use.
    static SoundPlayer& shared();
    // Not owned; nullptr goes back to the libcanberra player on the next shared().
    static void setShared(SoundPlayer* player);
};

} // namespace platform
