#pragma once

// Sorting by values derived from the elements.

#include <algorithm>
#include <functional>
#include <type_traits>
#include <utility>
#include <vector>

namespace zk {

// How two elements stand to each other: the first goes first (ascending), the second goes first
// (descending), or the comparison cannot tell them apart (same).
enum class ComparisonResult { orderedAscending = -1, orderedSame = 0, orderedDescending = 1 };

// The direction of the sorts that take one: smallest first (forward) or largest first (reverse).
enum class SortOrder { forward, reverse };

// How two elements stand by a derived value, smallest first: `keyPath` is anything std::invoke can
// apply to an element (a pointer to a data member or to a const member function, or a callable).
template <class Value, class KeyPath>
ComparisonResult keyPathComparisonAscending(const Value& a, const Value& b, const KeyPath& keyPath)
{
    const auto& left = std::invoke(keyPath, a);
    const auto& right = std::invoke(keyPath, b);
    if (left == right) {
        return ComparisonResult::orderedSame;
    }
    return left < right ? ComparisonResult::orderedAscending : ComparisonResult::orderedDescending;
}

// The same, largest first.
template <class Value, class KeyPath>
ComparisonResult keyPathComparisonDescending(const Value& a, const Value& b, const KeyPath& keyPath)
{
    const auto& left = std::invoke(keyPath, a);
    const auto& right = std::invoke(keyPath, b);
    if (left == right) {
        return ComparisonResult::orderedSame;
    }
    return left < right ? ComparisonResult::orderedDescending : ComparisonResult::orderedAscending;
}

// `predicate` applied to the transforms of `a` and of `b`, in that order.
template <class Value, class Transform, class Predicate>
bool compareByTransform(
    const Value& a, const Value& b, const Transform& transform, const Predicate& predicate)
{
    const auto left = std::invoke(transform, a);
    const auto right = std::invoke(transform, b);
    return predicate(left, right);
}

// `predicate` applied to the derived values of `a` and of `b`.
template <class Value, class KeyPath, class Predicate>
bool compareByKeyPath(const Value& a, const Value& b, const KeyPath& keyPath, const Predicate& predicate)
{
    return predicate(std::invoke(keyPath, a), std::invoke(keyPath, b));
}

// One rule of a multi-rule sort. A list of them orders two elements by the first rule that tells
// them apart.
template <class Value> struct SortDescriptor {
    std::function<ComparisonResult(const Value&, const Value&)> compare;

    // By a derived value, smallest first.
    template <class KeyPath> static SortDescriptor ascending(KeyPath keyPath)
    {
        return { [keyPath](
                     const Value& a, const Value& b) { return keyPathComparisonAscending(a, b, keyPath); } };
    }

    // By a derived value, largest first.
    template <class KeyPath> static SortDescriptor descending(KeyPath keyPath)
    {
        return { [keyPath](
                     const Value& a, const Value& b) { return keyPathComparisonDescending(a, b, keyPath); } };
    }
};

// Whether `a` goes before `b` under the descriptors: the first that does not answer same decides;
// when all answer same, or there are none, it does not.
template <class Value>
bool compareUsingComparators(
    const Value& a, const Value& b, const std::vector<SortDescriptor<Value>>& descriptors)
{
    for (const auto& descriptor : descriptors) {
        switch (descriptor.compare(a, b)) {
        case ComparisonResult::orderedAscending:
            return true;
        case ComparisonResult::orderedDescending:
            return false;
        case ComparisonResult::orderedSame:
            break;
        }
    }
    return false;
}

// Every sort below is stable: elements that compare equal keep their given order. A transform or
// predicate that throws ends the sort and the exception is passed on; the mutating forms then leave
// the elements as they were.

template <class Value>
std::vector<Value> sorted(std::vector<Value> values, const std::vector<SortDescriptor<Value>>& descriptors)
{
    std::stable_sort(values.begin(), values.end(), [&descriptors](const Value& a, const Value& b) {
        return compareUsingComparators(a, b, descriptors);
    });
    return values;
}

template <class Value>
void sort(std::vector<Value>& values, const std::vector<SortDescriptor<Value>>& descriptors)
{
    values = sorted(values, descriptors);
}

// By the result of `transform`, compared with "<" (forward) or ">" (reverse).
template <class Value, class Transform>
std::vector<Value> sortedByTransform(
    std::vector<Value> values, Transform transform, SortOrder order = SortOrder::forward)
{
    std::stable_sort(values.begin(), values.end(), [&transform, order](const Value& a, const Value& b) {
        return compareByTransform(a, b, transform, [order](const auto& left, const auto& right) {
            return order == SortOrder::forward ? left < right : right < left;
        });
    });
    return values;
}

// By a derived value (see SortDescriptor::ascending), compared with "<" (forward) or ">" (reverse).
template <class Value, class KeyPath>
void sortByKeyPath(std::vector<Value>& values, KeyPath keyPath, SortOrder order = SortOrder::forward)
{
    std::stable_sort(values.begin(), values.end(), [&keyPath, order](const Value& a, const Value& b) {
        return compareByKeyPath(a, b, keyPath, [order](const auto& left, const auto& right) {
            return order == SortOrder::forward ? left < right : right < left;
        });
    });
}

// Forward: the elements for which `predicate` holds first; reverse: those last. Each group keeps
// its given order.
template <class Value, class Predicate>
std::vector<Value> sortedByBool(
    std::vector<Value> values, Predicate predicate, SortOrder order = SortOrder::forward)
{
    std::stable_sort(values.begin(), values.end(), [&predicate, order](const Value& a, const Value& b) {
        const bool holdsForA = std::invoke(predicate, a);
        const bool holdsForB = std::invoke(predicate, b);
        return order == SortOrder::forward ? holdsForA && !holdsForB : holdsForB && !holdsForA;
    });
    return values;
}

template <class Value, class Predicate>
void sortByBool(std::vector<Value>& values, Predicate predicate, SortOrder order = SortOrder::forward)
{
    values = sortedByBool(values, std::move(predicate), order);
}

// Orders sessions latest start first: a goes before b exactly when a's start (the lower bound of
// its date range) is later than b's. A strict weak ordering, so std::stable_sort keeps sessions
// with the same start in their given order. Works on any value with `dateRange().lowerBound`.
struct SessionsByStartDescending {
    template <class Session> bool operator()(const Session& a, const Session& b) const
    {
        return a.dateRange().lowerBound > b.dateRange().lowerBound;
    }
};

inline constexpr SessionsByStartDescending sessionsByStartDescending {};

} // namespace zk
