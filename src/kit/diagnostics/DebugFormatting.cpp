#include "kit/diagnostics/DebugFormatting.h"

#include <fmt/format.h>
#include <unicode/measfmt.h>
#include <unicode/measunit.h>
#include <unicode/measure.h>
#include <unicode/numberformatter.h>

#include <array>
#include <charconv>
#include <cmath>
#include <ctime>
#include <vector>

namespace zk {

std::optional<std::string> narrowDurationText(double seconds, const platform::Locale& locale)
{
    if (!std::isfinite(seconds) || seconds < 0 || seconds > 1e15) {
        return std::nullopt;
    }
    auto remaining = static_cast<std::int64_t>(seconds);
    const std::array<std::int64_t, 4> sizes { 86400, 3600, 60, 1 };
    UErrorCode status = U_ZERO_ERROR;
    std::vector<icu::Measure> measures;
    for (std::size_t index = 0; index < sizes.size(); ++index) {
        const std::int64_t amount = remaining / sizes[index];
        remaining %= sizes[index];
        if (amount == 0 && !(index == sizes.size() - 1 && measures.empty())) {
            continue;
        }
        icu::MeasureUnit* unit = index == 0 ? icu::MeasureUnit::createDay(status)
            : index == 1                    ? icu::MeasureUnit::createHour(status)
            : index == 2                    ? icu::MeasureUnit::createMinute(status)
                                            : icu::MeasureUnit::createSecond(status);
        measures.emplace_back(icu::Formattable(static_cast<int64_t>(amount)), unit, status);
    }
    icu::MeasureFormat format(locale.icu(), UMEASFMT_WIDTH_NARROW, status);
    icu::UnicodeString text;
    icu::FieldPosition position;
    format.formatMeasures(measures.data(), static_cast<int32_t>(measures.size()), text, position, status);
    if (U_FAILURE(status)) {
        return std::nullopt;
    }
    std::string result;
    text.toUTF8String(result);
    return result;
}

std::string shortestText(double value)
{
    std::array<char, 64> buffer {};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    return std::string(buffer.data(), result.ptr);
}

std::string debugDescription(const platform::PropertyList& value)
{
    struct Describe {
        std::string operator()(bool v) const { return v ? "true" : "false"; }
        std::string operator()(std::int64_t v) const { return std::to_string(v); }
        std::string operator()(double v) const { return shortestText(v); }
        std::string operator()(const std::string& v) const { return v; }
        std::string operator()(const platform::Date& v) const
        {
            const double unix = v.timeIntervalSinceReferenceDate + platform::Date::unixOffset;
            if (!std::isfinite(unix) || std::abs(unix) > 1e13) {
                return shortestText(v.timeIntervalSinceReferenceDate);
            }
            const std::time_t time = static_cast<std::time_t>(std::floor(unix));
            std::tm parts {};
            gmtime_r(&time, &parts);
            std::array<char, 40> buffer {};
            const std::size_t length
                = std::strftime(buffer.data(), buffer.size(), "%Y-%m-%d %H:%M:%S +0000", &parts);
            return std::string(buffer.data(), length);
        }
        std::string operator()(const platform::Bytes& v) const
        {
            return "<Data: " + std::to_string(v.size()) + (v.size() == 1 ? " byte>" : " bytes>");
        }
        std::string operator()(const platform::PropertyListArray& v) const
        {
            std::string text = "(";
            for (std::size_t index = 0; index < v.size(); ++index) {
                text += (index ? ", " : "") + element(v[index]);
            }
            return text + ")";
        }
        std::string operator()(const platform::PropertyListDictionary& v) const
        {
            std::string text = "{";
            for (const auto& [key, item] : v) {
                text += key + " = " + element(item) + "; ";
            }
            return text + "}";
        }
        // Texts inside a collection are quoted, so that their bounds show.
        std::string element(const platform::PropertyList& item) const
        {
            if (const auto* text = item.getIf<std::string>()) {
                return "\"" + *text + "\"";
            }
            return std::visit(*this, item.value());
        }
    };
    return std::visit(Describe {}, value.value());
}

} // namespace zk
