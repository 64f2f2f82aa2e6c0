#pragma once

#include "kit/foundation/core/Measurement.h"

#include <cmath>
#include <compare>
#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>

namespace zk {

// A number of bytes. Arithmetic and conversions report a count that does not fit 64 bits as
// std::overflow_error instead of wrapping around.
struct Bytes {
    // Units are decimal: a kilobyte is 1000 bytes.
    enum class Unit { bits, bytes, kilobytes, megabytes, gigabytes };
    static double bytesPerUnit(Unit unit);
    // Only the five exact sizes name a unit (1024 does not).
    static std::optional<Unit> unitFromRawValue(double bytesInOne);

    std::int64_t bytes = 0;

    static constexpr Bytes zero() { return Bytes { 0 }; }
    // A count of a unit, truncated toward zero.
    static Bytes fromCount(double count, Unit unit);
    static Bytes kilobytes(double count) { return fromCount(count, Unit::kilobytes); }
    static Bytes megabytes(double count) { return fromCount(count, Unit::megabytes); }
    static Bytes gigabytes(double count) { return fromCount(count, Unit::gigabytes); }

    double count(Unit unit) const { return static_cast<double>(bytes) / bytesPerUnit(unit); }

    // A measurement in bytes; from one in any unit of information, truncated toward zero (a value
    // that does not fit is reported as std::overflow_error).
    Measurement<UnitInformationStorage> measurement() const
    {
        return { static_cast<double>(bytes), UnitInformationStorage::bytes() };
    }
    static Bytes fromMeasurement(const Measurement<UnitInformationStorage>& measurement)
    {
        return fromCount(measurement.unit.toBase(measurement.value), Unit::bytes);
    }

    Bytes operator+(Bytes other) const;
    Bytes operator-(Bytes other) const;
    Bytes& operator+=(Bytes other) { return *this = *this + other; }
    Bytes& operator-=(Bytes other) { return *this = *this - other; }
    auto operator<=>(const Bytes&) const = default;

    // The count as a file size in the current locale: "Zero KB", "512 bytes", "3.3 MB".
    std::string debugDescription() const;
};

} // namespace zk

template <> struct std::hash<zk::Bytes> {
    std::size_t operator()(const zk::Bytes& value) const { return std::hash<std::int64_t> {}(value.bytes); }
};
