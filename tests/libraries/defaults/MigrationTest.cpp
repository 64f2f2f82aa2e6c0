#include "DefaultsTestSupport.h"

using namespace defaults_test;
using platform::PropertyList;
using platform::PropertyListArray;

namespace {

class Migration : public DefaultsFixture { };

TEST_F(Migration, VersionTag)
{
    EXPECT_EQ(Defaults::versionFromRawValue(5), Defaults::Version::v5);
    EXPECT_EQ(Defaults::versionFromRawValue(4), std::nullopt);
}

TEST_F(Migration, QuotedRawTextBecomesTheBareRawText)
{
    Defaults::Key<Placement> key("showInMenuBar", Placement::icon);
    suite().setObject(PropertyList("\"totalTodayDuration\""), "showInMenuBar");
    EXPECT_EQ(Defaults::get(key), Placement::icon);
    Defaults::migrate(key, Defaults::Version::v5);
    EXPECT_EQ(stored("showInMenuBar"), PropertyList("totalTodayDuration"));
    EXPECT_EQ(Defaults::get(key), Placement::totalTodayDuration);
    // The old form was converted, not lost: no backup is made of it.
    EXPECT_TRUE(keysWithPrefix("showInMenuBar.unreadable-").empty());

    // Migrating again leaves the bare text alone.
    Defaults::migrate(key, Defaults::Version::v5);
    EXPECT_EQ(stored("showInMenuBar"), PropertyList("totalTodayDuration"));
}

TEST_F(Migration, OptionalRawValueKey)
{
    Defaults::Key<std::optional<Placement>> key("notificationSound");
    suite().setObject(PropertyList("\"icon\""), "notificationSound");
    Defaults::migrate(key, Defaults::Version::v5);
    EXPECT_EQ(stored("notificationSound"), PropertyList("icon"));

    // A quoted text that names no case stays as it is.
    suite().setObject(PropertyList("\"Beep\""), "notificationSound");
    Defaults::migrate(key, Defaults::Version::v5);
    EXPECT_EQ(stored("notificationSound"), PropertyList("\"Beep\""));
}

TEST_F(Migration, WholeHistoryTextBecomesOneTextPerSession)
{
    Defaults::Key<std::vector<Record>> key("sessions", {});
    suite().setObject(
        PropertyList(R"([{"id":"a","link":"x\/y","start":1},{"start":2,"link":"","id":"b"}])"), "sessions");
    Defaults::migrate(key, Defaults::Version::v5);
    EXPECT_EQ(stored("sessions"),
        PropertyList(PropertyListArray {
            PropertyList(R"({"id":"a","link":"x\/y","start":1})"),
            PropertyList(R"({"id":"b","link":"","start":2})"),
        }));
    auto migrated = stored("sessions");
    Defaults::migrate(key, Defaults::Version::v5);
    EXPECT_EQ(stored("sessions"), migrated);
}

TEST_F(Migration, UndecodableOrAbsentValuesAreUntouched)
{
    Defaults::Key<std::vector<Record>> sessions("sessions", {});
    Defaults::Key<Placement> placement("showInMenuBar", Placement::icon);
    suite().setObject(PropertyList(R"([{"id":"a"}])"), "sessions");
    Defaults::migrate(Defaults::Version::v5, sessions, placement);
    EXPECT_EQ(stored("sessions"), PropertyList(R"([{"id":"a"}])"));
    EXPECT_EQ(Defaults::get(sessions), std::vector<Record> {});
    // Only the registered default is seen; nothing was written.
    EXPECT_EQ(stored("showInMenuBar"), PropertyList("icon"));
    EXPECT_TRUE(keysWithPrefix("sessions.unreadable-").empty());
}

TEST_F(Migration, EachKeyOnItsOwnInListOrder)
{
    Defaults::Key<Placement> first("first", Placement::icon);
    Defaults::Key<Placement> second("second", Placement::icon);
    suite().setObject(PropertyList("not json"), "first");
    suite().setObject(PropertyList("\"currentSessionDuration\""), "second");
    std::vector<std::string> order;
    auto a = suite().addObserver("first", [&](auto&&...) { order.push_back("first"); });
    auto b = suite().addObserver("second", [&](auto&&...) { order.push_back("second"); });
    Defaults::withoutPropagation([&] { Defaults::migrate(Defaults::Version::v5, first, second); });
    suite().removeObserver(a);
    suite().removeObserver(b);
    EXPECT_EQ(stored("first"), PropertyList("not json"));
    EXPECT_EQ(Defaults::get(second), Placement::currentSessionDuration);
    EXPECT_EQ(order, std::vector<std::string> { "second" });
}

} // namespace
