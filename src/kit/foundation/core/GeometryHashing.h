#pragma once

#include <QRectF>
#include <QSizeF>

#include <bit>
#include <cstddef>
#include <cstdint>

namespace zk {

namespace detail {
// Both zeros feed the same pattern, so sizes differing only in the sign of a zero hash alike.
inline std::uint64_t geometryBits(double value)
{
    return value == 0.0 ? 0 : std::bit_cast<std::uint64_t>(value);
}
inline void feedGeometry(std::size_t& seed, double value)
{
    seed ^= static_cast<std::size_t>(geometryBits(value)) + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2);
}
} // namespace detail

struct GeometryHash {
    std::size_t operator()(const QSizeF& size) const
    {
        std::size_t seed = 0;
        detail::feedGeometry(seed, size.width());
        detail::feedGeometry(seed, size.height());
        return seed;
    }
    std::size_t operator()(const QRectF& rect) const
    {
        std::size_t seed = 0;
        detail::feedGeometry(seed, rect.x());
        detail::feedGeometry(seed, rect.y());
        detail::feedGeometry(seed, rect.width());
        detail::feedGeometry(seed, rect.height());
        return seed;
    }
};

// A partial order of sizes: smaller only when both narrower and lower. A wider but lower size is
// neither smaller nor larger, and each is "at most" the other.
inline bool sizeLess(const QSizeF& a, const QSizeF& b)
{
    return a.width() < b.width() && a.height() < b.height();
}
inline bool sizeGreater(const QSizeF& a, const QSizeF& b)
{
    return sizeLess(b, a);
}
inline bool sizeLessOrEqual(const QSizeF& a, const QSizeF& b)
{
    return !sizeLess(b, a);
}
inline bool sizeGreaterOrEqual(const QSizeF& a, const QSizeF& b)
{
    return !sizeLess(a, b);
}

} // namespace zk
