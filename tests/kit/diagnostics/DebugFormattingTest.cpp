#include "kit/diagnostics/DebugFormatting.h"
#include "kit/diagnostics/SystemInfo.h"

#include <gtest/gtest.h>

using namespace zk;
using platform::Locale;
using platform::PropertyList;

TEST(DebugFormatting, RunningTimeIsNarrowAndLeavesOutZeroUnits)
{
    const Locale english("en_US");
    EXPECT_EQ(narrowDurationText(3912, english), "1h 5m 12s");
    EXPECT_EQ(narrowDurationText(3600 + 12, english), "1h 12s");
    EXPECT_EQ(narrowDurationText(0.4, english), "0s");
    EXPECT_EQ(narrowDurationText(2 * 86400 + 3 * 3600, english), "2d 3h");
    EXPECT_EQ(narrowDurationText(-1, english), std::nullopt);
    EXPECT_EQ(narrowDurationText(std::numeric_limits<double>::infinity(), english), std::nullopt);
}

TEST(DebugFormatting, DescriptionsKeepTheStoredKindsApart)
{
    EXPECT_EQ(debugDescription(PropertyList(true)), "true");
    EXPECT_EQ(debugDescription(PropertyList(1)), "1");
    EXPECT_EQ(debugDescription(PropertyList(0.125)), "0.125");
    EXPECT_EQ(debugDescription(PropertyList(600.0)), "600");
    EXPECT_EQ(debugDescription(PropertyList("text")), "text");
    // 2024-05-01 10:00:00 UTC.
    EXPECT_EQ(debugDescription(PropertyList(platform::Date(1714557600.0 - platform::Date::unixOffset))),
        "2024-05-01 10:00:00 +0000");
    EXPECT_EQ(debugDescription(PropertyList(platform::Bytes { 1, 2, 3 })), "<Data: 3 bytes>");
    EXPECT_EQ(
        debugDescription(PropertyList(platform::PropertyListArray { PropertyList(1), PropertyList("a") })),
        "(1, \"a\")");
    EXPECT_EQ(
        debugDescription(PropertyList(platform::PropertyListDictionary { { "k", PropertyList(false) } })),
        "{k = false; }");
}

TEST(SystemInfo, ReadingsOfTheMachinesTexts)
{
    using namespace SystemInfo;
    EXPECT_EQ(osVersionFromRelease("6.1.0-18-amd64"), "6.1.0");
    EXPECT_EQ(osVersionFromRelease("5.15"), "5.15.0");
    EXPECT_EQ(osVersionFromRelease("6.8.9+rpt"), "6.8.9");
    EXPECT_EQ(osVersionFromRelease(""), "0.0.0");

    EXPECT_EQ(prettyNameFromOsRelease(
                  "NAME=\"Debian GNU/Linux\"\nPRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n"),
        "Debian GNU/Linux 12 (bookworm)");
    EXPECT_EQ(prettyNameFromOsRelease("PRETTY_NAME=Arch\\ Linux"), "Arch Linux");
    EXPECT_EQ(prettyNameFromOsRelease("NAME=x\n"), std::nullopt);
    EXPECT_EQ(prettyNameFromOsRelease("PRETTY_NAME=\"\xff\xfe\""), std::nullopt);

    EXPECT_EQ(hardwareModelFrom("LENOVO\n", "20XW0026GE\n", std::nullopt), "LENOVO 20XW0026GE");
    EXPECT_EQ(hardwareModelFrom("Dell Inc.", "Dell Inc. XPS 13", std::nullopt), "Dell Inc. XPS 13");
    EXPECT_EQ(
        hardwareModelFrom("QEMU", "To be filled by O.E.M.", std::string("Raspberry Pi 4 Model B\0", 23)),
        "Raspberry Pi 4 Model B");
    EXPECT_EQ(hardwareModelFrom(std::nullopt, std::nullopt, std::string("\xc3\x28", 2)), std::nullopt);
    EXPECT_EQ(hardwareModelFrom(std::nullopt, std::nullopt, std::nullopt), std::nullopt);

    EXPECT_EQ(architectureFromMachine(std::string_view("x86_64\0\0\0", 9)), "x86_64");
    EXPECT_EQ(architectureFromMachine(std::string_view("\0\0", 2)), std::nullopt);
    EXPECT_EQ(architectureFromMachine("arm\xe4"), std::nullopt);

    // The live values always have their shapes.
    EXPECT_TRUE(osDescription().starts_with("Linux "));
    EXPECT_FALSE(architecture().empty());
    EXPECT_FALSE(hardwareModel().empty());
}
