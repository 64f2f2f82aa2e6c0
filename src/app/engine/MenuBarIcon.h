#pragma once

#include "app/engine/RawValueEnum.h"

#include <array>
#include <optional>
#include <string_view>

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

} // namespace kiruvo
