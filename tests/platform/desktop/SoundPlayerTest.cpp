#include "platform/desktop/SoundPlayer.h"
#include "platform/Logger.h"
#include "platform/fake/FakeSoundPlayer.h"
#include "platform/linux/CanberraSoundPlayer.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

TEST(SoundPlayerTest, anInstalledPlayerIsTheSharedOneUntilRemoved)
{
    platform::fake::FakeSoundPlayer fake;
    platform::SoundPlayer::setShared(&fake);
    platform::SoundPlayer::shared().play("complete", "Glass");
    EXPECT_EQ(fake.playedEventIds(), std::vector<std::string> { "complete" });
    EXPECT_EQ(fake.playedDescriptions(), std::vector<std::string> { "Glass" });
    platform::SoundPlayer::setShared(nullptr);
    EXPECT_NE(dynamic_cast<platform::CanberraSoundPlayer*>(&platform::SoundPlayer::shared()), nullptr);
}

// Whether or not the machine has a sound server, a sound that cannot be played is silence and
// never more than one log line, however often it is asked for.
TEST(SoundPlayerTest, anUnplayableSoundLogsAtMostOnce)
{
    platform::LogCapture capture;
    {
        platform::CanberraSoundPlayer player;
        for (int i = 0; i < 5; ++i) {
            player.play("kiruvo-test-no-such-sound-event", "Nothing");
        }
    }
    const auto soundLines = capture.countContaining("kiruvo-test-no-such-sound-event")
        + capture.countContaining("Sounds are off");
    EXPECT_LE(soundLines, 1);
}

} // namespace
