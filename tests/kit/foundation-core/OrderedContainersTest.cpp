#include "kit/foundation/core/OrderedDictionary.h"
#include "kit/foundation/core/OrderedSet.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <unordered_map>
#include <vector>

using zk::OrderedDictionary;
using zk::OrderedSet;

namespace {

template <class Key, class Value> std::vector<Key> keysOf(const OrderedDictionary<Key, Value>& dictionary)
{
    std::vector<Key> keys;
    for (const auto& element : dictionary) {
        keys.push_back(element.key);
    }
    return keys;
}

static_assert(zk::HashableKeyValueCollection<OrderedDictionary<std::string, int>>);
static_assert(zk::HashableKeyValueCollection<std::unordered_map<std::string, int>>);
static_assert(zk::KeyValueCollection<std::map<int, int>>);
static_assert(!zk::KeyValueSequence<std::vector<int>>);

} // namespace

TEST(OrderedDictionaryTest, AnExistingKeyKeepsItsPlaceAndARemovedOneComesBackLast)
{
    OrderedDictionary<std::string, int> dictionary { { "a", 1 }, { "b", 2 }, { "c", 3 } };
    dictionary.set("a", 10);
    EXPECT_EQ(keysOf(dictionary), (std::vector<std::string> { "a", "b", "c" }));
    EXPECT_EQ(dictionary.value("a"), 10);

    dictionary.remove("a");
    EXPECT_FALSE(dictionary.contains("a"));
    dictionary.set("a", 5);
    EXPECT_EQ(keysOf(dictionary), (std::vector<std::string> { "b", "c", "a" }));

    const auto before = dictionary;
    dictionary.set("absent", std::nullopt);
    EXPECT_EQ(dictionary, before);
}

TEST(OrderedDictionaryTest, RepeatedPairsKeepTheFirstPlaceAndTheLastValueButALiteralRefusesThem)
{
    using Dictionary = OrderedDictionary<std::string, int>;
    const auto built = Dictionary::fromElements({ { "a", 1 }, { "b", 2 }, { "a", 3 } });
    EXPECT_EQ(keysOf(built), (std::vector<std::string> { "a", "b" }));
    EXPECT_EQ(built.value("a"), 3);

    try {
        Dictionary literal { { "a", 1 }, { "b", 2 }, { "a", 3 } };
        FAIL() << "a literal with a repeated key was accepted";
    } catch (const std::invalid_argument& error) {
        EXPECT_EQ(std::string(error.what()), "Duplicate values for key: 'a'");
    }
}

TEST(OrderedDictionaryTest, PositionsRangesAndTheirLimits)
{
    OrderedDictionary<std::string, int> dictionary { { "a", 1 }, { "b", 2 }, { "c", 3 }, { "d", 4 } };
    EXPECT_EQ(dictionary.at(2), (OrderedDictionary<std::string, int>::Element { "c", 3 }));
    EXPECT_THROW(dictionary.at(4), std::out_of_range);
    EXPECT_THROW(dictionary.at(-1), std::out_of_range);

    const auto middle = dictionary.slice(1, 3);
    EXPECT_EQ(middle.count(), 2);
    EXPECT_EQ(middle.at(0).key, "b");
    EXPECT_EQ(middle.at(1).key, "c");
    EXPECT_THROW(dictionary.slice(2, 5), std::out_of_range);

    // Moving before the start is plain arithmetic; only overflow is an error.
    EXPECT_EQ(dictionary.indexBefore(0), -1);
    EXPECT_EQ(dictionary.index(1, 2, 2), std::nullopt);
    EXPECT_EQ(dictionary.index(1, 1, 2), 2);
    EXPECT_EQ(dictionary.distance(3, 1), -2);
    EXPECT_THROW(dictionary.indexAfter(std::numeric_limits<std::ptrdiff_t>::max()), std::overflow_error);
}

TEST(OrderedDictionaryTest, OrderDecidesEqualityAndHashing)
{
    OrderedDictionary<std::string, int> ab { { "a", 1 }, { "b", 2 } };
    OrderedDictionary<std::string, int> ba { { "b", 2 }, { "a", 1 } };
    OrderedDictionary<std::string, int> abAgain;
    abAgain.set("a", 1);
    abAgain.set("b", 2);
    EXPECT_NE(ab, ba);
    EXPECT_EQ(ab, abAgain);
    const std::hash<OrderedDictionary<std::string, int>> hash;
    EXPECT_EQ(hash(ab), hash(abAgain));
    EXPECT_NE(hash(ab), hash(ba));
}

TEST(OrderedDictionaryTest, DescriptionQuotesTextsOnly)
{
    EXPECT_EQ((OrderedDictionary<std::string, std::string> {}).description(), "[:]");
    OrderedDictionary<std::string, std::string> texts { { "name", "Kiruvo \"app\"" }, { "os", "Linux" } };
    EXPECT_EQ(texts.description(), R"(["name": "Kiruvo "app"", "os": "Linux"])");
    OrderedDictionary<int, double> numbers { { 2, 1.5 }, { 1, 600.0 } };
    EXPECT_EQ(numbers.description(), "[2: 1.5, 1: 600.0]");
}

TEST(OrderedSetTest, FirstOccurrenceFixesThePosition)
{
    OrderedSet<int> set(std::vector<int> { 3, 1, 3, 2, 1 });
    EXPECT_EQ(set.elements(), (std::vector<int> { 3, 1, 2 }));
    EXPECT_FALSE(set.append(3));
    EXPECT_EQ(set.count(), 3);
    EXPECT_TRUE(set.append(4));
    EXPECT_EQ(set.at(3), 4);
    EXPECT_TRUE(set.contains(2));
    EXPECT_EQ(set, (OrderedSet<int> { 3, 1, 2, 4 }));
    EXPECT_NE(set, (OrderedSet<int> { 1, 3, 2, 4 }));
}

TEST(OrderedSetTest, RemovalClosesTheGapAndAnEmptySetIsAnError)
{
    OrderedSet<std::string> set { "a", "b", "c" };
    EXPECT_EQ(set.remove("x"), std::nullopt);
    EXPECT_EQ(set.remove("b"), "b");
    EXPECT_EQ(set.at(1), "c");
    EXPECT_FALSE(set.contains("b"));
    EXPECT_TRUE(set.append("b"));
    EXPECT_EQ(set.elements(), (std::vector<std::string> { "a", "c", "b" }));

    const auto slice = set.slice(1, 3);
    ASSERT_EQ(slice.size(), 2u);
    EXPECT_EQ(slice[0], "c");

    EXPECT_EQ(set.removeFirst(), "a");
    EXPECT_EQ(set.removeLast(), "b");
    EXPECT_FALSE(set.contains("a"));
    set.removeAll(true);
    EXPECT_TRUE(set.isEmpty());
    EXPECT_THROW(set.removeFirst(), std::out_of_range);
    EXPECT_THROW(set.removeLast(), std::out_of_range);
}
