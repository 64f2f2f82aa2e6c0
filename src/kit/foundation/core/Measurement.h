#pragma once

#include <string>

namespace zk {

// A unit of one dimension: its symbol and how a value in it converts to the dimension's base unit
// (base = value × coefficient + constant).
template <class Dimension> struct Unit {
    std::string symbol;
    double coefficient = 1;
    double constant = 0;

    double toBase(double value) const { return value * coefficient + constant; }
    bool operator==(const Unit&) const = default;
};

// Units of time; seconds are the base.
struct UnitDuration {
    static Unit<UnitDuration> baseUnit() { return seconds(); }
    static Unit<UnitDuration> seconds() { return { "s", 1 }; }
    static Unit<UnitDuration> milliseconds() { return { "ms", 0.001 }; }
    static Unit<UnitDuration> minutes() { return { "min", 60 }; }
    static Unit<UnitDuration> hours() { return { "hr", 3600 }; }
};

// Units of information; bytes are the base, the multiples are decimal.
struct UnitInformationStorage {
    static Unit<UnitInformationStorage> baseUnit() { return bytes(); }
    static Unit<UnitInformationStorage> bits() { return { "bit", 0.125 }; }
    static Unit<UnitInformationStorage> bytes() { return { "B", 1 }; }
    static Unit<UnitInformationStorage> kilobytes() { return { "kB", 1e3 }; }
    static Unit<UnitInformationStorage> megabytes() { return { "MB", 1e6 }; }
    static Unit<UnitInformationStorage> gigabytes() { return { "GB", 1e9 }; }
};

// A value in a unit of one dimension, which generic code can sum: zero is 0 in the base unit, and
// values in different units are converted to the base unit before they are added or subtracted.
template <class Dimension> struct Measurement {
    double value = 0;
    Unit<Dimension> unit = Dimension::baseUnit();

    static Measurement zero() { return { 0, Dimension::baseUnit() }; }

    Measurement converted(const Unit<Dimension>& other) const
    {
        return { (unit.toBase(value) - other.constant) / other.coefficient, other };
    }

    friend Measurement operator+(const Measurement& left, const Measurement& right)
    {
        if (left.unit == right.unit) {
            return { left.value + right.value, left.unit };
        }
        return { left.unit.toBase(left.value) + right.unit.toBase(right.value), Dimension::baseUnit() };
    }
    friend Measurement operator-(const Measurement& left, const Measurement& right)
    {
        if (left.unit == right.unit) {
            return { left.value - right.value, left.unit };
        }
        return { left.unit.toBase(left.value) - right.unit.toBase(right.value), Dimension::baseUnit() };
    }
    Measurement& operator+=(const Measurement& other) { return *this = *this + other; }
    Measurement& operator-=(const Measurement& other) { return *this = *this - other; }

    // Equal amounts are equal in any units.
    friend bool operator==(const Measurement& left, const Measurement& right)
    {
        return left.unit.toBase(left.value) == right.unit.toBase(right.value);
    }
};

} // namespace zk
