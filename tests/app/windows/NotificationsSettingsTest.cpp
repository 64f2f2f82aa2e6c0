#include "app/windows/SettingsFixture.h"

#include "app/reminders/SystemSoundPlayer.h"
#include "app/windows/NotificationSoundSetting.h"
#include "app/windows/NotificationTypeSetting.h"
#include "app/windows/NotificationsSettings.h"
#include "app/windows/NotifyIntervalSetting.h"
#include "kit/interface/HideableInfoBox.h"
#include "libraries/defaults/Toggle.h"

#include <QAbstractButton>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>

using namespace kiruvo;
using platform::PropertyList;

namespace {

NotificationsSettings& pane(kiruvo::SettingsScreen& screen)
{
    return *screen.notifications();
}

} // namespace

TEST_F(SettingsTest, AFreshStoreShowsNeverAndTheReminderGroupDisabledAtHalfOpacity)
{
    auto& notifications = pane(screen());
    EXPECT_EQ(shownText(*notifications.intervalSetting()), "Never");
    EXPECT_FALSE(notifications.group()->isEnabled());
    EXPECT_DOUBLE_EQ(notifications.groupOpacity(), 0.5);
    EXPECT_EQ(shownText(*notifications.typeSetting()->picker()), "Popover");
    EXPECT_EQ(shownText(*notifications.soundSetting()), "None");
    // Showing the defaults writes nothing.
    for (const char* key :
        { "notifyInterval", "notificationType", "notificationSound", "notificationHapticFeedback" }) {
        EXPECT_FALSE(stored(key)) << key;
    }
}

TEST_F(SettingsTest, TheIntervalChoicesAreNeverThenTenDurationsInOrder)
{
    const auto& interval = *pane(screen()).intervalSetting();
    ASSERT_EQ(interval.rowCount(), 11);
    EXPECT_EQ(interval.rowText(0).toStdString(), "Never");
    EXPECT_EQ(interval.rowText(1).toStdString(), "Every 10 minutes");
    EXPECT_EQ(interval.rowText(5).toStdString(), "Every 30 minutes");
    EXPECT_EQ(interval.rowText(6).toStdString(), "Every 45 minutes");
    EXPECT_EQ(interval.rowText(7).toStdString(), "Every 1 hour");
    EXPECT_EQ(interval.rowText(10).toStdString(), "Every 4 hours");
}

TEST_F(SettingsTest, ChoosingAnIntervalStoresItsSecondsAndEnablesTheGroup)
{
    auto& notifications = pane(screen());
    choose(*notifications.intervalSetting(), "Every 10 minutes");
    EXPECT_EQ(stored("notifyInterval"), PropertyList(std::string("600")));
    EXPECT_TRUE(notifications.group()->isEnabled());
    EXPECT_DOUBLE_EQ(notifications.groupOpacity(), 1.0);

    choose(*notifications.intervalSetting(), "Never");
    EXPECT_FALSE(stored("notifyInterval"));
    EXPECT_FALSE(notifications.group()->isEnabled());
}

TEST_F(SettingsTest, AFilledStoreShowsTheStoredValues)
{
    Defaults::set(Keys::notifyInterval(), std::optional(zk::Duration::hours(2)));
    Defaults::set(Keys::notificationType(), NotificationType::hud);
    Defaults::set(Keys::notificationSound(), std::optional(zk::MacSystemSound::submarine));
    Defaults::set(Keys::notificationHapticFeedback(), true);
    auto& notifications = pane(screen());
    EXPECT_EQ(shownText(*notifications.intervalSetting()), "Every 2 hours");
    EXPECT_TRUE(notifications.group()->isEnabled());
    EXPECT_EQ(shownText(*notifications.typeSetting()->picker()), "HUD");
    EXPECT_EQ(shownText(*notifications.soundSetting()), "Submarine");
    // Nothing is previewed for what was already stored.
    EXPECT_EQ(previewCount(), 0u);
    EXPECT_TRUE(sounds.playedEventIds().empty());
}

TEST_F(SettingsTest, AnIntervalOutsideTheChoicesShowsNoRowAndStaysStored)
{
    store()->setObject(PropertyList(std::string("700")), "notifyInterval");
    auto& notifications = pane(screen());
    EXPECT_EQ(shownText(*notifications.intervalSetting()), "");
    EXPECT_TRUE(notifications.group()->isEnabled());
    EXPECT_EQ(stored("notifyInterval"), PropertyList(std::string("700")));
}

TEST_F(SettingsTest, AnUnreadableStoredValueShowsTheDefaultAndStaysStoredUntilChanged)
{
    store()->setObject(PropertyList(std::string("carrier pigeon")), "notificationType");
    store()->setObject(PropertyList(std::string("Doorbell")), "notificationSound");
    auto& notifications = pane(screen());
    EXPECT_EQ(shownText(*notifications.typeSetting()->picker()), "Popover");
    EXPECT_EQ(shownText(*notifications.soundSetting()), "None");
    EXPECT_EQ(stored("notificationType"), PropertyList(std::string("carrier pigeon")));
    EXPECT_EQ(stored("notificationSound"), PropertyList(std::string("Doorbell")));

    choose(*notifications.soundSetting(), "Pop");
    EXPECT_EQ(stored("notificationSound"), PropertyList(std::string("Pop")));
}

TEST_F(SettingsTest, AChangeMadeElsewhereShowsInTheOpenPane)
{
    auto& notifications = pane(screen());
    Defaults::set(Keys::notifyInterval(), std::optional(zk::Duration::minutes(25)));
    Defaults::set(Keys::notificationType(), NotificationType::menuBarIconOnly);
    Defaults::set(Keys::notificationHapticFeedback(), true);
    processEvents();
    EXPECT_EQ(shownText(*notifications.intervalSetting()), "Every 25 minutes");
    EXPECT_TRUE(notifications.group()->isEnabled());
    EXPECT_EQ(shownText(*notifications.typeSetting()->picker()), "Tray icon only");

    Defaults::set(Keys::notifyInterval(), std::optional<zk::Duration>());
    processEvents();
    EXPECT_FALSE(notifications.group()->isEnabled());
}

TEST_F(SettingsTest, EachTypeChoiceShowsOneReminderOfTheCurrentInterval)
{
    Defaults::set(Keys::notifyInterval(), std::optional(zk::Duration::minutes(15)));
    auto& type = *pane(screen()).typeSetting();
    ASSERT_EQ(type.picker()->style(), zk::Picker::Style::radioGroup);
    ASSERT_EQ(type.picker()->rowCount(), 4);
    EXPECT_EQ(type.picker()->rowText(3).toStdString(), "Tray icon only");

    choose(*type.picker(), "HUD");
    EXPECT_EQ(stored("notificationType"), PropertyList(std::string("hud")));
    ASSERT_EQ(previewCount(), 1u);
    EXPECT_EQ(controller().reminderSeam().recordedCalls()[0].seconds, 900);

    // Choosing the type already chosen changes nothing and shows nothing.
    choose(*type.picker(), "HUD");
    EXPECT_EQ(previewCount(), 1u);

    Defaults::set(Keys::notifyInterval(), std::optional<zk::Duration>());
    choose(*type.picker(), "Popover");
    ASSERT_EQ(previewCount(), 2u);
    EXPECT_EQ(controller().reminderSeam().recordedCalls()[1].seconds, 0);
}

TEST_F(SettingsTest, CustomizeShowsOnlyBesideTheNotificationTypeAndOpensTheDesktopSettings)
{
    Defaults::set(Keys::notifyInterval(), std::optional(zk::Duration::minutes(10)));
    auto& type = *pane(screen()).typeSetting();
    EXPECT_TRUE(type.customizeButton()->isHidden());
    choose(*type.picker(), "Notification");
    EXPECT_FALSE(type.customizeButton()->isHidden());
    EXPECT_EQ(type.customizeButton()->text().toStdString(), "Customize…");
    type.customizeButton()->click();
    EXPECT_EQ(notificationSettingsCount, 1);
    choose(*type.picker(), "Tray icon only");
    EXPECT_TRUE(type.customizeButton()->isHidden());
}

TEST_F(SettingsTest, TheTypeInfoBoxHidesForGoodUnderItsIdentifier)
{
    Defaults::set(Keys::notifyInterval(), std::optional(zk::Duration::minutes(10)));
    auto* box = pane(screen()).typeSetting()->infoBox();
    EXPECT_EQ(box->id(), "settingsNotificationTypeDescription7");
    EXPECT_EQ(box->message().toStdString(), NotificationTypeSetting::infoBoxMessage);
    EXPECT_FALSE(box->isClosed());
    box->closeButton()->click();
    processEvents();
    EXPECT_TRUE(box->isClosed());
    EXPECT_EQ(stored("ZK__HideableInfoBox__settingsNotificationTypeDescription7"), PropertyList(true));

    // A new window keeps it hidden.
    m_screen.reset();
    EXPECT_TRUE(pane(screen()).typeSetting()->infoBox()->isClosed());
}

TEST_F(SettingsTest, ChoosingASoundPlaysItOnceAndNonePlaysNothing)
{
    Defaults::set(Keys::notifyInterval(), std::optional(zk::Duration::minutes(10)));
    auto& sound = *pane(screen()).soundSetting();
    ASSERT_EQ(sound.rowCount(), 15);
    EXPECT_EQ(sound.rowText(1).toStdString(), "Basso");
    EXPECT_EQ(sound.rowText(14).toStdString(), "Tink");

    choose(sound, "Glass");
    EXPECT_EQ(stored("notificationSound"), PropertyList(std::string("Glass")));
    ASSERT_EQ(sounds.playedEventIds().size(), 1u);
    EXPECT_EQ(sounds.playedEventIds()[0], std::string(soundThemeEventId(zk::MacSystemSound::glass)));

    choose(sound, "None");
    EXPECT_FALSE(stored("notificationSound"));
    EXPECT_EQ(sounds.playedEventIds().size(), 1u);
}

TEST_F(SettingsTest, NoHapticFeedbackControlWhereNoDesktopHasIt)
{
    Defaults::set(Keys::notifyInterval(), std::optional(zk::Duration::minutes(10)));
    auto& notifications = pane(screen());
    for (const QAbstractButton* button : notifications.findChildren<QAbstractButton*>()) {
        EXPECT_NE(button->text().toStdString(), "Haptic feedback");
    }
    for (const QLabel* label : notifications.findChildren<QLabel*>()) {
        EXPECT_FALSE(label->text().contains("Force Touch")) << label->text().toStdString();
    }
}
