#pragma once

#include <QColor>
#include <QIcon>

#include <optional>
#include <string_view>

namespace zk {

// The symbols that the kit's controls and the settings panes name ("gearshape", "play.fill"), drawn
// from the desktop's Material Design Icons font. The symbol names stay those of the descriptions so
// that every caller names an image alike; this is the one table that turns them into glyphs.

// The glyph's name in the icon font ("settings" for "gearshape"), or nothing for a symbol the table
// does not know.
std::optional<std::string_view> symbolGlyphName(std::string_view systemName);

// The symbol as an icon of `pointSize` logical pixels in `color` (the application palette's text
// colour when invalid). A null icon when the symbol or the font is missing; callers then show their
// text alone. Main-thread only.
QIcon symbolIcon(std::string_view systemName, int pointSize = 16, const QColor& color = QColor());

} // namespace zk
