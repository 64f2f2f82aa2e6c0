#pragma once

#include "app/engine/MenuBarIcon.h"

#include <QImage>
#include <QString>

#include <optional>
#include <string_view>

namespace kiruvo {

// The side of the square a symbol is drawn in, in points: the glyph box of a 14 pt symbol.
inline constexpr int symbolImageSize = 18;

// The Material Design Icons glyph that stands for a symbol ("heart" for heart.fill), or nothing
// for the icons drawn as the application's own pictures: the kittens and the symbols that font has
// no fitting glyph for.
std::optional<std::string_view> materialDesignIconName(MenuBarIcon value);

// The application's own picture of an icon (":/images/kitten1.svg"); empty for the icons drawn
// from the font.
QString imageResourcePath(MenuBarIcon value);

// The icon's picture, built afresh at each call: black on transparent, for the status item to
// recolour; at the device pixel ratio of the primary screen. Kittens are squares of their own
// size, symbols squares of symbolImageSize points. Without the icon font every symbol is the
// application's own heart; the result is never a null image.
QImage image(MenuBarIcon value);

} // namespace kiruvo
