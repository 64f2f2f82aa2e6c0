#include "kit/foundation/core/DispatchTimeInterval.h"

#include <limits>

namespace zk {

namespace {

std::int64_t saturatingProduct(std::int64_t count, std::int64_t factor)
{
    std::int64_t product = 0;
    if (__builtin_mul_overflow(count, factor, &product)) {
        return count < 0 ? std::numeric_limits<std::int64_t>::min()
                         : std::numeric_limits<std::int64_t>::max();
    }
    return product;
}

} // namespace

std::int64_t DispatchTimeInterval::totalNanoseconds() const
{
    switch (unit) {
    case Unit::seconds:
        return saturatingProduct(count, 1'000'000'000);
    case Unit::milliseconds:
        return saturatingProduct(count, 1'000'000);
    case Unit::microseconds:
        return saturatingProduct(count, 1'000);
    case Unit::nanoseconds:
        return count;
    case Unit::never:
        return 0;
    }
    return 0;
}

bool operator<(const DispatchTimeInterval& a, const DispatchTimeInterval& b)
{
    if (a.unit == DispatchTimeInterval::Unit::never) {
        return false;
    }
    if (b.unit == DispatchTimeInterval::Unit::never) {
        return true;
    }
    return a.totalNanoseconds() < b.totalNanoseconds();
}

} // namespace zk
