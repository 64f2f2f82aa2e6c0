#pragma once

namespace zk {

// Sorting by values derived from the elements.

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
