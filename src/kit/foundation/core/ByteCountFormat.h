#pragma once

#include "platform/time/Locale.h"

#include <cstdint>
#include <string>

namespace zk {

// How a byte count is scaled: memory in multiples of 1024, files in multiples of 1000.
enum class ByteCountStyle { memory, file };

// The units a byte count may be written in, to be combined with |.
enum ByteCountUnit : unsigned {
    bytesUnit = 1u << 0,
    kilobytesUnit = 1u << 1,
    megabytesUnit = 1u << 2,
    gigabytesUnit = 1u << 3,
    terabytesUnit = 1u << 4,
    petabytesUnit = 1u << 5,
    exabytesUnit = 1u << 6,
    allByteCountUnits = (1u << 7) - 1,
};

// How formatByteCount writes a count.
struct ByteCountFormat {
    ByteCountStyle style = ByteCountStyle::file;
    // No allowed unit counts as all of them.
    unsigned allowedUnits = allByteCountUnits;
    // Zero as "Zero KB" rather than "0 bytes", the word in the locale's language ("Null KB").
    bool spellsOutZero = true;
    // The exact count follows a scaled one: "3.3 MB (3,250,000 bytes)".
    bool includesActualByteCount = false;
};

// A byte count as people read it: "Zero KB", "1 byte", "512 bytes", "12 KB", "52.3 MB", "1.25 GB"
// (no fraction digits up to kilobytes, one for megabytes, two above; trailing zeros dropped), in
// the largest allowed unit that the count reaches (the smallest allowed one when it reaches none),
// the numbers in the locale's notation.
std::string formatByteCount(
    std::int64_t bytes, const ByteCountFormat& format, const platform::Locale& locale);
// The same with every unit allowed, zero spelled out and no exact count.
std::string formatByteCount(std::int64_t bytes, ByteCountStyle style, const platform::Locale& locale);

} // namespace zk
