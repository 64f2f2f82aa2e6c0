#include "app/SessionEngineFixture.h"

#include "app/engine/SettingsKeys.h"
#include "app/startup/SettingsMigrations.h"
#include "kit/foundation/RunOnce.h"
#include "libraries/defaults/Migration.h"

#include "platform/store/DefaultsDatabase.h"

#include <QTemporaryDir>

#include <sqlite3.h>

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
        return [this](const std::string& identifier, const std::function<bool()>& work) {
            if (consumed.count(identifier) != 0) {
                return false;
            }
            if (work()) {
                consumed.insert(identifier);
            }
            return true;
        };
    }
    std::set<std::string> consumed;
};

} // namespace

TEST_F(SettingsMigrationsTest, JsonTextOfEarlierVersionsIsConvertedWithoutTellingObservers)
{
    const auto first = session(platform::Date(700000000), platform::Date(700000600));
    const auto second = session(platform::Date(690000000), platform::Date(690000300), "America/New_York");
    put("sessions",
        PropertyList(
            std::string("[").append(first.jsonText()).append(",").append(second.jsonText()).append("]")));
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
    EXPECT_EQ(store()->storedValue("showInMenuBar") != nullptr, true);
    EXPECT_EQ(stored("showInMenuBar"), PropertyList(std::string("currentSessionDuration")));

    put("notificationType", PropertyList(std::string("hud")));
    put("showInMenuBar", PropertyList(std::string("totalTodayDuration")));
    migrateUseSystemNotificationSetting(false);
    migrateShowDurationInMenuBarSetting(false);
    EXPECT_EQ(stored("notificationType"), PropertyList(std::string("hud")));
    EXPECT_EQ(stored("showInMenuBar"), PropertyList(std::string("totalTodayDuration")));
}

TEST_F(SettingsMigrationsTest, AConversionThatCannotBeStoredIsTriedAgainOnTheNextLaunch)
{
    // A settings file that refuses every write of "showInMenuBar", as a full disk or a file made
    // read-only behind the application's back would.
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const std::string path = folder.filePath("defaults.sqlite3").toStdString();
    {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
        const char* schema
            = "CREATE TABLE defaults(suite TEXT NOT NULL, key TEXT NOT NULL, value TEXT NOT NULL, "
              "PRIMARY KEY(suite, key));"
              "INSERT INTO defaults VALUES('com.zelvantorium.Kiruvo', 'showInMenuBar', "
              "'\"\\\"totalTodayDuration\\\"\"');"
              "INSERT INTO defaults VALUES('com.zelvantorium.Kiruvo', 'notificationType', '\"\\\"hud\\\"\"');"
              "CREATE TRIGGER refuse BEFORE UPDATE ON defaults WHEN NEW.key = 'showInMenuBar' "
              "BEGIN SELECT RAISE(ABORT, 'refused'); END;";
        ASSERT_EQ(sqlite3_exec(db, schema, nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
        sqlite3_close(db);
    }
    auto suite = std::make_shared<platform::UserDefaults>(
        platform::DefaultsDatabase::open(path), platform::UserDefaults::standardSuiteName);
    ASSERT_EQ(suite->objectForKey("showInMenuBar"), PropertyList(std::string("\"totalTodayDuration\"")));

    runDefaultsMigration(false, runOnceOnlyFirst(), suite);
    // What could be stored is converted; the flag stays unset, so the next launch tries again.
    EXPECT_EQ(suite->objectForKey("notificationType"), PropertyList(std::string("hud")));
    EXPECT_EQ(suite->objectForKey("showInMenuBar"), PropertyList(std::string("\"totalTodayDuration\"")));
    EXPECT_TRUE(consumed.empty());

    {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(db, "DROP TRIGGER refuse", nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(db);
    }
    runDefaultsMigration(false, runOnceOnlyFirst(), suite);
    EXPECT_EQ(suite->objectForKey("showInMenuBar"), PropertyList(std::string("totalTodayDuration")));
    EXPECT_EQ(consumed, std::set<std::string> { "migrateToDefaultsv5" });
}

TEST_F(SettingsMigrationsTest, ATargetSettingThatDoesNotReadIsCopiedAsideBeforeTheMigrationWritesIt)
{
    put("useSystemNotifications", PropertyList(true));
    put("notificationType", PropertyList(std::string("carrierPigeon")));
    put("showDurationInMenuBar", PropertyList(true));
    put("showInMenuBar", PropertyList(std::int64_t { 42 }));
    migrateUseSystemNotificationSetting(false);
    migrateShowDurationInMenuBarSetting(false);
    EXPECT_EQ(stored("notificationType"), PropertyList(std::string("systemNotification")));
    EXPECT_EQ(stored("showInMenuBar"), PropertyList(std::string("currentSessionDuration")));

    std::map<std::string, PropertyList> backups;
    for (const auto& [key, value] : store()->dictionaryRepresentation()) {
        if (key.find(".unreadable-") != std::string::npos) {
            backups.emplace(key.substr(0, key.find(".unreadable-")), value);
        }
    }
    ASSERT_EQ(backups.size(), 2U);
    EXPECT_EQ(backups.at("notificationType"), PropertyList(std::string("carrierPigeon")));
    EXPECT_EQ(backups.at("showInMenuBar"), PropertyList(std::int64_t { 42 }));
}

// Another program holds the settings file at start: the conversion would see none of the settings
// of earlier versions. It neither runs nor counts as done; the first start that reads the file
// converts them.
TEST_F(SettingsMigrationsTest, TheConversionWaitsForAStartThatCanReadTheSettings)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const std::string path = folder.filePath("defaults.sqlite3").toStdString();
    {
        auto database = platform::DefaultsDatabase::open(path);
        ASSERT_TRUE(database->setValue(platform::UserDefaults::standardSuiteName, "notificationType",
            PropertyList(std::string("\"hud\""))));
    }
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open_v2(path.c_str(), &other, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "PRAGMA journal_mode=DELETE; BEGIN EXCLUSIVE", nullptr, nullptr, nullptr),
        SQLITE_OK);
    auto held = std::make_shared<platform::UserDefaults>(
        platform::DefaultsDatabase::open(path, { .busyTimeoutMilliseconds = 0 }),
        platform::UserDefaults::standardSuiteName);
    ASSERT_TRUE(held->isWaitingForFile());
    bool ran = false;
    EXPECT_FALSE(kitRunOnce(held)(defaultsV5Identifier, [&] { return ran = true; }));
    EXPECT_FALSE(ran);
    runDefaultsMigration(false, kitRunOnce(held), held);

    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close_v2(other);
    ASSERT_TRUE(held->retryWaitingForFile());
    ASSERT_FALSE(held->isWaitingForFile());
    EXPECT_FALSE(zk::hasRunOnce(defaultsV5Identifier, held));
    runDefaultsMigration(false, kitRunOnce(held), held);
    EXPECT_EQ(held->objectForKey("notificationType"), PropertyList(std::string("hud")));
    EXPECT_TRUE(zk::hasRunOnce(defaultsV5Identifier, held));
}

// The start-up conversion reads the older text of each enumeration through its Codable twin: the
// JSON text of a raw value, and exactly the raw values of the enumeration.
TEST_F(SettingsMigrationsTest, TheCodableTwinsHaveExactlyTheRawValuesOfTheirEnumerations)
{
    const auto twinOf = [](const std::string& raw, auto codable) -> std::optional<std::string> {
        using Twin = decltype(codable);
        const auto decoded = Defaults::JsonCoding<Twin>::decode(platform::JsonValue(raw));
        if (!decoded) {
            return std::nullopt;
        }
        EXPECT_EQ(Defaults::JsonCoding<Twin>::encode(*decoded), platform::JsonValue(raw));
        return std::string(rawValue(Defaults::CodableType<Twin>::toNativeForm(*decoded)));
    };
    for (const auto value : kiruvo::allCases<kiruvo::ShowInMenuBar>()) {
        const std::string raw = kiruvo::rawValueString(value);
        EXPECT_EQ(twinOf(raw, kiruvo::CodableShowInMenuBar {}), raw);
    }
    for (const auto value : kiruvo::allCases<kiruvo::NotificationType>()) {
        const std::string raw = kiruvo::rawValueString(value);
        EXPECT_EQ(twinOf(raw, kiruvo::CodableNotificationType {}), raw);
    }
    for (const auto sound : zk::allMacSystemSounds) {
        const std::string raw(zk::rawValue(sound));
        EXPECT_EQ(twinOf(raw, kiruvo::CodableMacSystemSound {}), raw);
    }
    EXPECT_EQ(twinOf("Hud", kiruvo::CodableNotificationType {}), std::nullopt);
    EXPECT_EQ(twinOf("Trumpet", kiruvo::CodableMacSystemSound {}), std::nullopt);
    static_assert(std::is_same_v<Defaults::NativeType<kiruvo::NotificationType>::CodableForm,
        kiruvo::CodableNotificationType>);
    static_assert(std::is_same_v<Defaults::NativeType<std::optional<zk::MacSystemSound>>::CodableForm,
        kiruvo::CodableMacSystemSound>);
}
