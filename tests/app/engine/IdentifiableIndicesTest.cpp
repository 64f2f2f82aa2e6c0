#include "app/engine/IdentifiableIndices.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

namespace {

struct Item {
    std::string id;
    int value = 0;
};

struct Counter {
    int number;
    int id() const { return number * 10; }
};

using Indices = kiruvo::IdentifiableIndices<std::vector<Item>>;
static_assert(std::random_access_iterator<Indices::Iterator>);

} // namespace

TEST(IdentifiableIndicesTest, AnEmptyBaseGivesNothing)
{
    const Indices indices { std::vector<Item> {} };
    EXPECT_TRUE(indices.empty());
    EXPECT_EQ(indices.size(), 0U);
    EXPECT_EQ(indices.begin(), indices.end());
}

TEST(IdentifiableIndicesTest, EachPositionCarriesTheIdOfItsElement)
{
    const Indices indices { std::vector<Item> { { "a", 1 }, { "b", 2 }, { "a", 3 } } };
    const std::vector<Indices::Element> elements(indices.begin(), indices.end());
    EXPECT_EQ(elements, (std::vector<Indices::Element> { { "a", 0 }, { "b", 1 }, { "a", 2 } }));
    // Equal ids at different positions stay apart.
    EXPECT_EQ(elements[0].id, elements[2].id);
    EXPECT_NE(elements[0], elements[2]);
}

TEST(IdentifiableIndicesTest, ItWalksBothWaysAndJumps)
{
    const kiruvo::IdentifiableIndices<std::vector<Counter>> indices { std::vector<Counter> {
        { 1 }, { 2 }, { 3 }, { 4 } } };
    auto it = indices.end();
    --it;
    EXPECT_EQ((*it).id, 40);
    EXPECT_EQ((*it).rawValue, 3U);
    EXPECT_EQ(it[-2].id, 20);
    EXPECT_EQ(indices.end() - indices.begin(), 4);
    EXPECT_EQ((*(indices.begin() + 2)).rawValue, 2U);
    std::vector<int> reversed;
    // Backwards as std::reverse_iterator walks it (the views of the standard library do not build
    // with every compiler the project supports).
    for (auto it = std::make_reverse_iterator(indices.end());
         it != std::make_reverse_iterator(indices.begin()); ++it) {
        reversed.push_back((*it).id);
    }
    EXPECT_EQ(reversed, (std::vector<int> { 40, 30, 20, 10 }));
    EXPECT_EQ(indices[1].id, 20);
}

TEST(IdentifiableIndicesDeathTest, APositionOutsideStopsTheProgram)
{
    const Indices indices { std::vector<Item> { { "a", 1 } } };
    EXPECT_DEATH((void)indices[1], "Index out of range");
}
