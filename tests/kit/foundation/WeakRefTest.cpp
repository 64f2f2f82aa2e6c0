#include "kit/foundation/WeakRef.h"

#include "kit/foundation/NeighborSequence.h"

#include <gtest/gtest.h>
#include <list>
#include <string>

namespace {

struct Item {
    int number;
};

TEST(WeakRefTest, ABoxDoesNotKeepItsObjectAlive)
{
    auto item = std::make_shared<Item>(Item { 1 });
    zk::WeakBox<Item> box(item);
    EXPECT_EQ(box.wrappedValue(), item);
    item.reset();
    EXPECT_EQ(box.wrappedValue(), nullptr);

    auto other = std::make_shared<Item>(Item { 2 });
    box.setWrappedValue(other);
    EXPECT_EQ(box.wrappedValue()->number, 2);
}

TEST(WeakRefTest, AnArrayReadsReleasedElementsAsAbsentAndKeepsTheOrder)
{
    auto first = std::make_shared<Item>(Item { 1 });
    auto second = std::make_shared<Item>(Item { 2 });
    zk::WeakArray<Item> array { first, second };
    second.reset();
    ASSERT_EQ(array.size(), 2u);
    EXPECT_EQ(array[0], first);
    EXPECT_EQ(array[1], nullptr);
    ASSERT_EQ(array.liveObjects().size(), 1u);
    EXPECT_EQ(array.liveObjects()[0]->number, 1);
}

TEST(NeighborSequenceTest, EachElementWithTheOnesBesideIt)
{
    using N = zk::Neighbors<std::string>;
    const std::vector<std::string> letters { "a", "b", "c" };
    EXPECT_EQ(zk::neighborSequence(letters),
        (std::vector<N> { { std::nullopt, "a", "b" }, { "a", "b", "c" }, { "b", "c", std::nullopt } }));
    EXPECT_EQ(zk::neighborSequence(std::vector<std::string> { "x" }),
        (std::vector<N> { { std::nullopt, "x", std::nullopt } }));
    EXPECT_TRUE(zk::neighborSequence(std::list<int> {}).empty());
}

} // namespace
