#include "kit/foundation/ColorAdjustments.h"

#include "kit/foundation/core/GeneralError.h"
#include "kit/foundation/core/ReportError.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace zk {

namespace {

// Hue, saturation and value to red, green and blue, without clamping saturation or value, so
// that components beyond sRGB come out as extended values.
QColor extendedFromHsv(double hue, double saturation, double value, double alpha)
{
    const double h = (hue - std::floor(hue)) * 6.0;
    const double sector = std::floor(h);
    const double fraction = h - sector;
    const double p = value * (1 - saturation);
    const double q = value * (1 - saturation * fraction);
    const double t = value * (1 - saturation * (1 - fraction));
    // Red, green and blue in each sixth of the hue circle.
    const std::array<std::array<double, 3>, 6> sectors { { { value, t, p }, { q, value, p }, { p, value, t },
        { p, q, value }, { t, p, value }, { value, p, q } } };
    const auto& [red, green, blue] = sectors[static_cast<std::size_t>(sector) % 6];
    QColor color = QColor::fromRgbF(static_cast<float>(red), static_cast<float>(green),
        static_cast<float>(blue), static_cast<float>(std::clamp(alpha, 0.0, 1.0)));
    return color.toExtendedRgb();
}

} // namespace

HSBA hsba(const QColor& color, platform::SourceLocation where)
{
    if (!color.isValid()) {
        reportError(GeneralError("Unsupported color space: <Unknown>"), {}, where);
        return {};
    }
    const QColor rgb = color.toExtendedRgb();
    const double red = rgb.redF();
    const double green = rgb.greenF();
    const double blue = rgb.blueF();
    const double maximum = std::max({ red, green, blue });
    const double minimum = std::min({ red, green, blue });
    const double chroma = maximum - minimum;
    HSBA result;
    result.alpha = rgb.alphaF();
    result.brightness = maximum;
    result.saturation = maximum > 0 ? chroma / maximum : 0;
    if (chroma > 0) {
        double hue = 0;
        if (maximum == red) {
            hue = std::fmod((green - blue) / chroma, 6.0);
        } else if (maximum == green) {
            hue = (blue - red) / chroma + 2;
        } else {
            hue = (red - green) / chroma + 4;
        }
        hue /= 6.0;
        result.hue = hue < 0 ? hue + 1 : hue;
    }
    return result;
}

QColor adjusting(const QColor& color, double hue, double saturation, double brightness, double alpha,
    platform::SourceLocation where)
{
    const HSBA components = zk::hsba(color, where);
    return extendedFromHsv(components.hue * (1 + hue), components.saturation * (1 + saturation),
        components.brightness * (1 + brightness), components.alpha * (1 + alpha));
}

} // namespace zk
