#include "kit/diagnostics/DebugInfo.h"

#include "DiagnosticsFixture.h"

using namespace zk;
using platform::PropertyList;

namespace {

DebugInfoFacts sampleFacts()
{
    DebugInfoFacts facts;
    facts.appName = "Kiruvo";
    facts.versionWithBuild = "1.4 (140)";
    facts.bundleIdentifier = "com.zelvantorium.Kiruvo";
    facts.runningTime = "1h 5m 12s";
    facts.memoryUsage = 54'840'524;
    facts.launchCount = 7;
    facts.osDescription = "Linux 6.1.0 (Debian GNU/Linux 12 (bookworm))";
    facts.hardwareModel = "LENOVO 20XW0026GE";
    facts.architecture = "x86_64";
    facts.localeIdentifier = "en_US";
    facts.languageName = "English";
    facts.screenCount = 2;
    facts.primaryScreenScale = 2.75;
    return facts;
}

} // namespace

class DebugInfoTest : public DiagnosticsFixture {
protected:
    void TearDown() override
    {
        clearDebugInfoFields();
        DiagnosticsFixture::TearDown();
    }
};

TEST_F(DebugInfoTest, TheTextByteForByteWithEveryStoredKind)
{
    suite->setObject(PropertyList(true), "enableAtLaunch");
    suite->setObject(PropertyList(1), "ZK_launchCount");
    suite->setObject(PropertyList(0.125), "ratio");
    suite->setObject(PropertyList(600.0), "notifyInterval");
    suite->setObject(PropertyList(platform::Date(1714557600.0 - platform::Date::unixOffset)), "when");
    suite->setObject(PropertyList(platform::Bytes(2048)), "blob");
    suite->setObject(PropertyList("plain"), "name");
    suite->setObject(
        PropertyList(platform::PropertyListArray { PropertyList(1), PropertyList("a") }), "list");
    suite->setObject(PropertyList(true), "NSShowAllViews");

    DebugInfoFacts facts = sampleFacts();
    facts.settings = settingsDump(*suite);
    facts.customValues = { { "lastError", "none" } };
    facts.logLines
        = { "\"Session start\"\n\t[start() in SessionController:12]\n\t2024-05-01 10:00:00 +0000\n",
              "second\n" };

    EXPECT_EQ(debugInfoText(facts),
        "# Kiruvo 1.4 (140)\n"
        "\n"
        "Bundle Identifier: com.zelvantorium.Kiruvo\n"
        "Running Time: 1h 5m 12s\n"
        "Memory Usage: 52.3 MB\n"
        "Launch Count: 7\n"
        "\n"
        "# Device\n"
        "\n"
        "OS: Linux 6.1.0 (Debian GNU/Linux 12 (bookworm))\n"
        "Model: LENOVO 20XW0026GE\n"
        "Architecture: x86_64\n"
        "Locale: en_US (English)\n"
        "Screens: 2\n"
        "Primary Screen Scale: 2\n"
        "\n"
        "# Settings\n"
        "\n"
        "ZK_launchCount: 1\n"
        "blob: <Data: 2 KB>\n"
        "enableAtLaunch: true\n"
        "list: (1, \"a\")\n"
        "name: plain\n"
        "notifyInterval: 600\n"
        "ratio: 0.13\n"
        "when: 2024-05-01 10:00:00 +0000\n"
        "\n"
        "# Custom\n"
        "\n"
        "lastError: none\n"
        "\n"
        "# Logs\n"
        "\n"
        "```\n"
        "\"Session start\"\n\t[start() in SessionController:12]\n\t2024-05-01 10:00:00 +0000\n"
        "second\n"
        "```");
}

TEST_F(DebugInfoTest, PlaceholdersForWhatIsMissing)
{
    DebugInfoFacts facts = sampleFacts();
    facts.memoryUsage.reset();
    facts.languageName.reset();
    facts.screenCount = 0;
    facts.primaryScreenScale = 0;
    facts.runningTime = "";
    const std::string text = debugInfoText(facts);
    EXPECT_NE(text.find("Memory Usage: <Unavailable>\n"), std::string::npos);
    EXPECT_NE(
        text.find("Locale: en_US (<Unknown>)\nScreens: 0\nPrimary Screen Scale: 0\n"), std::string::npos);
    EXPECT_NE(text.find("Running Time: \n"), std::string::npos);
    // No settings, no custom values, no log lines.
    EXPECT_TRUE(text.ends_with("# Settings\n\n<Empty>\n\n# Custom\n\n\n\n# Logs\n\n```\n<Empty>\n```"))
        << text;
}

TEST_F(DebugInfoTest, TheFieldsForTheFeedbackForm)
{
    DebugInfoFacts facts = sampleFacts();
    EXPECT_EQ(debugInfoFields(facts),
        "App: Kiruvo 1.4 (140)\n"
        "Bundle Identifier: com.zelvantorium.Kiruvo\n"
        "OS: Linux 6.1.0 (Debian GNU/Linux 12 (bookworm))\n"
        "Model: LENOVO 20XW0026GE\n"
        "Architecture: x86_64\n"
        "Locale: en_US (English)\n"
        "Screens: 2\n"
        "Primary Screen Scale: 2\n"
        "App Memory Usage: 52.3 MB");

    registerDebugInfoField("Model", [] { return std::string("replaced"); });
    registerDebugInfoField("Extra", [] { return std::string("appended"); });
    const std::string fields = debugInfoFields(facts);
    EXPECT_NE(fields.find("\nModel: replaced\nArchitecture:"), std::string::npos);
    EXPECT_TRUE(fields.ends_with("App Memory Usage: 52.3 MB\nExtra: appended"));
}

TEST_F(DebugInfoTest, TheLiveFactsComeFromTheRunningApplication)
{
    platform::DebugLog::setEnabled(true);
    platform::DebugLog::append("a line");
    suite->setObject(PropertyList(5), "ZK_launchCount");
    const DebugInfoFacts facts = DebugInfoFacts::current();
    EXPECT_EQ(facts.bundleIdentifier, "com.zelvantorium.Kiruvo");
    EXPECT_EQ(facts.localeIdentifier, "en_US");
    EXPECT_EQ(facts.languageName, "English");
    EXPECT_GE(facts.screenCount, 1);
    ASSERT_EQ(facts.logLines.size(), 1u);
    EXPECT_TRUE(facts.logLines[0].starts_with("a line\t"));
    // The kit's keys lead the dump.
    const auto launchCount = std::find_if(facts.settings.begin(), facts.settings.end(),
        [](const auto& entry) { return entry.first == "ZK_launchCount"; });
    ASSERT_NE(launchCount, facts.settings.end());
    EXPECT_TRUE(std::all_of(facts.settings.begin(), launchCount,
        [](const auto& entry) { return entry.first.starts_with("ZK_") || entry.first.starts_with("__"); }));
    EXPECT_TRUE(facts.memoryUsage.has_value());
    EXPECT_TRUE(debugInfoText().starts_with("# Kiruvo "));
}

TEST(DebugInfoMemory, ResidentMemoryFromTheProcessStatus)
{
    EXPECT_EQ(
        residentMemoryFromStatus("Name:\tkiruvo\nVmPeak:\t  9000 kB\nVmRSS:\t   53556 kB\nRssAnon: 1 kB\n"),
        53556 * 1024);
    EXPECT_EQ(residentMemoryFromStatus("VmRSS: 4 kB\n"), 4096);
    EXPECT_EQ(residentMemoryFromStatus("Name: x\n"), std::nullopt);
    EXPECT_EQ(residentMemoryFromStatus("VmRSS: lots\n"), std::nullopt);
    EXPECT_EQ(residentMemoryFromStatus("VmRSS: 99999999999999999999 kB\n"), std::nullopt);
    EXPECT_EQ(formattedAppMemoryUsage(std::nullopt), "<Unavailable>");
    EXPECT_EQ(formattedAppMemoryUsage(0), "Zero KB");
}
