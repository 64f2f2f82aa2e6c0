#include "kit/foundation/core/ByteCountFormat.h"

#include <fmt/format.h>
#include <unicode/numberformatter.h>
#include <unicode/rbnf.h>

#include <array>
#include <cmath>

namespace zk {

namespace {

constexpr std::array<const char*, 7> unitNames { "bytes", "KB", "MB", "GB", "TB", "PB", "EB" };

std::string formatNumber(double value, int maximumFractionDigits, const platform::Locale& locale)
{
    UErrorCode status = U_ZERO_ERROR;
    const icu::UnicodeString text = icu::number::NumberFormatter::withLocale(locale.icu())
                                        .precision(icu::number::Precision::maxFraction(maximumFractionDigits))
                                        .roundingMode(UNUM_ROUND_HALFUP)
                                        .formatDouble(value, status)
                                        .toString(status);
    if (U_FAILURE(status)) {
        return fmt::format("{:.{}f}", value, maximumFractionDigits);
    }
    std::string result;
    text.toUTF8String(result);
    return result;
}

// The word for zero in the locale's language, its first letter capitalised as at the start of a
// text: "Zero" in English, "Null" in German, "Zéro" in French.
std::string spelledOutZero(const platform::Locale& locale)
{
    UErrorCode status = U_ZERO_ERROR;
    icu::RuleBasedNumberFormat spellout(icu::URBNF_SPELLOUT, locale.icu(), status);
    icu::UnicodeString word;
    if (U_SUCCESS(status)) {
        spellout.format(static_cast<int32_t>(0), word);
    }
    if (U_FAILURE(status) || word.isEmpty()) {
        return "Zero";
    }
    const int32_t firstEnd = word.moveIndex32(0, 1);
    icu::UnicodeString first(word, 0, firstEnd);
    first.toUpper(locale.icu());
    std::string result;
    first.append(word, firstEnd, word.length() - firstEnd).toUTF8String(result);
    return result;
}

bool isAllowed(unsigned allowed, std::size_t unit)
{
    return (allowed & (1u << unit)) != 0;
}

// The unit a count of this size is written in: the largest allowed one it reaches, else the
// smallest allowed one.
std::size_t unitFor(double magnitude, double base, unsigned allowed)
{
    std::size_t reached = 0;
    double size = base;
    while (reached + 1 < unitNames.size() && magnitude >= size) {
        ++reached;
        size *= base;
    }
    for (std::size_t unit = reached + 1; unit-- > 0;) {
        if (isAllowed(allowed, unit)) {
            return unit;
        }
    }
    for (std::size_t unit = reached + 1; unit < unitNames.size(); ++unit) {
        if (isAllowed(allowed, unit)) {
            return unit;
        }
    }
    return reached;
}

} // namespace

std::string formatByteCount(std::int64_t bytes, const ByteCountFormat& format, const platform::Locale& locale)
{
    const unsigned allowed
        = (format.allowedUnits & allByteCountUnits) != 0 ? format.allowedUnits : allByteCountUnits;
    if (bytes == 0 && format.spellsOutZero) {
        // Zero takes the smallest allowed unit above bytes, as it would if it had a size.
        for (std::size_t unit = 1; unit < unitNames.size(); ++unit) {
            if (isAllowed(allowed, unit)) {
                return spelledOutZero(locale) + " " + unitNames[unit];
            }
        }
        return spelledOutZero(locale) + " bytes";
    }
    const double base = format.style == ByteCountStyle::memory ? 1024.0 : 1000.0;
    const double count = static_cast<double>(bytes);
    const std::size_t unit = unitFor(std::abs(count), base, allowed);
    const std::string actual = formatNumber(count, 0, locale);
    if (unit == 0) {
        return actual + (std::abs(count) == 1 ? " byte" : " bytes");
    }
    const int fractionDigits = unit == 1 ? 0 : unit == 2 ? 1 : 2;
    std::string text = formatNumber(count / std::pow(base, static_cast<double>(unit)), fractionDigits, locale)
        + " " + unitNames[unit];
    if (format.includesActualByteCount) {
        text += " (" + actual + (std::abs(count) == 1 ? " byte)" : " bytes)");
    }
    return text;
}

std::string formatByteCount(std::int64_t bytes, ByteCountStyle style, const platform::Locale& locale)
{
    ByteCountFormat format;
    format.style = style;
    return formatByteCount(bytes, format, locale);
}

} // namespace zk
