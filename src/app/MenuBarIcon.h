#pragma once

#include "app/RawValueEnum.h"

#include <QImage>
#include <QString>

namespace kiruvo {

// The status item's icon. The four kittens are the application's own images; the others are
// symbols, named as the icon set they come from names them.
enum class MenuBarIcon {
    heart,
    heartCircle,
    leaf,
    flower,
    bell,
    clock,
    deskClock,
    alarm,
    stopwatch,
    hourglass,
    circle,
    diamond,
    capsule,
    hexagonCircle,
    seal,
    star,
    burst,
    sparkles,
    faceSmiling,
    crown,
    hare,
    tortoise,
    kitten1,
    kitten2,
    kitten3,
    kitten4,
    pawprint,
    eyes,
    mustache,
};

template <> struct EnumCases<MenuBarIcon> {
    static constexpr std::array all {
        MenuBarIcon::heart,
        MenuBarIcon::heartCircle,
        MenuBarIcon::leaf,
        MenuBarIcon::flower,
        MenuBarIcon::bell,
        MenuBarIcon::clock,
        MenuBarIcon::deskClock,
        MenuBarIcon::alarm,
        MenuBarIcon::stopwatch,
        MenuBarIcon::hourglass,
        MenuBarIcon::circle,
        MenuBarIcon::diamond,
        MenuBarIcon::capsule,
        MenuBarIcon::hexagonCircle,
        MenuBarIcon::seal,
        MenuBarIcon::star,
        MenuBarIcon::burst,
        MenuBarIcon::sparkles,
        MenuBarIcon::faceSmiling,
        MenuBarIcon::crown,
        MenuBarIcon::hare,
        MenuBarIcon::tortoise,
        MenuBarIcon::kitten1,
        MenuBarIcon::kitten2,
        MenuBarIcon::kitten3,
        MenuBarIcon::kitten4,
        MenuBarIcon::pawprint,
        MenuBarIcon::eyes,
        MenuBarIcon::mustache,
    };
};

std::string_view rawValue(MenuBarIcon value);

// The name shown in the icon picker ("Smile" for faceSmiling).
std::string_view title(MenuBarIcon value);
// The symbol's name ("heart.fill"), or for a kitten the name of the application image.
std::string_view systemImageName(MenuBarIcon value);
// The side of the square a kitten image is drawn in, in points; nothing for the symbols, which
// are drawn at a point size of 14.
std::optional<int> applicationImageSize(MenuBarIcon value);

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
