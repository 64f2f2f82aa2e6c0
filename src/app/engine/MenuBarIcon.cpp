#include "app/engine/MenuBarIcon.h"

namespace kiruvo {

std::string_view rawValue(MenuBarIcon value)
{
    switch (value) {
    case MenuBarIcon::heart:
        return "heart";
    case MenuBarIcon::heartCircle:
        return "heartCircle";
    case MenuBarIcon::leaf:
        return "leaf";
    case MenuBarIcon::flower:
        return "flower";
    case MenuBarIcon::bell:
        return "bell";
    case MenuBarIcon::clock:
        return "clock";
    case MenuBarIcon::deskClock:
        return "deskClock";
    case MenuBarIcon::alarm:
        return "alarm";
    case MenuBarIcon::stopwatch:
        return "stopwatch";
    case MenuBarIcon::hourglass:
        return "hourglass";
    case MenuBarIcon::circle:
        return "circle";
    case MenuBarIcon::diamond:
        return "diamond";
    case MenuBarIcon::capsule:
        return "capsule";
    case MenuBarIcon::hexagonCircle:
        return "hexagonCircle";
    case MenuBarIcon::seal:
        return "seal";
    case MenuBarIcon::star:
        return "star";
    case MenuBarIcon::burst:
        return "burst";
    case MenuBarIcon::sparkles:
        return "sparkles";
    case MenuBarIcon::faceSmiling:
        return "faceSmiling";
    case MenuBarIcon::crown:
        return "crown";
    case MenuBarIcon::hare:
        return "hare";
    case MenuBarIcon::tortoise:
        return "tortoise";
    case MenuBarIcon::kitten1:
        return "kitten1";
    case MenuBarIcon::kitten2:
        return "kitten2";
    case MenuBarIcon::kitten3:
        return "kitten3";
    case MenuBarIcon::kitten4:
        return "kitten4";
    case MenuBarIcon::pawprint:
        return "pawprint";
    case MenuBarIcon::eyes:
        return "eyes";
    case MenuBarIcon::mustache:
        return "mustache";
    }
    return "heart";
}

std::string_view title(MenuBarIcon value)
{
    switch (value) {
    case MenuBarIcon::heart:
        return "Heart";
    case MenuBarIcon::heartCircle:
        return "Heart in circle";
    case MenuBarIcon::leaf:
        return "Leaf";
    case MenuBarIcon::flower:
        return "Flower";
    case MenuBarIcon::bell:
        return "Bell";
    case MenuBarIcon::clock:
        return "Clock";
    case MenuBarIcon::deskClock:
        return "Desk clock";
    case MenuBarIcon::alarm:
        return "Alarm";
    case MenuBarIcon::stopwatch:
        return "Stopwatch";
    case MenuBarIcon::hourglass:
        return "Hourglass";
    case MenuBarIcon::circle:
        return "Circle";
    case MenuBarIcon::diamond:
        return "Diamond";
    case MenuBarIcon::capsule:
        return "Capsule";
    case MenuBarIcon::hexagonCircle:
        return "Hexagon circle";
    case MenuBarIcon::seal:
        return "Seal";
    case MenuBarIcon::star:
        return "Star";
    case MenuBarIcon::burst:
        return "Burst";
    case MenuBarIcon::sparkles:
        return "Sparkles";
    case MenuBarIcon::faceSmiling:
        return "Smile";
    case MenuBarIcon::crown:
        return "Crown";
    case MenuBarIcon::hare:
        return "Hare";
    case MenuBarIcon::tortoise:
        return "Tortoise";
    case MenuBarIcon::kitten1:
        return "Kitten 1";
    case MenuBarIcon::kitten2:
        return "Kitten 2";
    case MenuBarIcon::kitten3:
        return "Kitten 3";
    case MenuBarIcon::kitten4:
        return "Kitten 4";
    case MenuBarIcon::pawprint:
        return "Pawprint";
    case MenuBarIcon::eyes:
        return "Eyes";
    case MenuBarIcon::mustache:
        return "Mustache";
    }
    return "Heart";
}

std::string_view systemImageName(MenuBarIcon value)
{
    switch (value) {
    case MenuBarIcon::heart:
        return "heart.fill";
    case MenuBarIcon::heartCircle:
        return "heart.circle.fill";
    case MenuBarIcon::leaf:
        return "leaf.fill";
    case MenuBarIcon::flower:
        return "camera.macro";
    case MenuBarIcon::bell:
        return "bell.fill";
    case MenuBarIcon::clock:
        return "clock.fill";
    case MenuBarIcon::deskClock:
        return "deskclock.fill";
    case MenuBarIcon::alarm:
        return "alarm.fill";
    case MenuBarIcon::stopwatch:
        return "stopwatch.fill";
    case MenuBarIcon::hourglass:
        return "hourglass";
    case MenuBarIcon::circle:
        return "circle.fill";
    case MenuBarIcon::diamond:
        return "diamond.fill";
    case MenuBarIcon::capsule:
        return "capsule.fill";
    case MenuBarIcon::hexagonCircle:
        return "circle.hexagonpath.fill";
    case MenuBarIcon::seal:
        return "seal.fill";
    case MenuBarIcon::star:
        return "star.fill";
    case MenuBarIcon::burst:
        return "burst.fill";
    case MenuBarIcon::sparkles:
        return "sparkles";
    case MenuBarIcon::faceSmiling:
        return "face.smiling.fill";
    case MenuBarIcon::crown:
        return "crown.fill";
    case MenuBarIcon::hare:
        return "hare.fill";
    case MenuBarIcon::tortoise:
        return "tortoise.fill";
    case MenuBarIcon::kitten1:
        return "kitten1";
    case MenuBarIcon::kitten2:
        return "kitten2";
    case MenuBarIcon::kitten3:
        return "kitten3";
    case MenuBarIcon::kitten4:
        return "kitten4";
    case MenuBarIcon::pawprint:
        return "pawprint.fill";
    case MenuBarIcon::eyes:
        return "eyes.inverse";
    case MenuBarIcon::mustache:
        return "mustache.fill";
    }
    return "heart.fill";
}

std::optional<int> applicationImageSize(MenuBarIcon value)
{
    switch (value) {
    case MenuBarIcon::kitten1:
        return 16;
    case MenuBarIcon::kitten2:
        return 22;
    case MenuBarIcon::kitten3:
        return 20;
    case MenuBarIcon::kitten4:
        return 18;
    default:
        return std::nullopt;
    }
}

} // namespace kiruvo
