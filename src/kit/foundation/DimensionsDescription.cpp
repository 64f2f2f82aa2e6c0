#include "kit/foundation/DimensionsDescription.h"

#include <fmt/format.h>

#include <charconv>
#include <cmath>

namespace zk {

namespace {

std::string dimensionText(double value)
{
    if (std::isfinite(value) && std::fmod(value, 1.0) == 0) {
        return fmt::format("{:.0f}", value);
    }
    if (std::isnan(value)) {
        return "nan";
    }
    if (std::isinf(value)) {
        return value < 0 ? "-inf" : "inf";
    }
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

} // namespace

std::string dimensionsDescription(double width, double height)
{
    return dimensionText(width) + "\u00D7" + dimensionText(height);
}

std::string dimensionsDescription(const QSizeF& size)
{
    return dimensionsDescription(size.width(), size.height());
}

} // namespace zk
