#include "DefaultsTestSupport.h"

#include "kit/foundation/core/Duration.h"

#include <limits>
#include <stdexcept>
#include <thread>

using namespace defaults_test;
using platform::PropertyList;
using platform::PropertyListArray;

namespace {

class Store : public DefaultsFixture { };

// A Codable value whose own coding refuses what it cannot stand for, as a type's to_json and
// from_json may: an empty label has no JSON form and none is read back.
struct Label {
    std::string text;
    friend bool operator==(const Label&, const Label&) = default;
};

void to_json(platform::JsonValue& json, const Label& label)
{
    if (label.text.empty()) {
        throw std::invalid_argument("An empty label has no JSON form.");
    }
    json = label.text;
}

void from_json(const platform::JsonValue& json, Label& label)
{
    label.text = json.get<std::string>();
    if (label.text.empty()) {
        throw std::invalid_argument("An empty label cannot be read.");
    }
}

TEST_F(Store, DefaultIsRegisteredOnlyWhenAKeyIsConstructed)
{
    EXPECT_FALSE(stored("enableAtLaunch"));
    Defaults::Key<bool> key("enableAtLaunch", true);
    EXPECT_EQ(stored("enableAtLaunch"), PropertyList(true));

    // Reading does not register again: a later registration by someone else stays in force.
    suite().registerDefaults({ { "enableAtLaunch", PropertyList(false) } });
    EXPECT_FALSE(Defaults::get(key));
    // A second key of the same name registers its own default.
    Defaults::Key<bool> again("enableAtLaunch", true);
    EXPECT_TRUE(Defaults::get(key));
}

TEST_F(Store, DefaultThatCannotBeEncodedIsNotRegisteredAndIsReported)
{
    Defaults::Key<zk::Duration> key(
        "interval", zk::Duration::fromSeconds(std::numeric_limits<double>::infinity()));
    EXPECT_FALSE(stored("interval"));
    EXPECT_TRUE(std::isinf(Defaults::get(key).seconds));
    ASSERT_EQ(reports().size(), 1u);
    EXPECT_NE(reports()[0].find("interval"), std::string::npos);
}

TEST_F(Store, ResetReadsTheDefaultAgain)
{
    Defaults::Key<std::int64_t> a("a", 1);
    Defaults::Key<std::string> b("b", "x");
    Defaults::set(a, std::int64_t { 5 });
    Defaults::set(b, std::string("y"));
    a.reset();
    EXPECT_EQ(Defaults::get(a), 1);
    EXPECT_EQ(stored("a"), PropertyList(1));
    EXPECT_EQ(Defaults::get(b), "y");

    Defaults::set(a, std::int64_t { 6 });
    Defaults::reset(a, b);
    EXPECT_EQ(Defaults::get(a), 1);
    EXPECT_EQ(Defaults::get(b), "x");

    Defaults::set(a, std::int64_t { 7 });
    Defaults::reset(std::vector<std::reference_wrapper<const Defaults::Keys>> { a });
    EXPECT_EQ(Defaults::get(a), 1);

    Defaults::set(a, std::int64_t { 8 });
    Defaults::reset(std::vector<std::string> { "a", "unknown" }, suite());
    EXPECT_EQ(Defaults::get(a), 1);
    Defaults::reset(); // nothing
}

TEST_F(Store, RemoveAllKeepsRegisteredDefaults)
{
    Defaults::Key<std::int64_t> a("a", 1);
    suite().setObject(PropertyList("loose"), "loose");
    Defaults::set(a, std::int64_t { 3 });
    Defaults::removeAll(suite());
    EXPECT_EQ(Defaults::get(a), 1);
    EXPECT_FALSE(stored("loose"));

    auto empty = otherSuite("empty");
    Defaults::removeAll(*empty);
    EXPECT_TRUE(empty->dictionaryRepresentation().empty());
}

TEST_F(Store, KeysAreEqualByNameAndSuiteObject)
{
    Defaults::Key<bool> a("same", true);
    Defaults::Key<std::int64_t> b("same", 2);
    auto other = otherSuite("other");
    Defaults::Key<bool> c("same", true, other);
    EXPECT_TRUE(static_cast<const Defaults::Keys&>(a) == static_cast<const Defaults::Keys&>(b));
    EXPECT_EQ(a.hash(), b.hash());
    EXPECT_FALSE(static_cast<const Defaults::Keys&>(a) == static_cast<const Defaults::Keys&>(c));
    Defaults::set(c, false);
    EXPECT_TRUE(Defaults::get(a));
    EXPECT_FALSE(Defaults::get(c));
}

TEST_F(Store, ModifyWritesBackAlsoWhenTheChangeThrows)
{
    Defaults::Key<std::vector<std::string>> key("list", { "a" });
    Defaults::modify(key, [](std::vector<std::string>& list) { list.push_back("b"); });
    EXPECT_EQ(Defaults::get(key), (std::vector<std::string> { "a", "b" }));

    EXPECT_THROW(Defaults::modify(key,
                     [](std::vector<std::string>& list) {
                         list.push_back("c");
                         throw std::runtime_error("stop");
                     }),
        std::runtime_error);
    EXPECT_EQ(Defaults::get(key), (std::vector<std::string> { "a", "b", "c" }));
}

TEST_F(Store, UnreadableValueReadsAsDefaultAndStaysStored)
{
    Defaults::Key<std::int64_t> key("count", 4);
    suite().setObject(PropertyList(platform::Date(10)), "count");
    EXPECT_EQ(Defaults::get(key), 4);
    EXPECT_EQ(Defaults::read<std::int64_t>(suite(), "count"), std::nullopt);
    EXPECT_EQ(stored("count"), PropertyList(platform::Date(10)));
    EXPECT_TRUE(keysWithPrefix("count.unreadable-").empty());
}

TEST_F(Store, UnreadableValueIsBackedUpBeforeAWriteReplacesIt)
{
    Defaults::Key<std::int64_t> key("count", 4);
    suite().setObject(PropertyList(platform::Date(10)), "count");
    Defaults::set(key, std::int64_t { 5 });
    EXPECT_EQ(stored("count"), PropertyList(5));
    auto backups = keysWithPrefix("count.unreadable-");
    ASSERT_EQ(backups.size(), 1u);
    EXPECT_EQ(stored(backups[0]), PropertyList(platform::Date(10)));
    ASSERT_EQ(reports().size(), 1u);
    EXPECT_NE(reports()[0].find(backups[0]), std::string::npos);

    // A readable value is replaced without a backup; a second unreadable one gets its own key.
    Defaults::set(key, std::int64_t { 6 });
    EXPECT_EQ(keysWithPrefix("count.unreadable-").size(), 1u);
    suite().setObject(PropertyList("many"), "count");
    Defaults::set(key, std::int64_t { 7 });
    EXPECT_EQ(keysWithPrefix("count.unreadable-").size(), 2u);
}

TEST_F(Store, PartlyReadableHistoryIsBackedUpBeforeAWriteReplacesIt)
{
    Defaults::Key<std::vector<Record>> key("sessions", {});
    PropertyList history(
        PropertyListArray { PropertyList(R"({"id":"a","link":"","start":1})"), PropertyList("{") });
    suite().setObject(history, "sessions");
    Defaults::modify(key, [](std::vector<Record>& records) { records.push_back({ "b", "", 2 }); });
    EXPECT_EQ(Defaults::get(key).size(), 2u);
    auto backups = keysWithPrefix("sessions.unreadable-");
    ASSERT_EQ(backups.size(), 1u);
    EXPECT_EQ(stored(backups[0]), history);
}

TEST_F(Store, RemovingAnUnreadableOptionalBacksItUp)
{
    Defaults::Key<std::optional<platform::Uuid>> key("notificationRunShortcut");
    suite().setObject(PropertyList("not a uuid"), "notificationRunShortcut");
    Defaults::set(key, std::optional<platform::Uuid>());
    EXPECT_FALSE(stored("notificationRunShortcut"));
    EXPECT_EQ(keysWithPrefix("notificationRunShortcut.unreadable-").size(), 1u);
}

TEST_F(Store, ValueThatCannotBeEncodedIsNotWrittenAndIsReported)
{
    Defaults::Key<zk::Duration> key("idleDurationBeforeStop", zk::Duration::fromSeconds(300));
    Defaults::set(key, zk::Duration::fromSeconds(600));
    Defaults::set(key, zk::Duration::fromSeconds(std::numeric_limits<double>::quiet_NaN()));
    EXPECT_EQ(stored("idleDurationBeforeStop"), PropertyList("600"));
    EXPECT_EQ(Defaults::get(key).seconds, 600);
    ASSERT_EQ(reports().size(), 1u);
    EXPECT_NE(reports()[0].find("idleDurationBeforeStop"), std::string::npos);

    // Through an optional, the failed encoding is no removal either.
    Defaults::Key<std::optional<zk::Duration>> interval("notifyInterval");
    Defaults::set(interval, std::optional(zk::Duration::fromSeconds(60)));
    Defaults::set(
        interval, std::optional(zk::Duration::fromSeconds(-std::numeric_limits<double>::infinity())));
    EXPECT_EQ(stored("notifyInterval"), PropertyList("60"));
}

TEST_F(Store, ElementThatCannotBeEncodedIsLeftOutAndReported)
{
    Defaults::Key<std::vector<zk::Duration>> key("durations", {});
    Defaults::set(key,
        std::vector<zk::Duration> { zk::Duration::fromSeconds(1),
            zk::Duration::fromSeconds(std::numeric_limits<double>::quiet_NaN()),
            zk::Duration::fromSeconds(3) });
    EXPECT_EQ(stored("durations"), PropertyList(PropertyListArray { PropertyList("1"), PropertyList("3") }));
    EXPECT_EQ(reports().size(), 1u);
}

TEST_F(Store, ValueWhoseOwnCodingThrowsIsNeitherWrittenNorRead)
{
    Defaults::Key<Label> key("label", Label { "none" });
    Defaults::set(key, Label { "a/b" });
    EXPECT_EQ(stored("label"), PropertyList("\"a\\/b\""));
    EXPECT_EQ(Defaults::get(key), Label { "a/b" });

    Defaults::set(key, Label {});
    EXPECT_EQ(stored("label"), PropertyList("\"a\\/b\""));
    ASSERT_EQ(reports().size(), 1u);
    EXPECT_NE(reports()[0].find("label"), std::string::npos);
    EXPECT_NE(reports()[0].find("An empty label has no JSON form."), std::string::npos);

    // Text that its from_json refuses reads as the default, and a list leaves out only that element.
    suite().setObject(PropertyList("\"\""), "label");
    EXPECT_EQ(Defaults::get(key), Label { "none" });
    Defaults::Key<std::vector<Label>> labels("labels", {});
    Defaults::set(labels, std::vector<Label> { { "a" }, {}, { "c" } });
    EXPECT_EQ(
        stored("labels"), PropertyList(PropertyListArray { PropertyList("\"a\""), PropertyList("\"c\"") }));
    suite().setObject(PropertyList(PropertyListArray {
                          PropertyList("\"a\""), PropertyList("\"\""), PropertyList("\"c\"") }),
        "labels");
    EXPECT_EQ(Defaults::get(labels), (std::vector<Label> { { "a" }, { "c" } }));
}

TEST_F(Store, ReadAndWriteByNameOnASuite)
{
    auto other = otherSuite("com.example.other");
    Defaults::write(*other, "placement", Placement::currentSessionDuration);
    EXPECT_EQ(other->objectForKey("placement"), PropertyList("currentSessionDuration"));
    EXPECT_EQ(Defaults::read<Placement>(*other, "placement"), Placement::currentSessionDuration);
    EXPECT_EQ(Defaults::read<Placement>(*other, "missing"), std::nullopt);
    EXPECT_FALSE(stored("placement"));
}

TEST_F(Store, PropagationFlagNestsAndSurvivesExceptions)
{
    EXPECT_FALSE(Defaults::isPropagationSuppressed());
    Defaults::withoutPropagation([] {
        EXPECT_TRUE(Defaults::isPropagationSuppressed());
        Defaults::withoutPropagation([] { EXPECT_TRUE(Defaults::isPropagationSuppressed()); });
        EXPECT_TRUE(Defaults::isPropagationSuppressed());
    });
    EXPECT_FALSE(Defaults::isPropagationSuppressed());

    EXPECT_THROW(Defaults::withoutPropagation([] { throw std::runtime_error("x"); }), std::runtime_error);
    EXPECT_FALSE(Defaults::isPropagationSuppressed());

    // The flag belongs to the thread that set it.
    Defaults::withoutPropagation([] {
        bool otherThread = true;
        std::thread([&] { otherThread = Defaults::isPropagationSuppressed(); }).join();
        EXPECT_FALSE(otherThread);
    });
}

TEST_F(Store, WritesReachObserversOnTheWritingThread)
{
    Defaults::Key<std::int64_t> key("count", 0);
    std::vector<bool> suppressedAtNotification;
    auto id = suite().addObserver("count", [&](const std::string&, const auto&, const auto&) {
        suppressedAtNotification.push_back(Defaults::isPropagationSuppressed());
    });
    Defaults::set(key, std::int64_t { 1 });
    Defaults::withoutPropagation([&] { Defaults::set(key, std::int64_t { 2 }); });
    suite().removeObserver(id);
    EXPECT_EQ(suppressedAtNotification, (std::vector<bool> { false, true }));
}

} // namespace
