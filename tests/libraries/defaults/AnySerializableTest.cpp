#include "DefaultsTestSupport.h"

#include "kit/foundation/core/Duration.h"

#include <cmath>
#include <unordered_set>

using namespace defaults_test;
using Defaults::AnySerializable;
using platform::PropertyList;

namespace {

TEST(AnySerializable, EmptyValues)
{
    EXPECT_TRUE(AnySerializable().isNil());
    EXPECT_TRUE(AnySerializable(nullptr).isNil());
    EXPECT_TRUE(AnySerializable(std::optional<int>()).isNil());
    EXPECT_FALSE(AnySerializable(std::optional<int>(0)).isNil());
    EXPECT_TRUE(AnySerializable::from(std::optional<std::string>()).isNil());
    EXPECT_TRUE(AnySerializable::from(zk::Duration::fromSeconds(std::nan(""))).isNil());
}

TEST(AnySerializable, EqualityIsByTypeThenValue)
{
    EXPECT_EQ(AnySerializable(1), AnySerializable(1));
    EXPECT_NE(AnySerializable(1), AnySerializable(1.0));
    EXPECT_NE(AnySerializable(1), AnySerializable(std::int16_t { 1 }));
    EXPECT_NE(AnySerializable(std::int16_t { 1 }), AnySerializable(std::uint16_t { 1 }));
    EXPECT_NE(AnySerializable(1.0f), AnySerializable(1.0));
    EXPECT_EQ(AnySerializable(true), AnySerializable(true));
    EXPECT_NE(AnySerializable(true), AnySerializable(1));
    EXPECT_EQ(AnySerializable("a"), AnySerializable(std::string("a")));
    EXPECT_NE(AnySerializable("a"), AnySerializable("b"));
    EXPECT_EQ(AnySerializable(platform::Date(5)), AnySerializable(platform::Date(5)));
    EXPECT_EQ(AnySerializable(platform::Bytes { 1, 2 }), AnySerializable(platform::Bytes { 1, 2 }));
    EXPECT_NE(AnySerializable(platform::Bytes { 1, 2 }), AnySerializable(platform::Bytes { 2, 1 }));
    // The empty value matches no row.
    EXPECT_NE(AnySerializable(), AnySerializable());
}

TEST(AnySerializable, ListsAndDictionaries)
{
    auto list = AnySerializable::list({ 1, "a" });
    EXPECT_EQ(list, AnySerializable::list({ 1, "a" }));
    EXPECT_NE(list, AnySerializable::list({ "a", 1 }));
    EXPECT_NE(list, AnySerializable::list({ 1 }));
    EXPECT_EQ(list.hashValue(), AnySerializable::list({ 1, "a" }).hashValue());

    auto first = AnySerializable::dictionary({ { "a", 1 }, { "b", AnySerializable::list({ true }) } });
    auto second = AnySerializable::dictionary({ { "b", AnySerializable::list({ true }) }, { "a", 1 } });
    EXPECT_EQ(first, second);
    EXPECT_EQ(first.hashValue(), second.hashValue());
    EXPECT_NE(first, AnySerializable::dictionary({ { "a", 1.0 }, { "b", AnySerializable::list({ true }) } }));
    EXPECT_NE(first, list);
}

TEST(AnySerializable, EqualValuesHashAlike)
{
    std::unordered_set<AnySerializable> set { AnySerializable(1), AnySerializable("1"), AnySerializable(1.0),
        AnySerializable(1), AnySerializable("1") };
    EXPECT_EQ(set.size(), 3u);
}

TEST(AnySerializable, GetAndSetConvertThroughStoredForms)
{
    AnySerializable value = AnySerializable::from(zk::Duration::fromSeconds(600));
    EXPECT_EQ(value, AnySerializable("600"));
    EXPECT_EQ(value.get<zk::Duration>()->seconds, 600);
    EXPECT_EQ(value.get<bool>(), std::nullopt);
    value.set(Placement::totalTodayDuration);
    EXPECT_EQ(value, AnySerializable("totalTodayDuration"));
    EXPECT_EQ(value.get<Placement>(), Placement::totalTodayDuration);
    value.set(std::int64_t { 3 });
    EXPECT_EQ(value.get<double>(), 3.0);
}

class AnySerializableKeys : public DefaultsFixture { };

TEST_F(AnySerializableKeys, MixedValuesRoundTripThroughTheStore)
{
    Defaults::Key<AnySerializable> key("mixed", AnySerializable());
    EXPECT_FALSE(stored("mixed"));
    EXPECT_TRUE(Defaults::get(key).isNil());

    auto value = AnySerializable::dictionary(
        { { "n", 1 }, { "s", "a/b" }, { "l", AnySerializable::list({ 1.5, false, platform::Date(3) }) } });
    Defaults::set(key, value);
    EXPECT_EQ(Defaults::get(key), value);
    EXPECT_EQ(stored("mixed"),
        PropertyList(
            platform::PropertyListDictionary { { "n", PropertyList(1) }, { "s", PropertyList("a/b") },
                { "l",
                    PropertyList(platform::PropertyListArray {
                        PropertyList(1.5), PropertyList(false), PropertyList(platform::Date(3)) }) } }));

    Defaults::Key<std::vector<AnySerializable>> list("list", {});
    Defaults::set(list, std::vector<AnySerializable> { 1, "x" });
    EXPECT_EQ(Defaults::get(list), (std::vector<AnySerializable> { 1, "x" }));

    Defaults::set(key, AnySerializable());
    EXPECT_FALSE(stored("mixed"));
}

TEST_F(AnySerializableKeys, ValueTheStoreCannotHoldIsNotWritten)
{
    Defaults::Key<AnySerializable> key("mixed", AnySerializable());
    Defaults::set(key, AnySerializable("kept"));
    // A dictionary keyed by a number has no stored form.
    Defaults::set(key, AnySerializable::dictionary({ { 1, "x" } }));
    EXPECT_EQ(stored("mixed"), PropertyList("kept"));
    EXPECT_EQ(reports().size(), 1u);
}

} // namespace
