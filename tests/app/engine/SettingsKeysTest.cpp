#include "app/SessionEngineFixture.h"

using platform::PropertyList;

namespace {

class SettingsKeysTest : public SessionEngineTest {
protected:
    void SetUp() override
    {
        SessionEngineTest::SetUp();
        kiruvo::Keys::registerAll();
    }
};

} // namespace

TEST_F(SettingsKeysTest, AFreshStoreReadsTheDefaults)
{
    using namespace kiruvo;
    EXPECT_EQ(Defaults::get(Keys::idleDurationBeforeStop()).seconds, 600);
    EXPECT_EQ(Defaults::get(Keys::showInMenuBar()), ShowInMenuBar::currentSessionDuration);
    EXPECT_EQ(Defaults::get(Keys::notificationType()), NotificationType::popover);
    EXPECT_EQ(Defaults::get(Keys::menuBarIcon()), MenuBarIcon::heart);
    EXPECT_TRUE(Defaults::get(Keys::dimMenuBarItemWhileDisabled()));
    EXPECT_TRUE(Defaults::get(Keys::enableAtLaunch()));
    EXPECT_FALSE(Defaults::get(Keys::notificationHapticFeedback()));
    EXPECT_FALSE(Defaults::get(Keys::toggleEnabledWithLeftClick()));
    EXPECT_TRUE(Defaults::get(Keys::showDurationInMenuBar()));
    EXPECT_FALSE(Defaults::get(Keys::useSystemNotifications()));
    EXPECT_TRUE(Defaults::get(Keys::sessions()).empty());
    EXPECT_FALSE(Defaults::get(Keys::notifyInterval()));
    EXPECT_FALSE(Defaults::get(Keys::notificationSound()));
    EXPECT_FALSE(Defaults::get(Keys::notificationRunShortcut()));
    EXPECT_FALSE(Defaults::get(Keys::menuBarTextVerticalAlignmentOffset()));
}

TEST_F(SettingsKeysTest, DefaultsAreRegisteredInTheirStoredForms)
{
    const auto registered = store()->dictionaryRepresentation();
    EXPECT_EQ(registered.at("idleDurationBeforeStop"), PropertyList(std::string("600")));
    EXPECT_EQ(registered.at("showInMenuBar"), PropertyList(std::string("currentSessionDuration")));
    EXPECT_EQ(registered.at("notificationType"), PropertyList(std::string("popover")));
    EXPECT_EQ(registered.at("menuBarIcon"), PropertyList(std::string("heart")));
    EXPECT_EQ(registered.at("sessions"), PropertyList(platform::PropertyListArray {}));
    EXPECT_EQ(registered.at("enableAtLaunch"), PropertyList(true));
    for (const char* optional : { "notifyInterval", "notificationSound", "notificationRunShortcut",
             "menuBarTextVerticalAlignmentOffset" }) {
        EXPECT_EQ(registered.count(optional), 0u) << optional;
    }
}

TEST_F(SettingsKeysTest, ValuesAreStoredInTheirCurrentForms)
{
    using namespace kiruvo;
    Defaults::set(Keys::notificationSound(), std::optional(zk::MacSystemSound::glass));
    EXPECT_EQ(store()->objectForKey("notificationSound"), PropertyList(std::string("Glass")));
    EXPECT_EQ(Defaults::get(Keys::notificationSound()), zk::MacSystemSound::glass);

    Defaults::set(Keys::notifyInterval(), std::optional(zk::Duration::minutes(30)));
    EXPECT_EQ(store()->objectForKey("notifyInterval"), PropertyList(std::string("1800")));

    const auto id = *platform::Uuid::parse("E621E1F8-C36C-495A-93FC-0C247A3E6E5F");
    Defaults::set(Keys::notificationRunShortcut(), std::optional(id));
    EXPECT_EQ(store()->objectForKey("notificationRunShortcut"),
        PropertyList(std::string("E621E1F8-C36C-495A-93FC-0C247A3E6E5F")));
    Defaults::set(Keys::notificationRunShortcut(), std::optional<platform::Uuid>());
    EXPECT_FALSE(store()->objectForKey("notificationRunShortcut"));

    Defaults::set(Keys::notificationType(), NotificationType::hud);
    EXPECT_EQ(store()->objectForKey("notificationType"), PropertyList(std::string("hud")));
}

TEST_F(SettingsKeysTest, AStoredSessionTextReadsAsItsFirstObject)
{
    const auto one = session(platform::Date(700000000), platform::Date(700000600));
    const auto two = session(platform::Date(700001000), platform::Date(700001600));
    EXPECT_EQ(kiruvo::sessionFromStoredText(one.jsonText()), one);
    EXPECT_EQ(kiruvo::sessionFromStoredText(one.jsonText() + "," + two.jsonText()), one);
    EXPECT_FALSE(kiruvo::sessionFromStoredText(""));
    EXPECT_FALSE(kiruvo::sessionFromStoredText("{}"));
    // The same zone text decodes the same way a second time, from the zone cache.
    EXPECT_EQ(kiruvo::sessionFromStoredText(two.jsonText()), two);
    const std::string unknownZone
        = R"({"id":"E621E1F8-C36C-495A-93FC-0C247A3E6E5F","dateRange":[1,2],"timeZone":{"identifier":"Mars/Olympus"}})";
    EXPECT_FALSE(kiruvo::sessionFromStoredText(unknownZone));
    EXPECT_FALSE(kiruvo::sessionFromStoredText(unknownZone));
    const std::string backwards
        = R"({"id":"E621E1F8-C36C-495A-93FC-0C247A3E6E5F","dateRange":[2,1],"timeZone":{"identifier":"Europe\/Oslo"}})";
    EXPECT_FALSE(kiruvo::sessionFromStoredText(backwards));
}

TEST_F(SettingsKeysTest, StoredTimingsAndOffsetsOutsideTheirRangeReadAsTheDefaultAndStayStored)
{
    using namespace kiruvo;
    // A value in range read first: what an earlier reading refused is forgotten with it.
    store()->setObject(PropertyList(std::string("1")), "idleDurationBeforeStop");
    store()->setObject(PropertyList(std::string("1")), "notifyInterval");
    EXPECT_EQ(Defaults::get(Keys::idleDurationBeforeStop()).seconds, 1);
    EXPECT_EQ(Defaults::get(Keys::notifyInterval())->seconds, 1);

    for (const char* idle : { "0", "-5", "0.5", "-1e300" }) {
        store()->setObject(PropertyList(std::string(idle)), "idleDurationBeforeStop");
        EXPECT_EQ(Defaults::get(Keys::idleDurationBeforeStop()).seconds, 600) << idle;
        EXPECT_EQ(store()->objectForKey("idleDurationBeforeStop"), PropertyList(std::string(idle)));
    }
    store()->setObject(PropertyList(std::string("1")), "idleDurationBeforeStop");
    EXPECT_EQ(Defaults::get(Keys::idleDurationBeforeStop()).seconds, 1);

    for (const char* interval : { "0.001", "0", "-60" }) {
        store()->setObject(PropertyList(std::string(interval)), "notifyInterval");
        EXPECT_FALSE(Defaults::get(Keys::notifyInterval())) << interval;
        EXPECT_EQ(store()->objectForKey("notifyInterval"), PropertyList(std::string(interval)));
    }
    store()->setObject(PropertyList(std::string("1")), "notifyInterval");
    EXPECT_EQ(Defaults::get(Keys::notifyInterval())->seconds, 1);

    for (double offset : { 1e9, -23.0, 1e300 }) {
        store()->setObject(PropertyList(offset), "menuBarTextVerticalAlignmentOffset");
        EXPECT_FALSE(Defaults::get(Keys::menuBarTextVerticalAlignmentOffset())) << offset;
    }
    for (double offset : { -22.0, 0.0, 3.5, 22.0 }) {
        store()->setObject(PropertyList(offset), "menuBarTextVerticalAlignmentOffset");
        EXPECT_EQ(Defaults::get(Keys::menuBarTextVerticalAlignmentOffset()), offset);
    }
    // Each refused value is reported once, not at every read.
    EXPECT_EQ(reportsContaining("is outside its range"), 10);

    // Stored again after a value in range, the same refused value is a new one to report.
    store()->setObject(PropertyList(std::string("1")), "notifyInterval");
    EXPECT_EQ(Defaults::get(Keys::notifyInterval())->seconds, 1);
    store()->setObject(PropertyList(std::string("-60")), "notifyInterval");
    EXPECT_FALSE(Defaults::get(Keys::notifyInterval()));
    EXPECT_EQ(reportsContaining("is outside its range"), 11);
}

TEST_F(SettingsKeysTest, AnIdleThresholdOfZeroNoLongerStopsAllTracking)
{
    store()->setObject(PropertyList(std::string("0")), "idleDurationBeforeStop");
    store()->setObject(PropertyList(std::string("0.001")), "notifyInterval");
    controller().setEnabled(true);
    EXPECT_EQ(controller().idleDurationBeforeStop().seconds, 600);
    idle.source.setAll(5);
    controller().checkIdle();
    EXPECT_TRUE(controller().currentSession());
    EXPECT_FALSE(controller().notifyTimerInterval());
}
