#include "platform/store/DefaultsListeners.h"

#include <gtest/gtest.h>

using namespace platform;

namespace {

StoredValue number(std::int64_t value)
{
    return std::make_shared<const PropertyList>(value);
}

std::string text(const StoredValue& value)
{
    return value ? std::to_string(*value->getIf<std::int64_t>()) : "-";
}

} // namespace

// Each key's listeners in the order they came, and no one else's: the same key in another suite,
// another key in the same suite.
TEST(DefaultsListenersTest, AWriteFindsTheListenersOfItsKeyInTheirOrder)
{
    DefaultsListeners listeners;
    std::vector<std::string> heard;
    const auto hear = [&](std::string name) {
        return
            [&heard, name](const std::string& key, const StoredValue& oldValue, const StoredValue& newValue) {
                heard.push_back(name + ":" + key + ":" + text(oldValue) + ">" + text(newValue));
            };
    };
    listeners.add("s", "k", hear("first"));
    listeners.add("other", "k", hear("otherSuite"));
    listeners.add("s", "j", hear("otherKey"));
    listeners.add("s", "k", hear("second"));

    DefaultsListeners::tell(listeners.of("s", "k"), "k", nullptr, number(1));
    EXPECT_EQ(heard, (std::vector<std::string> { "first:k:->1", "second:k:->1" }));
    EXPECT_TRUE(listeners.of("s", "missing").empty());
    EXPECT_TRUE(listeners.of("missing", "k").empty());
    EXPECT_EQ(listeners.all().size(), 4u);
}

// A listener removed after a write looked it up (by itself, during the delivery, or by another)
// is not called; the others still are.
TEST(DefaultsListenersTest, AListenerRemovedAfterTheLookUpIsNotCalled)
{
    DefaultsListeners listeners;
    int first = 0;
    int second = 0;
    DefaultsListeners::Id secondId = 0;
    listeners.add("s", "k", [&](auto&, auto&, auto&) {
        ++first;
        listeners.remove(secondId);
    });
    secondId = listeners.add("s", "k", [&](auto&, auto&, auto&) { ++second; });
    const auto found = listeners.of("s", "k");
    ASSERT_EQ(found.size(), 2u);
    DefaultsListeners::tell(found, "k", nullptr, number(1));
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 0);
    EXPECT_EQ(listeners.of("s", "k").size(), 1u);

    const auto id = listeners.add("s", "j", [&](auto&, auto&, auto&) { ++second; });
    std::vector<DefaultsListeners::Notice> notices { { listeners.of("s", "j").front(), "j", nullptr,
        number(2) } };
    listeners.remove(id);
    DefaultsListeners::deliver(notices);
    EXPECT_EQ(second, 0);
}

// Once every listener is gone, writes skip the look-up; one added afterwards is found again, and
// removing an id twice (or one never given) changes nothing.
TEST(DefaultsListenersTest, ListenersAddedAfterAllWereRemovedAreFound)
{
    DefaultsListeners listeners;
    const auto id = listeners.add("s", "k", [](auto&, auto&, auto&) {});
    listeners.remove(id);
    listeners.remove(id);
    listeners.remove(12345);
    EXPECT_TRUE(listeners.of("s", "k").empty());
    EXPECT_TRUE(listeners.all().empty());

    int heard = 0;
    const auto again = listeners.add("s", "k", [&](auto&, auto&, auto&) { ++heard; });
    EXPECT_NE(again, id);
    DefaultsListeners::tell(listeners.of("s", "k"), "k", nullptr, nullptr);
    EXPECT_EQ(heard, 1);
}
