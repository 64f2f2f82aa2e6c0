#include "kit/foundation/core/Bytes.h"

#include "kit/foundation/core/ByteCountFormat.h"

#include <array>

namespace zk {

double Bytes::bytesPerUnit(Unit unit)
{
    switch (unit) {
    case Unit::bits:
        return 0.125;
    case Unit::bytes:
        return 1;
    case Unit::kilobytes:
        return 1e3;
    case Unit::megabytes:
        return 1e6;
    case Unit::gigabytes:
        return 1e9;
    }
    return 1;
}

std::optional<Bytes::Unit> Bytes::unitFromRawValue(double bytesInOne)
{
    for (const Unit unit : { Unit::bits, Unit::bytes, Unit::kilobytes, Unit::megabytes, Unit::gigabytes }) {
        if (bytesPerUnit(unit) == bytesInOne) {
            return unit;
        }
    }
    return std::nullopt;
}

Bytes Bytes::fromCount(double count, Unit unit)
{
    const double total = std::trunc(count * bytesPerUnit(unit));
    // 2^63 is the first double past the range.
    if (!std::isfinite(total) || total >= 9223372036854775808.0 || total < -9223372036854775808.0) {
        throw std::overflow_error("The byte count does not fit 64 bits");
    }
    return Bytes { static_cast<std::int64_t>(total) };
}

Bytes Bytes::operator+(Bytes other) const
{
    std::int64_t result = 0;
    if (__builtin_add_overflow(bytes, other.bytes, &result)) {
        throw std::overflow_error("The byte count does not fit 64 bits");
    }
    return Bytes { result };
}

Bytes Bytes::operator-(Bytes other) const
{
    std::int64_t result = 0;
    if (__builtin_sub_overflow(bytes, other.bytes, &result)) {
        throw std::overflow_error("The byte count does not fit 64 bits");
    }
    return Bytes { result };
}

std::string Bytes::debugDescription() const
{
    return formatByteCount(bytes, ByteCountStyle::file, platform::Locale::current());
}

} // namespace zk
