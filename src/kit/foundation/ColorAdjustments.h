#pragma once

#include <QColor>

#include "platform/SourceLocation.h"

namespace zk {

// A colour's hue, saturation, brightness (HSV value) and alpha, each 0 to 1 for colours inside
// sRGB; hue is 0 for a grey.
struct HSBA {
    double hue = 0;
    double saturation = 0;
    double brightness = 0;
    double alpha = 0;

    bool operator==(const HSBA&) const = default;
};

// The colour's components in the extended sRGB space. A colour that has none (an invalid colour)
// is reported as "Unsupported color space: <Unknown>" and gives zeros.
HSBA hsba(const QColor& color, platform::SourceLocation where = platform::SourceLocation::current());

// The colour with each component multiplied by (1 + its amount): 0 keeps it, 0.1 raises it by a
// tenth, -1 zeroes it. The result is in the extended sRGB space, so a saturation or brightness
// above 1 gives components beyond sRGB; hue goes round the circle, and alpha stays within 0 to 1.
// The components are read once, through hsba().
QColor adjusting(const QColor& color, double hue, double saturation, double brightness, double alpha,
    platform::SourceLocation where = platform::SourceLocation::current());

} // namespace zk
