#pragma once

#include <cmath>
#include <concepts>
#include <limits>

namespace zk {

// Whether two reals differ by less than `tolerance` relative to the larger of them (never less than
// the smallest normal magnitude). NaN is almost equal to nothing; an infinity only to an infinity of
// the same sign, or, rescaled, to a finite value near the largest one.
template <std::floating_point T> bool isAlmostEqual(T value, T other, T tolerance)
{
    if (std::isfinite(value) && std::isfinite(other)) {
        const T scale = std::max({ std::abs(value), std::abs(other), std::numeric_limits<T>::min() });
        return std::abs(value - other) < scale * tolerance;
    }
    if (std::isnan(value) || std::isnan(other)) {
        return false;
    }
    if (std::isinf(value) && std::isinf(other)) {
        return value == other;
    }
    if (std::isinf(value)) {
        // Bring both into range: the infinity becomes a power of two at the top exponent, the
        // finite value is halved.
        const T rescaledInfinity
            = std::copysign(std::ldexp(T(1), std::numeric_limits<T>::max_exponent - 1), value);
        return isAlmostEqual(rescaledInfinity, other / 2, tolerance);
    }
    return isAlmostEqual(other, value, tolerance);
}

template <std::floating_point T> bool isAlmostZero(T value, T absoluteTolerance)
{
    return std::abs(value) < absoluteTolerance;
}

} // namespace zk
