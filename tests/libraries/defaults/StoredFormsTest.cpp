#include "DefaultsTestSupport.h"

#include "kit/foundation/core/Duration.h"
#include "kit/foundation/core/PairAndEither.h"

#include <QColor>
#include <QDataStream>
#include <QUrl>

#include <cmath>
#include <limits>

using namespace defaults_test;
using platform::PropertyList;
using platform::PropertyListArray;

namespace {

class StoredForms : public DefaultsFixture { };

TEST_F(StoredForms, DurationIsStoredAsTheBareTextOfItsNumber)
{
    Defaults::Key<zk::Duration> key("idleDurationBeforeStop", zk::Duration::fromSeconds(300));
    EXPECT_EQ(stored("idleDurationBeforeStop"), PropertyList("300")); // registered default

    Defaults::set(key, zk::Duration::fromSeconds(600));
    EXPECT_EQ(stored("idleDurationBeforeStop"), PropertyList("600"));
    EXPECT_EQ(Defaults::get(key).seconds, 600);

    Defaults::set(key, zk::Duration::fromSeconds(90.5));
    EXPECT_EQ(stored("idleDurationBeforeStop"), PropertyList("90.5"));
    EXPECT_EQ(Defaults::get(key).seconds, 90.5);
}

TEST_F(StoredForms, CodableObjectKeepsMemberOrderAndEscapesSlashes)
{
    Defaults::Key<Record> key("record", Record {});
    Defaults::set(key, Record { "E621E1F8", "https://a.example/b", 12.25 });
    EXPECT_EQ(
        stored("record"), PropertyList(R"({"id":"E621E1F8","link":"https:\/\/a.example\/b","start":12.25})"));
    EXPECT_EQ(Defaults::get(key), (Record { "E621E1F8", "https://a.example/b", 12.25 }));
}

TEST_F(StoredForms, PairsAndEitherValuesAreSettingsInTheirKeyedLayouts)
{
    static_assert(Defaults::Storable<zk::Tuple2<int, std::string>>);
    static_assert(Defaults::Storable<zk::Either<int, std::string>>);

    Defaults::Key<zk::Tuple2<int, std::string>> pair("pair", { 0, "" });
    Defaults::set(pair, zk::Tuple2<int, std::string> { 1, "a/b" });
    EXPECT_EQ(stored("pair"), PropertyList(R"({"first":1,"second":"a\/b"})"));
    EXPECT_EQ(Defaults::get(pair), (zk::Tuple2<int, std::string> { 1, "a/b" }));

    using Choice = zk::Either<int, std::string>;
    Defaults::Key<std::vector<Choice>> choices("choices", {});
    const std::vector<Choice> written { Choice::left(5), Choice::right("x") };
    Defaults::set(choices, written);
    EXPECT_EQ(stored("choices"),
        PropertyList(PropertyListArray {
            PropertyList(R"({"left":{"_0":5}})"), PropertyList(R"({"right":{"_0":"x"}})") }));
    EXPECT_EQ(Defaults::get(choices), written);

    // Both cases at once is no value: the key reads as its default.
    Defaults::Key<Choice> one("one", Choice::left(0));
    suite().setObject(PropertyList(R"({"left":{"_0":1},"right":{"_0":"y"}})"), "one");
    EXPECT_EQ(Defaults::get(one), Choice::left(0));
}

TEST_F(StoredForms, ArrayOfCodableValuesIsAnArrayOfTexts)
{
    Defaults::Key<std::vector<Record>> key("sessions", {});
    std::vector<Record> records { { "a", "x/y", 1 }, { "b", "", 2 } };
    Defaults::set(key, records);
    EXPECT_EQ(stored("sessions"),
        PropertyList(PropertyListArray {
            PropertyList(R"({"id":"a","link":"x\/y","start":1})"),
            PropertyList(R"({"id":"b","link":"","start":2})"),
        }));
    EXPECT_EQ(Defaults::get(key), records);
}

TEST_F(StoredForms, CorruptedHistoryEntryIsLeftOutOfTheRead)
{
    Defaults::Key<std::vector<Record>> key("sessions", {});
    suite().setObject(PropertyList(PropertyListArray { PropertyList(R"({"id":"a","link":"","start":1})"),
                          PropertyList("{broken"), PropertyList(R"({"id":"c","link":"","start":3})") }),
        "sessions");
    auto read = Defaults::get(key);
    ASSERT_EQ(read.size(), 2u);
    EXPECT_EQ(read[0].id, "a");
    EXPECT_EQ(read[1].id, "c");
}

TEST_F(StoredForms, RawValueEnumIsStoredAsBareText)
{
    Defaults::Key<Placement> key("showInMenuBar", Placement::icon);
    EXPECT_EQ(stored("showInMenuBar"), PropertyList("icon"));
    Defaults::set(key, Placement::totalTodayDuration);
    EXPECT_EQ(stored("showInMenuBar"), PropertyList("totalTodayDuration"));
    EXPECT_EQ(Defaults::get(key), Placement::totalTodayDuration);

    // A quoted literal or another case's spelling names no case.
    suite().setObject(PropertyList("\"hud\""), "showInMenuBar");
    EXPECT_EQ(Defaults::get(key), Placement::icon);
    suite().setObject(PropertyList("Icon"), "showInMenuBar");
    EXPECT_EQ(Defaults::get(key), Placement::icon);
}

TEST_F(StoredForms, OptionalKeysRegisterNothingAndRemoveOnNothing)
{
    Defaults::Key<std::optional<Placement>> sound("notificationSound");
    EXPECT_FALSE(stored("notificationSound"));
    EXPECT_EQ(Defaults::get(sound), std::nullopt);
    Defaults::set(sound, std::optional<Placement>(Placement::icon));
    EXPECT_EQ(stored("notificationSound"), PropertyList("icon"));
    Defaults::set(sound, std::optional<Placement>());
    EXPECT_FALSE(stored("notificationSound"));

    Defaults::Key<std::optional<double>> offset("menuBarTextVerticalAlignmentOffset");
    Defaults::set(offset, std::optional<double>(-1.5));
    EXPECT_EQ(stored("menuBarTextVerticalAlignmentOffset"), PropertyList(-1.5));
    EXPECT_EQ(Defaults::get(offset), -1.5);
}

TEST_F(StoredForms, UuidIsUpperCaseTextAndAcceptsLowerCase)
{
    Defaults::Key<std::optional<platform::Uuid>> key("notificationRunShortcut");
    auto uuid = *platform::Uuid::parse("e621e1f8-c36c-495a-93fc-0c247a3e6e5f");
    Defaults::set(key, std::optional(uuid));
    EXPECT_EQ(stored("notificationRunShortcut"), PropertyList("E621E1F8-C36C-495A-93FC-0C247A3E6E5F"));

    suite().setObject(PropertyList("e621e1f8-c36c-495a-93fc-0c247a3e6e5f"), "notificationRunShortcut");
    EXPECT_EQ(Defaults::get(key), uuid);
    suite().setObject(PropertyList("{E621E1F8-C36C-495A-93FC-0C247A3E6E5F}"), "notificationRunShortcut");
    EXPECT_EQ(Defaults::get(key), std::nullopt);
}

TEST_F(StoredForms, NativeNumbersConvertOnlyWhenExact)
{
    Defaults::Key<std::int64_t> count("count", 7);
    suite().setObject(PropertyList(3.5), "count");
    EXPECT_EQ(Defaults::get(count), 7);
    suite().setObject(PropertyList(4.0), "count");
    EXPECT_EQ(Defaults::get(count), 4);
    suite().setObject(PropertyList("42"), "count");
    EXPECT_EQ(Defaults::get(count), 42);
    suite().setObject(PropertyList("true"), "count");
    EXPECT_EQ(Defaults::get(count), 7);
    // Huge and non-finite numbers never reach an integer cast.
    for (double huge : { 9.3e18, 9223372036854775808.0, -1e300, std::numeric_limits<double>::infinity(),
             std::numeric_limits<double>::quiet_NaN() }) {
        suite().setObject(PropertyList(huge), "count");
        EXPECT_EQ(Defaults::get(count), 7) << huge;
    }
    suite().setObject(PropertyList("1e300"), "count");
    EXPECT_EQ(Defaults::get(count), 7);

    Defaults::Key<std::int8_t> small("small", std::int8_t { 1 });
    suite().setObject(PropertyList(300), "small");
    EXPECT_EQ(Defaults::get(small), 1);

    Defaults::Key<bool> flag("enableAtLaunch", false);
    suite().setObject(PropertyList("true"), "enableAtLaunch");
    EXPECT_TRUE(Defaults::get(flag));
    suite().setObject(PropertyList("yes"), "enableAtLaunch");
    EXPECT_FALSE(Defaults::get(flag));
    suite().setObject(PropertyList(1), "enableAtLaunch");
    EXPECT_TRUE(Defaults::get(flag));
    suite().setObject(PropertyList(2), "enableAtLaunch");
    EXPECT_FALSE(Defaults::get(flag));
}

TEST_F(StoredForms, StoredTextOfSeveralValuesReadsAsTheFirst)
{
    Defaults::Key<zk::Duration> key("notifyInterval", zk::Duration::fromSeconds(1));
    suite().setObject(PropertyList("30,40"), "notifyInterval");
    EXPECT_EQ(Defaults::get(key).seconds, 30);
    suite().setObject(PropertyList(""), "notifyInterval");
    EXPECT_EQ(Defaults::get(key).seconds, 1);
}

TEST_F(StoredForms, NativeCollectionsAreStoredUnchanged)
{
    Defaults::Key<std::vector<std::string>> names("names", {});
    Defaults::set(names, std::vector<std::string> { "a/b", "c" });
    EXPECT_EQ(stored("names"), PropertyList(PropertyListArray { PropertyList("a/b"), PropertyList("c") }));

    Defaults::Key<std::map<std::string, platform::Bytes>> bookmarks("__securityScopedBookmarks__", {});
    std::map<std::string, platform::Bytes> value { { "/home/a", platform::Bytes { 1, 2, 3 } } };
    Defaults::set(bookmarks, value);
    EXPECT_EQ(Defaults::get(bookmarks), value);
    // The Codable form of Data is Base64 text, read entry by entry.
    suite().setObject(PropertyList(platform::PropertyListDictionary {
                          { "/home/a", PropertyList("\"AQID\"") }, { "/home/b", PropertyList("\"!!\"") } }),
        "__securityScopedBookmarks__");
    EXPECT_EQ(Defaults::get(bookmarks), value);

    Defaults::Key<platform::Date> date("date", platform::Date(1));
    suite().setObject(PropertyList("86400"), "date");
    EXPECT_EQ(Defaults::get(date), platform::Date(86400));
}

TEST_F(StoredForms, SetsAndNonTextKeyedDictionaries)
{
    Defaults::Key<std::set<std::string>> tags("tags", {});
    Defaults::set(tags, std::set<std::string> { "b", "a" });
    EXPECT_EQ(stored("tags"), PropertyList(PropertyListArray { PropertyList("a"), PropertyList("b") }));
    suite().setObject(PropertyList(PropertyListArray { PropertyList("x"), PropertyList("x") }), "tags");
    EXPECT_EQ(Defaults::get(tags), (std::set<std::string> { "x" }));

    Defaults::Key<std::map<int, zk::Duration>> byDay("byDay", {});
    Defaults::set(byDay, std::map<int, zk::Duration> { { 3, zk::Duration::fromSeconds(60) } });
    EXPECT_EQ(
        stored("byDay"), PropertyList(platform::PropertyListDictionary { { "3", PropertyList("60") } }));
    suite().setObject(PropertyList(platform::PropertyListDictionary {
                          { "3", PropertyList("60") }, { "x", PropertyList("1") } }),
        "byDay");
    auto read = Defaults::get(byDay);
    ASSERT_EQ(read.size(), 1u);
    EXPECT_EQ(read.at(3).seconds, 60);
}

TEST_F(StoredForms, UrlIsAQuotedLiteralWithEscapedSlashes)
{
    Defaults::Key<std::optional<QUrl>> key("link");
    Defaults::set(key, std::optional(QUrl("https://example.com/a/b?c=d")));
    EXPECT_EQ(stored("link"), PropertyList(R"("https:\/\/example.com\/a\/b?c=d")"));
    EXPECT_EQ(Defaults::get(key), QUrl("https://example.com/a/b?c=d"));
}

TEST_F(StoredForms, CodableRawFormStringIsQuoted)
{
    EXPECT_EQ(Defaults::CodableForm::encode(std::string("icon")), "\"icon\"");
    EXPECT_EQ(Defaults::CodableForm::decode<std::string>("icon"), std::nullopt);
    EXPECT_EQ(Defaults::CodableForm::decode<std::string>("\"a\\/b\""), "a/b");
}

} // namespace

TEST_F(StoredForms, ColourIsStoredAsItsArchive)
{
    Defaults::Key<std::optional<QColor>> key("tint");
    Defaults::set(key, std::optional<QColor>(QColor(255, 45, 85)));
    QByteArray archive;
    QDataStream stream(&archive, QIODevice::WriteOnly);
    stream.setVersion(QDataStream::Qt_6_0);
    stream << QColor(255, 45, 85);
    EXPECT_EQ(stored("tint"), PropertyList(platform::Bytes(archive.begin(), archive.end())));
    EXPECT_EQ(Defaults::get(key), QColor(255, 45, 85));

    // The hex text of earlier versions still reads.
    const std::string text = "#ffff2d55";
    suite().setObject(PropertyList(platform::Bytes(text.begin(), text.end())), "tint");
    EXPECT_EQ(Defaults::get(key), QColor(255, 45, 85));

    Defaults::set(key, std::optional<QColor>(QColor(0, 0, 255, 128)));
    EXPECT_EQ(Defaults::get(key), QColor(0, 0, 255, 128));

    // Data that is no colour reads as nothing.
    const std::string bad = "#nothex!!";
    suite().setObject(PropertyList(platform::Bytes(bad.begin(), bad.end())), "tint");
    EXPECT_EQ(Defaults::get(key), std::nullopt);
}

TEST_F(StoredForms, AnUnsignedIntegerAboveTheSignedRangeIsRefusedNotChanged)
{
    Defaults::Key<std::uint64_t> key("counter", 5);
    Defaults::set(key, std::uint64_t { 9223372036854775807ULL });
    EXPECT_EQ(stored("counter"), PropertyList(std::int64_t { 9223372036854775807LL }));
    EXPECT_EQ(Defaults::get(key), 9223372036854775807ULL);

    for (std::uint64_t huge : { 9223372036854775808ULL, 18446744073709551615ULL, 9223372036854775809ULL }) {
        Defaults::set(key, huge);
        EXPECT_EQ(stored("counter"), PropertyList(std::int64_t { 9223372036854775807LL })) << huge;
    }

    // One such element refuses the whole list.
    Defaults::Key<std::vector<std::uint64_t>> list("counters", {});
    Defaults::set(list, std::vector<std::uint64_t> { 1, 2 });
    Defaults::set(list, std::vector<std::uint64_t> { 1, 18446744073709551615ULL });
    EXPECT_EQ(Defaults::get(list), (std::vector<std::uint64_t> { 1, 2 }));
}
