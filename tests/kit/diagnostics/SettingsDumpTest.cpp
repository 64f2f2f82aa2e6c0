#include "kit/diagnostics/SettingsDump.h"

#include "DiagnosticsFixture.h"

using namespace zk;
using platform::PropertyList;

class SettingsDumpTest : public DiagnosticsFixture { };

TEST_F(SettingsDumpTest, HidesPlatformKeysAndPutsTheKitsKeysFirst)
{
    suite->setObject(PropertyList(3), "sessions");
    suite->setObject(PropertyList(600.0), "notifyInterval");
    suite->setObject(PropertyList(true), "enableAtLaunch");
    suite->setObject(PropertyList(platform::PropertyListDictionary {}), "__securityScopedBookmarks__");
    suite->setObject(PropertyList(2), "ZK_launchCount");
    suite->setObject(PropertyList("200"), "NSShowAllDrawing");
    suite->setObject(PropertyList(1), "ILMediaThing");
    suite->setObject(PropertyList(1), "MSAppCenterX");
    suite->setObject(PropertyList(1), "pastDevicesKey");
    suite->setObject(PropertyList(1), "Zebra");
    // Registered defaults are not stored values.
    suite->registerDefaults({ { "registered", PropertyList(1) } });

    const SettingsDump dump = settingsDump(*suite);
    std::vector<std::string> keys;
    for (const auto& entry : dump) {
        keys.push_back(entry.first);
    }
    EXPECT_EQ(keys,
        (std::vector<std::string> { "ZK_launchCount", "__securityScopedBookmarks__", "Zebra",
            "enableAtLaunch", "notifyInterval", "sessions" }));
    EXPECT_EQ(keyValueLines(dump),
        "ZK_launchCount: 2\n__securityScopedBookmarks__: {}\nZebra: 1\nenableAtLaunch: true\nnotifyInterval: "
        "600\n"
        "sessions: 3");
}

TEST_F(SettingsDumpTest, DisplayValuesOfEveryStoredKind)
{
    const platform::Locale english("en_US");
    EXPECT_EQ(debugDisplayValue(PropertyList(true), english), PropertyList(true));
    EXPECT_EQ(debugDisplayValue(PropertyList(1), english), PropertyList(1));
    EXPECT_EQ(debugDisplayValue(PropertyList(600.0), english), PropertyList(600));
    EXPECT_EQ(debugDisplayValue(PropertyList(0.125), english), PropertyList(0.13));
    EXPECT_EQ(debugDisplayValue(PropertyList(2.5), english), PropertyList(2.5));
    EXPECT_EQ(debugDisplayValue(PropertyList(-0.125), english), PropertyList(-0.13));
    EXPECT_EQ(debugDisplayValue(PropertyList(1e300), english), PropertyList(1e300));
    EXPECT_EQ(debugDisplayValue(PropertyList(platform::Bytes(1500)), english), PropertyList("<Data: 2 KB>"));
    EXPECT_EQ(debugDisplayValue(PropertyList(platform::Bytes {}), english), PropertyList("<Data: Zero KB>"));
    const PropertyList date(platform::Date(0));
    EXPECT_EQ(debugDisplayValue(date, english), date);
    EXPECT_EQ(debugDisplayValue(PropertyList("x"), english), PropertyList("x"));
}

TEST_F(SettingsDumpTest, OnlyPlatformKeysGiveAnEmptyDump)
{
    suite->setObject(PropertyList(true), "NSShowAllViews");
    EXPECT_TRUE(settingsDump(*suite).empty());
    EXPECT_EQ(keyValueLines({}), "");
}

TEST_F(SettingsDumpTest, TheStandardSuiteComesFirstThenTheExtraOnes)
{
    auto other = platform::UserDefaults::suite("other.suite");
    addDebugExtraSuite(other, "");
    const auto suites = debugSuites();
    clearDebugExtraSuites();
    ASSERT_EQ(suites.size(), 2u);
    EXPECT_EQ(suites[0].title, "Standard");
    EXPECT_EQ(suites[0].name, "com.zelvantorium.Kiruvo");
    EXPECT_EQ(suites[1].title, "<Unknown>");
    EXPECT_EQ(suites[1].name, "other.suite");
    EXPECT_EQ(debugSuites().size(), 1u);
}
