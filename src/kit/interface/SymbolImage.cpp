#include "kit/interface/SymbolImage.h"

#include "platform/desktop/MaterialDesignIcons.h"

#include <QGuiApplication>
#include <QPalette>
#include <QPixmap>
#include <QScreen>

#include <array>
#include <utility>

namespace zk {

namespace {

// The font has no gear shape, no menu-bar window and no bell with a badge: the nearest of its
// glyphs stand in.
constexpr std::array<std::pair<std::string_view, std::string_view>, 17> glyphs { {
    { "gearshape", "settings" },
    { "gearshape.2", "settings" },
    { "menubar.rectangle", "application" },
    { "bell.badge", "bell-ring" },
    { "command", "keyboard" },
    { "play.fill", "play" },
    { "slider.horizontal.3", "tune" },
    { "plus", "plus" },
    { "exclamationmark.triangle", "alert-outline" },
    { "arrow.down", "arrow-down" },
    { "arrow.up", "arrow-up" },
    { "xmark.circle.fill", "close-circle" },
    { "questionmark.circle", "help-circle-outline" },
    { "magnifyingglass", "magnify" },
    { "globe", "earth" },
    { "calendar", "calendar" },
    { "sparkles", "star-circle" },
} };

} // namespace

std::optional<std::string_view> symbolGlyphName(std::string_view systemName)
{
    for (const auto& [name, glyph] : glyphs) {
        if (name == systemName) {
            return glyph;
        }
    }
    return std::nullopt;
}

QIcon symbolIcon(std::string_view systemName, int pointSize, const QColor& color)
{
    const auto glyph = symbolGlyphName(systemName);
    if (!glyph) {
        return {};
    }
    const QColor ink = color.isValid() ? color : QGuiApplication::palette().color(QPalette::WindowText);
    const QScreen* screen = QGuiApplication::primaryScreen();
    const qreal ratio = screen ? screen->devicePixelRatio() : 1.0;
    const QImage image = platform::MaterialDesignIcons::render(*glyph, pointSize, ratio, ink);
    if (image.isNull()) {
        return {};
    }
    return QIcon(QPixmap::fromImage(image));
}

} // namespace zk
