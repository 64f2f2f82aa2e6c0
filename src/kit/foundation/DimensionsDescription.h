#pragma once

#include <QSizeF>

#include <string>

namespace zk {

// A size as text for messages: the width, "×" and the height, with no blanks ("100×50",
// "10.5×3"). Whole numbers have no decimals; every other value, not-a-number and the infinities
// included, is written in its shortest form that reads back the same ("nan×inf").
std::string dimensionsDescription(double width, double height);
std::string dimensionsDescription(const QSizeF& size);

} // namespace zk
