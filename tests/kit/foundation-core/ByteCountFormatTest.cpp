#include "kit/foundation/core/ByteCountFormat.h"

#include <gtest/gtest.h>

#include <limits>

using platform::Locale;
using zk::ByteCountFormat;
using zk::ByteCountStyle;
using zk::formatByteCount;

namespace {

TEST(ByteCountFormat, ScalesToTheLargestUnitReached)
{
    const Locale posix("en_US_POSIX");
    EXPECT_EQ(formatByteCount(0, ByteCountStyle::memory, posix), "Zero KB");
    EXPECT_EQ(formatByteCount(1, ByteCountStyle::memory, posix), "1 byte");
    EXPECT_EQ(formatByteCount(512, ByteCountStyle::memory, posix), "512 bytes");
    EXPECT_EQ(formatByteCount(12 * 1024 + 300, ByteCountStyle::memory, posix), "12 KB");
    EXPECT_EQ(formatByteCount(54'840'524, ByteCountStyle::memory, posix), "52.3 MB");
    EXPECT_EQ(formatByteCount(2 * 1024 * 1024, ByteCountStyle::memory, posix), "2 MB");
    EXPECT_EQ(formatByteCount(1'342'177'280, ByteCountStyle::memory, posix), "1.25 GB");
    EXPECT_EQ(formatByteCount(1500, ByteCountStyle::file, Locale("en_US")), "2 KB");
    EXPECT_EQ(formatByteCount(3'250'000, ByteCountStyle::file, Locale("en_US")), "3.3 MB");
    EXPECT_EQ(formatByteCount(3'000, ByteCountStyle::memory, Locale("de_DE")), "3 KB");
    EXPECT_EQ(formatByteCount(1'700'000, ByteCountStyle::file, Locale("de_DE")), "1,7 MB");
    EXPECT_EQ(formatByteCount(-2'500'000, ByteCountStyle::file, posix), "-2.5 MB");
    EXPECT_EQ(
        formatByteCount(std::numeric_limits<std::int64_t>::max(), ByteCountStyle::file, posix), "9.22 EB");
}

TEST(ByteCountFormat, ZeroIsSpelledOutInTheLocalesLanguage)
{
    EXPECT_EQ(formatByteCount(0, ByteCountStyle::file, Locale("de_DE")), "Null KB");
    EXPECT_EQ(formatByteCount(0, ByteCountStyle::file, Locale("fr_FR")), "Z\u00e9ro KB");
    EXPECT_EQ(formatByteCount(0, ByteCountStyle::file, Locale("en_GB")), "Zero KB");
}

TEST(ByteCountFormat, AllowedUnitsZeroAndTheActualCount)
{
    const Locale english("en_US");
    ByteCountFormat format;
    format.allowedUnits = zk::kilobytesUnit;
    EXPECT_EQ(formatByteCount(3'250'000, format, english), "3,250 KB");
    // Below the smallest allowed unit the count is a fraction of it.
    format.allowedUnits = zk::megabytesUnit | zk::gigabytesUnit;
    EXPECT_EQ(formatByteCount(250'000, format, english), "0.3 MB");
    EXPECT_EQ(formatByteCount(0, format, english), "Zero MB");
    format.allowedUnits = zk::bytesUnit;
    EXPECT_EQ(formatByteCount(3'250'000, format, english), "3,250,000 bytes");
    EXPECT_EQ(formatByteCount(0, format, english), "Zero bytes");

    format.allowedUnits = zk::allByteCountUnits;
    format.spellsOutZero = false;
    EXPECT_EQ(formatByteCount(0, format, english), "0 bytes");
    format.includesActualByteCount = true;
    EXPECT_EQ(formatByteCount(3'250'000, format, english), "3.3 MB (3,250,000 bytes)");
    EXPECT_EQ(formatByteCount(999, format, english), "999 bytes");
}

} // namespace
