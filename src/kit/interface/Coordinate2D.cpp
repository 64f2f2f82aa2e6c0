#include "kit/interface/Coordinate2D.h"

#include <charconv>
#include <cmath>
#include <numbers>

namespace zk {

namespace {

constexpr double earthMeanRadius = 6371008.8;

// The shortest text that reads back as the same number, with ".0" on whole numbers ("-2.0"),
// so that identifiers stay those that stored data already holds.
std::string decimalText(double value)
{
    if (!std::isfinite(value)) {
        return std::isnan(value) ? "nan" : (value < 0 ? "-inf" : "inf");
    }
    char buffer[64];
    const auto written = std::to_chars(buffer, buffer + sizeof buffer, value);
    std::string text(buffer, written.ptr);
    if (text.find_first_of(".e") == std::string::npos) {
        text += ".0";
    }
    return text;
}

double radians(double degrees)
{
    return degrees * std::numbers::pi / 180;
}

} // namespace

std::string Coordinate2D::id() const
{
    return decimalText(latitude) + "-" + decimalText(longitude);
}

double Coordinate2D::distance(const Coordinate2D& other) const
{
    const double dLatitude = radians(other.latitude - latitude);
    const double dLongitude = radians(other.longitude - longitude);
    const double a = std::pow(std::sin(dLatitude / 2), 2)
        + std::cos(radians(latitude)) * std::cos(radians(other.latitude))
            * std::pow(std::sin(dLongitude / 2), 2);
    return 2 * earthMeanRadius * std::asin(std::min(1.0, std::sqrt(a)));
}

} // namespace zk
