#pragma once

#include <string>

namespace zk {

// A place on Earth in degrees.
struct Coordinate2D {
    double latitude = 0;
    double longitude = 0;

    bool operator==(const Coordinate2D&) const = default;

    // The latitude's text, "-", the longitude's text: "1.5--2.0" for (1.5, -2).
    std::string id() const;

    // The great-circle distance to `other` in metres, over a sphere of the Earth's mean radius.
    double distance(const Coordinate2D& other) const;
};

} // namespace zk
