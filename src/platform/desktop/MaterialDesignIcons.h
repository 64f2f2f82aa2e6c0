#pragma once

#include <QColor>
#include <QImage>
#include <QString>

#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// The Material Design Icons webfont as the desktop's packaged copy has it: glyphs are found by
// name through the style sheet that ships beside the font (".mdi-heart:before { content: "\F2D1"; }"),
// read once, on first use. The font is added to the application's fonts once as well.
//
// Without the font or the style sheet the icons are missing: `render` answers a null image and
// says so once in the log; callers draw something of their own instead.
//
// Main-thread only.
class MaterialDesignIcons {
public:
    static constexpr const char* defaultFontPath
        = "/usr/share/fonts/truetype/materialdesignicons-webfont/materialdesignicons-webfont.ttf";
    static constexpr const char* defaultStyleSheetPath
        = "/usr/share/fonts-materialdesignicons-webfont/css/materialdesignicons.css";

    // The glyph of an icon name ("heart", without the "mdi-" prefix), or nothing when the style
    // sheet names no such icon or cannot be read.
    static std::optional<char32_t> codePoint(std::string_view name);

    // Whether the font and the style sheet could both be loaded.
    static bool isAvailable();

    // The glyph of `name` in `color` on transparent, centred in a square of `pixelSize` logical
    // pixels (times `devicePixelRatio` real ones, which the image carries). A null image when the
    // font or the name is missing.
    static QImage render(std::string_view name, int pixelSize, qreal devicePixelRatio, const QColor& color);

    // The icon names and glyphs of a style sheet's text. Rules that are not of the icon form, and
    // glyphs that are no Unicode scalar value, are skipped.
    static std::map<std::string, char32_t, std::less<>> parseStyleSheet(std::string_view text);

    // Other files, for tests; the next question loads them afresh. Empty strings restore the
    // packaged paths.
    static void setPathsForTesting(const QString& fontPath, const QString& styleSheetPath);
};

} // namespace platform
