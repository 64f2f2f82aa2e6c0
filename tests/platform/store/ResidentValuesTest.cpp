#include "platform/store/ResidentValues.h"

#include "platform/Logger.h"
#include "support/TestErrorReporter.h"

#include <gtest/gtest.h>

#include <thread>

using namespace platform;

namespace {

StoredValue value(PropertyList list)
{
    return std::make_shared<const PropertyList>(std::move(list));
}

class ResidentValuesTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_reporter.isValid()); }

    const std::string m_path = "/nowhere/defaults.sqlite3";
    ResidentValues m_values { m_path };
    LogCapture m_log;
    TestErrorReporter m_reporter;
};

} // namespace

// Long rows are decoded by their first reader, once, whichever threads read them together; one
// that does not decode reads as nothing, is reported once and keeps its text.
TEST_F(ResidentValuesTest, LongRowsAreDecodedOnceWhenFirstRead)
{
    m_values.adopt({ { "s", { { "small", value(1) } } } }, {},
        { { "s", { { "long", "[1,2,3]" }, { "broken", "[1," } } } });
    EXPECT_TRUE(m_values.find("s", "small").stored);
    EXPECT_FALSE(m_values.find("s", "long").stored) << "not decoded before it is read";

    std::vector<StoredValue> seen(4);
    std::vector<std::thread> readers;
    for (auto& slot : seen) {
        readers.emplace_back([&] {
            m_values.settle("s", nullptr);
            slot = m_values.copyOf("s", "long")->held;
        });
    }
    for (auto& reader : readers) {
        reader.join();
    }
    ASSERT_TRUE(seen.front());
    EXPECT_EQ(*seen.front(), PropertyList(PropertyListArray { 1, 2, 3 }));
    for (const auto& each : seen) {
        EXPECT_EQ(each, seen.front()) << "one decode, shared by every reader";
    }
    EXPECT_TRUE(m_values.copyOf("s", "long")->large);
    EXPECT_FALSE(m_values.find("s", "broken").stored);
    EXPECT_EQ(m_values.unreadableText("s", "broken"), "[1,");
    m_values.settle("s", nullptr);
    EXPECT_EQ(m_log.countContaining("\"broken\" of suite \"s\" in " + m_path + " could not be read"), 1);
}

// A long value is lent to its first reader and lives only as long as someone holds it; then it must
// be read again. Once the file is closed it stays held, and closing holds again every one a reader
// still has.
TEST_F(ResidentValuesTest, ALongValueIsLentWhileHeldAndKeptOnceTheFileCloses)
{
    m_values.adopt({}, {}, { { "s", { { "history", "[1]" } } } });
    m_values.settle("s", nullptr);
    auto first = m_values.lend("s", "history", true);
    ASSERT_TRUE(first.done);
    ASSERT_TRUE(first.value);
    EXPECT_EQ(m_values.copyOf("s", "history")->held, nullptr);
    EXPECT_EQ(m_values.find("s", "history").value, first.value);
    first.value.reset();
    EXPECT_FALSE(m_values.lend("s", "history", true).done) << "nobody holds it: read from the file";
    std::vector<std::string> notHeld;
    EXPECT_TRUE(m_values.valuesOf("s", notHeld).empty());
    EXPECT_EQ(notHeld, std::vector<std::string> { "history" });

    const auto reread = value(PropertyListArray { 1 });
    m_values.tookRead("s", "history", reread);
    EXPECT_EQ(m_values.lend("s", "history", true).value, reread);
    EXPECT_TRUE(m_values.holdLargeValues().empty()) << "a reader still holds it";
    EXPECT_EQ(m_values.copyOf("s", "history")->held, reread);

    m_values.adopt({}, {}, { { "s", { { "gone", "[2]" } } } });
    m_values.settle("s", nullptr);
    EXPECT_EQ(m_values.lend("s", "gone", false).value, m_values.copyOf("s", "gone")->held)
        << "no file to read it again from: it stays held";
    m_values.tookRead("s", "gone", nullptr);
    EXPECT_FALSE(m_values.find("s", "gone").stored) << "a row another program removed";
}

// The name a backup takes is none that the suite holds, as a value, an unreadable text or a row not
// decoded yet.
TEST_F(ResidentValuesTest, ABackupKeyIsFreeOfEveryNameTheSuiteHolds)
{
    const std::string now = std::to_string(std::time(nullptr));
    m_values.adopt({ { "s", { { "k.unreadable-" + now, value(1) } } } },
        { { "s", { { "k.unreadable-" + now + "-2", "x" } } } },
        { { "s", { { "k.unreadable-" + now + "-3", "[1]" } } } });
    const auto key = m_values.freeBackupKey("s", "k");
    if (key.find(now) != std::string::npos) {
        EXPECT_EQ(key, "k.unreadable-" + now + "-4");
    }
    // A second later the plain name of that second is free; none of the taken ones ever is.
    EXPECT_NE(key, "k.unreadable-" + now);
    EXPECT_NE(key, "k.unreadable-" + now + "-2");
    EXPECT_NE(key, "k.unreadable-" + now + "-3");
    EXPECT_EQ(m_values.freeBackupKey("other", "k").rfind("k.unreadable-", 0), 0u);
}

// Writes kept beside the file read over what the file holds: a removal hides the stored value, a
// row that did not decode gives way, and a kept text that does not decode is passed over.
TEST_F(ResidentValuesTest, KeptWritesReadOverTheFile)
{
    m_values.adopt({ { "s", { { "a", value(1) }, { "b", value(2) }, { "c", value(3) } } } },
        { { "s", { { "broken", "[1," } } } }, { { "s", { { "long", "[4]" } } } });
    using Basis = PendingJournal::Basis;
    m_values.overlay({ { 1, "s", "a", "10", Basis::Known, "1" },
        { 2, "s", "b", std::nullopt, Basis::Known, "2" }, { 3, "s", "c", "[not json", Basis::Known, "3" },
        { 4, "s", "broken", "5", Basis::Blind, std::nullopt },
        { 5, "s", "long", "6", Basis::Blind, std::nullopt } });
    EXPECT_EQ(*m_values.find("s", "a").value, PropertyList(10));
    EXPECT_FALSE(m_values.find("s", "b").stored);
    EXPECT_EQ(*m_values.find("s", "c").value, PropertyList(3));
    EXPECT_EQ(m_values.unreadableText("s", "broken"), std::nullopt);
    EXPECT_EQ(*m_values.find("s", "broken").value, PropertyList(5));
    m_values.settle("s", nullptr);
    EXPECT_EQ(*m_values.find("s", "long").value, PropertyList(6)) << "the kept write, not the older row";
}

// A write gives its listeners what was there before (the long value they were given, for a long
// one); its backup of an unreadable text takes the text's place.
TEST_F(ResidentValuesTest, AWriteGivesBackWhatItReplaced)
{
    m_values.adopt({ { "s", { { "small", value(1) } } } }, { { "s", { { "broken", "[1," } } } }, {});
    EXPECT_EQ(*m_values.replace("s", "small", value(2), false, nullptr, std::nullopt), PropertyList(1));
    EXPECT_EQ(m_values.replace("s", "new", value(3), false, nullptr, std::nullopt), nullptr);

    const auto big = value(PropertyListArray { 1, 2 });
    EXPECT_EQ(m_values.replace("s", "big", big, true, nullptr, std::nullopt), nullptr);
    EXPECT_EQ(m_values.copyOf("s", "big")->held, nullptr) << "lent: its writer holds it";
    const auto before = value(7);
    EXPECT_EQ(m_values.replace("s", "big", nullptr, false, before, std::nullopt), before);
    EXPECT_FALSE(m_values.find("s", "big").stored);

    m_values.replace(
        "s", "broken", value(4), false, nullptr, std::pair(std::string("broken.unreadable-1"), value("[1,")));
    EXPECT_EQ(m_values.unreadableText("s", "broken"), std::nullopt);
    EXPECT_EQ(*m_values.find("s", "broken.unreadable-1").value, PropertyList("[1,"));
}

// What the file holds after kept writes went in: changed values are told with what was there, a
// long one written unchanged is only lent from then on, and each backup is described.
TEST_F(ResidentValuesTest, TheFileAfterAReplayIsTakenOverAndItsChangesTold)
{
    m_values.adopt(
        { { "s", { { "count", value(1) }, { "history", value(PropertyListArray { 1 }) } } } }, {}, {});
    ResidentValues::Replayed joined { "s", "count", true, value(5), std::nullopt, "", false };
    ResidentValues::Replayed written { "s", "history", false, nullptr, std::nullopt, "history.unreadable-1",
        true };
    std::vector<std::string> reports;
    const auto changes = m_values.takeReplayed({ joined, written }, reports);
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0].key, "count");
    EXPECT_EQ(*changes[0].oldValue, PropertyList(1));
    EXPECT_EQ(*changes[0].newValue, PropertyList(5));
    EXPECT_EQ(*m_values.find("s", "count").value, PropertyList(5));
    const auto history = m_values.copyOf("s", "history");
    EXPECT_TRUE(history->large);
    EXPECT_EQ(history->held, nullptr);
    EXPECT_TRUE(m_values.find("s", "history.unreadable-1").stored);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].find("\"history\" of suite \"s\""), std::string::npos) << reports[0];
}
