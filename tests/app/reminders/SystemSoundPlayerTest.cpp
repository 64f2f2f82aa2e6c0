#include "app/reminders/SystemSoundPlayer.h"

#include "platform/fake/FakeSoundPlayer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

namespace {

// The events of the freedesktop sound theme; every stored sound must reach one of them.
const std::set<std::string> freedesktopThemeEvents { "alarm-clock-elapsed", "audio-volume-change", "bell",
    "camera-shutter", "complete", "device-added", "device-removed", "dialog-error", "dialog-information",
    "dialog-warning", "message", "message-new-instant", "network-connectivity-established",
    "network-connectivity-lost", "phone-incoming-call", "phone-outgoing-busy", "phone-outgoing-calling",
    "power-plug", "power-unplug", "screen-capture", "service-login", "service-logout", "suspend-error",
    "trash-empty", "window-attention", "window-question" };

TEST(SystemSoundPlayerTest, everyStoredSoundHasItsOwnThemeEvent)
{
    std::set<std::string> used;
    for (const auto sound : zk::allMacSystemSounds) {
        const std::string event(kiruvo::soundThemeEventId(sound));
        EXPECT_EQ(freedesktopThemeEvents.count(event), 1u) << zk::rawValue(sound) << " -> " << event;
        used.insert(event);
    }
    EXPECT_EQ(used.size(), zk::allMacSystemSounds.size()) << "two sounds would sound the same";
    EXPECT_EQ(kiruvo::soundThemeEventId(zk::MacSystemSound::glass), "complete");
    EXPECT_EQ(kiruvo::soundThemeEventId(zk::MacSystemSound::ping), "message-new-instant");
}

TEST(SystemSoundPlayerTest, theInstalledThemeHasEveryMappedEvent)
{
    const std::filesystem::path theme = "/usr/share/sounds/freedesktop/stereo";
    if (!std::filesystem::is_directory(theme)) {
        GTEST_SKIP() << "the freedesktop sound theme is not installed";
    }
    for (const auto sound : zk::allMacSystemSounds) {
        const std::string event(kiruvo::soundThemeEventId(sound));
        EXPECT_TRUE(std::filesystem::exists(theme / (event + ".oga"))) << event;
    }
}

TEST(SystemSoundPlayerTest, playsTheMappedEventThroughTheSharedPlayer)
{
    platform::fake::FakeSoundPlayer player;
    platform::SoundPlayer::setShared(&player);
    kiruvo::playSystemSound(zk::MacSystemSound::glass);
    kiruvo::playSystemSound(zk::MacSystemSound::basso);
    platform::SoundPlayer::setShared(nullptr);
    EXPECT_EQ(player.playedEventIds(), (std::vector<std::string> { "complete", "dialog-warning" }));
    EXPECT_EQ(player.playedDescriptions(), (std::vector<std::string> { "Glass", "Basso" }));
}

} // namespace
