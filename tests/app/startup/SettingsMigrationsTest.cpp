#include "app/SessionEngineFixture.h"

#include "app/startup/SettingsMigrations.h"

#include <set>

using namespace kiruvo::SettingsMigrations;
using platform::PropertyList;

namespace {

class SettingsMigrationsTest : public SessionEngineTest {
protected:
    void SetUp() override
    {
        SessionEngineTest::SetUp();
        kiruvo::Keys::registerAll();
    }
    static void put(const std::string& key, PropertyList value) { store()->setObject(value, key); }
    static std::optional<PropertyList> stored(const std::string& key) { return store()->objectForKey(key); }

    RunOnce runOnceOnlyFirst()
    {
        return [this](const std::string& identifier) { return consumed.insert(identifier).second; };
    }
    std::set<std::string> consumed;
};

} // namespace

TEST_F(SettingsMigrationsTest, JsonTextOfEarlierVersionsIsConvertedWithoutTellingObservers)
{
    const auto first = session(platform::Date(700000000), platform::Date(700000600));
    const auto second = session(platform::Date(690000000), platform::Date(690000300), "America/New_York");
    put("sessions", PropertyList("[" + first.jsonText() + "," + second.jsonText() + "]"));
    put("showInMenuBar", PropertyList(std::string("\"totalTodayDuration\"")));
    put("notificationType", PropertyList(std::string("\"hud\"")));
    put("notificationSound", PropertyList(std::string("\"Glass\"")));
    int told = 0;
    auto id = store()->addObserver("showInMenuBar", [&](const auto&, const auto&, const auto&) {
        if (!Defaults::isPropagationSuppressed()) {
            ++told;
        }
    });

    runDefaultsMigration(false, runOnceOnlyFirst());
    store()->removeObserver(id);

    EXPECT_EQ(stored("sessions"),
        PropertyList(
            platform::PropertyListArray { PropertyList(first.jsonText()), PropertyList(second.jsonText()) }));
    EXPECT_EQ(stored("showInMenuBar"), PropertyList(std::string("totalTodayDuration")));
    EXPECT_EQ(stored("notificationType"), PropertyList(std::string("hud")));
    EXPECT_EQ(stored("notificationSound"), PropertyList(std::string("Glass")));
    EXPECT_EQ(told, 0);
    EXPECT_FALSE(Defaults::isPropagationSuppressed());
}

TEST_F(SettingsMigrationsTest, ValuesThatDoNotDecodeAreLeftAsTheyAre)
{
    put("notificationSound", PropertyList(std::string("null")));
    put("notificationType", PropertyList(std::string("not json")));
    put("showInMenuBar", PropertyList(std::string("icon"))); // already current
    put("sessions", PropertyList(std::string(R"([{"id":"x"}])")));
    convertToDefaultsV5();
    EXPECT_EQ(stored("notificationSound"), PropertyList(std::string("null")));
    EXPECT_EQ(stored("notificationType"), PropertyList(std::string("not json")));
    EXPECT_EQ(stored("showInMenuBar"), PropertyList(std::string("icon")));
    EXPECT_EQ(stored("sessions"), PropertyList(std::string(R"([{"id":"x"}])")));

    put("notificationSound", PropertyList(std::string("\"Trumpet\"")));
    convertToDefaultsV5();
    EXPECT_EQ(stored("notificationSound"), PropertyList(std::string("\"Trumpet\"")));
}

TEST_F(SettingsMigrationsTest, TheFirstLaunchConvertsNothingButConsumesTheFlag)
{
    put("showInMenuBar", PropertyList(std::string("\"totalTodayDuration\"")));
    runDefaultsMigration(true, runOnceOnlyFirst());
    EXPECT_EQ(consumed, std::set<std::string> { "migrateToDefaultsv5" });
    EXPECT_EQ(stored("showInMenuBar"), PropertyList(std::string("\"totalTodayDuration\"")));
    runDefaultsMigration(false, runOnceOnlyFirst()); // a later launch: the flag is gone
    EXPECT_EQ(stored("showInMenuBar"), PropertyList(std::string("\"totalTodayDuration\"")));

    migrateShowDurationInMenuBarSetting(true);
    migrateUseSystemNotificationSetting(true);
    EXPECT_EQ(stored("showInMenuBar"), PropertyList(std::string("\"totalTodayDuration\"")));
    EXPECT_EQ(stored("notificationType"), PropertyList(std::string("popover"))); // the registered default
}

TEST_F(SettingsMigrationsTest, TheOldBooleansBecomeTheEnumerations)
{
    put("useSystemNotifications", PropertyList(true));
    put("showDurationInMenuBar", PropertyList(false));
    migrateUseSystemNotificationSetting(false);
    migrateShowDurationInMenuBarSetting(false);
    EXPECT_EQ(stored("notificationType"), PropertyList(std::string("systemNotification")));
    EXPECT_EQ(stored("showInMenuBar"), PropertyList(std::string("icon")));
    EXPECT_EQ(stored("useSystemNotifications"), PropertyList(true)); // left in place
}

TEST_F(SettingsMigrationsTest, AnOldBooleanNeverStoredGivesItsDefaultUnlessAChoiceWasMade)
{
    migrateShowDurationInMenuBarSetting(false);
    EXPECT_EQ(store()->database()->value(store()->suiteName(), "showInMenuBar") != nullptr, true);
    EXPECT_EQ(stored("showInMenuBar"), PropertyList(std::string("currentSessionDuration")));

    put("notificationType", PropertyList(std::string("hud")));
    put("showInMenuBar", PropertyList(std::string("totalTodayDuration")));
    migrateUseSystemNotificationSetting(false);
    migrateShowDurationInMenuBarSetting(false);
    EXPECT_EQ(stored("notificationType"), PropertyList(std::string("hud")));
    EXPECT_EQ(stored("showInMenuBar"), PropertyList(std::string("totalTodayDuration")));
}
