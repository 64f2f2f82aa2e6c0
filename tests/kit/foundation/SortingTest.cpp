#include "kit/foundation/Sorting.h"

#include "platform/time/DateRange.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

using namespace zk;

namespace {

struct Person {
    std::string first;
    std::string last;
    int age = 0;
    bool operator==(const Person&) const = default;
};

struct Span {
    platform::DateRange range;
    int tag = 0;
    const platform::DateRange& dateRange() const { return range; }
};

Span span(double start, int tag)
{
    return { { platform::Date { start }, platform::Date { start + 600 } }, tag };
}

} // namespace

TEST(SortDescriptor, KeyPathComparisonsAnswerSameForEqualValues)
{
    const auto up = SortDescriptor<Person>::ascending(&Person::age);
    const auto down = SortDescriptor<Person>::descending(&Person::age);
    const Person young { "a", "x", 20 }, old { "b", "y", 40 }, twin { "c", "z", 20 };
    EXPECT_EQ(up.compare(young, old), ComparisonResult::orderedAscending);
    EXPECT_EQ(up.compare(old, young), ComparisonResult::orderedDescending);
    EXPECT_EQ(up.compare(young, twin), ComparisonResult::orderedSame);
    EXPECT_EQ(down.compare(young, old), ComparisonResult::orderedDescending);
    EXPECT_EQ(down.compare(old, young), ComparisonResult::orderedAscending);
    EXPECT_EQ(down.compare(young, twin), ComparisonResult::orderedSame);
}

TEST(SortDescriptor, NoDescriptorsKeepTheGivenOrder)
{
    const std::vector<int> values { 3, 1, 2 };
    EXPECT_EQ(sorted(values, std::vector<SortDescriptor<int>> {}), values);
}

TEST(SortDescriptor, LaterDescriptorsDecideOnlyBetweenEqualsOfEarlierOnes)
{
    std::vector<Person> people { { "Anna", "Berg", 1 }, { "Zoe", "Adams", 2 }, { "Carl", "Berg", 3 },
        { "Mia", "Adams", 4 }, { "Carl", "Berg", 5 } };
    sort(people,
        { SortDescriptor<Person>::ascending(&Person::last),
            SortDescriptor<Person>::descending(&Person::first) });
    std::vector<int> ages;
    for (const auto& person : people) {
        ages.push_back(person.age);
    }
    // Equal last names by first name from Z to A; the two equal Carls keep their order.
    EXPECT_EQ(ages, (std::vector<int> { 2, 4, 3, 5, 1 }));
}

TEST(SortDescriptor, SortsByBoolGroupTheMatchesAndKeepEachGroupsOrder)
{
    const auto isEven = [](int value) { return value % 2 == 0; };
    EXPECT_EQ(sortedByBool(std::vector<int> { 1, 2, 3, 4 }, isEven), (std::vector<int> { 2, 4, 1, 3 }));
    EXPECT_EQ(sortedByBool(std::vector<int> { 1, 2, 3, 4 }, isEven, SortOrder::reverse),
        (std::vector<int> { 1, 3, 2, 4 }));
    std::vector<int> inPlace { 4, 1, 2, 3 };
    sortByBool(inPlace, isEven);
    EXPECT_EQ(inPlace, (std::vector<int> { 4, 2, 1, 3 }));
}

TEST(SortDescriptor, TransformsAndKeyPathsSortBothWaysStably)
{
    const std::vector<std::string> words { "ccc", "a", "bb", "d", "ee" };
    EXPECT_EQ(sortedByTransform(words, &std::string::size),
        (std::vector<std::string> { "a", "d", "bb", "ee", "ccc" }));
    EXPECT_EQ(sortedByTransform(words, &std::string::size, SortOrder::reverse),
        (std::vector<std::string> { "ccc", "bb", "ee", "a", "d" }));

    std::vector<Person> people { { "a", "x", 30 }, { "b", "x", 10 }, { "c", "x", 30 } };
    sortByKeyPath(people, &Person::age, SortOrder::reverse);
    EXPECT_EQ(people[0].first, "a");
    EXPECT_EQ(people[1].first, "c");
    EXPECT_EQ(people[2].first, "b");
}

TEST(SortDescriptor, AFailingTransformEndsTheSortAndLeavesTheElements)
{
    std::vector<int> values { 3, 1, 2 };
    const auto failing = [](int value) -> bool {
        if (value == 2) {
            throw std::runtime_error("no");
        }
        return value > 1;
    };
    EXPECT_THROW((void)sortedByTransform(values, failing), std::runtime_error);
    EXPECT_THROW(sortByBool(values, failing), std::runtime_error);
    EXPECT_EQ(values, (std::vector<int> { 3, 1, 2 }));
}

TEST(SortDescriptor, SessionsByStartDescendingPutsTheLatestFirstAndKeepsTies)
{
    std::vector<Span> spans { span(100, 1), span(300, 2), span(200, 3), span(300, 4), span(50, 5) };
    std::stable_sort(spans.begin(), spans.end(), sessionsByStartDescending);
    std::vector<int> tags;
    for (const auto& each : spans) {
        tags.push_back(each.tag);
    }
    EXPECT_EQ(tags, (std::vector<int> { 2, 4, 3, 1, 5 }));
    EXPECT_FALSE(sessionsByStartDescending(span(300, 0), span(300, 1)));
}
